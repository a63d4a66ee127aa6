// The audio path of VelmoraTremolo allocates nothing. This executable
// replaces the global operator new, which the loaded plug-in's allocations
// resolve to as well, and counts the calls around processing.
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "VstHost.h"

namespace {
std::atomic<long> allocations{0};

VstIntPtr answerVersion(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == 1 ? 2400 : 0;
}
}  // namespace

// The replacements pair malloc with free; once inlined into a caller, GCC
// would take the free for a mismatch with operator new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace {

const char* const kPluginPath = VELMORA_PLUGIN_DIR "/VelmoraTremolo.so";

TEST(TremoloAllocation, CounterSeesThePluginConstructAnInstance) {
    auto library = velmora::host::PluginLibrary::open(kPluginPath);
    const long before = allocations.load();
    AEffect* effect = library->entry()(answerVersion);
    ASSERT_NE(effect, nullptr);
    EXPECT_GT(allocations.load(), before) << "the plug-in's operator new is not counted";
    effect->dispatcher(effect, 1, 0, 0, nullptr, 0.0f);  // effClose
}

TEST(TremoloAllocation, ProcessingAndParameterChangesDoNotAllocate) {
    auto tremolo = velmora::host::PluginInstance::load(kPluginPath);
    std::vector<float> inL(4096, 0.5f), inR(4096, -0.5f), outL(4096), outR(4096);
    AEffect* effect = tremolo->effect();
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};

    const long before = allocations.load();
    for (int block = 0; block < 500; ++block) {
        const std::int32_t frames = 1 + (block * 37) % 4096;
        effect->setParameter(effect, block % 4, float(block % 11) / 10.0f);
        effect->processReplacing(effect, inputs, outputs, frames);
        effect->process(effect, inputs, outputs, frames);
        effect->dispatcher(effect, 2, 0, block % 16, nullptr, 0.0f);               // effSetProgram
        if (block % 50 == 0) effect->dispatcher(effect, 12, 0, 0, nullptr, 0.0f);  // suspend
    }
    EXPECT_EQ(allocations.load(), before);
}

}  // namespace
