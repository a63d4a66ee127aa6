// The values of a segment's shape for a stretch of whole positions, filled
// into a buffer by loops that the compiler vectorises: bit for bit what the
// per-sample rules compute, one position at a time, in double from stored
// floats with one rounding to float.
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
// So a rising stretch is a float division by a float divisor (3), and the
// falling one a float division X - i over w (4) where fallingQuotient()
// finds its conditions met; elsewhere the double expression itself.
// No expression may be contracted into a fused multiply-add: the targets
// that include this header compile with -ffp-contract=off.
#pragma once

#include <cmath>
#include <cstdint>

#include "Dispatch.h"
#include "Period.h"
#include "SineKernel.h"

namespace engine {

// Positions count in float steps of 1, which stop at 2^24 (2^24 + 1 rounds
// back to 2^24). Stretches stay below it; the per-sample rules do the rest.
inline constexpr float kPositionLimit = 16777216.0f;

// Whether a position is one the stretches can count: a whole number in
// [0, 2^24). (A reset racing with the end of a block can leave a fraction;
// the per-sample rules carry such a position to the next boundary.)
inline bool isWholePosition(float p) noexcept { return p >= 0.0f && p < kPositionLimit && float(std::int32_t(p)) == p; }

// Number of consecutive whole positions p, p + 1, ... below x (0 if p >= x
// or x is NaN), at most `most`. p is a whole number.
inline std::int32_t countBelow(double p, double x, std::int32_t most) noexcept {
    if (!(p < x)) return 0;
    const double count = std::ceil(x) - p;
    return count < double(most) ? std::int32_t(count) : most;
}

// Whether float(q / den) may be had as a float division at whole positions
// below 2^24: a float divisor in the normal range whose quotients stay
// normal (or are 0).
inline bool quotientIsExact(double den) noexcept {
    return den >= 0x1p-100 && den <= 0x1p100 && double(float(den)) == den;
}

// For the falling form float((a - q) / w + 1.0) at q = p, p + 1, ...: how
// many of the next `most` frames the float quotient (x - i) / w gives
// exactly (see "Quotients" (4)), with x in `x`; 0 if none. The conditions:
// a, w floats in [1, 2^24), so a - p and a - p + w are exact in double;
// x = a - p + w an exact float in (0, w], so x - i stays exact; and
// x - i >= w / 16 for every frame taken.
inline std::int32_t fallingQuotient(double a, double w, double p, std::int32_t most, float& x) noexcept {
    if (!(a >= 1.0 && a < double(kPositionLimit) && w >= 1.0 && w < double(kPositionLimit))) return 0;
    if (double(float(w)) != w || double(float(a)) != a) return 0;
    const double first = (a - p) + w;
    if (!(first > 0.0 && first <= w) || double(float(first)) != first) return 0;
    const double least = w * 0.0625;
    if (!(first >= least)) return 0;
    x = float(first);
    const double count = std::floor(first - least) + 1.0;
    return count < double(most) ? std::int32_t(count) : most;
}

VELMORA_ALWAYS_INLINE void fillRising(float* v, std::int32_t p, std::int32_t n, double den) noexcept {
    if (quotientIsExact(den)) {
        const float d = float(den);
        for (std::int32_t i = 0; i < n; ++i) v[i] = float(p + i) / d;
    } else {
        for (std::int32_t i = 0; i < n; ++i) v[i] = float(double(p + i) / den);
    }
}

VELMORA_ALWAYS_INLINE void fillFalling(float* v, std::int32_t p, std::int32_t n, double a, double w) noexcept {
    float x = 0.0f;
    const std::int32_t exact = fallingQuotient(a, w, p, n, x);
    const float d = float(w);
    for (std::int32_t i = 0; i < exact; ++i) v[i] = (x - float(i)) / d;
    for (std::int32_t i = exact; i < n; ++i) v[i] = float((a - double(p + i)) / w + 1.0);
}

inline constexpr std::int32_t kFillSlack = 8;

// The sine's values quarter by quarter (each quarter one polynomial; see
// SineKernel.h).
inline void fillSine(float* v, std::int32_t p, std::int32_t n, double step) noexcept {
    const sinekernel::Variant variant = sinekernel::fastestVariant();
    while (n > 0) {
        std::int32_t quarter = 0;
        const std::int32_t most = n < sinekernel::kChunk ? n : sinekernel::kChunk;
        std::int32_t count = sinekernel::quarterFrames(double(p), step, most, quarter);
        if (count == 0) {
            // No case for the kernel: this frame as the per-sample rule has it.
            v[0] = float((std::sin(double(p) * step) + 1.0) / 2.0);
            count = 1;
        } else {
            sinekernel::sineValuesBy(variant, v, double(p), step, quarter, count);
        }
        v += count;
        p += count;
        n -= count;
    }
}

// The values of `shape` at positions p .. p + n - 1 into v, which has room
// for kFillSlack values more (the sine kernel writes whole groups of 8).
VELMORA_ALWAYS_INLINE void fill(const Shape& shape, float* v, std::int32_t p, std::int32_t n) noexcept {
    switch (shape.kind) {
        case Shape::kConstant:
            for (std::int32_t i = 0; i < n; ++i) v[i] = shape.value;
            break;
        case Shape::kTable:
            for (std::int32_t i = 0; i < n; ++i) v[i] = shape.table[p - shape.origin + i];
            break;
        case Shape::kRising: fillRising(v, p, n, shape.den); break;
        case Shape::kFalling: fillFalling(v, p, n, shape.a, shape.den); break;
        case Shape::kSine: fillSine(v, p, n, shape.den); break;
    }
}

}  // namespace engine
