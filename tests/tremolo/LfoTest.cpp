// TLfo on its own: the waveform shapes, the setters' rules and when a new
// setting reaches the sound.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "LFO.h"

namespace {

const std::vector<float> kRampUp = {0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f};
const std::vector<float> kFallingNine = {1.0f, 0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f, 0.3f, 0.2f};

std::vector<float> run(TLfo& lfo, int count) {
    std::vector<float> values(count);
    for (float& v : values) v = lfo.tick();
    return values;
}

std::vector<float> slice(const std::vector<float>& v, int from, int count) {
    return {v.begin() + from, v.begin() + from + count};
}

// 44100 Hz and 2 Hz: a cycle of 22050 samples.
struct LfoAt2Hz : ::testing::Test {
    void start(std::uint8_t waveform, float pulseWidth = 50.0f) {
        lfo.setWaveform(waveform);
        lfo.setPulseWidth(pulseWidth);
        lfo.reset();
    }
    TLfo lfo;
};

TEST_F(LfoAt2Hz, SquareRisesHoldsFallsAndRestartsEvery22050Samples) {
    start(TLfo::kSquare);
    auto v = run(lfo, 22052);
    EXPECT_EQ(slice(v, 0, 10), kRampUp);
    for (int i = 10; i < 11025; ++i) ASSERT_EQ(v[i], 1.0f) << i;
    EXPECT_EQ(slice(v, 11025, 9), kFallingNine);
    for (int i = 11034; i < 22050; ++i) ASSERT_EQ(v[i], 0.0f) << i;
    EXPECT_EQ(v[22050], 0.0f);
    EXPECT_EQ(v[22051], 0.1f);
}

TEST_F(LfoAt2Hz, PulseWidthIsClampedTo10And90AndMovesTheSquaresFall) {
    lfo.setPulseWidth(95.0f);
    EXPECT_EQ(lfo.getPulseWidth(), 90.0f);
    start(TLfo::kSquare, 5.0f);
    EXPECT_EQ(lfo.getPulseWidth(), 10.0f);
    auto v = run(lfo, 2215);
    EXPECT_EQ(v[2204], 1.0f);
    EXPECT_EQ(slice(v, 2205, 9), kFallingNine);
    EXPECT_EQ(v[2214], 0.0f);
}

TEST_F(LfoAt2Hz, SawUpClimbsThenFallsOverItsLastNineSamples) {
    start(TLfo::kSawUp);
    auto v = run(lfo, 22051);
    EXPECT_EQ(v[1], float(1.0 / 22050.0));
    EXPECT_EQ(v[22040], float(22040.0 / 22050.0));
    EXPECT_EQ(slice(v, 22041, 9), kFallingNine);
    EXPECT_EQ(v[22050], 0.0f);
}

TEST_F(LfoAt2Hz, SawDownRisesOverTenSamplesThenFallsByOneCyclePerSample) {
    start(TLfo::kSawDown);
    auto v = run(lfo, 12);
    EXPECT_EQ(slice(v, 0, 10), kRampUp);
    EXPECT_EQ(v[10], 1.0f);
    EXPECT_EQ(v[11], float(1.0 - 1.0 / 22050.0));
}

TEST_F(LfoAt2Hz, TriangleTurnsAtHalfTheCycleWhateverThePulseWidth) {
    start(TLfo::kTriangle, 20.0f);
    auto v = run(lfo, 22050);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[11024], float(11024.0 / 11025.0));
    EXPECT_EQ(v[11025], 1.0f);
    EXPECT_EQ(v[22049], float(1.0 / 11025.0));
}

TEST(Lfo, SineStartsAtHalfAndPeaksAQuarterCycleIn) {
    TLfo lfo;
    lfo.setRate(2.5f);  // 17640 samples
    lfo.setWaveform(TLfo::kSine);
    lfo.reset();
    auto v = run(lfo, 13231);
    EXPECT_EQ(v[0], 0.5f);
    EXPECT_NEAR(v[4410], 1.0f, 1e-6);
    EXPECT_NEAR(v[8820], 0.5f, 1e-6);
    EXPECT_NEAR(v[13230], 0.0f, 1e-6);
}

TEST_F(LfoAt2Hz, RateChangeWaitsForTheNextCycleBoundary) {
    start(TLfo::kSquare);
    run(lfo, 100);
    lfo.setRate(4.0f);  // 11025 samples, high for 5512.5
    auto v = run(lfo, 22050 - 100 + 11026);
    const int next = 22050 - 100;  // first value of the next cycle
    EXPECT_EQ(v[11024 - 100], 1.0f);
    EXPECT_EQ(v[11025 - 100], 1.0f);  // the old cycle still falls at 11025
    EXPECT_EQ(v[11026 - 100], 0.9f);
    EXPECT_EQ(v[next], 0.0f);
    EXPECT_EQ(v[next + 5512], 1.0f);
    EXPECT_EQ(v[next + 5514], 0.9f);
    EXPECT_EQ(v[next + 11025], 0.0f);
    EXPECT_EQ(v[next + 11025 - 1], 0.0f);
}

TEST_F(LfoAt2Hz, WaveformChangeShowsAtOnceWithTheOldCyclesLengths) {
    start(TLfo::kSquare, 20.0f);  // high for 4410
    run(lfo, 100);
    lfo.setWaveform(TLfo::kTriangle);
    EXPECT_EQ(lfo.tick(), float(100.0 / 4410.0));
    run(lfo, 22050 - 101 + 100);
    EXPECT_EQ(lfo.tick(), float(100.0 / 11025.0));  // next cycle turns at the half
}

TEST_F(LfoAt2Hz, SquareTurnedSawUpAfterItsFallHoldsTheRampsLastEntry) {
    start(TLfo::kSquare);
    run(lfo, 12000);
    lfo.setWaveform(TLfo::kSawUp);
    auto v = run(lfo, 22051 - 12000);
    EXPECT_EQ(slice(v, 22041 - 12000, 9), std::vector<float>(9, 0.1f));
    EXPECT_EQ(v[22050 - 12000], 0.0f);
}

TEST_F(LfoAt2Hz, ResetRestartsMidCycleWithPendingSettings) {
    start(TLfo::kSawUp);
    run(lfo, 5000);
    lfo.setRate(4.0f);
    lfo.reset();
    auto v = run(lfo, 2);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[1], float(1.0 / 11025.0));
}

TEST_F(LfoAt2Hz, LevelScalesTheVeryNextValue) {
    start(TLfo::kSquare);
    run(lfo, 20);
    lfo.setLevel(50.0f);
    EXPECT_EQ(lfo.getLevel(), 50.0f);
    EXPECT_EQ(lfo.tick(), 0.5f);
    lfo.setLevel(0.0f);
    for (float v : run(lfo, 22050)) ASSERT_EQ(v, 0.0f);
}

TEST_F(LfoAt2Hz, OnsetModeZeroHoldsTheFirst440ValuesAtZero) {
    lfo.setOnsetTime(10.0f);  // 441 samples at 44100 Hz
    start(TLfo::kSquare);
    auto v = run(lfo, 442);
    for (int i = 0; i < 440; ++i) ASSERT_EQ(v[i], 0.0f) << i;
    EXPECT_EQ(v[440], 1.0f);
}

TEST_F(LfoAt2Hz, OnsetModeOneFadesValueKInByKOver441) {
    lfo.setOnsetTime(10.0f);
    lfo.setOnsetMode(1);
    start(TLfo::kSquare);
    auto v = run(lfo, 442);
    EXPECT_EQ(v[1], float(0.1f * 2.0 / 441.0));
    EXPECT_EQ(v[99], float(100.0 / 441.0));
    EXPECT_EQ(v[439], float(440.0 / 441.0));
    EXPECT_EQ(v[440], 1.0f);
}

TEST_F(LfoAt2Hz, OnsetTimeActsAtTheNextReset) {
    start(TLfo::kSquare);
    run(lfo, 10);
    lfo.setOnsetTime(10.0f);
    EXPECT_EQ(lfo.tick(), 1.0f);
    lfo.reset();
    run(lfo, 10);
    EXPECT_EQ(lfo.tick(), 0.0f);
}

// The square's cycle timed by the host is the longest description of a
// period: rise, high, the fall in three parts, low, and the rest after the
// host's length. Rendered in blocks it gives tick's gains; the sanitizer
// and valgrind builds also see a write past the description's room (it
// overwrites the engine's period cache, which then leaks).
TEST(Lfo, SquareCycleTimedByTheHostRendersAsItTicks) {
    TLfo viaBlock, viaTick;
    for (TLfo* lfo : {&viaBlock, &viaTick}) {
        lfo->setWaveform(TLfo::kSquare);
        lfo->reset();
        lfo->followHost(true);
    }
    for (const float position : {0.0f, 600.0f, 1200.0f}) {
        viaBlock.enterHostCycle(1000.0f, position);
        viaTick.enterHostCycle(1000.0f, position);
        std::vector<float> block(1500);
        viaBlock.render(block.data(), 700);
        viaBlock.render(block.data() + 700, 800);
        EXPECT_EQ(block, run(viaTick, 1500)) << "entered at " << position;
    }
}

TEST(Lfo, SettersRefuseNaNAndOutOfRangeValues) {
    TLfo lfo;
    const float nan = std::nanf("");
    for (float bad : {0.05f, 150.0f, nan}) lfo.setRate(bad);
    EXPECT_EQ(lfo.getRate(), 2.0f);
    lfo.setRate(0.1f);
    EXPECT_EQ(lfo.getRate(), 0.1f);
    lfo.setRate(100.0f);
    EXPECT_EQ(lfo.getRate(), 100.0f);
    lfo.setTempo(120.0f);
    EXPECT_EQ(lfo.getRate(), 2.0f);
    EXPECT_EQ(lfo.getTempo(), 120.0f);

    for (float bad : {101.0f, -1.0f, nan}) lfo.setLevel(bad);
    EXPECT_EQ(lfo.getLevel(), 100.0f);
    for (float bad : {0.0f, 3000.0f, nan}) lfo.setOnsetTime(bad);
    EXPECT_EQ(lfo.getOnsetTime(), 0.0f);
    lfo.setPulseWidth(nan);
    EXPECT_EQ(lfo.getPulseWidth(), 0.5f);
    lfo.setOnsetMode(2);
    EXPECT_EQ(lfo.getOnsetMode(), 0);

    for (float bad : {11000.0f, nan}) lfo.setSampleRate(bad);
    EXPECT_EQ(lfo.getSampleRate(), 44100.0f);
    lfo.setSampleRate(11025.0f);
    EXPECT_EQ(lfo.getSampleRate(), 11025.0f);
}

}  // namespace
