// The audio path of each plug-in allocates nothing. This executable
// replaces the global operator new, which the loaded plug-ins' allocations
// resolve to as well, and counts the calls around processing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "Effects.h"
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

namespace velmora::testing {
namespace {

VstIntPtr answerVersion(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == 1 ? 2400 : 0;  // audioMasterVersion
}

template <class Effect>
class EffectAllocation : public ::testing::Test {};
TYPED_TEST_SUITE(EffectAllocation, BothEffects);

// Without this the test below could pass with a counter that sees nothing.
TYPED_TEST(EffectAllocation, CounterSeesThePluginConstructAnInstance) {
    auto library = host::PluginLibrary::open(pluginPath<TypeParam>());
    const long before = allocations.load();
    AEffect* effect = library->entry()(answerVersion);
    ASSERT_NE(effect, nullptr);
    EXPECT_GT(allocations.load(), before) << "the plug-in's operator new is not counted";
    effect->dispatcher(effect, 1, 0, 0, nullptr, 0.0f);  // effClose
}

TYPED_TEST(EffectAllocation, ProcessingAndParameterChangesDoNotAllocate) {
    auto plugin = host::PluginInstance::load(pluginPath<TypeParam>());
    plugin->setSampleRate(48000.0f);
    plugin->resume();
    std::vector<float> inL(4096, 0.5f), inR(4096, -0.5f), outL(4096), outR(4096);
    AEffect* effect = plugin->effect();
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};

    const long before = allocations.load();
    for (int block = 0; block < 500; ++block) {
        const std::int32_t frames = 1 + (block * 37) % 4096;
        effect->setParameter(effect, block % TypeParam::Description::parameterCount, float(block % 11) / 10.0f);
        effect->processReplacing(effect, inputs, outputs, frames);
        effect->process(effect, inputs, outputs, frames);
        effect->dispatcher(effect, 2, 0, block % 16, nullptr, 0.0f);               // effSetProgram
        if (block % 50 == 0) effect->dispatcher(effect, 12, 0, 0, nullptr, 0.0f);  // suspend
    }
    EXPECT_EQ(allocations.load(), before);
}

}  // namespace
}  // namespace velmora::testing
