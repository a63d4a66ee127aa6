#include "DecimalForm.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vstsdk {
namespace {

constexpr int kSignificantDigits = 15;

// An unsigned integer in base 10^9, least significant limb first: large
// enough for m × 5^149 (m < 2^24), the longest exact expansion of a float.
class TDecimalInteger {
public:
    explicit TDecimalInteger(std::uint32_t value) noexcept {
        limbs[0] = value % kBase;
        limbs[1] = value / kBase;
        used = limbs[1] != 0 ? 2 : 1;
    }

    void multiply(std::uint32_t factor) noexcept {
        std::uint64_t carry = 0;
        for (int i = 0; i < used; ++i) {
            std::uint64_t product = std::uint64_t{limbs[i]} * factor + carry;
            limbs[i] = static_cast<std::uint32_t>(product % kBase);
            carry = product / kBase;
        }
        if (carry != 0) limbs[used++] = static_cast<std::uint32_t>(carry);
    }

    // Writes the decimal digits without leading zeros; returns their count.
    int digits(char* out) const noexcept {
        int count = 0;
        char top[10];
        int topCount = 0;
        for (std::uint32_t rest = limbs[used - 1]; rest != 0 || topCount == 0; rest /= 10)
            top[topCount++] = static_cast<char>('0' + rest % 10);
        while (topCount > 0) out[count++] = top[--topCount];
        for (int i = used - 2; i >= 0; --i) {
            std::uint32_t limb = limbs[i];
            for (int d = 8; d >= 0; --d) {
                out[count + d] = static_cast<char>('0' + limb % 10);
                limb /= 10;
            }
            count += 9;
        }
        return count;
    }

    static constexpr int kMaxDigits = 16 * 9;

private:
    static constexpr std::uint32_t kBase = 1000000000;
    std::uint32_t limbs[16] = {};
    int used;
};

// The digits d1…dn (n at least 1, no trailing zeros) and the exponent e of
// |value| = 0.d1…dn × 10^e after rounding to 15 significant digits.
struct TRoundedDecimal {
    char digits[TDecimalInteger::kMaxDigits];
    int count;
    int exponent;
};

TRoundedDecimal roundedDecimal(float magnitude) noexcept {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(magnitude) & 0x7FFFFFFFu;
    const std::uint32_t biased = bits >> 23;
    std::uint32_t mantissa = bits & 0x7FFFFFu;
    int binaryExponent = -149;  // denormals: mantissa × 2^-149
    if (biased != 0) {
        mantissa |= 0x800000u;
        binaryExponent = static_cast<int>(biased) - 150;
    }

    // mantissa × 2^k equals mantissa × 5^-k / 10^-k for negative k.
    TDecimalInteger exact(mantissa);
    int decimalShift = 0;
    for (int k = binaryExponent; k > 0; --k) exact.multiply(2);
    for (int k = binaryExponent; k < 0; ++k) {
        exact.multiply(5);
        ++decimalShift;
    }

    TRoundedDecimal result;
    result.count = exact.digits(result.digits);
    result.exponent = result.count - decimalShift;

    if (result.count > kSignificantDigits) {
        // Halves up: the exact expansion is known, so a 5 in the 16th place
        // is at least half a unit of the 15th, whatever follows it.
        const bool up = result.digits[kSignificantDigits] >= '5';
        result.count = kSignificantDigits;
        if (up) {
            int i = kSignificantDigits - 1;
            while (i >= 0 && result.digits[i] == '9') result.digits[i--] = '0';
            if (i >= 0) {
                ++result.digits[i];
            } else {
                result.digits[0] = '1';  // 999…9 became 1000…0
                ++result.exponent;
            }
        }
    }
    while (result.count > 1 && result.digits[result.count - 1] == '0') --result.count;
    return result;
}

std::size_t writeUnsigned(unsigned value, char* out) noexcept {
    char reversed[10];
    std::size_t count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    return count;
}

}  // namespace

std::size_t formatDecimal(float value, char separator, char* out) noexcept {
    std::size_t length = 0;
    auto put = [&](char c) noexcept { out[length++] = c; };
    auto finish = [&]() noexcept {
        out[length] = '\0';
        return length;
    };

    if (value != value) {
        std::memcpy(out, "nan", 4);
        return 3;
    }
    const float magnitude = std::fabs(value);
    if (magnitude == 0.0f) {
        put('0');
        return finish();
    }
    if (std::signbit(value)) put('-');
    if (magnitude > 3.40282347e38f) {
        std::memcpy(out + length, "inf", 4);
        return length + 3;
    }

    const TRoundedDecimal d = roundedDecimal(magnitude);
    const int n = d.count;
    const int e = d.exponent;
    if (e >= -3 && e <= 15) {
        if (e <= 0) {
            put('0');
            put(separator);
            for (int i = 0; i < -e; ++i) put('0');
            for (int i = 0; i < n; ++i) put(d.digits[i]);
        } else {
            for (int i = 0; i < e; ++i) put(i < n ? d.digits[i] : '0');
            if (n > e) {
                put(separator);
                for (int i = e; i < n; ++i) put(d.digits[i]);
            }
        }
    } else {
        put(d.digits[0]);
        if (n > 1) {
            put(separator);
            for (int i = 1; i < n; ++i) put(d.digits[i]);
        }
        put('E');
        const int power = e - 1;
        if (power < 0) put('-');
        length += writeUnsigned(static_cast<unsigned>(power < 0 ? -power : power), out + length);
    }
    return finish();
}

}  // namespace vstsdk
