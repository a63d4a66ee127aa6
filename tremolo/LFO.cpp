#include "LFO.h"

#include <new>

#include "GainStretch.h"
#include "SineKernel.h"

TLfo::TLfo() noexcept : cycleCache(new (std::nothrow) float[kCycleCacheSize]) {
    for (int i = 0; i < kRampLength; ++i) {
        rampUp[i] = float(i * 0.1);
        rampDown[i] = float(1.0 - i * 0.1);
    }
}

// Runs at a cycle start after a change (on the audio thread, or inside
// `reset` on a host thread): the one place where the cycle's lengths are
// divided out.
TLfo::CycleLengths TLfo::deriveCycle() noexcept {
    const float T = float(double(sampleRate) / double(rate));
    const float h = waveform == kSquare ? float(double(T) * double(pulseWidth) / 100.0) : float(double(T) * 0.5);
    return {T, h, float(6.283185307 / double(T))};
}

void TLfo::reset() noexcept {
    rampIndex = 0;
    position = float(double(period) + 1.0);
    markDirty();
    {
        // Starts a cycle from the current settings (the per-sample step
        // itself: the public tick also drops the audio thread's hint).
        Block block(*this);
        (void)block.tick();
    }
    position = 0.0f;
    onsetCount = 0.0f;
    onsetLength = float(double(onsetTime) * double(sampleRate) / 1000.0);
    resets = resets + 1u;
}

float TLfo::getLevel() noexcept { return float(double(level) * 100.0); }
float TLfo::getOnsetTime() noexcept { return onsetTime; }
float TLfo::getRate() noexcept { return rate; }
float TLfo::getTempo() noexcept { return float(double(rate) * 60.0); }
std::int32_t TLfo::getOnsetMode() noexcept { return onsetMode; }
float TLfo::getPulseWidth() noexcept { return pulseWidth; }
float TLfo::getSampleRate() noexcept { return sampleRate; }
std::uint8_t TLfo::getWaveform() noexcept { return waveform; }

// The range tests are written so that NaN fails them.

void TLfo::setLevel(float percent) noexcept {
    if (percent >= 0.0f && percent <= 100.0f) level = float(double(percent) / 100.0);
}

void TLfo::setOnsetTime(float milliseconds) noexcept {
    if (milliseconds == onsetTime) return;
    if (milliseconds > 0.0f && milliseconds < 3000.0f) onsetTime = milliseconds;
}

void TLfo::setRate(float hertz) noexcept {
    if (hertz == rate) return;
    if (!(hertz >= 0.1f && hertz <= 100.0f)) return;
    rate = hertz;
    markDirty();
}

void TLfo::setTempo(float bpm) noexcept { setRate(float(double(bpm) / 60.0)); }

void TLfo::setOnsetMode(std::int32_t mode) noexcept {
    if (mode == 0 || mode == 1) onsetMode = mode;
}

void TLfo::setPulseWidth(float percent) noexcept {
    if (percent == pulseWidth || std::isnan(percent)) return;
    if (percent < 10.0f)
        pulseWidth = 10.0f;
    else if (percent > 90.0f)
        pulseWidth = 90.0f;
    else
        pulseWidth = percent;
    markDirty();
}

void TLfo::setSampleRate(float hertz) noexcept {
    if (hertz == sampleRate) return;
    if (!(hertz > 11000.0f)) return;
    // An infinite rate would make the cycle that starts next endless: the
    // sound would stay frozen even after the host sets a usable rate.
    if (std::isinf(hertz)) return;
    sampleRate = hertz;
    markDirty();
}

void TLfo::setWaveform(std::uint8_t code) noexcept {
    if (code == waveform) return;
    waveform = code;
    markDirty();
}

// ---- The block path ----
//
// Within a cycle each waveform changes branch only at a few positions: the
// ends of the ramp tables (10, h + 9, T - 9), the high length h and the
// cycle end T. Each stretch between two of them is one shape times the
// level: a constant, a slice of a ramp table, a quotient of the position
// (triangle, saws) or the sine kernel, whose values are kept in a cache
// for the cycles that follow with the same phase step. A block that
// continues the stretch the last one ended in takes it from the hint
// without cutting. The onset window and positions that the stretches
// cannot count (from 2^24 on, or a fraction left by a racing reset) go
// through the per-sample `tick`.

namespace gs = gainstretch;

// The falling ramp table from rampIndex on: at most as many frames as it
// has entries left, then its last entry (where a waveform change inside a
// cycle asks for more, see nextRampDown).
template <class Sink>
VELMORA_STRETCH_INLINE void TLfo::Block::rampDownStretch(Sink& sink, float level, std::int32_t& frames) noexcept {
    if (rampIndex < kRampLength) {
        if (frames > kRampLength - rampIndex) frames = kRampLength - rampIndex;
        sink.put(gs::Table{&lfo.rampDown[rampIndex]}, level, frames);
        rampIndex += frames;
    } else {
        sink.constant(lfo.rampDown[kRampLength - 1] * level, frames);
    }
}

template <class Sink>
VELMORA_STRETCH_INLINE void TLfo::Block::run(Sink& sink, std::int32_t frames) noexcept {
    const std::uint8_t wave = lfo.waveform.load();
    const float level = lfo.level.load();
    gs::StretchHint& hint = lfo.hint;
    float sines[sinekernel::kChunk];
    while (frames > 0) {
        if (!gs::isWholePosition(position) || onsetCount + 1.0f < onsetLength) {
            sink.one(tick());
            --frames;
            continue;
        }
        // Most blocks continue the stretch the last one ended in.
        std::int32_t count = hint.holds(position, period, highLength, phaseStep, wave, frames);
        if (count > 0) {
            hint.apply(sink, position, level, count);
        } else {
            count = cut(sink, wave, level, frames, sines);
            if (count <= 0) {
                // Nothing cut (settings changed under the block): one
                // sample by the per-sample rules, so the block always
                // moves on.
                hint.forget();
                sink.one(tick());
                --frames;
                continue;
            }
        }
        position = float(double(position) + double(count));
        // The count stops at 2^24 as the per-sample one does.
        const double counted = double(onsetCount) + double(count);
        onsetCount = counted < double(gs::kPositionLimit) ? float(counted) : gs::kPositionLimit;
        frames -= count;
    }
}

// A stretch of values that follow from the position alone, into the sink;
// computed into the cycle cache on the way when it continues what the
// cache holds. Returns whether it did (a later block then cuts anew, to go
// on filling it).
template <class Sink, class Shape>
VELMORA_STRETCH_INLINE bool TLfo::Block::emit(Sink& sink, const Shape& shape, std::int32_t index, std::int32_t frames,
                                              float level) noexcept {
    float* cache = lfo.cycleCache.get();
    if (cache != nullptr && index == lfo.cycleCached && frames <= kCycleCacheSize - index) {
        gs::GainBuffer{cache + index}.put(shape, 1.0f, frames);
        lfo.cycleCached += frames;
        sink.put(gs::Table{cache + index}, level, frames);
        return true;
    }
    sink.put(shape, level, frames);
    return false;
}

// One stretch from the position on (a cycle start first, if due), at most
// `frames` long, into the sink; records it in the hint where a later block
// may continue it. Returns its length.
template <class Sink>
VELMORA_STRETCH_INLINE std::int32_t TLfo::Block::cut(Sink& sink, std::uint8_t wave, float level, std::int32_t frames,
                                                     float* sines) noexcept {
    if (position >= period) startCycle();

    // The position is a whole number: 0 at a cycle start, or the last one
    // plus 1. `stretch` counts the frames to the next cut.
    const float p = position;
    const double dp = p, h = highLength, T = period;
    const std::int32_t index = std::int32_t(p);
    std::int32_t stretch = std::int32_t(double(gs::kPositionLimit) - dp);
    stretch = dp < T ? gs::countBelow(dp, T, stretch) : 1;
    gs::StretchHint& hint = lfo.hint;
    gs::StretchHint::Kind kind = gs::StretchHint::kNone;

    // The cycle cache holds the values of this waveform and these lengths
    // only; where it holds this position, it serves to the end of what it
    // holds (or of the cycle).
    float* cache = lfo.cycleCache.get();
    if (cache != nullptr) {
        const std::uint32_t key[4] = {wave, gs::StretchHint::bits(period), gs::StretchHint::bits(highLength),
                                      gs::StretchHint::bits(phaseStep)};
        if (key[0] != lfo.cycleKey[0] || key[1] != lfo.cycleKey[1] || key[2] != lfo.cycleKey[2] ||
            key[3] != lfo.cycleKey[3]) {
            for (int i = 0; i < 4; ++i) lfo.cycleKey[i] = key[i];
            lfo.cycleCached = 0;
        }
        if (index < lfo.cycleCached) {
            if (stretch > lfo.cycleCached - index) stretch = lfo.cycleCached - index;
            const std::int32_t count = stretch < frames ? stretch : frames;
            sink.put(gs::Table{cache + index}, level, count);
            hint.table = cache;
            hint.record(gs::StretchHint::kTable, p, stretch, period, highLength, phaseStep, wave);
            hint.epoch = resetsAtStart;
            return count;
        }
    }

    auto take = [&](std::int32_t most) {
        stretch = most;
        return stretch < frames ? stretch : frames;
    };
    std::int32_t count = 0;
    switch (wave) {
        case kSquare:
            if (p < 10.0f) {
                count = take(gs::countBelow(dp, 10.0, stretch));
                sink.put(gs::Table{&lfo.rampUp[index]}, level, count);
            } else if (dp < h) {
                count = take(gs::countBelow(dp, h, stretch));
                sink.constant(level, count);
                kind = gs::StretchHint::kConstant;
                hint.value = 1.0f;
            } else if (dp < h + 9.0) {
                count = take(gs::countBelow(dp, h + 9.0, stretch));
                rampDownStretch(sink, level, count);
            } else {
                count = take(stretch);
                sink.constant(0.0f * level, count);
                kind = gs::StretchHint::kConstant;
                hint.value = 0.0f;
            }
            break;
        case kTriangle:
            if (dp < h) {
                count = take(gs::countBelow(dp, h, stretch));
                if (gs::quotientIsExact(highLength)) {
                    const gs::RisingQuotient shape{index, highLength};
                    if (!emit(sink, shape, index, count, level)) {
                        kind = gs::StretchHint::kRising;
                        hint.den = highLength;
                    }
                } else {
                    emit(sink, gs::DoubleQuotient{dp, h}, index, count, level);
                }
            } else {
                const double w = T - h;
                gs::FallingQuotient quotient{};
                const std::int32_t exact = gs::fallingQuotient(h, w, dp, stretch, quotient);
                if (exact > 0) {
                    count = take(exact);
                    if (!emit(sink, quotient, index, count, level)) {
                        kind = gs::StretchHint::kFalling;
                        hint.x = quotient.x;
                        hint.den = quotient.den;
                    }
                } else {
                    count = take(stretch);
                    emit(sink, gs::DoubleFall{h, dp, w}, index, count, level);
                }
            }
            break;
        case kSawUp:
            if (dp < T - 9.0) {
                count = take(gs::countBelow(dp, T - 9.0, stretch));
                if (gs::quotientIsExact(period)) {
                    const gs::RisingQuotient shape{index, period};
                    if (!emit(sink, shape, index, count, level)) {
                        kind = gs::StretchHint::kRising;
                        hint.den = period;
                    }
                } else {
                    emit(sink, gs::DoubleQuotient{dp, T}, index, count, level);
                }
            } else {
                count = take(stretch);
                rampDownStretch(sink, level, count);
            }
            break;
        case kSawDown:
            if (p < 10.0f) {
                count = take(gs::countBelow(dp, 10.0, stretch));
                emit(sink, gs::Table{&lfo.rampUp[index]}, index, count, level);
            } else {
                // 1 - (p - 10) / T is the falling form (10 - p) / T + 1: the
                // same roundings, since rounding is symmetric about 0.
                gs::FallingQuotient quotient{};
                const std::int32_t exact = gs::fallingQuotient(10.0, T, dp, stretch, quotient);
                if (exact > 0) {
                    count = take(exact);
                    if (!emit(sink, quotient, index, count, level)) {
                        kind = gs::StretchHint::kFalling;
                        hint.x = quotient.x;
                        hint.den = quotient.den;
                    }
                } else {
                    count = take(stretch);
                    emit(sink, gs::DoubleFall{10.0, dp, T}, index, count, level);
                }
            }
            break;
        case kSine: {
            const double step = phaseStep;
            std::int32_t quarter = 0;
            count =
                sinekernel::quarterFrames(dp, step, frames < sinekernel::kChunk ? frames : sinekernel::kChunk, quarter);
            if (count > stretch) count = stretch;
            if (count == 0) {
                // No case for the kernel: this frame as the per-sample rule has it.
                sines[0] = float((std::sin(dp * step) + 1.0) / 2.0);
                emit(sink, gs::Table{sines}, index, 1, level);
                count = 1;
                break;
            }
            // Straight into the cycle cache where it continues what the cache
            // holds (the kernel writes whole groups of 8: room for those too).
            float* values = sines;
            const bool cached = cache != nullptr && index == lfo.cycleCached &&
                                sinekernel::roundUpToGroup(count) <= kCycleCacheSize - index;
            if (cached) values = cache + index;
            sinekernel::sineValuesBy(sinekernel::fastestVariant(), values, dp, step, quarter, count);
            if (cached) lfo.cycleCached += count;
            sink.put(gs::Table{values}, level, count);
            break;
        }
        default:
            count = take(stretch);
            sink.constant(0.0f * level, count);
            kind = gs::StretchHint::kConstant;
            hint.value = 0.0f;
            break;
    }
    if (kind != gs::StretchHint::kNone) {
        hint.record(kind, p, stretch, period, highLength, phaseStep, wave);
        hint.epoch = resetsAtStart;
    } else {
        hint.forget();
    }
    return count;
}

// Each entry point builds the Block and the sink itself, so that the
// running state and the buffer pointers live in registers through the
// loops. The 256-bit variants are the same code compiled for AVX2 with FMA.
struct TLfo::BlockPath {
    static gs::OrderMemo& orderMemo(TLfo& lfo) noexcept { return lfo.orderMemo; }
    // The whole block inside the stretch the last one ended in (and past
    // the onset window): the shape straight onto the sink, without a Block.
    // A reset from a host thread meanwhile is left to stand, as in the Block.
    // The onset count is left as it is: past the window it only decides
    // that the window is over, which stays true as it grows (until a reset
    // sets both the count and the window anew).
    template <class Sink>
    VELMORA_STRETCH_INLINE static bool continueStretch(TLfo& lfo, Sink& sink, std::int32_t frames) noexcept {
        const std::uint32_t resets = lfo.resets.load();
        const float p = lfo.position.load();
        const float counted = lfo.onsetCount.load();
        if (counted + 1.0f < lfo.onsetLength.load()) return false;
        // The lengths need no test: on the audio thread they change only
        // in a block, which records the hint anew or forgets it, or in the
        // public tick, which forgets it; on a host thread only in a reset,
        // which moves the count the hint was recorded under.
        const gs::StretchHint& hint = lfo.hint;
        if (hint.covers(p, frames) != frames || hint.epoch != resets || lfo.waveform.load() != hint.tag) {
            return false;
        }
        if (!lfo.hint.applyCommon(sink, p, lfo.level.load(), frames)) return false;
        if (lfo.resets.load() == resets) lfo.position = float(std::int32_t(p) + frames);  // whole, below 2^24
        return true;
    }
    // The block cut into stretches (out of line, see gainstretch::runBlock).
    template <class Sink>
    VELMORA_STRETCH_INLINE static void cut(TLfo& lfo, Sink& sink, std::int32_t frames) noexcept {
        Block block(lfo);
        block.run(sink, frames);
    }
};

VELMORA_WIDE_TARGET void TLfo::renderWide(TLfo& lfo, float* gains, std::int32_t frames) noexcept {
    gs::runBlock<true, BlockPath, gs::GainBuffer>(lfo, frames, gains);
}
void TLfo::renderNarrow(TLfo& lfo, float* gains, std::int32_t frames) noexcept {
    gs::runBlock<false, BlockPath, gs::GainBuffer>(lfo, frames, gains);
}
VELMORA_WIDE_TARGET void TLfo::replaceWide(TLfo& lfo, const float* in0, const float* in1, float* out0, float* out1,
                                           std::int32_t frames) noexcept {
    gs::runBlock<true, BlockPath, gs::WideStereoReplace<>>(lfo, frames, in0, in1, out0, out1);
}
void TLfo::replaceNarrow(TLfo& lfo, const float* in0, const float* in1, float* out0, float* out1,
                         std::int32_t frames) noexcept {
    gs::runBlock<false, BlockPath, gs::StereoGain<false>>(lfo, frames, in0, in1, out0, out1);
}
VELMORA_WIDE_TARGET void TLfo::accumulateWide(TLfo& lfo, const float* in0, const float* in1, float* out0, float* out1,
                                              std::int32_t frames) noexcept {
    gs::runBlock<true, BlockPath, gs::StereoGain<true>>(lfo, frames, in0, in1, out0, out1);
}
void TLfo::accumulateNarrow(TLfo& lfo, const float* in0, const float* in1, float* out0, float* out1,
                            std::int32_t frames) noexcept {
    gs::runBlock<false, BlockPath, gs::StereoGain<true>>(lfo, frames, in0, in1, out0, out1);
}
