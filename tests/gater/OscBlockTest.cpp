// TOsc's block path against its per-sample `tick`: two oscillators get the
// same settings, one renders whole blocks, the other ticks per frame, and
// every gain must have the same bits. (The multiplying loops are checked
// through the plug-in, in GaterBlockTest.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "Osc.h"

namespace {

// Equal bits, or both NaN (the payload of a NaN is not part of the result).
bool sameSample(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

// The first frame where two runs differ, or -1.
int firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!sameSample(a[i], b[i])) return int(i);
    }
    return -1;
}

// A random setting, applied to both oscillators alike: values inside and
// outside the effect's ranges, NaN and infinities included.
void changeSomething(std::mt19937& random, TOsc& a, TOsc& b) {
    const float odd[] = {
        0.0f,  -1.0f, 1e-30f, 1e30f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        1e-45f};
    auto pick = [&](float from, float to) {
        if (random() % 16 == 0) return odd[random() % std::size(odd)];
        return std::uniform_real_distribution<float>(from, to)(random);
    };
    switch (random() % 7) {
        case 0: {
            const float rates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 10.0f};
            const float rate = random() % 4 == 0 ? pick(1.0f, 400000.0f) : rates[random() % std::size(rates)];
            a.setSampleRate(rate);
            b.setSampleRate(rate);
            break;
        }
        case 1: {
            const float rate = pick(0.5f, 30.0f);
            a.setRate(rate);
            b.setRate(rate);
            break;
        }
        case 2: {
            const float edge = pick(-0.5f, 1.5f);
            a.setEdge(edge);
            b.setEdge(edge);
            break;
        }
        case 3: {
            const std::int32_t count = std::int32_t(random() % 24) - 3;
            a.setStepCount(count);
            b.setStepCount(count);
            break;
        }
        case 4:
        case 5: {
            const std::int32_t step = std::int32_t(random() % 16) + 1;
            const float gain = pick(-0.5f, 2.0f);
            a.setStepGain(step, gain);
            b.setStepGain(step, gain);
            break;
        }
        default:
            a.reset();
            b.reset();
            break;
    }
}

std::int32_t blockSize(std::mt19937& random) {
    switch (random() % 4) {
        case 0: return std::int32_t(random() % 4);  // 0..3
        case 1: return std::int32_t(random() % 8193);
        default: return std::int32_t(random() % 600);
    }
}

TEST(OscBlock, RenderGivesTheGainsOfTick) {
    std::mt19937 random(2024);
    std::vector<float> block, ticks;
    for (int sequence = 0; sequence < 60; ++sequence) {
        TOsc viaBlock, viaTick;
        for (int change = 0; change < 40; ++change) {
            // Several blocks between changes: settings also change mid-step.
            for (int repeat = int(random() % 3); repeat >= 0; --repeat) {
                const std::int32_t frames = blockSize(random);
                block.assign(frames, -7.0f);
                ticks.resize(frames);
                // Now and then the block side ticks too: the block path
                // must pick up from wherever the per-sample one left it.
                if (random() % 6 == 0) {
                    for (float& g : block) g = viaBlock.tick();
                } else {
                    viaBlock.render(block.data(), frames);
                }
                for (float& g : ticks) g = viaTick.tick();
                const int at = firstDifference(block, ticks);
                ASSERT_EQ(at, -1) << "sequence " << sequence << ", change " << change << ", frame " << at << " of "
                                  << frames << ": " << block[at] << " instead of " << ticks[at];
            }
            changeSomething(random, viaBlock, viaTick);
        }
    }
}

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
