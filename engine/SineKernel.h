// The sine wave of the tremolo for a stretch of positions, vectorisable:
// v = float((sin(x) + 1) / 2) with x = p × phaseStep in double, bit for
// bit what the per-sample rule gets from the platform's std::sin.
//
// How. A stretch keeps to one quarter q of the cycle, |x - q·π/2| <= π/4,
// so one polynomial serves all its frames: with r = x - q·π/2, sin(x) is
// sin(r), cos(r), -sin(r), -cos(r), sin(r) for q = 0..4. Each frame gets an
// approximation h of sin(x) / 2 and the two floats below and above,
// float(h ∓ E/2 + 1/2). The per-sample value float((sin(x) + 1) / 2) equals
// float(sin(x) / 2 + 1/2) (halving is exact), and every step of it is
// monotonic; so where below and above agree, any sine within E of 2h
// (less the rounding of h ∓ E/2, at most 2^-55) gives that same float, the
// platform's included. Where they differ, a float rounding boundary lies
// within the bound (about 1 frame in 1000, nearly all close to the trough,
// where v is tiny and its floats are dense) and the frame takes std::sin.
//
// The bound E = 2^-44 = 512 u (u = 2^-53) covers, with room to spare:
// - the reduction: q·C1 is exact (C1 is π/2 to 33 bits, q <= 4), x - q·C1
//   is exact (|result| < 1, x >= 1/2 for q >= 1), subtracting q·C2 rounds by
//   at most u/2, and C1 + C2 misses π/2 by less than 2^-87: |Δr| < 0.51 u,
//   which moves the sine by no more;
// - the polynomials, Taylor series of sin to r^13 and of cos to r^14 on
//   |r| <= π/4: truncation below r^15/15! < 184 u and r^16/16! < 9.1 u;
//   rounding of the coefficients and of the evaluation below 4 u (each
//   term is at most a twentieth of the one before it);
//   so |2h - sin x| < 190 u;
// - the platform's sine, allowed to be off by 2^-48 = 32 u (a correctly
//   working one is within u).
// SineKernelTest compares 10^7 consecutive positions at several sample
// rates and rates with the platform's results.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "Dispatch.h"

#if VELMORA_HAS_WIDE_TARGET
#include <immintrin.h>
#endif

namespace sinekernel {

inline constexpr std::int32_t kChunk = 1024;  // frames per call of sineValues

inline constexpr double kBound = 0x1p-44;
// π/2 = C1 + C2: C1 to 33 bits, C2 the rest to double precision.
inline constexpr double kHalfPiHigh = 0x1.921fb54400000p+0;
inline constexpr double kHalfPiLow = 0x1.0b4611a626331p-34;
inline constexpr double kTwoOverPi = 0.63661977236758134308;

// The quarter of the cycle that position p falls in, and how many frames
// from p (at most `most`) stay in it; 0 when x is outside 0..7 (no case
// for the polynomial; the oscillator's x stays below 2π + π/4).
inline std::int32_t quarterFrames(double p, double step, std::int32_t most, std::int32_t& quarter) noexcept {
    const double x = p * step;
    if (!(x >= 0.0 && x <= 7.0 && step >= 0.0)) return 0;
    quarter = std::int32_t(std::floor(x * kTwoOverPi + 0.5));
    if (step == 0.0) return most;
    // The last position whose x is at most the quarter's end: an estimate,
    // then corrected with the products themselves (x grows with p).
    const double end = (double(quarter) + 0.5) * kHalfPiHigh;
    double last = std::floor(end / step);  // at most 2 off
    if (!(last < p + double(most) + 2.0)) return most;
    while ((last + 1.0) * step <= end) last += 1.0;
    while (last >= p && last * step > end) last -= 1.0;
    if (last < p) return 1;
    return last - p < double(most) ? std::int32_t(last - p) + 1 : most;
}

// k·sin(r) and k·cos(r) for |r| <= π/4 and k = ±1/2: Taylor series in
// z = r^2, evaluated in pairs to shorten the dependency chains. Scaling
// every constant by k scales every rounded step exactly, so the error is
// |k| times that of the unscaled series.
VELMORA_ALWAYS_INLINE double sinOf(double r, double k) noexcept {
    const double z = r * r;
    const double z2 = z * z;
    const double a = k * -0x1.5555555555555p-3 + z * (k * 0x1.1111111111111p-7);    // -1/3!, 1/5!
    const double b = k * -0x1.a01a01a01a01ap-13 + z * (k * 0x1.71de3a556c734p-19);  // -1/7!, 1/9!
    const double c = k * -0x1.ae64567f544e4p-26 + z * (k * 0x1.6124613a86d09p-33);  // -1/11!, 1/13!
    return k * r + (r * z) * (a + z2 * (b + z2 * c));
}

VELMORA_ALWAYS_INLINE double cosOf(double r, double k) noexcept {
    const double z = r * r;
    const double z2 = z * z;
    const double a = k * -0.5 + z * (k * 0x1.5555555555555p-5);                     // -1/2!, 1/4!
    const double b = k * -0x1.6c16c16c16c17p-10 + z * (k * 0x1.a01a01a01a01ap-16);  // -1/6!, 1/8!
    const double c = k * -0x1.27e4fb7789f5cp-22 + z * (k * 0x1.1eed8eff8d898p-29);  // -1/10!, 1/12!
    const double d = k * -0x1.93974a8c07c9dp-37;                                    // -1/14!
    return k + z * (a + z2 * (b + z2 * (c + z2 * d)));
}

// v[i] for positions p + i of one quarter; NaN where the bound straddles a
// float rounding boundary. Returns whether there is such a frame.
template <bool cosine>
VELMORA_ALWAYS_INLINE bool quarterValues(float* v, double p, double step, std::int32_t quarter,
                                         std::int32_t frames) noexcept {
    const double high = double(quarter) * kHalfPiHigh;
    const double low = double(quarter) * kHalfPiLow;
    const double k = (quarter & 2) ? -0.5 : 0.5;
    const double halfBound = kBound * 0.5;
    const float uncertain = std::numeric_limits<float>::quiet_NaN();
    std::int32_t straddles = 0;
    for (std::int32_t i = 0; i < frames; ++i) {
        const double x = (p + double(i)) * step;
        const double r = (x - high) - low;
        const double h = cosine ? cosOf(r, k) : sinOf(r, k);
        const float below = float((h - halfBound) + 0.5);
        const float above = float((h + halfBound) + 0.5);
        straddles |= std::int32_t(below != above);
        v[i] = below == above ? below : uncertain;
    }
    return straddles != 0;
}

// ---- The fused variants ----
//
// The same values with fused multiply-adds, 4 frames to a 256-bit vector
// or 8 to a 512-bit one, for the processors that have them. They differ
// from the plain variant in three ways, each kept within the same bound E:
// - the reduction: r starts as fma(P, step, -q·C1) - q·C2 for the first
//   positions P = p + i, from the exact product rather than the rounded x
//   (at most ulp(x)/2 = 4 u away, x < 8), and then goes on by adding
//   8·step (exact) for the next 8 frames. Each addition rounds by at most
//   u/2 (|r| < 1), at most kChunk / 8 = 128 of them: |Δr| < 4 + 1 + 64 =
//   69 u in all, which moves the sine by no more;
// - the series are economised: the r^13 term of the sine and the r^14
//   term of the cosine are traded for a Chebyshev polynomial on
//   |r| <= 0.786 (> π/4), which changes the lower coefficients and adds at
//   most 15.5 u and 0.5 u; the degree-11 and degree-12 polynomials are
//   within 202 u and 9.6 u of sin and cos;
// - the polynomials come out already as y = k·sin(r) + 1/2 (the factor k
//   and the 1/2 folded into the coefficients, exactly), with an
//   evaluation error below 2.6 u and coefficients rounded to double by
//   less than 0.4 u. The two floats are float(y ∓ E/2): y is within
//   (202 + 69)/2 + 3 < 139 u of k·sin(x) + 1/2, and so within 155 u of
//   (s + 1)/2 for the platform's sine s; that is less than E/2 = 256 u,
//   so y - E/2 <= (s + 1)/2 <= y + E/2 and, rounding being monotonic,
//   below and above bracket the per-sample float.
// A group of 8 where the two floats differ for some frame (rare) has those
// frames from std::sin at once, so no second pass looks for them.
// They write v[0 .. frames rounded up to 8): the caller leaves room for the
// last group, whose frames past `frames` are not values of this quarter.
#if VELMORA_HAS_WIDE_TARGET
// Economised coefficients: sin(r) ≈ r·(S[0] + S[1]·z + ... + S[5]·z^5) and
// cos(r) ≈ C[0] + C[1]·z + ... + C[6]·z^6, z = r^2.
inline constexpr double kSinFused[6] = {0x1.fffffffffff01p-1,   -0x1.555555554a093p-3, 0x1.11111107ec641p-7,
                                        -0x1.a019f4f099914p-13, 0x1.71d5ac163de58p-19, -0x1.a8da3bfadcf45p-26};
inline constexpr double kCosFused[7] = {0x1.0p+0,
                                        -0x1.fffffffffff77p-2,
                                        0x1.555555554e619p-5,
                                        -0x1.6c16c163a621bp-10,
                                        0x1.a019f7de05f9fp-16,
                                        -0x1.27df30d69da59p-22,
                                        0x1.1b84e1243065dp-29};

// The constants of a fused kernel for one quarter, before they are spread
// over a vector: the seven coefficients of y in the order the evaluation
// uses them, with k = ±1/2 folded in (a power of 2: exact), and those of
// the reduction and the check.
struct FusedConstants {
    double c[7];
    double negHigh;     // -q·C1
    double low;         // q·C2
    double halfBound;   // E/2
    double eightSteps;  // 8·step, exact
};
inline FusedConstants fusedConstants(bool cosine, std::int32_t quarter, double step) noexcept {
    FusedConstants k{};
    const double sign = (quarter & 2) ? -0.5 : 0.5;
    if (cosine) {
        const double* C = kCosFused;
        const double order[7] = {C[1], C[0], C[3], C[2], C[5], C[4], C[6]};
        for (int i = 0; i < 7; ++i) k.c[i] = sign * order[i];
        k.c[1] = sign * C[0] + 0.5;  // 1 or 0
    } else {
        const double* S = kSinFused;
        const double order[6] = {S[1], S[0], S[3], S[2], S[5], S[4]};
        for (int i = 0; i < 6; ++i) k.c[i] = sign * order[i];
        k.c[6] = 0.5;
    }
    k.negHigh = -(double(quarter) * kHalfPiHigh);
    k.low = double(quarter) * kHalfPiLow;
    k.halfBound = kBound * 0.5;
    k.eightSteps = 8.0 * step;
    return k;
}

// y from r for the lanes of one vector: z = r^2, then by pairs (Estrin),
// which keeps the dependency chain short. The same steps for both widths,
// written once; MUL and FMA are the width's multiply and fused multiply-add.
#define VELMORA_FUSED_SHAPE(V, MUL, FMA)                 \
    const V z = MUL(r, r);                               \
    const V z2 = MUL(z, z);                              \
    const V a = FMA(z, c[0], c[1]);                      \
    const V b = FMA(z, c[2], c[3]);                      \
    const V d = FMA(z, c[4], c[5]);                      \
    if constexpr (cosine) {                              \
        return FMA(z2, FMA(z2, FMA(z2, c[6], d), b), a); \
    } else {                                             \
        return FMA(r, FMA(z2, FMA(z2, d, b), a), c[6]);  \
    }

// The frames of a group of 8 whose bit is set in `uncertain`, from std::sin
// (out of line: rare, and the vector loop keeps its registers).
[[gnu::noinline, gnu::cold]] inline void patchGroup(float* v, double p, double step, unsigned uncertain) noexcept {
    for (int j = 0; j < 8; ++j) {
        if (uncertain & (1u << j)) v[j] = float((std::sin((p + double(j)) * step) + 1.0) / 2.0);
    }
}

// y for the four positions of a vector.
template <bool cosine>
VELMORA_WIDE_TARGET VELMORA_ALWAYS_INLINE __m256d fusedShape4(__m256d r, const __m256d (&c)[7]) noexcept {
    VELMORA_FUSED_SHAPE(__m256d, _mm256_mul_pd, _mm256_fmadd_pd)
}

template <bool cosine>
VELMORA_WIDE_TARGET VELMORA_ALWAYS_INLINE void quarterValuesFused4(float* v, double p, double step,
                                                                   std::int32_t quarter, std::int32_t frames) noexcept {
    const FusedConstants k = fusedConstants(cosine, quarter, step);
    __m256d c[7];
    for (int i = 0; i < 7; ++i) c[i] = _mm256_set1_pd(k.c[i]);
    const __m256d negHigh = _mm256_set1_pd(k.negHigh), low = _mm256_set1_pd(k.low);
    const __m256d halfBound = _mm256_set1_pd(k.halfBound), eightSteps = _mm256_set1_pd(k.eightSteps);
    const __m256d p0 = _mm256_add_pd(_mm256_set1_pd(p), _mm256_setr_pd(0.0, 1.0, 2.0, 3.0));
    const __m256d p1 = _mm256_add_pd(p0, _mm256_set1_pd(4.0));
    const __m256d step4 = _mm256_set1_pd(step);
    __m256d r0 = _mm256_sub_pd(_mm256_fmadd_pd(p0, step4, negHigh), low);
    __m256d r1 = _mm256_sub_pd(_mm256_fmadd_pd(p1, step4, negHigh), low);
    for (std::int32_t i = 0; i < frames; i += 8) {
        const __m256d y0 = fusedShape4<cosine>(r0, c);
        const __m256d y1 = fusedShape4<cosine>(r1, c);
        const __m256 below = _mm256_set_m128(_mm256_cvtpd_ps(_mm256_sub_pd(y1, halfBound)),
                                             _mm256_cvtpd_ps(_mm256_sub_pd(y0, halfBound)));
        const __m256 above = _mm256_set_m128(_mm256_cvtpd_ps(_mm256_add_pd(y1, halfBound)),
                                             _mm256_cvtpd_ps(_mm256_add_pd(y0, halfBound)));
        _mm256_storeu_ps(v + i, below);
        const unsigned same = unsigned(_mm256_movemask_ps(_mm256_cmp_ps(below, above, _CMP_EQ_OQ)));
        if (same != 0xffu) [[unlikely]] {
            // Only the frames of the stretch (the last group may run past).
            const unsigned counted = frames - i >= 8 ? 0xffu : (1u << (frames - i)) - 1u;
            if (const unsigned uncertain = counted & ~same) patchGroup(v + i, p + double(i), step, uncertain);
        }
        r0 = _mm256_add_pd(r0, eightSteps);
        r1 = _mm256_add_pd(r1, eightSteps);
    }
}

// The same eight frames at a time in 512-bit vectors: on processors that
// split them in two halves, the longer vectors still let twice as many
// frames wait in the scheduler, which is what limits this dependent chain.
template <bool cosine>
VELMORA_WIDEST_TARGET VELMORA_ALWAYS_INLINE __m512d fusedShape8(__m512d r, const __m512d (&c)[7]) noexcept {
    VELMORA_FUSED_SHAPE(__m512d, _mm512_mul_pd, _mm512_fmadd_pd)
}

template <bool cosine>
VELMORA_WIDEST_TARGET VELMORA_ALWAYS_INLINE void quarterValuesFused8(float* v, double p, double step,
                                                                     std::int32_t quarter,
                                                                     std::int32_t frames) noexcept {
    const FusedConstants k = fusedConstants(cosine, quarter, step);
    __m512d c[7];
    for (int i = 0; i < 7; ++i) c[i] = _mm512_set1_pd(k.c[i]);
    const __m512d negHigh = _mm512_set1_pd(k.negHigh), low = _mm512_set1_pd(k.low);
    const __m512d halfBound = _mm512_set1_pd(k.halfBound), eightSteps = _mm512_set1_pd(k.eightSteps);
    const __m512d position = _mm512_add_pd(_mm512_set1_pd(p), _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0));
    __m512d r = _mm512_sub_pd(_mm512_fmadd_pd(position, _mm512_set1_pd(step), negHigh), low);
    for (std::int32_t i = 0; i < frames; i += 8) {
        const __m512d y = fusedShape8<cosine>(r, c);
        const __m256 below = _mm512_maskz_cvtpd_ps(0xff, _mm512_sub_pd(y, halfBound));
        const __m256 above = _mm512_maskz_cvtpd_ps(0xff, _mm512_add_pd(y, halfBound));
        _mm256_storeu_ps(v + i, below);
        const unsigned same = _mm256_cmp_ps_mask(below, above, _CMP_EQ_OQ);
        if (same != 0xffu) [[unlikely]] {
            // Only the frames of the stretch (the last group may run past).
            const unsigned counted = frames - i >= 8 ? 0xffu : (1u << (frames - i)) - 1u;
            if (const unsigned uncertain = counted & ~same) patchGroup(v + i, p + double(i), step, uncertain);
        }
        r = _mm512_add_pd(r, eightSteps);
    }
}
#undef VELMORA_FUSED_SHAPE
#endif

// The frames where the bound straddles a rounding boundary, from std::sin.
inline void patchUncertain(float* v, double p, double step, std::int32_t frames) noexcept {
    for (std::int32_t i = 0; i < frames; ++i) {
        if (std::isnan(v[i])) v[i] = float((std::sin((p + double(i)) * step) + 1.0) / 2.0);
    }
}

// v[i] = float((sin((p + i) × step) + 1) / 2) for i < frames <= kChunk, all
// in `quarter` (see quarterFrames), exactly as std::sin gives it. The plain
// variant, for any processor.
VELMORA_ALWAYS_INLINE void sineValues(float* v, double p, double step, std::int32_t quarter,
                                      std::int32_t frames) noexcept {
    const bool straddles = (quarter & 1) ? quarterValues<true>(v, p, step, quarter, frames)
                                         : quarterValues<false>(v, p, step, quarter, frames);
    if (straddles) patchUncertain(v, p, step, frames);
}

#if VELMORA_HAS_WIDE_TARGET
[[gnu::noinline]] VELMORA_WIDE_TARGET inline void sineValuesFused4(float* v, double p, double step,
                                                                   std::int32_t quarter, std::int32_t frames) noexcept {
    if (quarter & 1)
        quarterValuesFused4<true>(v, p, step, quarter, frames);
    else
        quarterValuesFused4<false>(v, p, step, quarter, frames);
}
[[gnu::noinline]] VELMORA_WIDEST_TARGET inline void sineValuesFused8(float* v, double p, double step,
                                                                     std::int32_t quarter,
                                                                     std::int32_t frames) noexcept {
    if (quarter & 1)
        quarterValuesFused8<true>(v, p, step, quarter, frames);
    else
        quarterValuesFused8<false>(v, p, step, quarter, frames);
}
#endif

// The variants this processor runs (flags the runtime filled in at load).
enum class Variant { kPlain, kFused4, kFused8 };
inline Variant fastestVariant() noexcept {
#if VELMORA_HAS_WIDE_TARGET
    if (engine::widestVectors()) return Variant::kFused8;
    if (engine::wideVectors()) return Variant::kFused4;
#endif
    return Variant::kPlain;
}

// sineValues by the given variant (one this processor runs); v has room for
// frames rounded up to 8.
inline void sineValuesBy(Variant variant, float* v, double p, double step, std::int32_t quarter,
                         std::int32_t frames) noexcept {
#if VELMORA_HAS_WIDE_TARGET
    if (variant == Variant::kFused8) return sineValuesFused8(v, p, step, quarter, frames);
    if (variant == Variant::kFused4) return sineValuesFused4(v, p, step, quarter, frames);
#endif
    (void)variant;
    sineValues(v, p, step, quarter, frames);
}

inline constexpr std::int32_t roundUpToGroup(std::int32_t frames) noexcept { return (frames + 7) & ~7; }

}  // namespace sinekernel
