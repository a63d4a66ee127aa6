#include "LFO.h"

#include <new>

#include "GainStretch.h"
#include "SineKernel.h"

TLfo::TLfo() noexcept : sineCache(new (std::nothrow) float[kSineCacheSize]) {
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
    (void)tick();  // starts a cycle from the current settings
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
    if (percent < 10.0f) pulseWidth = 10.0f;
    else if (percent > 90.0f) pulseWidth = 90.0f;
    else pulseWidth = percent;
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
// (triangle, saws) or the sine kernel. The onset window and positions that
// the stretches cannot count (from 2^24 on) go through the per-sample
// `tick`.

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
        if (!(position >= 0.0f && position < gs::kPositionLimit) || onsetCount + 1.0f < onsetLength) {
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
        }
        position = float(double(position) + double(count));
        // The count stops at 2^24 as the per-sample one does.
        const double counted = double(onsetCount) + double(count);
        onsetCount = counted < double(gs::kPositionLimit) ? float(counted) : gs::kPositionLimit;
        frames -= count;
    }
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
    std::int32_t stretch = std::int32_t(double(gs::kPositionLimit) - dp);
    stretch = dp < T ? gs::countBelow(dp, T, stretch) : 1;
    gs::StretchHint& hint = lfo.hint;
    gs::StretchHint::Kind kind = gs::StretchHint::kNone;
    auto take = [&](std::int32_t most) {
        stretch = most;
        return stretch < frames ? stretch : frames;
    };
    std::int32_t count = 0;

    switch (wave) {
    case kSquare:
        if (p < 10.0f) {
            count = take(gs::countBelow(dp, 10.0, stretch));
            sink.put(gs::Table{&lfo.rampUp[static_cast<int>(p)]}, level, count);
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
                sink.put(gs::RisingQuotient{std::int32_t(p), highLength}, level, count);
                kind = gs::StretchHint::kRising;
                hint.den = highLength;
            } else {
                sink.put(gs::DoubleQuotient{dp, h}, level, count);
            }
        } else {
            const double w = T - h;
            gs::FallingQuotient quotient{};
            const std::int32_t exact = gs::fallingQuotient(h, w, dp, stretch, quotient);
            if (exact > 0) {
                count = take(exact);
                sink.put(quotient, level, count);
                kind = gs::StretchHint::kFalling;
                hint.x = quotient.x;
                hint.den = quotient.den;
            } else {
                count = take(stretch);
                sink.put(gs::DoubleFall{h, dp, w}, level, count);
            }
        }
        break;
    case kSawUp:
        if (dp < T - 9.0) {
            count = take(gs::countBelow(dp, T - 9.0, stretch));
            if (gs::quotientIsExact(period)) {
                sink.put(gs::RisingQuotient{std::int32_t(p), period}, level, count);
                kind = gs::StretchHint::kRising;
                hint.den = period;
            } else {
                sink.put(gs::DoubleQuotient{dp, T}, level, count);
            }
        } else {
            count = take(stretch);
            rampDownStretch(sink, level, count);
        }
        break;
    case kSawDown:
        if (p < 10.0f) {
            count = take(gs::countBelow(dp, 10.0, stretch));
            sink.put(gs::Table{&lfo.rampUp[static_cast<int>(p)]}, level, count);
        } else {
            // 1 - (p - 10) / T is the falling form (10 - p) / T + 1: the
            // same roundings, since rounding is symmetric about 0.
            gs::FallingQuotient quotient{};
            const std::int32_t exact = gs::fallingQuotient(10.0, T, dp, stretch, quotient);
            if (exact > 0) {
                count = take(exact);
                sink.put(quotient, level, count);
                kind = gs::StretchHint::kFalling;
                hint.x = quotient.x;
                hint.den = quotient.den;
            } else {
                count = take(stretch);
                sink.put(gs::DoubleFall{10.0, dp, T}, level, count);
            }
        }
        break;
    case kSine: {
        const double step = phaseStep;
        float* cache = lfo.sineCache.get();
        if (cache != nullptr && lfo.sineStep != phaseStep) {
            lfo.sineStep = phaseStep;
            lfo.sineFilled = 0;
        }
        if (cache != nullptr && dp < double(lfo.sineFilled)) {
            // Computed in an earlier cycle with this phase step.
            const std::int32_t known = lfo.sineFilled - std::int32_t(p);
            count = take(known < stretch ? known : stretch);
            sink.put(gs::Table{cache + std::int32_t(p)}, level, count);
            kind = gs::StretchHint::kTable;
            hint.table = cache;
            break;
        }
        std::int32_t quarter = 0;
        count = sinekernel::quarterFrames(dp, step, frames < sinekernel::kChunk ? frames : sinekernel::kChunk,
                                          quarter);
        if (count > stretch) count = stretch;
        float* target = sines;
        if (count == 0) {
            // No case for the kernel: this frame as the per-sample rule has it.
            sines[0] = float((std::sin(dp * step) + 1.0) / 2.0);
            count = 1;
        } else {
            // Extend the cache where this stretch continues it.
            if (cache != nullptr && dp == double(lfo.sineFilled) && lfo.sineFilled + count <= kSineCacheSize) {
                target = cache + lfo.sineFilled;
                lfo.sineFilled += count;
            }
            sinekernel::sineValues(target, dp, step, quarter, count);
        }
        sink.put(gs::Table{target}, level, count);
        break;
    }
    default:
        count = take(stretch);
        sink.constant(0.0f * level, count);
        kind = gs::StretchHint::kConstant;
        hint.value = 0.0f;
        break;
    }
    if (kind != gs::StretchHint::kNone) hint.record(kind, p, stretch, period, highLength, phaseStep, wave);
    else hint.forget();
    return count;
}

// Each entry point builds the Block and the sink itself, so that the
// running state and the buffer pointers live in registers through the
// loops. The 256-bit variant is the same code compiled for AVX2.
struct TLfo::Wide {
    template <class Sink, class... Pointers>
    VELMORA_WIDE_TARGET static void run(TLfo& lfo, std::int32_t frames, Pointers... pointers) noexcept {
        Block block(lfo);
        Sink sink{pointers...};
        block.run(sink, frames);
    }
    template <class Sink, class... Pointers>
    static void runNarrow(TLfo& lfo, std::int32_t frames, Pointers... pointers) noexcept {
        Block block(lfo);
        Sink sink{pointers...};
        block.run(sink, frames);
    }
    template <class Sink, class... Pointers>
    static void dispatch(TLfo& lfo, std::int32_t frames, Pointers... pointers) noexcept {
        if (frames <= 0) return;
        if (gs::wideVectors()) run<Sink>(lfo, frames, pointers...);
        else runNarrow<Sink>(lfo, frames, pointers...);
    }
};

void TLfo::render(float* gains, std::int32_t frames) noexcept {
    if (gains != nullptr) Wide::dispatch<gs::GainBuffer>(*this, frames, gains);
}

void TLfo::replace(const float* in0, const float* in1, float* out0, float* out1, std::int32_t frames) noexcept {
    Wide::dispatch<gs::StereoGain<false>>(*this, frames, in0, in1, out0, out1);
}

void TLfo::accumulate(const float* in0, const float* in1, float* out0, float* out1, std::int32_t frames) noexcept {
    Wide::dispatch<gs::StereoGain<true>>(*this, frames, in0, in1, out0, out1);
}
