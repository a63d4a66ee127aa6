// The LV2 plug-ins are exact twins of the VST 2 ones: the same input file
// rendered with the same settings through the LV2 plug-in by lv2file, at
// block sizes 1, 64, 1000 and 4096, and by lv2apply (one frame a call),
// and through the VST 2 plug-in by `velmora render`, gives the same
// samples, bit for bit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ExternalProgram.h"

namespace velmora::formats {
namespace {

namespace fs = std::filesystem;

// One parameter as each format is given it: the LV2 port's plain value and
// the VST 2 host value (0..1) that stands for the same setting, given to
// velmora by the parameter's index.
struct Setting {
    const char* symbol;
    const char* plain;
    int index;
    const char* hostValue;
};

struct Case {
    const char* name;
    const char* uri;
    const char* vst2;
    std::vector<Setting> settings;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"GaterDefaults", "urn:velmora:gater", "VelmoraGater", {}},
        {"Gater12Steps",
         "urn:velmora:gater",
         "VelmoraGater",
         {{"steps", "12", 0, "0.733333349"},
          {"tempo", "277.5", 1, "0.75"},
          {"edge", "30", 2, "0.3"},
          {"step2", "0", 4, "0"},
          {"step3", "0.5", 5, "0.5"},
          {"step5", "0.25", 7, "0.25"},
          {"step12", "0.75", 14, "0.75"}}},
        {"GaterFastTriangles",
         "urn:velmora:gater",
         "VelmoraGater",
         {{"steps", "5", 0, "0.266666681"},
          {"tempo", "360", 1, "1"},
          {"edge", "100", 2, "1"},
          {"step4", "0.125", 6, "0.125"}}},
        {"TremoloDefaults", "urn:velmora:tremolo", "VelmoraTremolo", {}},
        {"TremoloNarrowSquare",
         "urn:velmora:tremolo",
         "VelmoraTremolo",
         {{"pulse_width", "25", 2, "0.25"}, {"tempo", "112.5", 1, "0.25"}}},
        {"TremoloTriangle",
         "urn:velmora:tremolo",
         "VelmoraTremolo",
         {{"waveform", "1", 0, "0.3"}, {"tempo", "71.25", 1, "0.125"}, {"level", "0.5", 3, "0.5"}}},
        {"TremoloSine",
         "urn:velmora:tremolo",
         "VelmoraTremolo",
         {{"waveform", "2", 0, "0.5"}, {"tempo", "195", 1, "0.5"}}},
        {"TremoloSawDown",
         "urn:velmora:tremolo",
         "VelmoraTremolo",
         {{"waveform", "3", 0, "0.7"}, {"tempo", "360", 1, "1"}}},
        {"TremoloSawUp",
         "urn:velmora:tremolo",
         "VelmoraTremolo",
         {{"waveform", "4", 0, "0.9"}, {"tempo", "30", 1, "0"}}},
    };
    return all;
}

class LV2Twin : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        if (!fs::exists(VELMORA_LV2FILE)) GTEST_SKIP() << VELMORA_LV2FILE << " is missing (Debian package lv2file)";
        writeStereoWav(input(), stereoNoise(3.0, 2024), 44100);
    }
    fs::path input() const { return scratch.path() / "input.wav"; }

    std::vector<float> renderVst2(const Case& c) {
        std::vector<std::string> settings;
        for (const Setting& s : c.settings) settings.push_back(std::to_string(s.index) + "=" + s.hostValue);
        return velmoraRender(input(), c.vst2, settings, scratch.path() / "vst2.wav");
    }

    // lv2apply gives no feature and leaves the time port unconnected.
    std::vector<float> renderLv2Apply(const Case& c) {
        const fs::path out = scratch.path() / "lv2apply.wav";
        std::vector<std::string> arguments = {VELMORA_LV2APPLY, "-i", input().string(), "-o", out.string()};
        for (const Setting& s : c.settings) arguments.insert(arguments.end(), {"-c", s.symbol, s.plain});
        arguments.push_back(c.uri);
        const ProgramResult run = runProgram(arguments, {"LV2_PATH=" + std::string(VELMORA_PLUGIN_DIR) + "/lv2"});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return readWav(out);
    }

    std::vector<float> renderLv2(const Case& c, int blockSize) {
        const fs::path out = scratch.path() / ("lv2-" + std::to_string(blockSize) + ".wav");
        std::vector<std::string> arguments = {VELMORA_LV2FILE, "-i", input().string(),         "-o",
                                              out.string(),    "-b", std::to_string(blockSize)};
        for (const Setting& s : c.settings)
            arguments.insert(arguments.end(), {"-p", std::string(s.symbol) + ":" + s.plain});
        arguments.push_back(c.uri);
        const ProgramResult run = runProgram(arguments, {"LV2_PATH=" + std::string(VELMORA_PLUGIN_DIR) + "/lv2"});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return readWav(out);
    }

    ScratchFolder scratch;
};

TEST_P(LV2Twin, RendersTheVst2OutputBitForBitAtEveryBlockSize) {
    const std::vector<float> expected = renderVst2(GetParam());
    ASSERT_EQ(expected.size(), std::size_t(3 * 44100 * 2));
    for (const int blockSize : {1, 64, 1000, 4096}) {
        EXPECT_EQ(firstDifference(renderLv2(GetParam(), blockSize), expected), -1)
            << "first differing sample at block size " << blockSize;
    }
    if (fs::exists(VELMORA_LV2APPLY)) {
        EXPECT_EQ(firstDifference(renderLv2Apply(GetParam()), expected), -1) << "first differing sample by lv2apply";
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, LV2Twin, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::formats
