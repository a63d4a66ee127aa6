// VelmoraTremolo as a host sees it: loaded from its file and driven through
// the record's entries and the dispatcher.
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "VstHost.h"

namespace {

using velmora::host::PluginInstance;

const std::string kPluginPath = std::string(VELMORA_PLUGIN_DIR) + "/VelmoraTremolo.so";
const std::vector<float> kRampUp = {0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f};

std::vector<float> first(const std::vector<float>& v, int count) { return {v.begin(), v.begin() + count}; }

struct Tremolo : ::testing::Test {
    // The gains of the next `frames` frames: a left input of 1 and a right
    // input of 0.5, replacing; the right channel must be half the left.
    std::vector<float> gains(int frames) {
        std::vector<float> inL(frames, 1.0f), inR(frames, 0.5f), outL(frames), outR(frames);
        plugin->processReplacing(inL.data(), inR.data(), outL.data(), outR.data(), frames);
        for (int i = 0; i < frames; ++i) EXPECT_EQ(outR[i], outL[i] * 0.5f) << i;
        return outL;
    }
    std::unique_ptr<PluginInstance> plugin = PluginInstance::load(kPluginPath);
};

TEST_F(Tremolo, FreshInstancePlaysProgramZeroSquareAt120Bpm) {
    EXPECT_EQ(plugin->uniqueIdText(), "KvTr");
    EXPECT_EQ(plugin->numParams(), 4);
    EXPECT_EQ(plugin->numPrograms(), 16);
    EXPECT_EQ(plugin->numInputs(), 2);
    EXPECT_EQ(plugin->numOutputs(), 2);
    EXPECT_EQ(plugin->flags(), 8 | 16);  // mono-capable and replacing, nothing else
    const std::vector<std::tuple<std::string, std::string, float, std::string>> parameters = {
        {"Waveform", "        ", 0.1f, " Square "},
        {" Tempo  ", "  BPM   ", 0.27272728f, "     120"},
        {" P-Width", " percent", 0.5f, "      50"},
        {" Level  ", "   dB   ", 1.0f, "0.000000"}};
    for (int i = 0; i < 4; ++i) {
        const auto& [name, label, value, display] = parameters[i];
        EXPECT_EQ(plugin->parameterName(i), name);
        EXPECT_EQ(plugin->parameterLabel(i), label);
        EXPECT_EQ(plugin->getParameter(i), value);
        EXPECT_EQ(plugin->parameterDisplay(i), display);
    }
    auto g = gains(11027);  // 120 bpm at 44100 Hz: a cycle of 22050 samples
    EXPECT_EQ(first(g, 10), kRampUp);
    EXPECT_EQ(g[11024], 1.0f);
    EXPECT_EQ(g[11026], 0.9f);
    for (int p = 0; p < 16; ++p) {
        plugin->setProgram(p);
        EXPECT_EQ(plugin->programName(), "Init");
    }
}

TEST_F(Tremolo, WaveformBandsChangeAtTheFloatJustAboveEachDecimalEdge) {
    const std::vector<std::pair<float, std::string>> bands = {{-1.0f, " Square "},
                                                              {0.0f, " Square "},
                                                              {std::nextafter(0.2f, 0.0f), " Square "},
                                                              {0.2f, "Triangle"},
                                                              {std::nextafter(0.4f, 0.0f), "Triangle"},
                                                              {0.4f, "  Sine  "},
                                                              {std::nextafter(0.6f, 0.0f), "  Sine  "},
                                                              {0.6f, "Saw down"},
                                                              {std::nextafter(0.8f, 0.0f), "Saw down"},
                                                              {0.8f, " Saw up "},
                                                              {1.0f, " Saw up "}};
    for (const auto& [value, name] : bands) {
        plugin->setParameter(0, value);
        EXPECT_EQ(plugin->parameterDisplay(0), name) << value;
    }
    for (float outside : {std::nextafter(1.0f, 2.0f), 1.5f, std::nanf("")}) {
        plugin->setParameter(0, 0.3f);
        plugin->setParameter(0, outside);
        EXPECT_EQ(plugin->parameterDisplay(0), "Triangle") << outside;
    }
    plugin->setParameter(0, 1.5f);
    EXPECT_EQ(plugin->getParameter(0), 1.5f);
}

TEST_F(Tremolo, DisplaysShowWhatTheOscillatorHolds) {
    const std::vector<std::tuple<int, float, std::string>> cases = {
        {1, 0.0f, "      30"},   {1, 1.0f, "     360"},  {1, 0.5f, "     195"},
        {1, 5.0f, "    1680"},    // 28 Hz: outside 0..1 but within the oscillator's range
        {1, 100.0f, "    1680"},  // 550.5 Hz: refused, the oscillator keeps 28 Hz
        {2, 0.05f, "      10"},  {2, 0.95f, "      90"}, {2, 0.333f, "      33"},
        {3, 0.5f, "-6.02059"},   {3, 0.0f, "  -oo   "}};
    for (const auto& [index, value, display] : cases) {
        plugin->setParameter(index, value);
        EXPECT_EQ(plugin->parameterDisplay(index), display) << index << " " << value;
        EXPECT_EQ(plugin->getParameter(index), value);  // stored as given
    }
}

TEST_F(Tremolo, IndexesOutsideTheirRangesAreIgnored) {
    plugin->setProgram(2);
    for (int bad : {16, -1}) plugin->setProgram(bad);
    EXPECT_EQ(plugin->program(), 2);
    plugin->setParameter(4, 0.9f);
    plugin->setParameter(-1, 0.9f);
    EXPECT_EQ(plugin->getParameter(4), 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(0), " Square ");
    for (int bad : {4, -1}) {
        EXPECT_EQ(plugin->parameterName(bad), "");
        EXPECT_EQ(plugin->parameterLabel(bad), "");
        EXPECT_EQ(plugin->parameterDisplay(bad), "");
    }
}

TEST_F(Tremolo, ValuesSetWhileAProgramIsCurrentStayInIt) {
    plugin->setProgram(3);
    plugin->setParameter(1, 0.0f);
    plugin->setProgramName("abcdefghijklmnopqrstuvwxyz0123");
    plugin->setProgram(5);
    EXPECT_EQ(plugin->getParameter(1), 0.27272728f);
    EXPECT_EQ(plugin->parameterDisplay(1), "     120");
    EXPECT_EQ(plugin->programName(), "Init");
    plugin->setProgram(3);
    EXPECT_EQ(plugin->getParameter(1), 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(1), "      30");
    EXPECT_EQ(plugin->programName(), "abcdefghijklmnopqrstuvwx");
}

TEST_F(Tremolo, ProcessAddsInputTimesGainToTheOutputs) {
    std::vector<float> inL(12, 0.5f), inR(12, -1.0f), outL(12, 0.25f), outR(12, 0.25f);
    plugin->process(inL.data(), inR.data(), outL.data(), outR.data(), 12);
    EXPECT_EQ(outL[0], 0.25f);
    EXPECT_EQ(outL[3], float(0.25 + 0.5 * double(0.3f)));
    EXPECT_EQ(outR[3], float(0.25 - double(0.3f)));
    EXPECT_EQ(outL[11], 0.75f);
    EXPECT_EQ(outR[11], -0.75f);
}

TEST_F(Tremolo, CycleRunsOnAcrossBlocksUntilSuspendRestartsIt) {
    EXPECT_EQ(gains(3), first(kRampUp, 3));
    EXPECT_EQ(gains(2), std::vector<float>({0.3f, 0.4f}));
    plugin->suspend();
    plugin->resume();
    EXPECT_EQ(gains(10), kRampUp);
}

TEST_F(Tremolo, RefusedSampleRateLeavesTheOscillatorOnItsOwn) {
    plugin->setSampleRate(8000.0f);
    plugin->suspend();
    auto g = gains(11027);
    EXPECT_EQ(g[11025], 1.0f);  // still 22050 samples a beat
    EXPECT_EQ(g[11026], 0.9f);
    plugin->setSampleRate(22050.0f);
    plugin->suspend();
    g = gains(5515);
    EXPECT_EQ(g[5513], 1.0f);  // 11025 samples a beat
    EXPECT_EQ(g[5514], 0.9f);
}

}  // namespace
