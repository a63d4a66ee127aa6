// The audio path of VelmoraGater allocates nothing. This executable replaces
// the global operator new, which the loaded plug-in's allocations resolve
// to as well, and counts the calls around processing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "VstHost.h"

namespace {
std::atomic<long> allocations{0};
}

// Kept out of line, so that the compiler does not pair an inlined free()
// with the callers' new expressions.
[[gnu::noinline]] void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* memory) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

using velmora::host::PluginInstance;

VstIntPtr hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == 1 ? 2400 : 0;  // audioMasterVersion
}

// Without this the test below could pass with a counter that sees nothing.
TEST(GaterAllocation, CounterSeesThePluginsAllocations) {
    auto library = velmora::host::PluginLibrary::open(VELMORA_PLUGIN_DIR "/VelmoraGater.so");
    const long before = allocations.load();
    AEffect* effect = library->entry()(hostCallback);
    ASSERT_NE(effect, nullptr);
    EXPECT_GT(allocations.load(), before);
    effect->dispatcher(effect, 1, 0, 0, nullptr, 0.0f);  // effClose
}

TEST(GaterAllocation, ProcessingAndParameterChangesDoNotAllocate) {
    auto gater = PluginInstance::load(VELMORA_PLUGIN_DIR "/VelmoraGater.so");
    gater->setSampleRate(48000.0f);
    gater->resume();
    std::vector<float> inL(4096, 0.5f), inR(4096, -0.5f), outL(4096), outR(4096);
    AEffect* effect = gater->effect();
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};

    const long before = allocations.load();
    for (int block = 0; block < 500; ++block) {
        const std::int32_t frames = 1 + (block * 37) % 4096;
        effect->setParameter(effect, block % 19, float(block % 10) / 10.0f);
        effect->processReplacing(effect, inputs, outputs, frames);
        effect->process(effect, inputs, outputs, frames);
        effect->dispatcher(effect, 2, 0, block % 16, nullptr, 0.0f);  // effSetProgram
    }
    EXPECT_EQ(allocations.load(), before);
}

}  // namespace
