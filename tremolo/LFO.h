// TLfo: the tremolo's low-frequency oscillator. It produces one gain value
// per sample frame: a cycle counted in samples (sample rate / rate), shaped
// as a square with a pulse width, a triangle, a saw up, a saw down or a
// sine, scaled by a level, with an optional onset window after each reset.
// The jumps of the square and the saw up are softened over ten samples by
// two small ramp tables.
//
// Numbers: every field is a 32-bit float (or integer); each expression is
// evaluated in double from the stored float operands and rounded to float
// when it is stored, so the curve is the same on every build.
//
// Threads: a host thread may call the setters and getters while the audio
// thread calls `tick`. Every field that is written after construction is a
// relaxed atomic; a `Block` (one `tick`, or a whole audio block) loads the
// running state once and stores it back once. The setters store their
// value first and raise `dirty` last (release), and the cycle start clears
// `dirty` with an acquiring exchange before it reads the settings, so a
// change that lands during a cycle start is never lost.
// Nothing here allocates, locks or calls out after construction.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>

#include "GainStretch.h"
#include "Nonblocking.h"
#include "Relaxed.h"

// The operations are virtual for their slot order and the class is final so
// that calls need no indirection; newer clang warns about that pairing.
#if defined(__clang__)
#pragma clang diagnostic push
#if __has_warning("-Wunnecessary-virtual-specifier")
#pragma clang diagnostic ignored "-Wunnecessary-virtual-specifier"
#endif
#endif
class TLfo final {
public:
    static constexpr std::uint8_t kSquare = 0;
    static constexpr std::uint8_t kTriangle = 1;
    static constexpr std::uint8_t kSawUp = 2;
    static constexpr std::uint8_t kSawDown = 3;
    static constexpr std::uint8_t kSine = 4;
    static constexpr int kRampLength = 10;

    // Level 1, rate 2 Hz, pulse width 0.5 percent, 44100 Hz, triangle, onset
    // off; nothing is derived until the first `tick` or `reset`.
    TLfo() noexcept;
    TLfo(const TLfo&) = delete;
    TLfo& operator=(const TLfo&) = delete;

    // Any host thread, as a rule while the audio is stopped. Restarts the
    // cycle and the onset window with the current settings; a block that is
    // running meanwhile leaves the restarted state alone.
    virtual void reset() noexcept;
    // Audio thread. The gain for the next sample frame, 0..level.
    virtual float tick() noexcept VELMORA_NONBLOCKING;

    virtual float getLevel() noexcept;      // percent
    virtual float getOnsetTime() noexcept;  // milliseconds
    virtual float getRate() noexcept;       // hertz
    virtual float getTempo() noexcept;      // beats per minute
    virtual std::int32_t getOnsetMode() noexcept;
    virtual float getPulseWidth() noexcept;  // percent
    virtual float getSampleRate() noexcept;  // hertz
    virtual std::uint8_t getWaveform() noexcept;

    // Setters refuse NaN, unchanged and out-of-range values silently.
    // The level and the onset mode act on the next value, the onset time at
    // the next `reset`; the others at the next cycle boundary (the waveform
    // shape itself at once, with the old cycle's lengths).
    virtual void setLevel(float percent) noexcept;           // 0..100
    virtual void setOnsetTime(float milliseconds) noexcept;  // 0 < x < 3000
    virtual void setRate(float hertz) noexcept;              // 0.1..100
    virtual void setTempo(float bpm) noexcept;               // setRate(bpm / 60)
    virtual void setOnsetMode(std::int32_t mode) noexcept;   // 0 hold, 1 fade in
    virtual void setPulseWidth(float percent) noexcept;      // clamped to 10..90
    virtual void setSampleRate(float hertz) noexcept;        // above 11000, finite
    virtual void setWaveform(std::uint8_t code) noexcept;    // any code; above 4 is silent

    // Runs many values on the audio thread with the running state in locals.
    class Block;

    // Audio thread. The gains of the next `frames` values, the same as that
    // many calls of `tick`, into gains[0 .. frames). The waveform and the
    // level are read once for the call, the other settings at the cycle
    // starts as in `tick`. The running state is held in a Block.
    void render(float* gains, std::int32_t frames) noexcept VELMORA_NONBLOCKING {
        if (gains == nullptr || frames <= 0) return;
        if (gainstretch::wideVectors())
            renderWide(*this, gains, frames);
        else
            renderNarrow(*this, gains, frames);
    }
    // Audio thread. For `frames` frames: out = in × gain (replacing) or
    // out = out + in × gain formed in double (accumulating), each rounded
    // once to float; the same samples as a loop over `tick`. Inputs and
    // outputs may be the same buffers.
    void replace(const float* in0, const float* in1, float* out0, float* out1,
                 std::int32_t frames) noexcept VELMORA_NONBLOCKING {
        if (frames <= 0) return;
        if (gainstretch::wideVectors())
            replaceWide(*this, in0, in1, out0, out1, frames);
        else
            replaceNarrow(*this, in0, in1, out0, out1, frames);
    }
    void accumulate(const float* in0, const float* in1, float* out0, float* out1,
                    std::int32_t frames) noexcept VELMORA_NONBLOCKING {
        if (frames <= 0) return;
        if (gainstretch::wideVectors())
            accumulateWide(*this, in0, in1, out0, out1, frames);
        else
            accumulateNarrow(*this, in0, in1, out0, out1, frames);
    }

private:
    // The block path (LFO.cpp), each in a variant for 256-bit vectors and
    // one for the processors without them.
    struct BlockPath;
    static void renderWide(TLfo& lfo, float* gains, std::int32_t frames) noexcept;
    static void renderNarrow(TLfo& lfo, float* gains, std::int32_t frames) noexcept;
    static void replaceWide(TLfo& lfo, const float* in0, const float* in1, float* out0, float* out1,
                            std::int32_t frames) noexcept;
    static void replaceNarrow(TLfo& lfo, const float* in0, const float* in1, float* out0, float* out1,
                              std::int32_t frames) noexcept;
    static void accumulateWide(TLfo& lfo, const float* in0, const float* in1, float* out0, float* out1,
                               std::int32_t frames) noexcept;
    static void accumulateNarrow(TLfo& lfo, const float* in0, const float* in1, float* out0, float* out1,
                                 std::int32_t frames) noexcept;
    struct CycleLengths {
        float period;
        float highLength;
        float phaseStep;
    };
    // Period, high length and phase step from the current settings.
    CycleLengths deriveCycle() noexcept;
    void markDirty() noexcept { dirty.store(true, std::memory_order_release); }

    Relaxed<float> level{1.0f};
    Relaxed<float> onsetTime{0.0f};
    Relaxed<float> rate{2.0f};
    Relaxed<std::int32_t> onsetMode{0};
    Relaxed<float> pulseWidth{0.5f};
    Relaxed<float> sampleRate{44100.0f};
    Relaxed<std::uint8_t> waveform{kTriangle};
    Relaxed<float> phaseStep{0.0f};
    float rampUp[kRampLength];    // 0.0, 0.1, ..., 0.9; constant after construction
    float rampDown[kRampLength];  // 1.0, 0.9, ..., 0.1; constant after construction
    Relaxed<std::int32_t> rampIndex{0};
    Relaxed<float> onsetLength{0.0f};
    Relaxed<float> period{0.0f};
    Relaxed<float> highLength{0.0f};
    Relaxed<float> onsetCount{0.0f};
    std::atomic<bool> dirty{true};
    Relaxed<float> position{1.0f};
    // Counts resets, so that a block running on the audio thread can tell
    // that a reset arrived while it ran and must not be overwritten.
    Relaxed<std::uint32_t> resets{0};

    // The wave values (before level and onset) of the positions
    // 0 .. cycleCached - 1 as the block path computed them for the waveform
    // and cycle lengths in cycleKey: later cycles with the same ones read
    // them back. Only values that follow from the position alone are kept
    // (not the falling ramp table, which follows rampIndex). Allocated at
    // construction (none if that fails); touched only by the audio thread's
    // blocks.
    static constexpr std::int32_t kCycleCacheSize = 1 << 17;
    std::unique_ptr<float[]> cycleCache;
    std::uint32_t cycleKey[4] = {};
    std::int32_t cycleCached = 0;
    // The stretch the block path's last block ended in (audio thread only).
    gainstretch::StretchHint hint;
    // The buffers of the last block and whether they keep their order in
    // 8-frame groups (audio thread only).
    gainstretch::OrderMemo orderMemo;
};
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// The oscillator's running state copied into locals for one audio block:
// the loop works on the copy (which output stores cannot alias) and the
// destructor writes it back once. The settings that act at once (level,
// waveform, onset mode) are still read for every value, the others at the
// cycle starts.
//
// Audio thread only; one Block per TLfo at a time.
class TLfo::Block {
public:
    explicit Block(TLfo& lfo) noexcept
        : lfo(lfo),
          resetsAtStart(lfo.resets),
          position(lfo.position),
          period(lfo.period),
          highLength(lfo.highLength),
          phaseStep(lfo.phaseStep),
          onsetCount(lfo.onsetCount),
          onsetLength(lfo.onsetLength),
          rampIndex(lfo.rampIndex) {}

    ~Block() {
        if (lfo.resets.load() != resetsAtStart) {
            // A reset from a host thread arrived during the block: keep its
            // state, and let the next cycle start take up whatever this
            // block consumed of a change.
            lfo.markDirty();
            return;
        }
        lfo.position = position;
        lfo.period = period;
        lfo.highLength = highLength;
        lfo.phaseStep = phaseStep;
        lfo.onsetCount = onsetCount;
        lfo.rampIndex = rampIndex;
    }

    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    inline float tick() noexcept VELMORA_NONBLOCKING;

private:
    // The block path (LFO.cpp): stretches of one waveform branch handed to
    // a sink.
    template <class Sink>
    void run(Sink& sink, std::int32_t frames) noexcept;
    template <class Sink>
    std::int32_t cut(Sink& sink, std::uint8_t wave, float level, std::int32_t frames, float* sines) noexcept;
    template <class Sink, class Shape>
    bool emit(Sink& sink, const Shape& shape, std::int32_t index, std::int32_t frames, float level) noexcept;
    template <class Sink>
    void rampDownStretch(Sink& sink, float level, std::int32_t& frames) noexcept;
    friend struct TLfo::BlockPath;

    void startCycle() noexcept {
        if (lfo.dirty.load(std::memory_order_relaxed) && lfo.dirty.exchange(false, std::memory_order_acquire)) {
            // By value: the block's fields must not escape, or the compiler
            // would keep them in memory for the whole loop.
            const CycleLengths lengths = lfo.deriveCycle();
            period = lengths.period;
            highLength = lengths.highLength;
            phaseStep = lengths.phaseStep;
        }
        position = 0.0f;
        rampIndex = 0;
    }

    // The next entry of the falling ramp. A waveform change inside a cycle
    // can ask for more entries than there are: the index then stays on the
    // last entry, so it can neither overrun the table nor overflow.
    float nextRampDown() noexcept {
        const float entry = lfo.rampDown[rampIndex < kRampLength ? rampIndex : kRampLength - 1];
        if (rampIndex < kRampLength) ++rampIndex;
        return entry;
    }

    TLfo& lfo;
    std::uint32_t resetsAtStart;
    float position;
    float period;
    float highLength;
    float phaseStep;
    float onsetCount;
    float onsetLength;
    std::int32_t rampIndex;
};

inline float TLfo::Block::tick() noexcept {
    if (position >= period) startCycle();

    // p is a whole number >= 0, so p < 10 makes it a valid index.
    const float p = position;
    const double dp = p, h = highLength, T = period;
    float v;
    switch (lfo.waveform.load()) {
        case kSquare:
            if (p < 10.0f)
                v = lfo.rampUp[static_cast<int>(p)];
            else if (dp < h)
                v = 1.0f;
            else if (dp < h + 9.0)
                v = nextRampDown();
            else
                v = 0.0f;
            break;
        case kTriangle:
            if (dp < h)
                v = float(dp / h);
            else
                v = float((h - dp) / (T - h) + 1.0);
            break;
        case kSawUp:
            if (dp < T - 9.0)
                v = float(dp / T);
            else
                v = nextRampDown();
            break;
        case kSawDown:
            if (p < 10.0f)
                v = lfo.rampUp[static_cast<int>(p)];
            else
                v = float(1.0 - (dp - 10.0) / T);
            break;
        case kSine: v = float((std::sin(dp * double(phaseStep)) + 1.0) / 2.0); break;
        default: v = 0.0f; break;
    }

    // A float plus 1 in float arithmetic is the double sum rounded to float
    // (the double sum is exact below 2^53), without two conversions in the
    // loop-carried chain.
    position = p + 1.0f;
    onsetCount = onsetCount + 1.0f;
    if (onsetCount < onsetLength) {
        if (lfo.onsetMode.load() == 0)
            v = 0.0f;
        else
            v = float(double(v) * double(onsetCount) / double(onsetLength));
    }
    return float(double(v) * double(lfo.level.load()));
}

inline float TLfo::tick() noexcept {
    // A cycle that starts here may change the lengths under the block
    // path's hint.
    hint.forget();
    Block block(*this);
    return block.tick();
}
