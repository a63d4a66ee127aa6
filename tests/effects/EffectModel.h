// An effect as its per-sample rules define it, for the block tests: the
// description's mapping of host values to the oscillator, one `tick` of
// the oscillator for each frame, and what the VST 2 wrapper adds: 16
// programs of stored values, program 0 loaded and the oscillator
// restarted at construction, a restart on suspend (and on resume, where
// the effect says so).
#pragma once

#include <array>
#include <cstdint>

namespace velmora::testing {

template <class Effect>
class EffectModel {
public:
    using Description = typename Effect::Description;
    using Oscillator = typename Description::Oscillator;

    EffectModel() {
        for (auto& program : programs) {
            for (std::int32_t i = 0; i < Description::parameterCount; ++i) {
                program[i] = Description::parameters[i].defaultValue;
            }
        }
        setProgram(0);
        osc.reset();
    }

    void setParameter(std::int32_t index, float value) {
        if (index < 0 || index >= Description::parameterCount) return;
        Description::apply(osc, index, value);
        programs[current][index] = value;
    }
    void setProgram(std::int32_t program) {
        if (program < 0 || program >= Description::programCount) return;
        current = program;
        for (std::int32_t i = 0; i < Description::parameterCount; ++i) setParameter(i, programs[program][i]);
    }
    void setSampleRate(float rate) { osc.setSampleRate(rate); }
    void suspend() { osc.reset(); }
    void resume() {
        if (Effect::resumeRestarts) osc.reset();
    }

    // One frame at a time: both inputs read, then both outputs written,
    // out = in × gain or out + in × gain, formed in double, rounded once.
    void processFrames(const float* in0, const float* in1, float* out0, float* out1, std::int32_t frames,
                       bool accumulate) {
        for (std::int32_t i = 0; i < frames; ++i) {
            const double g = osc.tick(), a = in0[i], b = in1[i];
            out0[i] = accumulate ? float(a * g + double(out0[i])) : float(a * g);
            out1[i] = accumulate ? float(b * g + double(out1[i])) : float(b * g);
        }
    }

private:
    Oscillator osc;
    std::array<std::array<float, Description::parameterCount>, Description::programCount> programs;
    std::int32_t current = 0;
};

}  // namespace velmora::testing
