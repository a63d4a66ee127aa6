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
#include <cstring>
#include <type_traits>

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
inline bool isWholePosition(float p) noexcept { return p >= 0.0f && p < kPositionLimit && float(std::int32_t(p)) == p; }

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
inline bool quotientIsExact(float den) noexcept { return den >= 0x1p-100f && den <= 0x1p100f; }

// For the falling form float((a - p) / w + 1.0) at p, p + 1, ...: how many
// of the next `most` frames the float quotient X / Y gives exactly (see
// "Quotients" (4)), with the shape in `shape`; 0 if none. The conditions:
// a, w floats in [1, 2^24), so a - p and a - p + w are exact in double;
// X = a - p + w an exact float in (0, w], so X - i stays exact; and
// X - i >= w / 16 for every frame taken.
inline std::int32_t fallingQuotient(double a, double w, double p, std::int32_t most, FallingQuotient& shape) noexcept {
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
    // [start, end) as bits: a non-negative float orders as its bits do, so
    // bits(p) - startBits < spanBits tests start <= p < end in one compare
    // (false for NaN and negative p, and for every p when forgotten).
    std::uint32_t startBits = 0;
    std::uint32_t spanBits = 0;
    std::int32_t endIndex = 0;     // end, a whole number up to 2^24
    float value = 0.0f;            // kConstant
    float x = 0.0f;                // kFalling: the numerator at `start`
    float den = 0.0f;              // kRising, kFalling
    const float* table = nullptr;  // kTable: the value of position q is table[q]
    std::uint32_t lengths[3] = {};
    std::uint32_t tag = 0;    // anything else the shape depends on
    std::uint32_t epoch = 0;  // for the owner: e.g. its reset count when recorded

    static std::uint32_t bits(float f) noexcept { return std::bit_cast<std::uint32_t>(f); }

    // `from` is a whole number and from + frames <= 2^24.
    void record(Kind k, float from, std::int32_t frames, float a, float b, float c, std::uint32_t t) noexcept {
        kind = k;
        start = from;
        const float end = float(double(from) + double(frames));
        startBits = bits(from);
        spanBits = bits(end) - startBits;
        endIndex = std::int32_t(end);
        lengths[0] = bits(a);
        lengths[1] = bits(b);
        lengths[2] = bits(c);
        tag = t;
    }
    void forget() noexcept {
        kind = kNone;
        spanBits = 0;
    }

    // Frames (at most `most`) that position p may take from the hint, or 0
    // (always 0 for a position that is no whole number).
    std::int32_t holds(float p, float a, float b, float c, std::uint32_t t, std::int32_t most) const noexcept {
        const std::int32_t held = covers(p, most);
        return held > 0 && sameLength(0, a) && sameLength(1, b) && sameLength(2, c) && t == tag ? held : 0;
    }
    // The same in parts: the frames that p may take if the lengths are the
    // same (for an owner that forgets the hint whenever they change), and
    // whether length i is.
    std::int32_t covers(float p, std::int32_t most) const noexcept {
        if (bits(p) - startBits >= spanBits) return 0;
        const std::int32_t q = std::int32_t(p);  // p is in [0, 2^24)
        if (float(q) != p) return 0;
        const std::int32_t left = endIndex - q;
        return left < most ? left : most;
    }
    bool sameLength(int i, float length) const noexcept { return bits(length) == lengths[i]; }

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
            sink.put(Table{table + std::int32_t(p)}, scale, frames);
            return true;
        }
        return false;
    }
};

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

    VELMORA_STRETCH_INLINE bool check(const float* in0, const float* in1, const float* out0,
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

// ---- Sinks ----

// The gains themselves, into a caller's buffer.
struct GainBuffer {
    float* gains;

    // Whether the sink takes its fastest loops (see runBlock).
    bool prepare(OrderMemo&) noexcept { return true; }
    // Whether a constant is cheaper for the sink than a table of the same
    // value (an oscillator then keeps holds as constants).
    static constexpr bool prefersConstants = false;

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

    bool prepare(OrderMemo&) noexcept { return true; }
    // Accumulating, a constant gain of 0 or 1 takes an exact float path.
    static constexpr bool prefersConstants = accumulate;

    static float mix(float in, float g, float out) noexcept { return float(double(in) * double(g) + double(out)); }

    VELMORA_STRETCH_INLINE void advance(std::int32_t frames) noexcept {
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

// The replacing sink of the 256-bit variant: the constant and the table,
// what steady play nearly always runs, written out in 8-frame groups, so
// that a short block pays for no tail loops and no overlap tests of the
// compiler's; the rest as StereoGain<false>. The samples are the same: each
// gain is the float product of the table value and the scale, each output
// the float product of the input and the gain.
template <bool cutting = false>
struct WideStereoReplace : StereoGain<false> {
    // The sink of the out-of-line cutting (see runBlock).
    using Cut = WideStereoReplace<true>;

    WideStereoReplace(const float* in0, const float* in1, float* out0, float* out1) noexcept
        : StereoGain<false>{in0, in1, out0, out1} {}
#if defined(__GNUC__) || defined(__clang__)
    bool grouped = false;  // the buffers keep their order in groups (see prepare)

    VELMORA_STRETCH_INLINE bool prepare(OrderMemo& memo) noexcept {
        grouped = memo.check(in0, in1, out0, out1);
        return grouped;
    }

    VELMORA_STRETCH_INLINE void constant(float g, std::int32_t frames) noexcept {
        if (!grouped) {
            inOrder(Constant{g}, 1.0f, frames);
            return;
        }
        std::int32_t i = 0;
        for (; frames - i >= 8; i += 8) {
            Group a, b;
            load(a, in0 + i);
            load(b, in1 + i);
            store(out0 + i, a * g);
            store(out1 + i, b * g);
        }
        tail(Constant{g}, 1.0f, i, frames);
    }

    template <class Shape>
    VELMORA_STRETCH_INLINE void put(const Shape& shape, float scale, std::int32_t frames) noexcept {
        if constexpr (std::is_same_v<Shape, Table>) {
            if (!grouped) {
                inOrder(shape, scale, frames);
                return;
            }
            std::int32_t i = 0;
            for (; frames - i >= 8; i += 8) {
                Group g, a, b;
                load(g, shape.values + i);
                g *= scale;
                load(a, in0 + i);
                load(b, in1 + i);
                store(out0 + i, a * g);
                store(out1 + i, b * g);
            }
            tail(shape, scale, i, frames);
        } else {
            StereoGain<false>::put(shape, scale, frames);
        }
    }

private:
    // Eight floats, which the compiler gives the width of the function they
    // are inlined into: one 256-bit register in the wide variant. (Moved by
    // reference: a vector passed by value would depend on the target.)
    typedef float Group __attribute__((vector_size(32)));
    VELMORA_STRETCH_INLINE static void load(Group& group, const float* from) noexcept {
        std::memcpy(&group, from, sizeof group);
    }
    VELMORA_STRETCH_INLINE static void store(float* to, const Group& group) noexcept {
        std::memcpy(to, &group, sizeof group);
    }

    // The last frames % 8 frames of the stretch one by one (bounded by 7,
    // so that the compiler does not vectorise them anew), then past the
    // stretch.
    template <class Shape>
    VELMORA_STRETCH_INLINE void tail(const Shape& shape, float scale, std::int32_t i, std::int32_t frames) noexcept {
        if constexpr (cutting) {
            // Stretches cut out of a block end anywhere: 4 of the last
            // frames as one vector where there are.
            if (frames - i >= 4) {
                typedef float Four __attribute__((vector_size(16)));
                Four g, a, b;
                if constexpr (std::is_same_v<Shape, Table>) {
                    std::memcpy(&g, shape.values + i, sizeof g);
                    g *= scale;
                } else {
                    g = Four{} + shape.at(0) * scale;
                }
                std::memcpy(&a, in0 + i, sizeof a);
                std::memcpy(&b, in1 + i, sizeof b);
                a *= g;
                b *= g;
                std::memcpy(out0 + i, &a, sizeof a);
                std::memcpy(out1 + i, &b, sizeof b);
                i += 4;
            }
        }
        for (std::int32_t k = 0; k < 7 && i < frames; ++k, ++i) {
            const float g = shape.at(i) * scale;
            const float a = in0[i], b = in1[i];
            out0[i] = a * g;
            out1[i] = b * g;
        }
        advance(frames);
    }

    // Overlapping buffers, frame by frame (out of line: hosts do not pass
    // them).
    template <class Shape>
    VELMORA_STRETCH_INLINE void inOrder(const Shape& shape, float scale, std::int32_t frames) noexcept {
        putInOrder(shape, scale, frames, in0, in1, out0, out1);
        advance(frames);
    }
    template <class Shape>
    [[gnu::noinline]] static void putInOrder(const Shape& shape, float scale, std::int32_t frames, const float* in0,
                                             const float* in1, float* out0, float* out1) noexcept {
        StereoGain<false>{in0, in1, out0, out1}.put(shape, scale, frames);
    }
#endif
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
// provides orderMemo(owner) (the owner's OrderMemo), continueStretch(owner,
// sink, frames) (the block continues the stretch the last one ended in:
// done inline, returns true) and cut(owner, sink, frames) (the block cut
// into stretches). The cutting runs out of line, so the common case pays
// none of its register saves and stack set-up; it builds its sink anew from
// the buffer pointers, so that the caller's copy can stay in registers. A
// sink's prepare() tells whether it may take the common case (the wide
// replacing sink: whether the buffers keep their order in groups). `wide`
// picks the variant compiled for 256-bit vectors.

// The sink that the cutting uses: Sink::Cut where a sink names one.
template <class Sink, class = void>
struct CutSink {
    using type = Sink;
};
template <class Sink>
struct CutSink<Sink, std::void_t<typename Sink::Cut>> {
    using type = typename Sink::Cut;
};

template <class Path, class Sink, class Owner, class... Buffers>
[[gnu::noinline]] VELMORA_WIDE_TARGET void cutWide(Owner& owner, std::int32_t frames, Buffers... buffers) noexcept {
    Sink sink{buffers...};
    sink.prepare(Path::orderMemo(owner));
    Path::cut(owner, sink, frames);
}
template <class Path, class Sink, class Owner, class... Buffers>
[[gnu::noinline]] void cutNarrow(Owner& owner, std::int32_t frames, Buffers... buffers) noexcept {
    Sink sink{buffers...};
    sink.prepare(Path::orderMemo(owner));
    Path::cut(owner, sink, frames);
}
template <bool wide, class Path, class Sink, class Owner, class... Buffers>
VELMORA_STRETCH_INLINE void runBlock(Owner& owner, std::int32_t frames, Buffers... buffers) noexcept {
    Sink sink{buffers...};
    if (sink.prepare(Path::orderMemo(owner)) && Path::continueStretch(owner, sink, frames)) return;
    if constexpr (wide)
        cutWide<Path, typename CutSink<Sink>::type>(owner, frames, buffers...);
    else
        cutNarrow<Path, typename CutSink<Sink>::type>(owner, frames, buffers...);
}

}  // namespace gainstretch
