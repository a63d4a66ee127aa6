// The output stages of the block engine: what becomes of a stretch of
// gains. Each stage (a sink) takes a stretch as a constant, or as a table
// of values times a scale (the gater's step gain, the tremolo's level), or
// a single gain, and writes:
// - GainBuffer: the gains themselves, into a caller's buffer;
// - StereoGain: two channels times the gain, replacing (out = in × g) or
//   accumulating (out = out + in × g, formed in double, rounded once);
// - WideStereoReplace: the replacing stage of the 256-bit variant, whose
//   constants and tables go in groups of 8 frames.
// The samples are those of the per-sample loops: a float times a float is
// exact in double (24 + 24 bits < 53), so float(double(a) * double(g)) is
// the float product a * g; a table value times the scale is the float
// product the per-sample rule rounds; accumulating with a gain of ±0 or 1,
// in × g is exact in float and the float sum is the double one rounded
// once (a double holds more than twice the float's precision plus two
// bits). A constant is spread over a vector lane by lane, never by adding
// it to a zero vector, which would turn -0 into +0.
#pragma once

#include <cstdint>
#include <cstring>

#include "Dispatch.h"

namespace engine {

// Whether loops that take 8 frames at a time (both inputs of 8 frames
// read, then both outputs written) give the samples of the frame-by-frame
// order. They differ only where a frame writes what a later frame of the
// same 8 reads or writes: an output that starts 1 to 31 bytes after an
// input, or the second output 1 to 31 bytes after the first. Identical and
// disjoint buffers, what hosts pass, are safe.
inline bool groupsKeepOrder(const float* in0, const float* in1, const float* out0, const float* out1) noexcept {
    // 1 where `later` starts 1 to 31 bytes after `earlier` (or'd without
    // branches).
    const auto near = [](const float* later, const float* earlier) -> unsigned {
        return std::uintptr_t(later) - std::uintptr_t(earlier) - 1u < 31u ? 1u : 0u;
    };
    return (near(out0, in0) | near(out0, in1) | near(out1, in0) | near(out1, in1) | near(out1, out0)) == 0u;
}

// The answer of groupsKeepOrder for the buffers of the last block: hosts
// pass the same buffers block after block, and comparing four pointers is
// cheaper than the test. Kept by the oscillator for its audio thread only.
struct OrderMemo {
    const float* buffers[4] = {};
    bool keeps = false;

    VELMORA_ALWAYS_INLINE bool check(const float* in0, const float* in1, const float* out0,
                                     const float* out1) noexcept {
        if (in0 != buffers[0] || in1 != buffers[1] || out0 != buffers[2] || out1 != buffers[3]) [[unlikely]] {
            buffers[0] = in0;
            buffers[1] = in1;
            buffers[2] = out0;
            buffers[3] = out1;
            keeps = groupsKeepOrder(in0, in1, out0, out1);
        }
        return keeps;
    }
};

// The gains themselves, into a caller's buffer.
struct GainBuffer {
    float* gains;

    // Whether the stage may take the inline continuation (see BlockEngine).
    bool prepare(OrderMemo&) noexcept { return true; }
    // Whether the stage wants a period's constant stretches as constants
    // rather than as the period's table (they are then never slower).
    static constexpr bool prefersConstants = false;

    void one(float g) noexcept { *gains++ = g; }
    void constant(float g, std::int32_t frames) noexcept {
        for (std::int32_t i = 0; i < frames; ++i) gains[i] = g;
        gains += frames;
    }
    VELMORA_ALWAYS_INLINE void table(const float* values, float scale, std::int32_t frames) noexcept {
        for (std::int32_t i = 0; i < frames; ++i) gains[i] = values[i] * scale;
        gains += frames;
    }
};

// Two input and two output channels, and one frame of them times a gain:
// out = in × g, or out = out + in × g formed in double and rounded once.
// Each frame reads both inputs (and outputs) before it writes, so the
// buffers may be the same (no restrict).
template <bool accumulate>
struct StereoFrames {
    const float* in0;
    const float* in1;
    float* out0;
    float* out1;

    VELMORA_ALWAYS_INLINE void advance(std::int32_t frames) noexcept {
        in0 += frames;
        in1 += frames;
        out0 += frames;
        out1 += frames;
    }

    VELMORA_ALWAYS_INLINE void frame(std::int32_t i, float g) noexcept {
        const float a = in0[i], b = in1[i];
        if constexpr (accumulate) {
            const float oa = out0[i], ob = out1[i];
            out0[i] = float(double(a) * double(g) + double(oa));
            out1[i] = float(double(b) * double(g) + double(ob));
        } else {
            out0[i] = a * g;
            out1[i] = b * g;
        }
    }
};

// The stereo stage of the plain variant, and the accumulating one of both.
template <bool accumulate>
struct StereoGain : StereoFrames<accumulate> {
    bool prepare(OrderMemo&) noexcept { return true; }
    // Accumulating, a constant gain of 0 or 1 takes an exact float path.
    static constexpr bool prefersConstants = accumulate;

    void one(float g) noexcept {
        this->frame(0, g);
        this->advance(1);
    }

    VELMORA_ALWAYS_INLINE void constant(float g, std::int32_t frames) noexcept {
        if constexpr (accumulate) {
            if (g == 0.0f || g == 1.0f) {
                // in × g is exact in float: the float sum is the double one.
                for (std::int32_t i = 0; i < frames; ++i) {
                    const float a = this->in0[i], b = this->in1[i], oa = this->out0[i], ob = this->out1[i];
                    this->out0[i] = oa + a * g;
                    this->out1[i] = ob + b * g;
                }
                this->advance(frames);
                return;
            }
        }
        for (std::int32_t i = 0; i < frames; ++i) this->frame(i, g);
        this->advance(frames);
    }

    VELMORA_ALWAYS_INLINE void table(const float* values, float scale, std::int32_t frames) noexcept {
        for (std::int32_t i = 0; i < frames; ++i) this->frame(i, values[i] * scale);
        this->advance(frames);
    }
};

// The replacing stage of the 256-bit variant: constants and tables written
// out in 8-frame groups, so that a short block pays for no tail loops and
// no overlap tests of the compiler's. Buffers that do not keep their order
// in groups (see groupsKeepOrder) go frame by frame.
struct WideStereoReplace : StereoFrames<false> {
    WideStereoReplace(const float* in0, const float* in1, float* out0, float* out1) noexcept
        : StereoFrames<false>{in0, in1, out0, out1} {}

    static constexpr bool prefersConstants = false;
    bool grouped = false;  // the buffers keep their order in groups (see prepare)

    VELMORA_ALWAYS_INLINE bool prepare(OrderMemo& memo) noexcept {
        grouped = memo.check(in0, in1, out0, out1);
        return grouped;
    }

    void one(float g) noexcept {
        frame(0, g);
        advance(1);
    }

    VELMORA_ALWAYS_INLINE void constant(float g, std::int32_t frames) noexcept {
        if (!grouped) return inOrder(nullptr, g, frames);
        std::int32_t i = 0;
        for (; frames - i >= 8; i += 8) {
            Group a, b;
            load(a, in0 + i);
            load(b, in1 + i);
            store(out0 + i, a * g);
            store(out1 + i, b * g);
        }
        tail(nullptr, g, i, frames);
    }

    VELMORA_ALWAYS_INLINE void table(const float* values, float scale, std::int32_t frames) noexcept {
        if (!grouped) return inOrder(values, scale, frames);
        std::int32_t i = 0;
        for (; frames - i >= 8; i += 8) {
            Group g, a, b;
            load(g, values + i);
            g *= scale;
            load(a, in0 + i);
            load(b, in1 + i);
            store(out0 + i, a * g);
            store(out1 + i, b * g);
        }
        tail(values, scale, i, frames);
    }

private:
    // Eight floats, which the compiler gives the width of the function they
    // are inlined into: one 256-bit register in the wide variant. (Moved by
    // reference: a vector passed by value would depend on the target.)
    typedef float Group __attribute__((vector_size(32)));
    VELMORA_ALWAYS_INLINE static void load(Group& group, const float* from) noexcept {
        std::memcpy(&group, from, sizeof group);
    }
    VELMORA_ALWAYS_INLINE static void store(float* to, const Group& group) noexcept {
        std::memcpy(to, &group, sizeof group);
    }

    // The last frames % 8 frames one by one (bounded by 7, so that the
    // compiler does not vectorise them anew), then past the stretch. The
    // gain is `values[i] × scale`, or `scale` itself without a table.
    VELMORA_ALWAYS_INLINE void tail(const float* values, float scale, std::int32_t i, std::int32_t frames) noexcept {
        for (std::int32_t k = 0; k < 7 && i < frames; ++k, ++i) frame(i, values != nullptr ? values[i] * scale : scale);
        advance(frames);
    }

    // Overlapping buffers, frame by frame (out of line: hosts do not pass
    // them).
    VELMORA_ALWAYS_INLINE void inOrder(const float* values, float scale, std::int32_t frames) noexcept {
        putInOrder(values, scale, frames, in0, in1, out0, out1);
        advance(frames);
    }
    [[gnu::noinline]] static void putInOrder(const float* values, float scale, std::int32_t frames, const float* in0,
                                             const float* in1, float* out0, float* out1) noexcept {
        StereoGain<false> inOrder{{in0, in1, out0, out1}};
        if (values != nullptr)
            inOrder.table(values, scale, frames);
        else
            inOrder.constant(scale, frames);
    }
};

}  // namespace engine
