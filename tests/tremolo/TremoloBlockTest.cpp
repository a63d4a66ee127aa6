// The plug-in's audio loops against the per-sample definition: a model of
// the effect that drives a TLfo through the parameter mapping and takes one
// `tick` per frame. Random parameters (inside and outside 0..1), programs,
// sample rates, suspend/resume and block sizes; every output sample must
// have the same bits.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "LFO.h"
#include "VstHost.h"
#include "../ShiftedBuffers.h"

namespace {

// The effect as the per-sample rules define it.
class Model {
public:
    Model() {
        lfo.setLevel(100.0f);
        lfo.setRate(2.0f);
        lfo.setPulseWidth(50.0f);
        lfo.setSampleRate(44100.0f);
        lfo.setWaveform(TLfo::kTriangle);
        lfo.reset();
        programs.fill({0.1f, 0.27272728f, 0.5f, 1.0f});
        setProgram(0);
    }

    void setParameter(int index, float v) {
        if (index < 0 || index > 3) return;
        if (index == 0) {
            const double fifths = 5.0 * double(v);
            if (fifths <= 1.0)
                lfo.setWaveform(TLfo::kSquare);
            else if (fifths <= 2.0)
                lfo.setWaveform(TLfo::kTriangle);
            else if (fifths <= 3.0)
                lfo.setWaveform(TLfo::kSine);
            else if (fifths <= 4.0)
                lfo.setWaveform(TLfo::kSawDown);
            else if (fifths <= 5.0)
                lfo.setWaveform(TLfo::kSawUp);
        } else if (index == 1) {
            lfo.setRate(float((double(v) * 330.0 + 30.0) / 60.0));
        } else if (index == 2) {
            lfo.setPulseWidth(float(double(v) * 100.0));
        } else {
            lfo.setLevel(float(double(v) * 100.0));
        }
        programs[current][index] = v;
    }
    void setProgram(int program) {
        if (program < 0 || program > 15) return;
        current = program;
        const auto values = programs[program];
        for (int i = 0; i < 4; ++i) setParameter(i, values[i]);
    }
    void setSampleRate(float rate) { lfo.setSampleRate(rate); }
    void suspend() { lfo.reset(); }

    void process(const std::vector<float>& in0, const std::vector<float>& in1, std::vector<float>& out0,
                 std::vector<float>& out1, bool accumulate) {
        processFrames(in0.data(), in1.data(), out0.data(), out1.data(), std::int32_t(in0.size()), accumulate);
    }
    // One frame at a time: both inputs read, then both outputs written.
    void processFrames(const float* in0, const float* in1, float* out0, float* out1, std::int32_t frames,
                       bool accumulate) {
        for (std::int32_t i = 0; i < frames; ++i) {
            const double g = lfo.tick(), a = in0[i], b = in1[i];
            out0[i] = accumulate ? float(a * g + double(out0[i])) : float(a * g);
            out1[i] = accumulate ? float(b * g + double(out1[i])) : float(b * g);
        }
    }

private:
    TLfo lfo;
    std::array<std::array<float, 4>, 16> programs;  // waveform, tempo, pulse width, level
    int current = 0;
};

bool sameSample(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

TEST(TremoloBlock, ProcessAndProcessReplacingGiveThePerSampleOutput) {
    auto tremolo = velmora::host::PluginInstance::load(VELMORA_PLUGIN_DIR "/VelmoraTremolo.so");
    Model model;
    std::mt19937 random(123);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f), value(-0.2f, 1.2f);
    for (int round = 0; round < 500; ++round) {
        switch (random() % 8) {
            case 0: {
                const int program = int(random() % 18) - 1;
                tremolo->setProgram(program);
                model.setProgram(program);
                break;
            }
            case 1: {
                const float rates[] = {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 8000.0f};
                const float rate = rates[random() % std::size(rates)];
                tremolo->setSampleRate(rate);
                model.setSampleRate(rate);
                break;
            }
            case 2:
                if (random() % 2) {
                    tremolo->suspend();
                    model.suspend();
                } else {
                    tremolo->resume();
                }
                break;
            default: {
                // The waveform most often, so that it changes inside cycles.
                const int index = random() % 2 ? 0 : int(random() % 4);
                const float v = value(random);
                tremolo->setParameter(index, v);
                model.setParameter(index, v);
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
            tremolo->process(in0.data(), in1.data(), target0, target1, frames);
        else
            tremolo->processReplacing(in0.data(), in1.data(), target0, target1, frames);
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
TEST(TremoloBlock, BuffersAFewFramesApartGiveTheFrameByFrameOutput) {
    // The square (constant stretches) and the sine (its cycle read from a
    // table) at level 80 % and 360 BPM, a cycle every 7350 frames: blocks
    // meet both kinds of stretch and the cuts between them.
    for (const float waveform : {0.1f, 0.5f}) {
        velmora::testing::checkShiftedBuffers<Model>(
            VELMORA_PLUGIN_DIR "/VelmoraTremolo.so", [waveform](velmora::host::PluginInstance& tremolo, Model& model) {
                const std::pair<int, float> settings[] = {{0, waveform}, {1, 1.0f}, {3, 0.8f}};
                for (const auto& [index, value] : settings) {
                    tremolo.setParameter(index, value);
                    model.setParameter(index, value);
                }
                tremolo.suspend();  // start a cycle with this waveform
                model.suspend();
            });
    }
}

}  // namespace
