// The display helpers, exact to the byte, through the test plug-in: its
// getParameterDisplay shows parameter k through helper k.
#include <bit>
#include <cstdint>
#include <limits>

#include "TestHost.h"

using namespace testplugin;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kSmallestDenormal = 0x1p-149f;

struct Case {
    float value;
    const char* text;
};

class Display : public TestPluginTest {
protected:
    void expectTexts(Parameter helper, std::initializer_list<Case> cases) {
        for (const Case& c : cases) {
            plugin->setParameter(helper, c.value);
            EXPECT_EQ(written(effGetParamDisplay, helper), c.text) << "value " << c.value;
        }
    }
};

TEST_F(Display, Float2stringWritesTheDecimalFormCutToEightCharacters) {
    expectTexts(kFloat2string, {{0.0f, "0.000000"},
                                {-0.0f, "0.000000"},
                                {1.0f, "1"},
                                {0.5f, "0.5"},
                                {-0.25f, "-0.25"},
                                {100.0f, "100"},
                                {0.1f, "0.100000"},
                                {12345.678f, "12345.67"},
                                {1234567.5f, "1234567."},
                                {9999999.0f, "9999999"},
                                {-999999.0f, "-999999"},
                                {-999999.5f, "-999999."},
                                {0.00001f, "9.999999"},
                                {-0.00001f, "-9.99999"}});
}

TEST_F(Display, Float2stringSwitchesToScientificBelowOneTenThousandth) {
    expectTexts(kFloat2string, {{std::bit_cast<float>(0x38D1B718u), "0.000100"},  // 1.00000004749745e-4
                                {0.0001f, "9.999999"},                            // 9.99999974737875e-5
                                {3.0f * 0x1p-22f, "7.152557"},
                                {kSmallestDenormal, "1.401298"},
                                {-kSmallestDenormal, "-1.40129"}});
}

TEST_F(Display, Float2stringIsHugeOutsideItsRange) {
    expectTexts(kFloat2string, {{10000000.0f, "  Huge! "},
                                {-1000000.0f, "  Huge! "},
                                {kInf, "  Huge! "},
                                {-kInf, "  Huge! "},
                                {kNaN, "  Huge! "},
                                {3.0e38f, "  Huge! "}});
}

TEST_F(Display, Long2stringRightAlignsInEightOrSevenCharacters) {
    expectTexts(kLong2string, {{0.0f, "       0"},
                               {120.0f, "     120"},
                               {9999999.0f, " 9999999"},
                               {10000000.0f, "  Huge! "},
                               {-1.0f, "     -1"},
                               {-12345.0f, " -12345"},
                               {-999999.0f, "-999999"},
                               {-1000000.0f, "  Huge! "},
                               {-2147483648.0f, "  Huge! "}});
}

TEST_F(Display, DB2stringShowsDecibelsOrMinusInfinity) {
    expectTexts(kDB2string, {{1.0f, "0.000000"},
                             {0.5f, "-6.02059"},
                             {0.25f, "-12.0411"},
                             {0.1f, "-20"},
                             {2.0f, "6.020599"},
                             {0.001f, "-60"},
                             {kSmallestDenormal, "-897.069"},
                             {kInf, "  Huge! "},
                             {0.0f, "  -oo   "},
                             {-0.0f, "  -oo   "},
                             {-1.0f, "  -oo   "},
                             {kNaN, "  -oo   "}});
}

TEST_F(Display, Hz2stringShowsTheFrequencyOfOneCycle) {
    expectTexts(kHz2string, {{441.0f, "100"},
                             {1.0f, "44100"},
                             {0.5f, "88200"},
                             {-441.0f, "-100"},
                             {0.0f, "0.000000"},
                             {kNaN, "0.000000"},
                             {kSmallestDenormal, "  Huge! "}});
    plugin->setSampleRate(48000.0f);
    expectTexts(kHz2string, {{480.0f, "100"}});
}

TEST_F(Display, Ms2stringShowsTheLengthInMilliseconds) {
    expectTexts(kMs2string, {{44100.0f, "1000"}, {22050.0f, "500"}, {1.0f, "0.022675"}, {0.0f, "0.000000"}});
    plugin->setSampleRate(48000.0f);
    expectTexts(kMs2string, {{48.0f, "1"}});
    plugin->setSampleRate(0.0f);
    expectTexts(kMs2string, {{1.0f, "  Huge! "}, {0.0f, "  Huge! "}});
}

}  // namespace
