// TOsc: the step gate's gain generator. It plays a cycle of 1 to 16 steps
// of equal length (sample rate / step rate samples), gives each step its own
// linear gain and shapes each step with a trapezoid envelope whose ramps are
// `edge` × half a step long.
//
// Threads: the setters and `reset` run on host threads (parameter changes,
// program changes, suspend/resume) while `tick` runs on the audio thread.
// Every field that a setter or `reset` writes, or that `reset` reads, is
// atomic (relaxed, except the `dirty` handshake), so the two sides never
// race; new lengths reach the sound at the next step boundary, a new step
// gain at the next sample.
//
// Numbers: every stored value is a 32-bit float (or int); each expression is
// evaluated in double from the stored operands and rounded once when stored.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "GainStretch.h"
#include "Nonblocking.h"
#include "Relaxed.h"

class TOsc {
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

    class Block;

    // Audio thread. Advances one sample and returns its gain: the per-sample
    // definition. Loops over many samples should use render, replace or
    // accumulate, which give the same values a block at a time.
    inline float tick() noexcept VELMORA_NONBLOCKING;

    // Audio thread. The gains of the next `frames` samples, the same values
    // as that many calls of `tick`, into gains[0 .. frames). The block is
    // cut where the envelope changes branch; the step gain is read at each
    // cut, the other settings at the step boundaries as in `tick`. The
    // running state is held in a Block for the call.
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
    friend class Block;
    // The block path (Osc.cpp), each in a variant for 256-bit vectors and
    // one for the processors without them.
    struct BlockPath;
    static void renderWide(TOsc& osc, float* gains, std::int32_t frames) noexcept;
    static void renderNarrow(TOsc& osc, float* gains, std::int32_t frames) noexcept;
    static void replaceWide(TOsc& osc, const float* in0, const float* in1, float* out0, float* out1,
                            std::int32_t frames) noexcept;
    static void replaceNarrow(TOsc& osc, const float* in0, const float* in1, float* out0, float* out1,
                              std::int32_t frames) noexcept;
    static void accumulateWide(TOsc& osc, const float* in0, const float* in1, float* out0, float* out1,
                               std::int32_t frames) noexcept;
    static void accumulateNarrow(TOsc& osc, const float* in0, const float* in1, float* out0, float* out1,
                                 std::int32_t frames) noexcept;

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
    // The stretch the block path's last block ended in (audio thread only).
    gainstretch::StretchHint hint;
    // The buffers of the last block and whether they keep their order in
    // 8-frame groups (audio thread only).
    gainstretch::OrderMemo orderMemo;
    // The envelope factor of each whole position of a step, from 0, as the
    // block path computed it for the lengths now in force (a step that
    // changes them empties it): later steps read it back, the whole step as
    // one stretch. Allocated at construction (none if that fails); audio
    // thread only.
    static constexpr std::int32_t kStepCacheSize = 1 << 17;
    std::unique_ptr<float[]> stepCache;
    std::int32_t stepCached = 0;

    void markDirty() noexcept { dirty.store(true, std::memory_order_release); }
};

// The oscillator's running state copied into locals for one audio block:
// the loop works on the copy (which output stores cannot alias) and the
// destructor writes it back once.
//
// Audio thread only; one Block per TOsc at a time.
class TOsc::Block {
public:
    explicit Block(TOsc& osc) noexcept
        : osc(osc),
          resetsAtStart(osc.resets),
          position(osc.position),
          stepLength(osc.stepLength),
          halfStep(osc.halfStep),
          rampUpLength(osc.rampUpLength),
          rampDownStart(osc.rampDownStart),
          currentStep(osc.currentStep) {}

    ~Block() {
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

    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    float tick() noexcept VELMORA_NONBLOCKING {
        if (position >= stepLength) beginStep();

        float f;
        if (position < rampUpLength) {
            f = rampUpLength == 0.0f ? 1.0f : float(double(position) / double(rampUpLength));
        } else if (position < rampDownStart) {
            f = 1.0f;
        } else if (position < stepLength) {
            f = float((double(rampDownStart) - double(position)) / (double(stepLength) - double(rampDownStart)) + 1.0);
        } else {
            f = 1.0f;
        }
        position = float(double(position) + 1.0);
        return float(double(f) * double(osc.stepGains[currentStep].load()));
    }

private:
    static std::uint32_t bits(float f) noexcept { return gainstretch::StretchHint::bits(f); }

    // Step boundary: take up changed settings, move to the next step.
    void beginStep() noexcept {
        if (osc.dirty.load(std::memory_order_relaxed) && osc.dirty.exchange(false, std::memory_order_acquire)) {
            const std::uint32_t before[3] = {bits(stepLength), bits(rampUpLength), bits(rampDownStart)};
            stepLength = float(double(osc.sampleRate.load()) / double(osc.rate.load()));
            halfStep = float(double(stepLength) * 0.5);
            rampUpLength = float(double(osc.edge.load()) * double(halfStep));
            rampDownStart = float(double(stepLength) - double(rampUpLength));
            // The lengths shape the envelope and cut the stretches: new ones
            // empty the step cache, and the last block's stretch no longer
            // holds. (So the block path need not compare them.)
            if (before[0] != bits(stepLength) || before[1] != bits(rampUpLength) || before[2] != bits(rampDownStart)) {
                osc.stepCached = 0;
                osc.hint.forget();
            }
        }
        ++currentStep;
        if (currentStep > osc.stepCount.load()) currentStep = 1;
        position = 0.0f;
    }

    // The block path: stretches of one envelope branch handed to a sink
    // (Osc.cpp).
    template <class Sink>
    void run(Sink& sink, std::int32_t frames) noexcept;
    template <class Sink, class Shape>
    std::int32_t extend(Sink& sink, float* envelope, std::int32_t index, std::int32_t frames, const Shape& shape,
                        float gain) noexcept;
    friend struct TOsc::BlockPath;

    TOsc& osc;
    std::uint32_t resetsAtStart;
    float position;
    float stepLength;
    float halfStep;
    float rampUpLength;
    float rampDownStart;
    std::int32_t currentStep;
};

inline float TOsc::tick() noexcept {
    Block block(*this);
    return block.tick();
}
