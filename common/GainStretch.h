// Block rendering of a gain curve, shared by the oscillators of the gain
// effects. A block is cut into stretches in which the per-sample rule keeps
// one branch; each stretch is a shape (a constant, a table slice or a simple
// expression of the position) that a sink turns into output: a gain buffer,
// or the stereo signal multiplied (or accumulated) in place.
//
// Bit-exactness. The per-sample rules compute in double from stored floats
// and round once to float. The shapes below give the same float for every
// position, either by evaluating the very same double expression (the
// Double* shapes), or by a float division that provably rounds to the same
// value (the *Quotient shapes; see "Quotients" below). The sinks give the
// same output samples as the per-sample loops:
// - a float times a float is exact in double (24 + 24 bits < 53), so
//   float(double(a) * double(g)) is the float product a * g;
// - accumulating, out + in × g is formed in double and rounded to float;
//   where a * g is exact in float (g = ±0 or 1) the float sum is the same
//   value, because double rounding is harmless for a sum of two floats
//   (a double holds more than twice the float's precision plus two bits).
// No expression may be contracted into a fused multiply-add: the targets
// that include this header compile with -ffp-contract=off.
//
// Quotients. For floats X >= 0, Y > 0 with X / Y in the normal float range:
// (1) X / Y is never a midpoint between two adjacent floats, and its
//     distance to any such midpoint m is more than min(X/Y, m) × 2^-49.
//     Proof: write X = A·2^a, Y = B·2^b, m = M·2^c with integers A, B < 2^24
//     and M odd, 2^24 < M < 2^25. X/Y - m = (A·2^a - M·B·2^(c+b)) / (B·2^b).
//     The numerator is not 0 (A·2^a = M·B·2^(c+b) would need the odd
//     M > A to divide A·2^k for some k >= 0, or else A >= M·B) and it is
//     a multiple of 2^min(a, c+b): if a <= c+b it is at least 2^a, so the
//     distance is at least (X/Y) / A > (X/Y)·2^-24; otherwise it is at
//     least 2^(c+b), so the distance is at least 2^c / B > m·2^-49.
// (2) So any value within (X/Y)·2^-50 of X / Y rounds to the same float as
//     X / Y itself, which is what the float division X / Y returns.
// (3) float(double(P) / double(R)) for floats P, R (P/R normal, or 0):
//     the double quotient is within 2^-53 (relative) of P/R, hence rounds
//     to the float quotient P / R.
// (4) float((a - p) / w + 1.0) in double, with a - p exact in double,
//     w = Y exactly and X = a - p + w exactly (all floats), X/Y in
//     [1/16, 1]: the quotient t = (a - p)/w = X/Y - 1 lies in [-15/16, 0].
//     If X/Y >= 1/2, t is rounded by at most 2^-54 and t + 1, in [1/2, 1],
//     by at most 2^-54 again: 2^-53 <= (X/Y)·2^-52 in all. If X/Y < 1/2,
//     t in (-1, -1/2) is rounded by at most 2^-54 and t + 1 is exact (the
//     operands are within a factor 2): 2^-54 <= (X/Y)·2^-50. Either way the
//     double result is within (X/Y)·2^-50 of X/Y: it rounds to X / Y.
// fallingQuotient() checks these conditions for a stretch.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

// VELMORA_PLAIN_ONLY builds the plain variants alone (the tests use it to
// run them on processors that would choose the wider ones).
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__)) && \
    !defined(VELMORA_PLAIN_ONLY)
#define VELMORA_STRETCH_INLINE inline __attribute__((always_inline))
// The same loops compiled for 256-bit vectors (and, where written out as
// such, fused multiply-adds); chosen at run time.
#define VELMORA_WIDE_TARGET __attribute__((target("avx2,fma")))
#define VELMORA_HAS_WIDE_TARGET 1
#elif defined(__GNUC__) || defined(__clang__)
#define VELMORA_STRETCH_INLINE inline __attribute__((always_inline))
#define VELMORA_WIDE_TARGET
#define VELMORA_HAS_WIDE_TARGET 0
#else
#define VELMORA_STRETCH_INLINE inline
#define VELMORA_WIDE_TARGET
#define VELMORA_HAS_WIDE_TARGET 0
#endif

namespace gainstretch {

// Positions count in float steps of 1, which stop at 2^24 (2^24 + 1 rounds
// back to 2^24). Stretches stay below it; the per-sample rules do the rest.
inline constexpr float kPositionLimit = 16777216.0f;

// Whether a position is one the stretches can count: a whole number in
// [0, 2^24). (A reset racing with the end of a block can leave a fraction;
// the per-sample rules carry such a position to the next boundary.)
inline bool isWholePosition(float p) noexcept {
    return p >= 0.0f && p < kPositionLimit && float(std::int32_t(p)) == p;
}

// Whether this processor runs the 256-bit variant (a test of flags that the
// runtime filled in at load time: no call, no lock).
inline bool wideVectors() noexcept {
#if VELMORA_HAS_WIDE_TARGET
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

// Number of consecutive whole positions p, p + 1, ... below x (0 if p >= x
// or x is NaN), at most `most`. p is a whole number.
inline std::int32_t countBelow(double p, double x, std::int32_t most) noexcept {
    if (!(p < x)) return 0;
    const double count = std::ceil(x) - p;
    return count < double(most) ? std::int32_t(count) : most;
}

// ---- Shapes: the curve value of frame i of a stretch ----

struct Constant {
    float value;
    float at(std::int32_t) const noexcept { return value; }
};

struct Table {
    const float* values;
    float at(std::int32_t i) const noexcept { return values[i]; }
};

// (p + i) / den in float, for whole positions p + i < 2^24 (exact floats).
struct RisingQuotient {
    std::int32_t p;
    float den;
    float at(std::int32_t i) const noexcept { return float(p + i) / den; }
};

// (x - i) / den in float; x - i is exact (checked by fallingQuotient).
struct FallingQuotient {
    float x;
    float den;
    float at(std::int32_t i) const noexcept { return (x - float(i)) / den; }
};

// float((p + i) / den) in double, as the per-sample rules write it.
struct DoubleQuotient {
    double p;
    double den;
    float at(std::int32_t i) const noexcept { return float((p + double(i)) / den); }
};

// float((a - (p + i)) / w + 1.0) in double, as the per-sample rules write it.
struct DoubleFall {
    double a;
    double p;
    double w;
    float at(std::int32_t i) const noexcept { return float((a - (p + double(i))) / w + 1.0); }
};

// Whether float(dp / den) may be had as a float division at whole positions
// below 2^24: a normal divisor whose quotients stay normal (or are 0).
inline bool quotientIsExact(float den) noexcept {
    return den >= 0x1p-100f && den <= 0x1p100f;
}

// For the falling form float((a - p) / w + 1.0) at p, p + 1, ...: how many
// of the next `most` frames the float quotient X / Y gives exactly (see
// "Quotients" (4)), with the shape in `shape`; 0 if none. The conditions:
// a, w floats in [1, 2^24), so a - p and a - p + w are exact in double;
// X = a - p + w an exact float in (0, w], so X - i stays exact; and
// X - i >= w / 16 for every frame taken.
inline std::int32_t fallingQuotient(double a, double w, double p, std::int32_t most,
                                    FallingQuotient& shape) noexcept {
    if (!(a >= 1.0 && a < double(kPositionLimit) && w >= 1.0 && w < double(kPositionLimit))) return 0;
    const float y = float(w);
    if (double(y) != w || double(float(a)) != a) return 0;
    const double x = (a - p) + w;
    if (!(x > 0.0 && x <= w) || double(float(x)) != x) return 0;
    const double least = w * 0.0625;
    if (!(x >= least)) return 0;
    const double count = std::floor(x - least) + 1.0;
    shape = {float(x), y};
    return count < double(most) ? std::int32_t(count) : most;
}

// ---- The stretch a block ended in ----

// Where the last block ended inside a stretch, its shape and the lengths
// that cut it: the next block continues with it, without cutting anew, as
// long as its position lies in [start, end) and the lengths are the same
// bits (so the branch and the shape are the same). Kept by the oscillator
// for its audio thread only.
struct StretchHint {
    enum Kind : std::int32_t { kNone, kConstant, kRising, kFalling, kTable };
    Kind kind = kNone;
    float start = 0.0f;
    float end = 0.0f;
    float value = 0.0f;              // kConstant
    float x = 0.0f;                  // kFalling: the numerator at `start`
    float den = 0.0f;                // kRising, kFalling
    const float* table = nullptr;    // kTable: the value of position q is table[q - tableBase]
    float tableBase = 0.0f;
    std::uint32_t lengths[3] = {};
    std::uint32_t tag = 0;           // anything else the shape depends on

    static std::uint32_t bits(float f) noexcept { return std::bit_cast<std::uint32_t>(f); }

    void record(Kind k, float from, std::int32_t frames, float a, float b, float c, std::uint32_t t) noexcept {
        kind = k;
        start = from;
        end = float(double(from) + double(frames));
        lengths[0] = bits(a);
        lengths[1] = bits(b);
        lengths[2] = bits(c);
        tag = t;
    }
    void forget() noexcept { kind = kNone; }

    // Frames (at most `most`) that position p may take from the hint, or 0
    // (always 0 for a position that is no whole number).
    std::int32_t holds(float p, float a, float b, float c, std::uint32_t t, std::int32_t most) const noexcept {
        if (kind == kNone || !(p >= start && p < end) || float(std::int32_t(p)) != p || bits(a) != lengths[0] ||
            bits(b) != lengths[1] || bits(c) != lengths[2] || t != tag) {
            return 0;
        }
        const float left = end - p;  // exact: whole numbers below 2^24
        return left < float(most) ? std::int32_t(left) : most;
    }

    template <class Sink>
    VELMORA_STRETCH_INLINE void apply(Sink& sink, float p, float scale, std::int32_t frames) const noexcept;

    // apply() for the two kinds that steady play nearly always continues (a
    // constant, a cached table), in a few instructions; false, with nothing
    // done, for the others.
    template <class Sink>
    VELMORA_STRETCH_INLINE bool applyCommon(Sink& sink, float p, float scale, std::int32_t frames) const noexcept {
        if (kind == kConstant) {
            sink.constant(value * scale, frames);
            return true;
        }
        if (kind == kTable) {
            sink.put(Table{table + std::int32_t(p - tableBase)}, scale, frames);
            return true;
        }
        return false;
    }
};

// ---- Sinks ----

// The gains themselves, into a caller's buffer.
struct GainBuffer {
    float* gains;

    void one(float g) noexcept { *gains++ = g; }
    void constant(float g, std::int32_t frames) noexcept {
        for (std::int32_t i = 0; i < frames; ++i) gains[i] = g;
        gains += frames;
    }
    template <class Shape>
    VELMORA_STRETCH_INLINE void put(const Shape& shape, float scale, std::int32_t frames) noexcept {
        for (std::int32_t i = 0; i < frames; ++i) gains[i] = shape.at(i) * scale;
        gains += frames;
    }
};

// Two channels times the gain: out = in × g, or out = out + in × g formed
// in double and rounded once. Each frame reads both inputs (and outputs)
// before it writes, so the buffers may be the same (no restrict).
template <bool accumulate>
struct StereoGain {
    const float* in0;
    const float* in1;
    float* out0;
    float* out1;

    static float mix(float in, float g, float out) noexcept {
        return float(double(in) * double(g) + double(out));
    }

    void advance(std::int32_t frames) noexcept {
        in0 += frames;
        in1 += frames;
        out0 += frames;
        out1 += frames;
    }

    void one(float g) noexcept {
        const float a = *in0, b = *in1;
        if constexpr (accumulate) {
            const float oa = *out0, ob = *out1;
            *out0 = mix(a, g, oa);
            *out1 = mix(b, g, ob);
        } else {
            *out0 = a * g;
            *out1 = b * g;
        }
        advance(1);
    }

    VELMORA_STRETCH_INLINE void constant(float g, std::int32_t frames) noexcept {
        if constexpr (accumulate) {
            if (g == 0.0f || g == 1.0f) {
                // in × g is exact in float: the float sum is the double one.
                for (std::int32_t i = 0; i < frames; ++i) {
                    const float a = in0[i], b = in1[i], oa = out0[i], ob = out1[i];
                    out0[i] = oa + a * g;
                    out1[i] = ob + b * g;
                }
                advance(frames);
                return;
            }
        }
        put(Constant{g}, 1.0f, frames);
    }

    template <class Shape>
    VELMORA_STRETCH_INLINE void put(const Shape& shape, float scale, std::int32_t frames) noexcept {
        for (std::int32_t i = 0; i < frames; ++i) {
            const float g = shape.at(i) * scale;
            const float a = in0[i], b = in1[i];
            if constexpr (accumulate) {
                const float oa = out0[i], ob = out1[i];
                out0[i] = mix(a, g, oa);
                out1[i] = mix(b, g, ob);
            } else {
                out0[i] = a * g;
                out1[i] = b * g;
            }
        }
        advance(frames);
    }
};

template <class Sink>
VELMORA_STRETCH_INLINE void StretchHint::apply(Sink& sink, float p, float scale, std::int32_t frames) const noexcept {
    if (applyCommon(sink, p, scale, frames)) return;
    switch (kind) {
        case kRising: sink.put(RisingQuotient{std::int32_t(p), den}, scale, frames); break;
        case kFalling: sink.put(FallingQuotient{x - (p - start), den}, scale, frames); break;
        default: break;
    }
}

// ---- Entry of a block path ----
//
// An oscillator's block operations run the block through `Path`, which
// provides continueStretch(owner, sink, frames) (the block continues the
// stretch the last one ended in: done inline, returns true) and
// cut(owner, sink, frames) (the block cut into stretches). The cutting runs
// out of line, so the common case pays none of its register saves and
// stack set-up; it builds its sink anew from the buffer pointers, so that
// the caller's copy can stay in registers. `wide` picks the variant
// compiled for 256-bit vectors.
template <class Path, class Sink, class Owner, class... Buffers>
[[gnu::noinline]] VELMORA_WIDE_TARGET void cutWide(Owner& owner, std::int32_t frames, Buffers... buffers) noexcept {
    Sink sink{buffers...};
    Path::cut(owner, sink, frames);
}
template <class Path, class Sink, class Owner, class... Buffers>
[[gnu::noinline]] void cutNarrow(Owner& owner, std::int32_t frames, Buffers... buffers) noexcept {
    Sink sink{buffers...};
    Path::cut(owner, sink, frames);
}
template <bool wide, class Path, class Sink, class Owner, class... Buffers>
VELMORA_STRETCH_INLINE void runBlock(Owner& owner, std::int32_t frames, Buffers... buffers) noexcept {
    Sink sink{buffers...};
    if (Path::continueStretch(owner, sink, frames)) return;
    if constexpr (wide) cutWide<Path, Sink>(owner, frames, buffers...);
    else cutNarrow<Path, Sink>(owner, frames, buffers...);
}

}  // namespace gainstretch
