#include "Osc.h"

#include <cmath>

#include "GainStretch.h"

TOsc::TOsc() noexcept {
    for (auto& gain : stepGains) gain = 0.0f;
    reset();
}

void TOsc::setStepCount(std::int32_t count) noexcept {
    stepCount = (count >= 1 && count <= maxSteps) ? count : maxSteps;
}

void TOsc::setStepGain(std::int32_t step, float gain) noexcept {
    if (step < 1 || step > maxSteps) return;
    // NaN or infinity is no gain: it would fill the whole step with
    // non-finite samples. The step keeps its last gain.
    if (!std::isfinite(gain)) return;
    stepGains[step] = gain;
    markDirty();
}

void TOsc::setRate(float stepsPerSecond) noexcept {
    if (!(stepsPerSecond > 0.0f)) return;
    rate = stepsPerSecond;
    markDirty();
}

void TOsc::setSampleRate(float samplesPerSecond) noexcept {
    if (!std::isfinite(samplesPerSecond)) return;
    sampleRate = samplesPerSecond;
    markDirty();
}

void TOsc::setEdge(float value) noexcept {
    if (!(value >= 0.0f)) {
        edge = 0.0f;
    } else if (value > 1.0f) {
        edge = 1.0f;
    } else {
        edge = value;
    }
    markDirty();
}

void TOsc::reset() noexcept {
    position = float(double(stepLength.load()) + 1.0);
    markDirty();
    currentStep = 0;
    resets = resets.load() + 1;
}

// ---- The block path ----
//
// Within a step the envelope branch changes only where the position passes
// rampUpLength, rampDownStart or stepLength. Each stretch between two such
// points is one shape: the rising ramp position / rampUpLength, the hold 1,
// the falling ramp, or 1 after the end; times the step gain. Positions that
// the stretches cannot count (from 2^24 on, where the counter stops) go
// through the per-sample `tick`.

namespace gs = gainstretch;

template <class Sink>
VELMORA_STRETCH_INLINE void TOsc::Block::run(Sink& sink, std::int32_t frames) noexcept {
    gs::StretchHint& hint = osc.hint;
    // Most blocks continue the stretch the last one ended in.
    if (const std::int32_t held = hint.holds(position, stepLength, rampUpLength, rampDownStart, 0, frames)) {
        hint.apply(sink, position, osc.stepGains[currentStep].load(), held);
        position = float(double(position) + double(held));
        frames -= held;
    }
    while (frames > 0) {
        if (!(position >= 0.0f && position < gs::kPositionLimit)) {
            sink.one(tick());
            --frames;
            continue;
        }
        if (position >= stepLength) beginStep();

        // The position is a whole number here: 0 after a boundary, or the
        // last one plus 1. `stretch` counts the frames to the next cut.
        const float p = position;
        const double dp = p;
        std::int32_t stretch = std::int32_t(double(gs::kPositionLimit) - dp);
        if (p < stepLength) {
            stretch = gs::countBelow(dp, stepLength, stretch);
            if (p < rampUpLength) stretch = gs::countBelow(dp, rampUpLength, stretch);
            if (p < rampDownStart) stretch = gs::countBelow(dp, rampDownStart, stretch);
        } else {
            stretch = 1;  // the next sample is a boundary again
        }

        const float gain = osc.stepGains[currentStep].load();
        gs::StretchHint::Kind kind = gs::StretchHint::kNone;
        std::int32_t count = stretch < frames ? stretch : frames;
        if (p < rampUpLength) {
            if (rampUpLength == 0.0f) {
                sink.constant(gain, count);
            } else if (gs::quotientIsExact(rampUpLength)) {
                sink.put(gs::RisingQuotient{std::int32_t(p), rampUpLength}, gain, count);
                kind = gs::StretchHint::kRising;
                hint.den = rampUpLength;
            } else {
                sink.put(gs::DoubleQuotient{dp, double(rampUpLength)}, gain, count);
            }
        } else if (p < rampDownStart) {
            sink.constant(gain, count);
            kind = gs::StretchHint::kConstant;
            hint.value = 1.0f;
        } else if (p < stepLength) {
            const double a = rampDownStart;
            const double w = double(stepLength) - double(rampDownStart);
            gs::FallingQuotient quotient{};
            const std::int32_t exact = gs::fallingQuotient(a, w, dp, stretch, quotient);
            if (exact > 0) {
                stretch = exact;
                count = stretch < frames ? stretch : frames;
                sink.put(quotient, gain, count);
                kind = gs::StretchHint::kFalling;
                hint.x = quotient.x;
                hint.den = quotient.den;
            } else {
                sink.put(gs::DoubleFall{a, dp, w}, gain, count);
            }
        } else {
            sink.constant(gain, count);
        }
        if (kind != gs::StretchHint::kNone) {
            hint.record(kind, p, stretch, stepLength, rampUpLength, rampDownStart, 0);
        } else {
            hint.forget();
        }
        position = float(dp + double(count));
        frames -= count;
    }
}

// Each entry point builds the Block and the sink itself, so that the
// running state and the buffer pointers live in registers through the
// loops. The 256-bit variant is the same code compiled for AVX2.
struct TOsc::Wide {
    template <class Sink, class... Pointers>
    VELMORA_WIDE_TARGET static void run(TOsc& osc, std::int32_t frames, Pointers... pointers) noexcept {
        Block block(osc);
        Sink sink{pointers...};
        block.run(sink, frames);
    }
    template <class Sink, class... Pointers>
    static void runNarrow(TOsc& osc, std::int32_t frames, Pointers... pointers) noexcept {
        Block block(osc);
        Sink sink{pointers...};
        block.run(sink, frames);
    }
    template <class Sink, class... Pointers>
    static void dispatch(TOsc& osc, std::int32_t frames, Pointers... pointers) noexcept {
        if (frames <= 0) return;
        if (gs::wideVectors()) run<Sink>(osc, frames, pointers...);
        else runNarrow<Sink>(osc, frames, pointers...);
    }
};

void TOsc::render(float* gains, std::int32_t frames) noexcept {
    if (gains != nullptr) Wide::dispatch<gs::GainBuffer>(*this, frames, gains);
}

void TOsc::replace(const float* in0, const float* in1, float* out0, float* out1, std::int32_t frames) noexcept {
    Wide::dispatch<gs::StereoGain<false>>(*this, frames, in0, in1, out0, out1);
}

void TOsc::accumulate(const float* in0, const float* in1, float* out0, float* out1, std::int32_t frames) noexcept {
    Wide::dispatch<gs::StereoGain<true>>(*this, frames, in0, in1, out0, out1);
}
