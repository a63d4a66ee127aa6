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

#include "GainStretch.h"

namespace sinekernel {

inline constexpr std::int32_t kChunk = 256;  // frames per call of sineValues

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
VELMORA_STRETCH_INLINE double sinOf(double r, double k) noexcept {
    const double z = r * r;
    const double z2 = z * z;
    const double a = k * -0x1.5555555555555p-3 + z * (k * 0x1.1111111111111p-7);   // -1/3!, 1/5!
    const double b = k * -0x1.a01a01a01a01ap-13 + z * (k * 0x1.71de3a556c734p-19);  // -1/7!, 1/9!
    const double c = k * -0x1.ae64567f544e4p-26 + z * (k * 0x1.6124613a86d09p-33);  // -1/11!, 1/13!
    return k * r + (r * z) * (a + z2 * (b + z2 * c));
}

VELMORA_STRETCH_INLINE double cosOf(double r, double k) noexcept {
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
VELMORA_STRETCH_INLINE bool quarterValues(float* v, double p, double step, std::int32_t quarter,
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

// v[i] = float((sin((p + i) × step) + 1) / 2) for i < frames <= kChunk, all
// in `quarter` (see quarterFrames), exactly as std::sin gives it.
VELMORA_STRETCH_INLINE void sineValues(float* v, double p, double step, std::int32_t quarter,
                                       std::int32_t frames) noexcept {
    const bool straddles = (quarter & 1) ? quarterValues<true>(v, p, step, quarter, frames)
                                         : quarterValues<false>(v, p, step, quarter, frames);
    if (!straddles) return;
    for (std::int32_t i = 0; i < frames; ++i) {
        if (v[i] != v[i]) v[i] = float((std::sin((p + double(i)) * step) + 1.0) / 2.0);
    }
}

}  // namespace sinekernel
