// VelmoraGater as a host sees it: the real plug-in file, loaded through the
// host library.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "VstHost.h"

namespace {

using velmora::host::PluginInstance;

const std::string gaterPath = VELMORA_PLUGIN_DIR "/VelmoraGater.so";
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

std::uint32_t bits(float value) {
    std::uint32_t pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    return pattern;
}

class Gater : public ::testing::Test {
protected:
    std::unique_ptr<PluginInstance> gater = PluginInstance::load(gaterPath);

    // Steps of 10 frames (80 Hz at the default 120 BPM), ramps of 2 frames,
    // three steps with gains 1, 0.5 and 0.25.
    void useThreeShortSteps() {
        gater->setSampleRate(80.0f);
        gater->setParameter(0, 2.0f / 15.0f);
        gater->setParameter(2, 0.4f);
        gater->setParameter(3, 1.0f);
        gater->setParameter(4, 0.5f);
        gater->setParameter(5, 0.25f);
        gater->resume();
    }

    // The gains of the next `frames` frames: processReplacing of a constant
    // 1.0 on the left channel; the right channel, fed -2.0, must agree.
    std::vector<float> gains(int frames) {
        std::vector<float> inL(frames, 1.0f), inR(frames, -2.0f), outL(frames), outR(frames);
        gater->processReplacing(inL.data(), inR.data(), outL.data(), outR.data(), frames);
        for (int i = 0; i < frames; ++i) EXPECT_EQ(outR[i], -2.0f * outL[i]) << "frame " << i;
        return outL;
    }

    // A buffer filled with 'x' after the host asked for a text of index.
    std::string rawText(std::int32_t opcode, std::int32_t index) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        gater->dispatch(opcode, index, 0, buffer);
        return std::string(buffer, sizeof buffer);
    }
};

const std::vector<float> threeSteps = {0, 0.5f,   1,     1,     1,     1,     1,     1,     1,     0.5f,
                                       0, 0.25f,  0.5f,  0.5f,  0.5f,  0.5f,  0.5f,  0.5f,  0.5f,  0.25f,
                                       0, 0.125f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.125f};

std::vector<float> concat(std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Gater, RecordDescribesAStereoReplacingEffect) {
    EXPECT_EQ(gater->library().entryName(), "main");
    EXPECT_EQ(gater->uniqueIdText(), "KvGt");
    EXPECT_EQ(gater->numParams(), 19);
    EXPECT_EQ(gater->numPrograms(), 16);
    EXPECT_EQ(gater->numInputs(), 2);
    EXPECT_EQ(gater->numOutputs(), 2);
    EXPECT_EQ(gater->flags(), 8 | 16);  // can mono, can replacing
}

TEST_F(Gater, StartsOnProgramZeroWithTheDefaultValues) {
    EXPECT_EQ(bits(gater->getParameter(0)), bits(1.0f));
    EXPECT_EQ(bits(gater->getParameter(1)), 0x3E8BA2E9u);
    EXPECT_EQ(bits(gater->getParameter(2)), 0x3DCCCCCDu);
    EXPECT_EQ(gater->parameterDisplay(0), "      16");
    EXPECT_EQ(gater->parameterDisplay(1), "     120");
    EXPECT_EQ(gater->parameterDisplay(2), "      10");
    for (int i = 3; i < 19; ++i) {
        EXPECT_EQ(gater->getParameter(i), 1.0f) << i;
        EXPECT_EQ(gater->parameterDisplay(i), "0.000000") << i;
    }
    EXPECT_EQ(gater->program(), 0);
    for (int p = 0; p < 16; ++p) {
        gater->setProgram(p);
        EXPECT_EQ(gater->programName(), "Init") << p;
    }
}

TEST_F(Gater, ParameterNamesAndLabelsAreEightCharacters) {
    const char* names[19] = {" Steps  ", " Tempo  ", "  Edge  ", " Step 1 ", " Step 2 ", " Step 3 ", " Step 4 ",
                             " Step 5 ", " Step 6 ", " Step 7 ", " Step 8 ", " Step 9 ", " Step 10", " Step 11",
                             " Step 12", " Step 13", " Step 14", " Step 15", " Step 16"};
    for (int i = 0; i < 19; ++i) {
        EXPECT_EQ(rawText(8, i).substr(0, 10), std::string(names[i]) + '\0' + 'x') << i;
        EXPECT_EQ(gater->parameterLabel(i), i == 0   ? "  1/16  "
                                            : i == 1 ? "  BPM   "
                                            : i == 2 ? " percent"
                                                     : "   dB   ")
            << i;
    }
}

TEST_F(Gater, IndexOutsideTheListIsIgnoredAndLeavesBuffersUntouched) {
    gater->setParameter(19, 0.5f);
    gater->setParameter(-1, 0.5f);
    EXPECT_EQ(gater->getParameter(19), 0.0f);
    EXPECT_EQ(gater->getParameter(-1), 0.0f);
    for (int opcode : {6, 7, 8}) {
        EXPECT_EQ(rawText(opcode, 19), std::string(32, 'x'));
        EXPECT_EQ(rawText(opcode, -1), std::string(32, 'x'));
    }
    EXPECT_EQ(gater->getParameter(18), 1.0f);
}

TEST_F(Gater, StepsRoundToNearestEvenAndOutsideOneToSixteenPlaySixteen) {
    const std::pair<float, const char*> cases[] = {{0.0f, "       1"},  {0.5f, "       8"},   {1.0f, "      16"},
                                                   {0.2f, "       4"},  {-0.04f, "      16"}, {nan, "      16"},
                                                   {1e10f, "      16"}, {-inf, "      16"}};
    for (auto [value, text] : cases) {
        gater->setParameter(0, 0.3f);  // 5.5 rounds to 6
        ASSERT_EQ(gater->parameterDisplay(0), "       6");
        gater->setParameter(0, value);
        EXPECT_EQ(gater->parameterDisplay(0), text) << value;
        EXPECT_EQ(bits(gater->getParameter(0)), bits(value));
    }
}

TEST_F(Gater, TempoShowsBeatsPerMinuteOfTheOscillatorRate) {
    gater->setParameter(1, 0.0f);
    EXPECT_EQ(gater->parameterDisplay(1), "      30");
    gater->setParameter(1, 1.0f);
    EXPECT_EQ(gater->parameterDisplay(1), "     360");
    gater->setParameter(1, 0.5f);
    EXPECT_EQ(gater->parameterDisplay(1), "     195");
    // A tempo of 0 BPM or less (or NaN) is no rate: the last one stays.
    for (float value : {-0.5f, -30.0f / 330.0f, nan}) gater->setParameter(1, value);
    EXPECT_EQ(gater->parameterDisplay(1), "     195");
    EXPECT_TRUE(std::isnan(gater->getParameter(1)));
    // A rate too large for an integer display.
    gater->setParameter(1, 1e30f);
    EXPECT_EQ(gater->parameterDisplay(1), "  Huge! ");
    gater->setParameter(1, inf);
    EXPECT_EQ(gater->parameterDisplay(1), "  Huge! ");
}

TEST_F(Gater, EdgeShowsTheClampedPercentage) {
    gater->setParameter(2, 0.125f);
    EXPECT_EQ(gater->parameterDisplay(2), "      12");
    gater->setParameter(2, 1.5f);
    EXPECT_EQ(gater->parameterDisplay(2), "     100");
    EXPECT_EQ(gater->getParameter(2), 1.5f);
    gater->setParameter(2, nan);
    EXPECT_EQ(gater->parameterDisplay(2), "       0");
}

TEST_F(Gater, EditsStayInTheirProgramAndBadProgramIndexesChangeNothing) {
    gater->setProgram(3);
    gater->setParameter(5, 0.25f);
    gater->setProgramName("Breakbeat");
    gater->setProgram(7);
    EXPECT_EQ(gater->getParameter(5), 1.0f);
    EXPECT_EQ(gater->programName(), "Init");
    gater->setProgram(3);
    EXPECT_EQ(gater->getParameter(5), 0.25f);
    EXPECT_EQ(gater->programName(), "Breakbeat");
    for (int bad : {16, -1, 1000}) {
        gater->setProgram(bad);
        EXPECT_EQ(gater->program(), 3);
        EXPECT_EQ(gater->getParameter(5), 0.25f);
    }
}

TEST_F(Gater, ProgramNamesKeepTheirFirst24Characters) {
    gater->setProgramName("abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(gater->programName(), "abcdefghijklmnopqrstuvwx");
    gater->dispatch(4, 0, 0, nullptr);  // a null name changes nothing
    EXPECT_EQ(gater->programName(), "abcdefghijklmnopqrstuvwx");
    gater->setProgramName("");
    EXPECT_EQ(gater->programName(), "");
}

TEST_F(Gater, OutputIsInputTimesTheStepSequenceAcrossBlocksOfAnySize) {
    useThreeShortSteps();
    std::vector<float> played;
    for (int frames : {7, 0, 1, 13, 0, 9, 10}) played = concat(played, gains(frames));
    EXPECT_EQ(played, concat(threeSteps, std::vector<float>(threeSteps.begin(), threeSteps.begin() + 10)));
}

TEST_F(Gater, ProcessAddsIntoOutputsAndTouchesOnlySampleFrames) {
    useThreeShortSteps();
    std::vector<float> inL(6, 2.0f), inR(6, 4.0f), outL(6, 0.25f), outR(6, -1.0f);
    gater->process(inL.data(), inR.data(), outL.data(), outR.data(), 4);
    EXPECT_EQ(outL, (std::vector<float>{0.25f, 1.25f, 2.25f, 2.25f, 0.25f, 0.25f}));
    EXPECT_EQ(outR, (std::vector<float>{-1, 1, 3, 3, -1, -1}));
    gater->processReplacing(inL.data(), inR.data(), outL.data(), outR.data(), 2);
    EXPECT_EQ(outL, (std::vector<float>{2, 2, 2.25f, 2.25f, 0.25f, 0.25f}));
}

TEST_F(Gater, SuspendAndResumeRestartAtTheFirstFrameOfStepOne) {
    useThreeShortSteps();
    gains(15);
    gater->suspend();
    EXPECT_EQ(gains(12), std::vector<float>(threeSteps.begin(), threeSteps.begin() + 12));
    gater->resume();
    EXPECT_EQ(gains(3), std::vector<float>(threeSteps.begin(), threeSteps.begin() + 3));
}

}  // namespace
