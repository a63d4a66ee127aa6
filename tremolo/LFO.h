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
// relaxed atomic; a `Running` (one `tick`, or a whole audio block) loads the
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

#include "BlockEngine.h"
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
// The block operations render, replace and accumulate come from
// engine::BlockOperations.
class TLfo final : public engine::BlockOperations<TLfo> {
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

    // Audio thread, between blocks. While following the host, cycles begin
    // only where enterHostCycle says (the plug-in formats that know the
    // host's beat), each as long as it is told; a cycle that runs on past
    // its length rests at the value the next one starts with (0.5 for the
    // sine, else 0). Off (as constructed), the oscillator times its cycles
    // itself again, from where it is.
    void followHost(bool on) noexcept;
    // Audio thread, between blocks, while following the host: the next
    // value is `position` frames into a cycle `length` frames long (its
    // high length and phase step formed from that length and the settings
    // now). A position of 0 begins the cycle.
    void enterHostCycle(float length, float position) noexcept;

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

private:
    // The running state of one value or one block (below).
    class Running;
    friend class engine::Engine<TLfo>;

    struct CycleLengths {
        float period;
        float highLength;
        float phaseStep;
    };
    // Period, high length and phase step from the current settings (for a
    // cycle `period` long, following the host).
    CycleLengths deriveCycle() noexcept;
    CycleLengths deriveCycle(float period) noexcept;
    void markDirty() noexcept { dirty.store(true, std::memory_order_release); }

    // What the block engine reads between blocks (see BlockEngine.h): a
    // cycle's description depends, besides its lengths, on the resets and
    // on the waveform, which a host thread may change at any time.
    std::uint64_t shapeKey() const noexcept { return std::uint64_t(waveform.load()) << 32 | resets.load(); }
    float scale() const noexcept { return level; }

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
    // The block engine's memory of this oscillator (audio thread only).
    engine::Memory memory;
    // Cycles timed by the host (see followHost; audio thread only): the
    // next cycle's length and starting position, once asked for.
    struct HostCycle {
        bool following = false;
        bool pending = false;
        float length = 0.0f;
        float position = 0.0f;
    } host;
};
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// The oscillator's running state copied into locals for one value or one
// audio block: the loop works on the copy (which output stores cannot
// alias) and the destructor writes it back once. The settings that act at
// once (level, waveform, onset mode) are read for every value, the others
// at the cycle starts. `tick` is the per-sample definition; the rest is
// what the block engine asks of a cycle.
//
// One Running per TLfo at a time: the audio thread's, or the one inside
// `reset`.
class TLfo::Running {
public:
    explicit Running(TLfo& lfo) noexcept
        : position(lfo.position),
          lfo(lfo),
          resetsAtStart(lfo.resets),
          period(lfo.period),
          highLength(lfo.highLength),
          phaseStep(lfo.phaseStep),
          onsetCount(lfo.onsetCount),
          onsetLength(lfo.onsetLength),
          rampIndex(lfo.rampIndex) {}
    ~Running();
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    inline float tick() noexcept VELMORA_NONBLOCKING;
    // The value at the position, moving one position on (the cycle start
    // taken care of).
    inline float nextValue() noexcept;

    // Cycle start: take up changed settings, start at position 0. Returns
    // whether settings were taken up (else the lengths are the last
    // cycle's).
    bool startPeriod() noexcept {
        if (lfo.host.pending) return startHostCycle();
        const bool changed =
            lfo.dirty.load(std::memory_order_relaxed) && lfo.dirty.exchange(false, std::memory_order_acquire);
        if (changed) takeLengths(lfo.deriveCycle());
        position = 0.0f;
        rampIndex = 0;
        return changed;
    }

    // A cycle ends where its length ends, or, following the host, where the
    // host says.
    bool periodEnded() const noexcept { return lfo.host.following ? lfo.host.pending : position >= period; }

    // For the block engine.
    std::uint64_t describe(engine::Period& cycle) const noexcept;
    float scale() const noexcept { return lfo.level.load(); }
    // The onset window scales each value by its own count: per sample.
    bool perSampleOnly() const noexcept { return onsetCount + 1.0f < onsetLength; }
    // Frames went through a falling ramp: they used up its entries.
    void passed(const engine::Segment&, std::int32_t frames) noexcept {
        rampIndex = frames < kRampLength - rampIndex ? rampIndex + frames : kRampLength;
    }

    float position;

private:
    // The next entry of the falling ramp. A waveform change inside a cycle
    // can ask for more entries than there are: the index then stays past
    // the last entry, which is given again, so it can neither overrun the
    // table nor overflow.
    float nextRampDown() noexcept {
        const float entry = lfo.rampDown[rampIndex < kRampLength ? rampIndex : kRampLength - 1];
        if (rampIndex < kRampLength) ++rampIndex;
        return entry;
    }
    void describeFall(engine::Period& cycle, double end) const noexcept;

    // The cycle's lengths, given by value: the running fields must not
    // escape, or the compiler would keep them in memory for the whole loop.
    void takeLengths(CycleLengths lengths) noexcept {
        period = lengths.period;
        highLength = lengths.highLength;
        phaseStep = lengths.phaseStep;
    }

    // Past the end of a cycle the host times: the value the next cycle
    // starts with.
    float restValue() const noexcept { return lfo.waveform.load() == kSine ? 0.5f : 0.0f; }

    // The host's cycle: its lengths from the given length, its position,
    // and as many entries of the falling ramp used as that position has
    // passed.
    bool startHostCycle() noexcept {
        takeLengths(lfo.deriveCycle(lfo.host.length));
        position = lfo.host.position;
        rampIndex = rampUsedBefore(position);
        lfo.host.pending = false;
        return true;
    }
    std::int32_t rampUsedBefore(float p) const noexcept;

    TLfo& lfo;
    std::uint32_t resetsAtStart;
    float period;
    float highLength;
    float phaseStep;
    float onsetCount;
    float onsetLength;
    std::int32_t rampIndex;
};

inline float TLfo::Running::tick() noexcept {
    if (periodEnded()) startPeriod();
    return nextValue();
}

inline float TLfo::Running::nextValue() noexcept {
    // p is a whole number >= 0, so p < 10 makes it a valid index.
    const float p = position;
    const double dp = p, h = highLength, T = period;
    float v;
    if (dp >= T && lfo.host.following) {
        v = restValue();
    } else {
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

inline TLfo::Running::~Running() {
    if (lfo.resets.load() != resetsAtStart) {
        // A reset from a host thread arrived during the block: keep its
        // state, and let the next cycle start take up whatever this block
        // consumed of a change.
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

// The cycle of the waveform now set, as `tick` tests it: each branch a
// segment; times the level (the scale).
inline std::uint64_t TLfo::Running::describe(engine::Period& cycle) const noexcept {
    using engine::Shape;
    const std::uint8_t wave = lfo.waveform.load();
    const double h = highLength, T = period;
    cycle.clear();
    switch (wave) {
        case kSquare:
            cycle.add(10.0, Shape::tableFrom(lfo.rampUp, 0));
            cycle.add(h, Shape::constant(1.0f));
            describeFall(cycle, h + 9.0);
            cycle.add(T, Shape::constant(0.0f));
            break;
        case kTriangle:
            cycle.add(h, Shape::rising(h));
            cycle.add(T, Shape::falling(h, T - h));
            break;
        case kSawUp:
            cycle.add(T - 9.0, Shape::rising(T));
            describeFall(cycle, T);
            break;
        case kSawDown:
            cycle.add(10.0, Shape::tableFrom(lfo.rampUp, 0));
            // 1 - (p - 10) / T is the falling form (10 - p) / T + 1: the
            // same roundings, since rounding is symmetric about 0.
            cycle.add(T, Shape::falling(10.0, T));
            break;
        case kSine: cycle.add(T, Shape::sine(phaseStep)); break;
        default: cycle.add(T, Shape::constant(0.0f)); break;
    }
    if (lfo.host.following) cycle.add(INFINITY, Shape::constant(restValue()));
    return std::uint64_t(wave) << 32 | resetsAtStart;
}

// The falling ramp from where the branches before it end up to `end`: the
// entries of the table from the first position on, one a frame, then the
// last entry again (a counted segment: the frames that pass use the
// entries up). That is the ramp whenever rampIndex has counted exactly the
// ramp's positions before the running one, as in every cycle with one
// waveform. After a waveform change inside a cycle it may not have: the
// ramp then goes on from the running position with the entries rampIndex
// has left (positions before it are never asked for again).
inline void TLfo::Running::describeFall(engine::Period& cycle, double end) const noexcept {
    using engine::Shape;
    const double start = std::ceil(cycle.reached);
    const double playedUpTo = std::fmin(double(position), std::ceil(end));
    const double played = playedUpTo > start ? playedUpTo - start : 0.0;
    const std::int32_t used = rampIndex < kRampLength ? rampIndex : kRampLength;
    const bool inStep = double(used) == std::fmin(played, double(kRampLength));
    const double first = inStep ? start : std::fmax(start, double(position));
    const std::int32_t from = inStep ? 0 : used;
    const float last = lfo.rampDown[kRampLength - 1];
    cycle.add(first < end ? first : end, Shape::constant(last));  // played already
    if (from < kRampLength && first < double(engine::kPositionLimit)) {
        const double tableEnd = first + double(kRampLength - from);
        cycle.add(tableEnd < end ? tableEnd : end, Shape::tableFrom(&lfo.rampDown[from], std::int32_t(first)), true);
    }
    cycle.add(end, Shape::constant(last));
}

// The entries of the falling ramp that `tick` uses up before position p of
// a cycle of this waveform and these lengths: one for each position of the
// ramp before p.
inline std::int32_t TLfo::Running::rampUsedBefore(float p) const noexcept {
    const double h = highLength, T = period;
    double start = 0.0, end = 0.0;
    switch (lfo.waveform.load()) {
        case kSquare:
            start = std::fmax(10.0, h);
            end = h + 9.0;
            break;
        case kSawUp:
            start = T - 9.0;
            end = T;
            break;
        default: return 0;
    }
    const double passed = std::fmin(double(p), std::ceil(end)) - std::ceil(start);
    return passed <= 0.0 ? 0 : passed >= double(kRampLength) ? kRampLength : std::int32_t(passed);
}

extern template struct engine::Entries<TLfo>;
