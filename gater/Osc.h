// TOsc: the step gate's gain generator. It plays a cycle of 1 to 16 steps
// of equal length (sample rate / step rate samples), gives each step its own
// linear gain and shapes each step with a trapezoid envelope whose ramps are
// `edge` × half a step long.
//
// Threads: the setters and `reset` run on host threads (parameter changes,
// program changes, suspend/resume) while `tick` and the block operations
// run on the audio thread. Every field that a setter or `reset` writes, or
// that `reset` reads, is atomic (relaxed, except the `dirty` handshake), so
// the two sides never race; new lengths reach the sound at the next step
// boundary, a new step gain at the next sample.
//
// Numbers: every stored value is a 32-bit float (or int); each expression is
// evaluated in double from the stored operands and rounded once when stored.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>

#include "BlockEngine.h"
#include "Nonblocking.h"
#include "Relaxed.h"

// The block operations render, replace and accumulate come from
// engine::BlockOperations.
class TOsc : public engine::BlockOperations<TOsc> {
public:
    static constexpr std::int32_t maxSteps = 16;

    // Construction thread. Rate 2 steps/s at 44100 Hz, edge 0, 16 steps,
    // every gain 0; ends with `reset`.
    TOsc() noexcept;

    TOsc(const TOsc&) = delete;
    TOsc& operator=(const TOsc&) = delete;

    // Any host thread. 1..16 is stored; any other count stores 16. Takes
    // effect at the next step boundary.
    void setStepCount(std::int32_t count) noexcept;
    std::int32_t getStepCount() const noexcept { return stepCount; }

    // Any host thread. Stores the gain of step 1..16 as given (unclamped);
    // a NaN or infinite gain, or a step number outside 1..16, changes
    // nothing. Heard from the next sample.
    void setStepGain(std::int32_t step, float gain) noexcept;

    // Any host thread. Steps per second; a rate that is not greater than 0
    // (or NaN) changes nothing. Takes effect at the next step boundary.
    void setRate(float stepsPerSecond) noexcept;
    float getRate() const noexcept { return rate; }

    // Any host thread. A NaN or infinite rate changes nothing (it would
    // freeze the sequence on one step). Takes effect at the next boundary.
    void setSampleRate(float samplesPerSecond) noexcept;

    // Any host thread. Clamped to 0..1 (NaN gives 0). Next step boundary.
    void setEdge(float value) noexcept;
    float getEdge() const noexcept { return edge; }

    // Any host thread. Restarts the sequence: the next `tick` recomputes the
    // lengths and returns the first sample of step 1.
    void reset() noexcept;

    // Audio thread, between blocks. While following the host, steps begin
    // only where enterHostStep says (the plug-in formats that know the
    // host's beat), each as long as it is told; a step that runs on past
    // its length rests at its envelope's end: silent with an edge above 0,
    // its gain with none. Off (as constructed), the oscillator times its
    // steps itself again, from where it is.
    void followHost(bool on) noexcept;
    // Audio thread, between blocks, while following the host: the next
    // frame is `position` frames into step `step` (1..16), a step `length`
    // frames long (its ramps formed from that length and the edge set
    // now). A position of 0 begins the step.
    void enterHostStep(std::int32_t step, float length, float position) noexcept;

    // Audio thread. Advances one sample and returns its gain: the per-sample
    // definition. Loops over many samples use render, replace or
    // accumulate, which give the same values a block at a time.
    float tick() noexcept VELMORA_NONBLOCKING;

private:
    // The running state of one block (below).
    class Running;
    friend class engine::Engine<TOsc>;

    // What the block engine reads between blocks (see BlockEngine.h): the
    // step's description depends on nothing but its lengths and resets.
    std::uint64_t shapeKey() const noexcept { return resets.load(); }
    float scale() const noexcept { return stepGains[currentStep.load()]; }

    Relaxed<float> rate{2.0f};
    Relaxed<float> sampleRate{44100.0f};
    float halfStep = 2.0f;
    Relaxed<float> stepLength{4.0f};  // reset() reads it from a host thread
    float rampUpLength = 1.0f;
    float rampDownStart = 3.0f;
    Relaxed<float> position{5.0f};
    // Set (release) by the setters after their value is stored, cleared by
    // exchange (acquire) at the step boundary that takes the new values up,
    // so a change made while the boundary recomputes is never lost.
    std::atomic<bool> dirty{true};
    Relaxed<float> edge{0.0f};
    Relaxed<std::int32_t> currentStep{0};
    Relaxed<std::int32_t> stepCount{maxSteps};
    // Entry n is the gain of step n. Entry 0 stays 0: it is read only if a
    // reset from a host thread interleaves with the audio thread's update of
    // the step number, and then gives silence instead of a stray read.
    Relaxed<float> stepGains[maxSteps + 1];
    // Counts resets, so that a block running on the audio thread can tell
    // that a reset arrived while it ran and must not be overwritten.
    Relaxed<std::uint32_t> resets{0};
    // The block engine's memory of this oscillator (audio thread only).
    engine::Memory memory;
    // Steps timed by the host (see followHost; audio thread only): the
    // next step's number, length and starting position, once asked for.
    struct HostStep {
        bool following = false;
        bool pending = false;
        std::int32_t step = 1;
        float length = 0.0f;
        float position = 0.0f;
    } host;

    void markDirty() noexcept { dirty.store(true, std::memory_order_release); }
};

// The oscillator's running state copied into locals for one `tick` or one
// audio block: the loop works on the copy (which output stores cannot
// alias) and the destructor writes it back once. `tick` is the per-sample
// definition; the rest is what the block engine asks of a step.
//
// Audio thread only; one Running per TOsc at a time.
class TOsc::Running {
public:
    explicit Running(TOsc& osc) noexcept;
    ~Running();
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    float tick() noexcept VELMORA_NONBLOCKING {
        if (periodEnded()) startPeriod();
        return nextValue();
    }

    // The gain at the position, moving one position on (the step boundary
    // taken care of).
    float nextValue() noexcept {
        float f;
        // The rule's own order of tests, kept as written (two give 1).
        // NOLINTBEGIN(bugprone-branch-clone)
        if (position < rampUpLength) {
            f = rampUpLength == 0.0f ? 1.0f : float(double(position) / double(rampUpLength));
        } else if (position < rampDownStart) {
            f = 1.0f;
        } else if (position < stepLength) {
            f = float((double(rampDownStart) - double(position)) / (double(stepLength) - double(rampDownStart)) + 1.0);
        } else {
            f = afterTheEnd();
        }
        // NOLINTEND(bugprone-branch-clone)
        position = float(double(position) + 1.0);
        return float(double(f) * double(osc.stepGains[currentStep].load()));
    }

    // Step boundary: take up changed settings, move to the next step.
    // Returns whether settings were taken up (else the step's lengths are
    // the last step's).
    bool startPeriod() noexcept {
        if (osc.host.pending) return startHostStep();
        const bool changed =
            osc.dirty.load(std::memory_order_relaxed) && osc.dirty.exchange(false, std::memory_order_acquire);
        if (changed) formStep(float(double(osc.sampleRate.load()) / double(osc.rate.load())));
        ++currentStep;
        if (currentStep > osc.stepCount.load()) currentStep = 1;
        position = 0.0f;
        return changed;
    }

    // A step ends where its length ends, or, following the host, where the
    // host says.
    bool periodEnded() const noexcept { return osc.host.following ? osc.host.pending : position >= stepLength; }

    // For the block engine.
    std::uint64_t describe(engine::Period& step) const noexcept;
    float scale() const noexcept { return osc.stepGains[currentStep].load(); }
    static constexpr bool perSampleOnly() noexcept { return false; }
    static constexpr void passed(const engine::Segment&, std::int32_t) noexcept {}

    float position;

private:
    // The envelope past the step's end, which only a step that the host
    // times can reach: 1 (a step runs on at its gain), except that a host's
    // step rests at the end of its fall.
    float afterTheEnd() const noexcept { return osc.host.following && rampUpLength > 0.0f ? 0.0f : 1.0f; }

    // A step `length` frames long: its ramps from the edge now set.
    void formStep(float length) noexcept {
        stepLength = length;
        halfStep = float(double(stepLength) * 0.5);
        rampUpLength = float(double(osc.edge.load()) * double(halfStep));
        rampDownStart = float(double(stepLength) - double(rampUpLength));
    }

    // The host's step: its lengths from the given length, its number, its
    // position.
    bool startHostStep() noexcept {
        formStep(osc.host.length);
        currentStep = osc.host.step;
        position = osc.host.position;
        osc.host.pending = false;
        return true;
    }

    TOsc& osc;
    std::uint32_t resetsAtStart;
    float stepLength;
    float halfStep;
    float rampUpLength;
    float rampDownStart;
    std::int32_t currentStep;
};

inline TOsc::Running::Running(TOsc& osc) noexcept
    : position(osc.position),
      osc(osc),
      resetsAtStart(osc.resets),
      stepLength(osc.stepLength),
      halfStep(osc.halfStep),
      rampUpLength(osc.rampUpLength),
      rampDownStart(osc.rampDownStart),
      currentStep(osc.currentStep) {}

inline TOsc::Running::~Running() {
    osc.halfStep = halfStep;
    osc.rampUpLength = rampUpLength;
    osc.rampDownStart = rampDownStart;
    osc.stepLength = stepLength;
    if (osc.resets.load() == resetsAtStart) {
        osc.position = position;
        osc.currentStep = currentStep;
    } else {
        // A reset from a host thread arrived during the block: keep its
        // effect, against the step length now in force.
        osc.position = float(double(stepLength) + 1.0);
        osc.currentStep = 0;
        osc.markDirty();
    }
}

// The step as three segments, as `tick` tests them: the rising ramp
// position / rampUpLength, the hold 1, the falling ramp; times the step's
// gain (the scale).
inline std::uint64_t TOsc::Running::describe(engine::Period& step) const noexcept {
    using engine::Shape;
    step.clear();
    step.add(rampUpLength, Shape::rising(rampUpLength));
    step.add(rampDownStart, Shape::constant(1.0f));
    step.add(stepLength, Shape::falling(rampDownStart, double(stepLength) - double(rampDownStart)));
    if (osc.host.following) step.add(INFINITY, Shape::constant(afterTheEnd()));
    return resetsAtStart;
}

extern template struct engine::Entries<TOsc>;
