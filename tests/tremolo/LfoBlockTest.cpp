// TLfo's block path against its per-sample `tick`: two oscillators get the
// same settings, one renders whole blocks, the other ticks per frame, and
// every gain must have the same bits. (The multiplying loops are checked
// through the plug-in, in TremoloBlockTest.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "LFO.h"

namespace {

bool sameSample(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

int firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!sameSample(a[i], b[i])) return int(i);
    }
    return -1;
}

// A random setting, applied to both oscillators alike. Waveform changes
// come often, so that they land inside cycles (the square's fall followed
// by the saw up's ramp included); values are inside and outside the
// accepted ranges.
void changeSomething(std::mt19937& random, TLfo& a, TLfo& b) {
    auto uniform = [&](float from, float to) { return std::uniform_real_distribution<float>(from, to)(random); };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    switch (random() % 10) {
        case 0:
        case 1:
        case 2: {
            const std::uint8_t code = std::uint8_t(random() % 6);
            a.setWaveform(code);
            b.setWaveform(code);
            break;
        }
        case 3: {
            const float hertz = random() % 8 == 0 ? uniform(0.05f, 150.0f) : uniform(0.5f, 6.0f);
            a.setRate(hertz);
            b.setRate(hertz);
            break;
        }
        case 4: {
            const float percent = random() % 8 == 0 ? nan : uniform(-10.0f, 110.0f);
            a.setPulseWidth(percent);
            b.setPulseWidth(percent);
            break;
        }
        case 5: {
            const float rates[] = {11000.0f, 11025.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
            const float hertz = random() % 4 == 0 ? uniform(8000.0f, 400000.0f) : rates[random() % std::size(rates)];
            a.setSampleRate(hertz);
            b.setSampleRate(hertz);
            break;
        }
        case 6: {
            const float percent = uniform(-1.0f, 101.0f);
            a.setLevel(percent);
            b.setLevel(percent);
            break;
        }
        case 7: {
            // The onset window: the effect never opens it, the class has it.
            const float milliseconds = uniform(0.0f, 40.0f);
            const std::int32_t mode = std::int32_t(random() % 3);
            a.setOnsetTime(milliseconds);
            b.setOnsetTime(milliseconds);
            a.setOnsetMode(mode);
            b.setOnsetMode(mode);
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
        case 0: return std::int32_t(random() % 4);
        case 1: return std::int32_t(random() % 8193);
        default: return std::int32_t(random() % 600);
    }
}

// Fast cycles (high rates), so that many cycle starts fall inside blocks.
void startFast(std::mt19937& random, TLfo& a, TLfo& b) {
    const float hertz = std::uniform_real_distribution<float>(20.0f, 100.0f)(random);
    for (TLfo* lfo : {&a, &b}) {
        lfo->setRate(hertz);
        lfo->setPulseWidth(50.0f);
        lfo->reset();
    }
}

TEST(LfoBlock, RenderGivesTheGainsOfTick) {
    std::mt19937 random(31);
    std::vector<float> block, ticks;
    for (int sequence = 0; sequence < 80; ++sequence) {
        TLfo viaBlock, viaTick;
        if (sequence % 2) startFast(random, viaBlock, viaTick);
        for (int change = 0; change < 40; ++change) {
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
                ASSERT_EQ(at, -1) << "sequence " << sequence << ", change " << change << ", waveform "
                                  << int(viaTick.getWaveform()) << ", frame " << at << " of " << frames << ": "
                                  << block[at] << " instead of " << ticks[at];
            }
            changeSomething(random, viaBlock, viaTick);
        }
    }
}

}  // namespace
