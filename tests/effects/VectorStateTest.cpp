// A block returns to the host with the upper halves of the vector
// registers clear. Code of the host's that follows (SSE, without VEX) runs
// several times slower on some processors while they hold data: a block
// path that leaves them set made a host's loop around 32-frame blocks four
// times as slow. XGETBV with ECX = 1 tells whether they hold data.
#include <gtest/gtest.h>

#include <cpuid.h>

#include <cstdint>
#include <vector>

#include "Effects.h"
#include "VstHost.h"

namespace velmora::testing {
namespace {

// Whether this processor answers XGETBV 1 (CPUID leaf 0xD, subleaf 1, EAX
// bit 2) and has AVX at all.
bool canReadVectorState() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid_count(0xd, 1, &a, &b, &c, &d) || (a & 4u) == 0) return false;
    return __builtin_cpu_supports("avx");
}

// Whether the upper halves of the vector registers hold data, after
// clearing them first: only what runs in between can set them.
template <class Call>
__attribute__((target("avx"))) bool leavesVectorStateSet(Call call) {
    __builtin_ia32_vzeroupper();
    call();
    unsigned low = 0, high = 0;
    asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    return (low & 4u) != 0;
}

template <class Effect>
class VectorState : public ::testing::Test {};
TYPED_TEST_SUITE(VectorState, BothEffects);

TYPED_TEST(VectorState, BlocksReturnWithTheUpperHalvesOfTheVectorRegistersClear) {
    if (!canReadVectorState()) GTEST_SKIP() << "this processor cannot tell (no AVX or no XGETBV 1)";
    using Description = typename TypeParam::Description;
    auto plugin = host::PluginInstance::load(pluginPath<TypeParam>());
    plugin->setSampleRate(44100.0f);
    plugin->resume();
    std::vector<float> left(4096, 0.5f), right(4096, -0.5f);
    int setAfter = 0;
    // Every parameter set to something else now and then, the tempo nudged
    // before many blocks (so that periods are computed, not read back), and
    // blocks of all sizes, replacing and accumulating.
    for (int block = 0; block < 3000; ++block) {
        if (block % 7 == 0) plugin->setParameter(block / 7 % Description::parameterCount, float(block % 10) / 10.0f);
        if (block % 3 == 0) plugin->setParameter(Description::kTempo, 0.27f + float(block % 97) * 1e-4f);
        const std::int32_t frames = 1 + (block * 37) % 4096;
        float* data = left.data();
        float* other = right.data();
        setAfter += leavesVectorStateSet([&] {
            if (block % 2)
                plugin->processReplacing(data, other, data, other, frames);
            else
                plugin->process(data, other, data, other, frames);
        });
    }
    EXPECT_EQ(setAfter, 0) << "blocks of 3000 that returned with the vector state set";
}

}  // namespace
}  // namespace velmora::testing
