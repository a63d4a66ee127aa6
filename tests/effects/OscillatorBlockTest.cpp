// Each oscillator's block path against its per-sample `tick`: two
// oscillators get the same settings, one renders whole blocks, the other
// ticks per frame, and every gain must have the same bits. (The
// multiplying loops are checked through the plug-ins, in EffectBlockTest.)
// Blocks are of 1 frame or more: the plug-ins' entry turns away the rest.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "EdgeValues.h"
#include "LFO.h"
#include "Osc.h"
#include "../SameSamples.h"

namespace velmora::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

// What the random test does to an oscillator: a start with fast periods,
// and one change of its settings, to be made on both oscillators alike.
template <class Oscillator>
struct RandomSettings;

// The step gate's oscillator. Settings inside and outside the effect's
// ranges, NaN, infinities, signed zeros and subnormals included.
template <>
struct RandomSettings<TOsc> {
    // Fast steps, so that many step boundaries fall inside blocks.
    static std::function<void(TOsc&)> fastStart(std::mt19937& random) {
        const float rate = std::uniform_real_distribution<float>(20.0f, 100.0f)(random);
        return [rate](TOsc& osc) { osc.setRate(rate), osc.reset(); };
    }
    static std::function<void(TOsc&)> someChange(std::mt19937& random) {
        const float odd[] = {-1.0f, 1e-30f, 1e30f, kNaN, kInfinity};
        auto pick = [&](float from, float to) {
            return random() % 16 == 0 ? odd[random() % std::size(odd)] : valueOrEdge(random, from, to, 8);
        };
        switch (random() % 9) {
            case 7: return [on = random() % 3 != 0](TOsc& osc) { osc.followHost(on); };
            case 8: {
                // A step the host times, begun or entered part-way (even
                // past its length), fractional lengths included.
                const float length = std::uniform_real_distribution<float>(2.0f, 3000.0f)(random);
                const float position = random() % 2 ? 0.0f : float(random() % std::uint32_t(length * 1.5f));
                const std::int32_t step = std::int32_t(random() % 17);
                return [=](TOsc& osc) { osc.enterHostStep(step, length, position); };
            }
            case 0: {
                const float rates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 10.0f};
                const float rate = random() % 4 == 0 ? pick(1.0f, 400000.0f) : rates[random() % std::size(rates)];
                return [rate](TOsc& osc) { osc.setSampleRate(rate); };
            }
            case 1: return [rate = pick(0.5f, 30.0f)](TOsc& osc) { osc.setRate(rate); };
            case 2: return [edge = pick(-0.5f, 1.5f)](TOsc& osc) { osc.setEdge(edge); };
            case 3: return [count = std::int32_t(random() % 24) - 3](TOsc& osc) { osc.setStepCount(count); };
            case 4:
            case 5: {
                const std::int32_t step = std::int32_t(random() % 16) + 1;
                return [step, gain = pick(-0.5f, 2.0f)](TOsc& osc) { osc.setStepGain(step, gain); };
            }
            default: return [](TOsc& osc) { osc.reset(); };
        }
    }
};

// The tremolo's oscillator. Waveform changes come often, so that they land
// inside cycles (the square's fall followed by the saw up's ramp
// included); values are inside and outside the accepted ranges.
template <>
struct RandomSettings<TLfo> {
    // Fast cycles (high rates), so that many cycle starts fall inside blocks.
    static std::function<void(TLfo&)> fastStart(std::mt19937& random) {
        const float hertz = std::uniform_real_distribution<float>(20.0f, 100.0f)(random);
        return [hertz](TLfo& lfo) { lfo.setRate(hertz), lfo.setPulseWidth(50.0f), lfo.reset(); };
    }
    static std::function<void(TLfo&)> someChange(std::mt19937& random) {
        auto uniform = [&](float from, float to) { return std::uniform_real_distribution<float>(from, to)(random); };
        switch (random() % 12) {
            case 10: return [on = random() % 3 != 0](TLfo& lfo) { lfo.followHost(on); };
            case 11: {
                // A cycle the host times, begun or entered part-way (even
                // past its length, or inside a falling ramp).
                const float length = std::uniform_real_distribution<float>(111.0f, 20000.0f)(random);
                const float position = random() % 2 ? 0.0f : float(random() % std::uint32_t(length * 1.5f));
                return [=](TLfo& lfo) { lfo.enterHostCycle(length, position); };
            }
            case 0:
            case 1:
            case 2: return [code = std::uint8_t(random() % 6)](TLfo& lfo) { lfo.setWaveform(code); };
            case 3: {
                const float hertz = random() % 8 == 0 ? uniform(0.05f, 150.0f) : uniform(0.5f, 6.0f);
                return [hertz](TLfo& lfo) { lfo.setRate(hertz); };
            }
            case 4: {
                const float percent = random() % 8 == 0 ? kNaN : valueOrEdge(random, -10.0f, 110.0f, 8);
                return [percent](TLfo& lfo) { lfo.setPulseWidth(percent); };
            }
            case 5: {
                const float rates[] = {11000.0f, 11025.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
                const float hertz =
                    random() % 4 == 0 ? uniform(8000.0f, 400000.0f) : rates[random() % std::size(rates)];
                return [hertz](TLfo& lfo) { lfo.setSampleRate(hertz); };
            }
            case 6: return [percent = valueOrEdge(random, -1.0f, 101.0f, 4)](TLfo& lfo) { lfo.setLevel(percent); };
            case 7: {
                // The onset window: the effect never opens it, the class has it.
                const float milliseconds = uniform(0.0f, 40.0f);
                const std::int32_t mode = std::int32_t(random() % 3);
                return [=](TLfo& lfo) { lfo.setOnsetTime(milliseconds), lfo.setOnsetMode(mode); };
            }
            default: return [](TLfo& lfo) { lfo.reset(); };
        }
    }
};

// Test names end in <TOsc>, <TLfo>.
using BothOscillators = ::testing::Types<TOsc, TLfo>;
template <class Oscillator>
class OscillatorBlock : public ::testing::Test {};
TYPED_TEST_SUITE(OscillatorBlock, BothOscillators);

std::int32_t blockSize(std::mt19937& random) {
    switch (random() % 4) {
        case 0: return 1 + std::int32_t(random() % 3);  // 1..3
        case 1: return 1 + std::int32_t(random() % 8192);
        default: return 1 + std::int32_t(random() % 600);
    }
}

TYPED_TEST(OscillatorBlock, RenderGivesTheGainsOfTick) {
    std::mt19937 random(2024);
    std::vector<float> block, ticks;
    for (int sequence = 0; sequence < 80; ++sequence) {
        TypeParam viaBlock, viaTick;
        auto onBoth = [&](const auto& change) { change(viaBlock), change(viaTick); };
        if (sequence % 2) onBoth(RandomSettings<TypeParam>::fastStart(random));
        for (int change = 0; change < 40; ++change) {
            // Several blocks between changes: settings also change mid-period.
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
            onBoth(RandomSettings<TypeParam>::someChange(random));
        }
    }
}

}  // namespace
}  // namespace velmora::testing
