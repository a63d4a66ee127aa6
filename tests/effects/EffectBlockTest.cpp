// Each plug-in's audio loops against the per-sample definition: a model of
// the effect (EffectModel.h) that drives the oscillator through the
// description's mapping and takes one `tick` per frame. Random parameters
// (inside and outside 0..1, signed zeros and subnormals among them),
// programs, sample rates, suspend/resume, block sizes and samples; every
// output sample must have the same bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "EdgeValues.h"
#include "EffectModel.h"
#include "Effects.h"
#include "../SameSamples.h"
#include "ShiftedBuffers.h"
#include "VstHost.h"

namespace velmora::testing {
namespace {

template <class Effect>
class EffectBlock : public ::testing::Test {
protected:
    std::unique_ptr<host::PluginInstance> plugin = host::PluginInstance::load(pluginPath<Effect>());
    EffectModel<Effect> model;

    // One host call, the same on the plug-in and the model: a program (or
    // an index outside the bank), a sample rate, suspend or resume, every
    // gain -0 (a fault once lost that zero's sign), or a parameter value.
    void changeSomething(std::mt19937& random) {
        switch (random() % 8) {
            case 0: {
                const std::int32_t program = std::int32_t(random() % 18) - 1;
                plugin->setProgram(program);
                model.setProgram(program);
                break;
            }
            case 1: {
                const float rates[] = {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 8000.0f};
                const float rate = rates[random() % std::size(rates)];
                plugin->setSampleRate(rate);
                model.setSampleRate(rate);
                break;
            }
            case 2:
                if (random() % 2) {
                    plugin->suspend();
                    model.suspend();
                } else {
                    plugin->resume();
                    model.resume();
                }
                break;
            case 3:
                for (const std::int32_t index : Effect::gainParameters()) {
                    plugin->setParameter(index, -0.0f);
                    model.setParameter(index, -0.0f);
                }
                break;
            default: {
                const std::int32_t index = Effect::someParameter(random);
                const float value = valueOrEdge(random, -0.2f, 1.2f, 4);
                plugin->setParameter(index, value);
                model.setParameter(index, value);
                break;
            }
        }
    }
};
TYPED_TEST_SUITE(EffectBlock, BothEffects);

TYPED_TEST(EffectBlock, ProcessAndProcessReplacingGiveThePerSampleOutput) {
    std::mt19937 random(99);
    for (int round = 0; round < 500; ++round) {
        this->changeSomething(random);
        const std::int32_t frames = random() % 5 == 0 ? std::int32_t(random() % 8193) : std::int32_t(random() % 700);
        const bool accumulate = random() % 2 != 0;
        const bool inPlace = random() % 4 == 0;  // outputs are the inputs
        std::vector<float> in0(frames), in1(frames), out0(frames), out1(frames);
        for (std::int32_t i = 0; i < frames; ++i) {
            in0[i] = i % 97 == 5 ? std::numeric_limits<float>::infinity() : sample(random);
            in1[i] = i % 101 == 7 ? std::numeric_limits<float>::quiet_NaN() : sample(random);
            out0[i] = i % 89 == 3 ? -0.0f : sample(random);
            out1[i] = sample(random);
        }
        if (inPlace) out0 = in0, out1 = in1;
        std::vector<float> want0 = out0, want1 = out1;
        this->model.processFrames(in0.data(), in1.data(), want0.data(), want1.data(), frames, accumulate);
        float* target0 = inPlace ? in0.data() : out0.data();
        float* target1 = inPlace ? in1.data() : out1.data();
        if (accumulate)
            this->plugin->process(in0.data(), in1.data(), target0, target1, frames);
        else
            this->plugin->processReplacing(in0.data(), in1.data(), target0, target1, frames);
        if (inPlace) out0 = in0, out1 = in1;
        for (const auto& [out, want] : {std::pair{&out0, &want0}, std::pair{&out1, &want1}}) {
            const int at = firstDifference(*out, *want);
            ASSERT_EQ(at, -1) << "round " << round << ", channel " << (out == &out0 ? 0 : 1) << ", frame " << at
                              << " of " << frames << ": " << (*out)[at] << " instead of " << (*want)[at];
        }
    }
}

// Outputs that start a few frames after an input (or after the other
// output) read back what earlier frames wrote, as one frame at a time does.
TYPED_TEST(EffectBlock, BuffersAFewFramesApartGiveTheFrameByFrameOutput) {
    for (const auto& settings : TypeParam::shiftedBufferSettings()) checkShiftedBuffers<TypeParam>(settings);
}

// Every gain -0 (the step gains, or the level, set to -0): each sample is
// the product's own zero, -0 for a positive input and +0 for a negative
// one, whether written or added onto -0 (-0 + -0 is -0, +0 + -0 is +0).
TYPED_TEST(EffectBlock, AGainOfMinusZeroGivesTheSignedZeroOfEachProduct) {
    for (const std::int32_t index : TypeParam::gainParameters()) this->plugin->setParameter(index, -0.0f);
    const float inputs[] = {1.0f, -1.0f, 0.0f, -0.0f, 1e-45f, -1e-40f, 0.5f, -3.0f};
    const float expected[] = {-0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f};
    const std::int32_t frames = 4096;
    std::vector<float> in(frames), want(frames), out0, out1;
    for (std::int32_t i = 0; i < frames; ++i) in[i] = inputs[i % 8], want[i] = expected[i % 8];
    for (int block = 0; block < 24; ++block) {  // more than a cycle of either effect at 120 BPM
        const bool accumulate = block % 2 != 0;
        out0.assign(frames, -0.0f);
        out1.assign(frames, -0.0f);
        if (accumulate)
            this->plugin->process(in.data(), in.data(), out0.data(), out1.data(), frames);
        else
            this->plugin->processReplacing(in.data(), in.data(), out0.data(), out1.data(), frames);
        for (const std::vector<float>* out : {&out0, &out1}) {
            const int at = firstDifference(*out, want);
            ASSERT_EQ(at, -1) << "block " << block << ", frame " << at << ": " << (*out)[at] << " instead of "
                              << want[at];
        }
    }
}

}  // namespace
}  // namespace velmora::testing
