// Float-to-integer conversion that rounds to nearest with ties to even and
// never has undefined behaviour: NaN, infinities and values outside the
// 32-bit range are reported instead of converted. It does not depend on the
// thread's rounding mode.
#pragma once

#include <cmath>
#include <cstdint>

// Rounds x to the nearest integer, ties to even. Returns false (and leaves
// `out` alone) when x is NaN or the rounded value does not fit in int32.
inline bool roundToInt32(double x, std::int32_t& out) noexcept {
    if (!(x > -2147483649.0 && x < 2147483648.0)) return false;  // NaN fails too
    double lower = std::floor(x);
    double fraction = x - lower;  // exact for doubles in this range
    double rounded = lower;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0)) rounded = lower + 1.0;
    if (rounded < -2147483648.0 || rounded > 2147483647.0) return false;
    out = static_cast<std::int32_t>(rounded);
    return true;
}
