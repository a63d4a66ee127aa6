// What only the step oscillator's block path has: a position that stops
// counting at 2^24, and float quotients that stand in for the double
// expressions of its ramps. (The block path against `tick` for every
// setting is in tests/effects/OscillatorBlockTest.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "Osc.h"
#include "../SameSamples.h"

namespace {

using velmora::testing::firstDifference;
using velmora::testing::sameSample;

// A step longer than 2^24 samples: the position stops counting at 2^24
// (2^24 + 1 rounds back), and the block path must stop with it.
TEST(OscBlock, PositionStopsAt2To24InBothPaths) {
    TOsc viaBlock, viaTick;
    for (TOsc* osc : {&viaBlock, &viaTick}) {
        osc->setSampleRate(1e9f);
        osc->setRate(2.0f);
        osc->setEdge(0.5f);
        osc->setStepGain(1, 0.75f);
    }
    std::vector<float> block(1 << 20), ticks(1 << 20);
    for (int chunk = 0; chunk < 17; ++chunk) {
        viaBlock.render(block.data(), std::int32_t(block.size()));
        for (float& g : ticks) g = viaTick.tick();
        ASSERT_EQ(firstDifference(block, ticks), -1) << "chunk " << chunk;
    }
    EXPECT_EQ(block.back(), float(16777216.0 / 125000000.0) * 0.75f);  // held at 2^24
}

// The float quotients that stand in for the double expressions, over every
// frame they claim, for many ramp lengths (fractional ones included).
TEST(OscBlock, FloatQuotientsEqualTheDoubleExpressionsWhereverTheyAreUsed) {
    std::mt19937 random(4);
    std::uniform_real_distribution<float> length(1.0f, 3000.0f);
    std::int64_t frames = 0;
    float value[1 + engine::kFillSlack];
    for (int ramp = 0; ramp < 3000; ++ramp) {
        const float w = ramp % 3 ? length(random) : std::round(length(random) * 4.0f) / 4.0f;
        const float a = length(random) * 4.0f;
        for (double p = std::ceil(double(a)); p < double(a) + double(w); p += 1.0) {
            float x = 0.0f;
            if (engine::fallingQuotient(a, w, p, 1, x) == 0) continue;
            engine::fillFalling(value, std::int32_t(p), 1, a, w);
            const float expected = float((double(a) - p) / double(w) + 1.0);
            ASSERT_TRUE(sameSample(value[0], expected)) << "a " << a << ", w " << w << ", p " << p;
            ++frames;
        }
        for (std::int32_t p = 0; double(p) < double(w); ++p) {
            engine::fillRising(value, p, 1, w);
            ASSERT_TRUE(sameSample(value[0], float(double(p) / double(w)))) << "w " << w << ", p " << p;
        }
    }
    EXPECT_GT(frames, 1000000);

    // Near the end of a fall the two differ now and then; the float
    // quotient must not be claimed there.
    const float a = 0x1.81c668p+12f, w = 0x1.1b723ap+14f;
    const double p = 24286.0;
    EXPECT_EQ(float((double(a) - p) / double(w) + 1.0), 0x1.858c6p-10f);
    EXPECT_EQ(float((double(a) - p) + double(w)) / w, 0x1.858c62p-10f);
    float x = 0.0f;
    EXPECT_EQ(engine::fallingQuotient(a, w, p, 1, x), 0);
    engine::fillFalling(value, std::int32_t(p), 1, a, w);
    EXPECT_EQ(value[0], 0x1.858c6p-10f);
}

}  // namespace
