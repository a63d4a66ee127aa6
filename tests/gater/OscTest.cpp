// The step sequence of TOsc, driven directly.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "Osc.h"

namespace {

std::vector<float> ticks(TOsc& osc, int count) {
    std::vector<float> values;
    for (int i = 0; i < count; ++i) values.push_back(osc.tick());
    return values;
}

// 10 samples a second, one step a second: steps of 10 samples, ramps of 2.
void setUpThreeSteps(TOsc& osc) {
    osc.setSampleRate(10.0f);
    osc.setRate(1.0f);
    osc.setEdge(0.4f);
    osc.setStepCount(3);
    osc.setStepGain(1, 1.0f);
    osc.setStepGain(2, 0.5f);
    osc.setStepGain(3, 0.25f);
}

const std::vector<float> step1 = {0, 0.5f, 1, 1, 1, 1, 1, 1, 1, 0.5f};
const std::vector<float> step2 = {0, 0.25f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.25f};
const std::vector<float> step3 = {0, 0.125f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.125f};

TEST(Osc, PlaysTrapezoidStepsInOrderAndWrapsToStepOne) {
    TOsc osc;
    setUpThreeSteps(osc);
    EXPECT_EQ(ticks(osc, 10), step1);
    EXPECT_EQ(ticks(osc, 10), step2);
    EXPECT_EQ(ticks(osc, 10), step3);
    EXPECT_EQ(ticks(osc, 10), step1);
}

TEST(Osc, FractionalStepLengthRoundsEachStepUpAndDropsTheFraction) {
    TOsc osc;           // 44100 Hz
    osc.setRate(8.0f);  // 5512.5 samples a step
    osc.setEdge(0.1f);
    osc.setStepCount(2);
    osc.setStepGain(1, 1.0f);
    osc.setStepGain(2, 0.5f);
    std::vector<float> first = ticks(osc, 5513);
    EXPECT_EQ(first[0], 0.0f);
    EXPECT_EQ(first[1], 0.00362811796f);
    EXPECT_EQ(first[275], 0.997732401f);
    EXPECT_EQ(first[276], 1.0f);
    EXPECT_EQ(first[5236], 1.0f);
    EXPECT_EQ(first[5237], 0.999546468f);
    EXPECT_EQ(first[5512], 0.00181405898f);
    // Step 2 starts on sample 5513 and lasts 5513 samples too.
    std::vector<float> second = ticks(osc, 5514);
    EXPECT_EQ(second[0], 0.0f);
    EXPECT_EQ(second[276], 0.5f);
    EXPECT_EQ(second[5512], 0.000907029491f);
    EXPECT_EQ(second[5513], 0.0f);  // back to step 1
}

TEST(Osc, RateSampleRateAndEdgeChangesWaitForTheNextStep) {
    TOsc osc;
    setUpThreeSteps(osc);
    ticks(osc, 4);
    osc.setRate(2.0f);  // 5-sample steps from the next boundary on
    osc.setEdge(0.0f);
    EXPECT_EQ(ticks(osc, 6), std::vector<float>(step1.begin() + 4, step1.end()));
    EXPECT_EQ(ticks(osc, 2), std::vector<float>(2, 0.5f));
    osc.setSampleRate(20.0f);  // 10-sample steps after this one
    EXPECT_EQ(ticks(osc, 3), std::vector<float>(3, 0.5f));
    EXPECT_EQ(ticks(osc, 10), std::vector<float>(10, 0.25f));
    EXPECT_EQ(osc.tick(), 1.0f);
}

TEST(Osc, StepGainChangeIsHeardOnTheNextSample) {
    TOsc osc;
    setUpThreeSteps(osc);
    ticks(osc, 3);
    osc.setStepGain(1, 2.0f);  // gains outside 0..1 are applied as given
    EXPECT_EQ(osc.tick(), 2.0f);
    osc.setStepGain(1, -0.5f);
    EXPECT_EQ(osc.tick(), -0.5f);
}

TEST(Osc, SmallerStepCountFinishesThePlayingStepThenWraps) {
    TOsc osc;
    setUpThreeSteps(osc);
    ticks(osc, 25);  // in step 3
    osc.setStepCount(2);
    EXPECT_EQ(ticks(osc, 5), std::vector<float>(step3.begin() + 5, step3.end()));
    EXPECT_EQ(ticks(osc, 10), step1);
    EXPECT_EQ(ticks(osc, 10), step2);
    osc.setStepCount(1);
    EXPECT_EQ(ticks(osc, 10), step1);
    EXPECT_EQ(ticks(osc, 10), step1);
}

TEST(Osc, ResetMidStepRestartsAtStepOneWithCurrentSettings) {
    TOsc osc;
    setUpThreeSteps(osc);
    ticks(osc, 14);     // inside step 2
    osc.setRate(0.5f);  // 20-sample steps, ramps of 4
    osc.reset();
    std::vector<float> v = ticks(osc, 22);
    EXPECT_EQ(std::vector<float>(v.begin(), v.begin() + 5), (std::vector<float>{0, 0.25f, 0.5f, 0.75f, 1}));
    EXPECT_EQ(v[19], 0.25f);
    EXPECT_EQ(v[20], 0.0f);  // step 2 begins
    EXPECT_EQ(v[21], 0.125f);
}

TEST(Osc, FullEdgeMakesATriangleAndZeroEdgeAHardGate) {
    TOsc osc;
    osc.setSampleRate(8.0f);
    osc.setRate(1.0f);
    osc.setEdge(1.0f);
    osc.setStepCount(1);
    osc.setStepGain(1, 1.0f);
    EXPECT_EQ(ticks(osc, 8), (std::vector<float>{0, 0.25f, 0.5f, 0.75f, 1, 0.75f, 0.5f, 0.25f}));
    osc.setEdge(0.0f);
    osc.setStepGain(1, 0.75f);
    EXPECT_EQ(ticks(osc, 8), std::vector<float>(8, 0.75f));
}

TEST(Osc, InvalidStepNumberRateOrSampleRateChangesNothing) {
    TOsc osc;
    setUpThreeSteps(osc);
    for (int step : {0, -1, 17, 1000}) osc.setStepGain(step, 9.0f);
    for (float rate : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) osc.setRate(rate);
    osc.setSampleRate(std::numeric_limits<float>::infinity());
    osc.setSampleRate(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(osc.getRate(), 1.0f);
    EXPECT_EQ(ticks(osc, 10), step1);
    EXPECT_EQ(ticks(osc, 10), step2);
    EXPECT_EQ(ticks(osc, 10), step3);
}

}  // namespace
