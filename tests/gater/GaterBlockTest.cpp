// The plug-in's audio loops against the per-sample definition: a model of
// the effect that drives a TOsc through the parameter mapping and takes one
// `tick` per frame. Random parameters (inside and outside 0..1), programs,
// sample rates, suspend/resume and block sizes; every output sample must
// have the same bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "Osc.h"
#include "Rounding.h"
#include "VstHost.h"
#include "../ShiftedBuffers.h"

namespace {

// The effect as the per-sample rules define it.
class Model {
public:
    Model() {
        for (auto& program : programs) {
            program.assign(19, 1.0f);
            program[1] = 0.27272728f;
            program[2] = 0.1f;
        }
        setProgram(0);
        osc.reset();
    }

    void setParameter(int index, float x) {
        if (index < 0 || index > 18) return;
        if (index == 0) {
            std::int32_t count = 0;
            roundToInt32(double(x) * 15.0 + 1.0, count);
            osc.setStepCount(count);
        } else if (index == 1) {
            osc.setRate(float((double(x) * 330.0 + 30.0) / 15.0));
        } else if (index == 2) {
            osc.setEdge(x);
        } else {
            osc.setStepGain(index - 2, x);
        }
        programs[current][index] = x;
    }
    void setProgram(int program) {
        if (program < 0 || program > 15) return;
        current = program;
        for (int i = 0; i < 19; ++i) setParameter(i, programs[program][i]);
    }
    void setSampleRate(float rate) { osc.setSampleRate(rate); }
    void reset() { osc.reset(); }

    void process(const std::vector<float>& in0, const std::vector<float>& in1, std::vector<float>& out0,
                 std::vector<float>& out1, bool accumulate) {
        processFrames(in0.data(), in1.data(), out0.data(), out1.data(), std::int32_t(in0.size()), accumulate);
    }
    // One frame at a time: both inputs read, then both outputs written.
    void processFrames(const float* in0, const float* in1, float* out0, float* out1, std::int32_t frames,
                       bool accumulate) {
        for (std::int32_t i = 0; i < frames; ++i) {
            const double g = osc.tick(), a = in0[i], b = in1[i];
            out0[i] = accumulate ? float(a * g + double(out0[i])) : float(a * g);
            out1[i] = accumulate ? float(b * g + double(out1[i])) : float(b * g);
        }
    }

private:
    TOsc osc;
    std::vector<float> programs[16];
    int current = 0;
};

bool sameSample(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

TEST(GaterBlock, ProcessAndProcessReplacingGiveThePerSampleOutput) {
    auto gater = velmora::host::PluginInstance::load(VELMORA_PLUGIN_DIR "/VelmoraGater.so");
    Model model;
    std::mt19937 random(99);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f), value(-0.2f, 1.2f);
    for (int round = 0; round < 400; ++round) {
        switch (random() % 8) {
            case 0: {
                const int program = int(random() % 18) - 1;
                gater->setProgram(program);
                model.setProgram(program);
                break;
            }
            case 1: {
                const float rates[] = {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 8000.0f};
                const float rate = rates[random() % std::size(rates)];
                gater->setSampleRate(rate);
                model.setSampleRate(rate);
                break;
            }
            case 2:
                if (random() % 2)
                    gater->suspend();
                else
                    gater->resume();
                model.reset();
                break;
            default: {
                const int index = int(random() % 19);
                const float x = value(random);
                gater->setParameter(index, x);
                model.setParameter(index, x);
                break;
            }
        }
        const std::int32_t frames = random() % 5 == 0 ? std::int32_t(random() % 8193) : std::int32_t(random() % 700);
        const bool accumulate = random() % 2 != 0;
        const bool inPlace = random() % 4 == 0;  // outputs are the inputs
        std::vector<float> in0(frames), in1(frames), out0(frames), out1(frames);
        for (std::int32_t i = 0; i < frames; ++i) {
            in0[i] = i % 97 == 5 ? std::numeric_limits<float>::infinity() : noise(random);
            in1[i] = i % 101 == 7 ? std::numeric_limits<float>::quiet_NaN() : noise(random);
            out0[i] = i % 89 == 3 ? -0.0f : noise(random);
            out1[i] = noise(random);
        }
        if (inPlace) out0 = in0, out1 = in1;
        std::vector<float> want0 = out0, want1 = out1;
        model.process(in0, in1, want0, want1, accumulate);
        float* target0 = inPlace ? in0.data() : out0.data();
        float* target1 = inPlace ? in1.data() : out1.data();
        if (accumulate)
            gater->process(in0.data(), in1.data(), target0, target1, frames);
        else
            gater->processReplacing(in0.data(), in1.data(), target0, target1, frames);
        if (inPlace) out0 = in0, out1 = in1;
        for (std::int32_t i = 0; i < frames; ++i) {
            ASSERT_TRUE(sameSample(out0[i], want0[i]) && sameSample(out1[i], want1[i]))
                << "round " << round << ", frame " << i << " of " << frames << ": " << out0[i] << " instead of "
                << want0[i];
        }
    }
}

// Outputs that start a few frames after an input (or after the other
// output) read back what earlier frames wrote, as one frame at a time does.
TEST(GaterBlock, BuffersAFewFramesApartGiveTheFrameByFrameOutput) {
    // 360 BPM (a step every 1838 frames at 44100 Hz), edge 30 %, steps of
    // differing gains: blocks meet ramps, holds and step boundaries.
    velmora::testing::checkShiftedBuffers<Model>(
        VELMORA_PLUGIN_DIR "/VelmoraGater.so", [](velmora::host::PluginInstance& gater, Model& model) {
            const std::pair<int, float> settings[] = {{1, 1.0f}, {2, 0.3f}, {3, 0.5f}, {4, 0.25f}, {6, 0.0f}};
            for (const auto& [index, value] : settings) {
                gater.setParameter(index, value);
                model.setParameter(index, value);
            }
        });
}

}  // namespace
