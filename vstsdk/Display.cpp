// The display helpers of TAudioEffect: numbers as texts of at most 8
// characters plus a zero byte, written into a buffer of the host. They run
// on any host thread (never the audio thread), allocate nothing and share
// only the decimal separator, which is fixed when the library is loaded.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "AudioEffect.h"
#include "DecimalForm.h"

namespace {

constexpr std::size_t kDisplayLength = 8;

// The first character of the decimal separator of the locale in force when
// the library is loaded; "." when the locale gives none, or gives one that
// is not a single 7-bit character (half of a multi-byte character would
// garble the host's text).
char readDecimalSeparator() noexcept {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr) return '.';
    const unsigned char first = static_cast<unsigned char>(conventions->decimal_point[0]);
    if (first == 0 || first >= 0x80) return '.';
    return static_cast<char>(first);
}

// Dynamic initialisation: runs once, when the library is loaded.
const char decimalSeparator = readDecimalSeparator();

// Copies at most 8 characters of `source` and the zero byte into `text`.
void writeDisplay(const char* source, std::size_t length, char* text) noexcept {
    if (length > kDisplayLength) length = kDisplayLength;
    std::memcpy(text, source, length);
    text[length] = '\0';
}

void writeDisplay(const char* source, char* text) noexcept { writeDisplay(source, std::strlen(source), text); }

constexpr const char* kHuge = "  Huge! ";
constexpr const char* kMinusInfinity = "  -oo   ";
constexpr const char* kZero = "0.000000";

// Rounds to the nearest float, ties to even; values beyond the float range
// become infinities (a conversion C++ leaves undefined).
float narrowToFloat(long double x) noexcept {
    // Halfway between the largest float and 2^128: from here on, round to nearest gives infinity.
    constexpr long double kOverflow = 0x1.ffffffp127L;
    if (x >= kOverflow) return HUGE_VALF;
    if (x <= -kOverflow) return -HUGE_VALF;
    return static_cast<float>(x);
}

// IEEE division, spelled out for a zero divisor so that no division by zero
// is ever evaluated: ±infinity, or NaN for 0/0 and NaN/0.
long double divide(long double dividend, long double divisor) noexcept {
    if (divisor != 0.0L) return dividend / divisor;
    if (dividend == 0.0L || std::isnan(dividend)) return NAN;
    return (std::signbit(dividend) != std::signbit(divisor)) ? -HUGE_VALL : HUGE_VALL;
}

}  // namespace

// Any host thread, not the audio thread. "  -oo   " for a gain of zero or
// less (or NaN); otherwise 20·log10(gain) decibels through float2string.
void TAudioEffect::dB2string(float gain, char* text) noexcept {
    if (text == nullptr) return;
    if (!(gain > 0.0f)) {
        writeDisplay(kMinusInfinity, text);
        return;
    }
    const long double decibels = 20.0L * std::log10(static_cast<long double>(gain));
    float2string(narrowToFloat(decibels), text);
}

// Any host thread, not the audio thread. The frequency of one cycle of
// `samples` samples at getSampleRate(); "0.000000" for a zero or NaN length.
void TAudioEffect::Hz2string(float samples, char* text) noexcept {
    if (text == nullptr) return;
    if (samples == 0.0f || std::isnan(samples)) {
        float2string(0.0f, text);
        return;
    }
    const long double hertz = static_cast<long double>(getSampleRate()) / samples;
    float2string(narrowToFloat(hertz), text);
}

// Any host thread, not the audio thread. `samples` samples in milliseconds
// at getSampleRate(); a zero sample rate gives infinity or NaN, "  Huge! ".
void TAudioEffect::ms2string(float samples, char* text) noexcept {
    if (text == nullptr) return;
    const long double milliseconds =
        divide(static_cast<long double>(samples) * 1000.0L, static_cast<long double>(getSampleRate()));
    float2string(narrowToFloat(milliseconds), text);
}

// Any host thread, not the audio thread. The decimal form of `value`, cut to
// 8 characters (never rounded again); "0.000000" for zero, "  Huge! " at or
// beyond 10000000 and at or below -1000000, for infinities and for NaN.
void TAudioEffect::float2string(float value, char* text) noexcept {
    if (text == nullptr) return;
    if (value >= 10000000.0f || !(value > -1000000.0f)) {
        writeDisplay(kHuge, text);
        return;
    }
    if (value == 0.0f) {
        writeDisplay(kZero, text);
        return;
    }
    char decimal[vstsdk::kDecimalFormCapacity];
    const std::size_t length = vstsdk::formatDecimal(value, decimalSeparator, decimal);
    writeDisplay(decimal, length, text);
}

// Any host thread, not the audio thread. Right-aligned decimal: 8 characters
// for values from 0 to 9999999, 7 ("-" included) for -999999 to -1; beyond
// that "  Huge! ".
void TAudioEffect::long2string(std::int32_t value, char* text) noexcept {
    if (text == nullptr) return;
    if (value >= 10000000 || value <= -1000000) {
        writeDisplay(kHuge, text);
        return;
    }
    const bool negative = value < 0;
    const std::size_t width = negative ? 7 : 8;
    std::uint32_t magnitude = static_cast<std::uint32_t>(negative ? -value : value);
    char field[kDisplayLength];
    std::size_t position = width;
    do {
        field[--position] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) field[--position] = '-';
    while (position > 0) field[--position] = ' ';
    writeDisplay(field, width, text);
}
