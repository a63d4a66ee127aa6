// The full 15-digit decimal form, before float2string cuts it to 8
// characters: the rounding and notation rules are visible only here.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "DecimalForm.h"

namespace {

std::string decimal(float value, char separator = '.') {
    char text[vstsdk::kDecimalFormCapacity];
    const std::size_t length = vstsdk::formatDecimal(value, separator, text);
    EXPECT_EQ(text[length], '\0');
    return std::string(text, length);
}

TEST(DecimalForm, RoundsTheExactValueTo15DigitsHalvesUp) {
    EXPECT_EQ(decimal(3.0f * 0x1p-22f), "7.15255737304688E-7");  // exactly 7.152557373046875e-7
    EXPECT_EQ(decimal(0x1p-22f), "2.38418579101563E-7");         // exactly 2.384185791015625e-7
    EXPECT_EQ(decimal(1.0f + 0x1p-15f), "1.00003051757813");     // exactly 1.000030517578125
    EXPECT_EQ(decimal(-1.0f - 0x1p-15f), "-1.00003051757813");
    EXPECT_EQ(decimal(0.1f), "0.100000001490116");
    EXPECT_EQ(decimal(0.3f), "0.300000011920929");
}

TEST(DecimalForm, DropsTrailingZerosAndPadsIntegers) {
    EXPECT_EQ(decimal(0.5f), "0.5");
    EXPECT_EQ(decimal(16777216.0f), "16777216");
    EXPECT_EQ(decimal(1.0e15f), "999999986991104");
}

TEST(DecimalForm, UsesScientificFormBelowOneTenThousandthAndAbove15Digits) {
    EXPECT_EQ(decimal(std::bit_cast<float>(0x38D1B718u)), "0.000100000004749745");
    EXPECT_EQ(decimal(0.00001f), "9.99999974737875E-6");
    EXPECT_EQ(decimal(1.0e16f), "1.00000002725642E16");
    EXPECT_EQ(decimal(3.40282347e38f), "3.40282346638529E38");
}

TEST(DecimalForm, WritesDenormalsExactly) {
    EXPECT_EQ(decimal(0x1p-149f), "1.40129846432482E-45");
    EXPECT_EQ(decimal(std::bit_cast<float>(0x007FFFFFu)), "1.17549421069244E-38");
}

TEST(DecimalForm, UsesTheGivenSeparator) {
    EXPECT_EQ(decimal(0.5f, ','), "0,5");
    EXPECT_EQ(decimal(0.00001f, ','), "9,99999974737875E-6");
}

}  // namespace
