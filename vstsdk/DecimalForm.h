// The decimal form of a 32-bit float: its exact binary value rounded to 15
// significant decimal digits, halves rounding away from zero, trailing zeros
// dropped; fixed notation from 0.0001 up to 15 integer digits, scientific
// ("1.5E-7", "3.40282346638529E38") outside that. The digits are computed
// with integer arithmetic from the float's bits, so the text is the same on
// every C runtime.
#pragma once

#include <cstddef>

namespace vstsdk {

// Room for the longest decimal form of any finite float plus its zero byte.
inline constexpr std::size_t kDecimalFormCapacity = 32;

// Writes the decimal form of a finite, non-zero `value` into `out` (at least
// kDecimalFormCapacity bytes), using `separator` as the decimal separator,
// and returns its length (the zero byte not counted). Zero, infinities and
// NaN are the caller's business; they give "0", "inf" (or "-inf") and "nan".
std::size_t formatDecimal(float value, char separator, char* out) noexcept;

}  // namespace vstsdk
