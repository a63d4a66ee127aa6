#include "Osc.h"

#include <cmath>
#include <new>

#include "GainStretch.h"

TOsc::TOsc() noexcept : stepCache(new (std::nothrow) float[kStepCacheSize]) {
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
// the falling ramp, or 1 after the end; times the step gain. The envelope
// is the same in every step of the same lengths, so its factors are kept in
// a cache while the first such step plays and read back later: each later
// step is then one stretch, a table times its gain. A block that continues
// the stretch the last one ended in takes it from the hint without cutting.
// Positions that the stretches cannot count (from 2^24 on, where the
// counter stops, or a fraction left by a racing reset) go through the
// per-sample `tick`.

namespace gs = gainstretch;

// The next frames of the step's envelope computed by `shape` into the step
// cache and from there into the sink, when `index` is the first frame the
// cache does not hold yet. Returns the frames done (0 if the cache cannot
// take them).
template <class Sink, class Shape>
VELMORA_STRETCH_INLINE std::int32_t TOsc::Block::extend(Sink& sink, float* envelope, std::int32_t index,
                                                        std::int32_t frames, const Shape& shape, float gain) noexcept {
    std::int32_t& cached = osc.stepCached;
    if (envelope == nullptr || index != cached || index >= kStepCacheSize) return 0;
    const std::int32_t count = frames < kStepCacheSize - index ? frames : kStepCacheSize - index;
    gs::GainBuffer{envelope + index}.put(shape, 1.0f, count);
    cached += count;
    sink.put(gs::Table{envelope + index}, gain, count);
    return count;
}

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
        if (!gs::isWholePosition(position)) {
            sink.one(tick());
            --frames;
            continue;
        }
        if (position >= stepLength) beginStep();

        // The position is a whole number here: 0 after a boundary, or the
        // last one plus 1. `stretch` counts the frames to the next cut.
        const float p = position;
        const double dp = p;
        const std::int32_t index = std::int32_t(p);
        std::int32_t stretch = std::int32_t(double(gs::kPositionLimit) - dp);
        if (p < stepLength) {
            stretch = gs::countBelow(dp, stepLength, stretch);
        } else {
            stretch = 1;  // the next sample is a boundary again
        }
        if (stretch <= 0) {
            // No stretch to cut here (settings changed under the block):
            // one sample by the per-sample rules, so the block always
            // moves on.
            hint.forget();
            sink.one(tick());
            --frames;
            continue;
        }

        // (The step cache holds the envelope of the lengths now in force:
        // a step that changes them empties it.)
        float* envelope = osc.stepCache.get();
        const float gain = osc.stepGains[currentStep].load();
        gs::StretchHint::Kind kind = gs::StretchHint::kNone;
        std::int32_t count = 0;
        std::int32_t done = 0;
        if (p < stepLength && envelope != nullptr && index < osc.stepCached) {
            // Computed in an earlier step with these lengths: the rest of
            // the step, or of what the cache holds, is one stretch. (For a
            // sink that is faster on constants, the hold stays one.)
            if (stretch > osc.stepCached - index) stretch = osc.stepCached - index;
            bool hold = false;
            if constexpr (Sink::prefersConstants) {
                if (p < rampUpLength) {
                    stretch = gs::countBelow(dp, rampUpLength, stretch);
                } else if (p < rampDownStart) {
                    stretch = gs::countBelow(dp, rampDownStart, stretch);
                    hold = true;
                }
            }
            count = stretch < frames ? stretch : frames;
            if (hold) {
                sink.constant(gain, count);
                kind = gs::StretchHint::kConstant;
                hint.value = 1.0f;
            } else {
                sink.put(gs::Table{envelope + index}, gain, count);
                kind = gs::StretchHint::kTable;
                hint.table = envelope;
            }
        } else {
            if (p < stepLength) {
                if (p < rampUpLength) stretch = gs::countBelow(dp, rampUpLength, stretch);
                if (p < rampDownStart) stretch = gs::countBelow(dp, rampDownStart, stretch);
            }
            count = stretch < frames ? stretch : frames;
            if (p < rampUpLength) {
                if (rampUpLength == 0.0f) {
                    sink.constant(gain, count);
                } else if (gs::quotientIsExact(rampUpLength)) {
                    const gs::RisingQuotient shape{index, rampUpLength};
                    done = extend(sink, envelope, index, count, shape, gain);
                    if (done == 0) {
                        sink.put(shape, gain, count);
                        kind = gs::StretchHint::kRising;
                        hint.den = rampUpLength;
                    }
                } else {
                    const gs::DoubleQuotient shape{dp, double(rampUpLength)};
                    done = extend(sink, envelope, index, count, shape, gain);
                    if (done == 0) sink.put(shape, gain, count);
                }
            } else if (p < rampDownStart) {
                done = extend(sink, envelope, index, count, gs::Constant{1.0f}, gain);
                if (done == 0) {
                    sink.constant(gain, count);
                    kind = gs::StretchHint::kConstant;
                    hint.value = 1.0f;
                }
            } else if (p < stepLength) {
                const double a = rampDownStart;
                const double w = double(stepLength) - double(rampDownStart);
                gs::FallingQuotient quotient{};
                const std::int32_t exact = gs::fallingQuotient(a, w, dp, stretch, quotient);
                if (exact > 0) {
                    stretch = exact;
                    count = stretch < frames ? stretch : frames;
                    done = extend(sink, envelope, index, count, quotient, gain);
                    if (done == 0) {
                        sink.put(quotient, gain, count);
                        kind = gs::StretchHint::kFalling;
                        hint.x = quotient.x;
                        hint.den = quotient.den;
                    }
                } else {
                    const gs::DoubleFall shape{a, dp, w};
                    done = extend(sink, envelope, index, count, shape, gain);
                    if (done == 0) sink.put(shape, gain, count);
                }
            } else {
                sink.constant(gain, count);
            }
        }
        if (done > 0) count = done;
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
// loops. The 256-bit variants are the same code compiled for AVX2.
struct TOsc::BlockPath {
    static gs::OrderMemo& orderMemo(TOsc& osc) noexcept { return osc.orderMemo; }
    // The whole block inside the stretch the last one ended in: the shape
    // straight onto the sink, without a Block. A reset from a host thread
    // meanwhile is left to stand, as in the Block.
    template <class Sink>
    VELMORA_STRETCH_INLINE static bool continueStretch(TOsc& osc, Sink& sink, std::int32_t frames) noexcept {
        const std::uint32_t resets = osc.resets.load();
        const float p = osc.position.load();
        // (The lengths need no test: a step that changes them forgets the
        // hint.)
        if (osc.hint.covers(p, frames) != frames) return false;
        if (!osc.hint.applyCommon(sink, p, osc.stepGains[osc.currentStep.load()].load(), frames)) return false;
        // p is a whole number below 2^24, and so is p + frames.
        if (osc.resets.load() == resets) osc.position = float(std::int32_t(p) + frames);
        return true;
    }
    // The block cut into stretches (out of line, see gainstretch::runBlock).
    template <class Sink>
    VELMORA_STRETCH_INLINE static void cut(TOsc& osc, Sink& sink, std::int32_t frames) noexcept {
        Block block(osc);
        block.run(sink, frames);
    }
};

VELMORA_WIDE_TARGET void TOsc::renderWide(TOsc& osc, float* gains, std::int32_t frames) noexcept {
    gs::runBlock<true, BlockPath, gs::GainBuffer>(osc, frames, gains);
}
void TOsc::renderNarrow(TOsc& osc, float* gains, std::int32_t frames) noexcept {
    gs::runBlock<false, BlockPath, gs::GainBuffer>(osc, frames, gains);
}
VELMORA_WIDE_TARGET void TOsc::replaceWide(TOsc& osc, const float* in0, const float* in1, float* out0, float* out1,
                                           std::int32_t frames) noexcept {
    gs::runBlock<true, BlockPath, gs::WideStereoReplace<>>(osc, frames, in0, in1, out0, out1);
}
void TOsc::replaceNarrow(TOsc& osc, const float* in0, const float* in1, float* out0, float* out1,
                         std::int32_t frames) noexcept {
    gs::runBlock<false, BlockPath, gs::StereoGain<false>>(osc, frames, in0, in1, out0, out1);
}
VELMORA_WIDE_TARGET void TOsc::accumulateWide(TOsc& osc, const float* in0, const float* in1, float* out0, float* out1,
                                              std::int32_t frames) noexcept {
    gs::runBlock<true, BlockPath, gs::StereoGain<true>>(osc, frames, in0, in1, out0, out1);
}
void TOsc::accumulateNarrow(TOsc& osc, const float* in0, const float* in1, float* out0, float* out1,
                            std::int32_t frames) noexcept {
    gs::runBlock<false, BlockPath, gs::StereoGain<true>>(osc, frames, in0, in1, out0, out1);
}
