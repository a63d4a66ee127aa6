// The CLAP plug-ins driven through their own interface, as a host's audio
// thread drives them: their parameters are the table's plain values, their
// output equals the VST 2 plug-in's for the same settings whatever the
// blocks (0 frames, 1, more than announced) and wherever in a block a
// change arrives, bad values from the host are clamped or ignored, the
// host's transport is taken without changing the sound yet, and the state
// a host saves comes back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ClapHost.h"
#include "TwinRender.h"

namespace velmora::formats {
namespace {

using host::ClapPlugin;

std::string clapFile(const std::string& name) { return std::string(VELMORA_PLUGIN_DIR) + "/clap/" + name + ".clap"; }

// A plain value for a CLAP parameter id, the VST 2 host value that stands
// for it, and the frame of the input it is sent at.
struct Change {
    clap_id id;
    double plain;
    float hostValue;
    std::size_t frame = 0;
};

std::unique_ptr<ClapPlugin> startClap(const std::string& name, const std::string& id) {
    auto plugin = ClapPlugin::load(clapFile(name), id);
    plugin->activate(kRate, kAnnounced);
    return plugin;
}

// The input through the CLAP plug-in in unkind blocks, each change sent
// with the block that holds its frame, at its place in the block.
Stereo renderClap(ClapPlugin& plugin, const std::vector<Change>& changes) {
    return renderInUnkindBlocks([&](const float* in0, const float* in1, float* out0, float* out1, std::uint32_t n) {
        const auto start = std::size_t(in0 - input().left.data());
        for (const Change& c : changes) {
            if (c.frame >= start && (c.frame < start + n || (n == 0 && c.frame == start))) {
                plugin.queueParameter(c.id, c.plain, std::uint32_t(c.frame - start));
            }
        }
        EXPECT_EQ(plugin.process(in0, in1, out0, out1, n), CLAP_PROCESS_CONTINUE);
    });
}

Stereo vst2Twin(const std::string& name, const std::vector<Change>& changes) {
    std::vector<Vst2Change> vst2;
    for (const Change& c : changes) vst2.push_back({std::int32_t(c.id), c.hostValue, c.frame});
    return renderVst2(name, vst2);
}

struct Twin {
    const char* name;
    const char* plugin;
    const char* id;
    std::vector<Change> changes;
};

class ClapTwin : public ::testing::TestWithParam<Twin> {};

TEST_P(ClapTwin, EqualsTheVst2PluginWhateverTheBlocks) {
    const Twin& t = GetParam();
    auto plugin = startClap(t.plugin, t.id);
    const Stereo clap = renderClap(*plugin, t.changes);
    EXPECT_TRUE(sameBits(clap, vst2Twin(t.plugin, t.changes)));
    EXPECT_FALSE(sameBits(clap, input())) << "the effect changes the sound";
}

INSTANTIATE_TEST_SUITE_P(
    Clap, ClapTwin,
    ::testing::Values(
        Twin{"GaterDefaults", "VelmoraGater", "velmora.gater", {}},
        Twin{"GaterPattern",
             "VelmoraGater",
             "velmora.gater",
             {{0, 7.0, 6.0f / 15.0f}, {1, 277.5, 0.75f}, {2, 50.0, 0.5f}, {4, 0.0, 0.0f}, {6, 0.25, 0.25f}}},
        // Frames 1234 and 30000 lie inside blocks of 4096 frames.
        Twin{"GaterChangesInsideBlocks",
             "VelmoraGater",
             "velmora.gater",
             {{2, 100.0, 1.0f, 1234}, {3, 0.0, 0.0f, 1234}, {1, 360.0, 1.0f, 30000}}},
        Twin{"TremoloDefaults", "VelmoraTremolo", "velmora.tremolo", {}},
        Twin{"TremoloSine", "VelmoraTremolo", "velmora.tremolo", {{0, 2.0, 0.5f}, {1, 195.0, 0.5f}}},
        Twin{"TremoloSawUp", "VelmoraTremolo", "velmora.tremolo", {{0, 4.0, 0.9f}, {1, 360.0, 1.0f}, {3, 0.5, 0.5f}}}),
    [](const ::testing::TestParamInfo<Twin>& info) { return std::string(info.param.name); });

void expectParameter(const clap_param_info& info, const char* name, double minimum, double maximum, double defaultValue,
                     bool stepped) {
    EXPECT_STREQ(info.name, name);
    EXPECT_EQ(info.min_value, minimum) << name;
    EXPECT_EQ(info.max_value, maximum) << name;
    EXPECT_EQ(info.default_value, defaultValue) << name;
    EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0, stepped) << name;
    EXPECT_NE(info.flags & CLAP_PARAM_IS_AUTOMATABLE, 0u) << name;
}

TEST(ClapParameters, ArePlainValuesFromTheTable) {
    auto gater = startClap("VelmoraGater", "velmora.gater");
    ASSERT_EQ(gater->parameterCount(), 20u);
    expectParameter(gater->parameterInfo(0), "Steps", 1.0, 16.0, 16.0, true);
    expectParameter(gater->parameterInfo(1), "Tempo", 30.0, 360.0, 120.0, false);
    expectParameter(gater->parameterInfo(2), "Edge", 0.0, 100.0, 10.0, false);
    expectParameter(gater->parameterInfo(18), "Step 16", 0.0, 1.0, 1.0, false);
    expectParameter(gater->parameterInfo(19), "Sync", 0.0, 1.0, 1.0, true);

    auto tremolo = startClap("VelmoraTremolo", "velmora.tremolo");
    ASSERT_EQ(tremolo->parameterCount(), 5u);
    expectParameter(tremolo->parameterInfo(0), "Waveform", 0.0, 4.0, 0.0, true);
    expectParameter(tremolo->parameterInfo(2), "P-Width", 10.0, 90.0, 50.0, false);
    expectParameter(tremolo->parameterInfo(4), "Sync", 0.0, 1.0, 1.0, true);
}

// The text a host shows for a value, and the value of a typed text.
TEST(ClapParameters, ShowAndReadValuesAsText) {
    auto tremolo = ClapPlugin::load(clapFile("VelmoraTremolo"), "velmora.tremolo");
    const clap_plugin_params& params = tremolo->parameters();
    const clap_plugin* plugin = tremolo->instance();
    char text[64];
    ASSERT_TRUE(params.value_to_text(plugin, 1, 120.0, text, sizeof(text)));
    EXPECT_STREQ(text, "120.00 BPM");
    ASSERT_TRUE(params.value_to_text(plugin, 0, 3.0, text, sizeof(text)));
    EXPECT_STREQ(text, "Saw down");
    ASSERT_TRUE(params.value_to_text(plugin, 2, 500.0, text, 8));
    EXPECT_STREQ(text, "90.00 %") << "clamped, cut to the buffer";
    double value = 0.0;
    EXPECT_TRUE(params.text_to_value(plugin, 0, "saw DOWN", &value));
    EXPECT_EQ(value, 3.0);
    EXPECT_TRUE(params.text_to_value(plugin, 1, " 128 bpm", &value));
    EXPECT_EQ(value, 128.0);
    EXPECT_FALSE(params.text_to_value(plugin, 1, "fast", &value));
    ASSERT_TRUE(params.value_to_text(plugin, 4, 0.0, text, sizeof(text)));
    EXPECT_STREQ(text, "Off");
    EXPECT_TRUE(params.text_to_value(plugin, 4, "on", &value));
    EXPECT_EQ(value, 1.0);
    EXPECT_FALSE(params.value_to_text(plugin, 5, 1.0, text, sizeof(text))) << "no parameter 5";
}

// Values outside the range are heard as the nearest end of it, whole
// parameters as the nearest whole value; NaN leaves the setting alone.
TEST(ClapBadInput, OutOfRangeValuesAreClampedAndNaNIgnored) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto wild = startClap("VelmoraGater", "velmora.gater");
    const Stereo clamped = renderClap(
        *wild, {{0, 3.7, 0}, {1, 1e6, 0}, {1, nan, 0}, {2, -inf, 0}, {3, 7.5, 0}, {4, -2.0, 0}, {5, nan, 0}});
    EXPECT_EQ(wild->parameterValue(0), 4.0);
    EXPECT_EQ(wild->parameterValue(1), 360.0);
    EXPECT_EQ(wild->parameterValue(2), 0.0);
    EXPECT_EQ(wild->parameterValue(3), 1.0);
    EXPECT_EQ(wild->parameterValue(4), 0.0);
    EXPECT_EQ(wild->parameterValue(5), 1.0) << "NaN left the default";

    auto tame = startClap("VelmoraGater", "velmora.gater");
    EXPECT_TRUE(sameBits(clamped, renderClap(*tame, {{0, 4.0, 0}, {1, 360.0, 0}, {2, 0.0, 0}, {4, 0.0, 0}})));
}

// Any value of any parameter, sent while processing: the output stays
// finite and no louder than the input.
TEST(ClapBadInput, HostileValuesNeverGiveALouderOrNonFiniteSample) {
    const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             1e300,
                             -1e300,
                             1e-310,
                             -0.0,
                             0.5};
    for (const auto& [name, id, count] :
         {std::tuple{"VelmoraGater", "velmora.gater", 19u}, std::tuple{"VelmoraTremolo", "velmora.tremolo", 4u}}) {
        auto plugin = startClap(name, id);
        const Stereo& in = input();
        std::vector<float> left(in.left.size()), right(in.right.size());
        std::mt19937 random(5);
        for (std::size_t done = 0; done + 1000 <= in.left.size(); done += 1000) {
            for (int k = 0; k < 4; ++k) plugin->queueParameter(random() % count, values[random() % 8]);
            plugin->process(&in.left[done], &in.right[done], &left[done], &right[done], 1000);
            for (std::size_t i = done; i < done + 1000; ++i) {
                ASSERT_TRUE(std::isfinite(left[i]) && std::fabs(left[i]) <= std::fabs(in.left[i])) << name << " " << i;
                ASSERT_TRUE(std::isfinite(right[i]) && std::fabs(right[i]) <= std::fabs(in.right[i]))
                    << name << " " << i;
            }
        }
    }
}

// With Sync off, the host's transport, with every block and as events
// inside blocks, sane or not: taken, and not heard.
TEST(ClapTransport, LeavesTheSoundAsWithoutItWithSyncOff) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    clap_event_transport rolling{};
    rolling.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_IS_PLAYING;
    rolling.tempo = 133.33;
    clap_event_transport wild = rolling;
    wild.tempo = nan;
    wild.song_pos_beats = -(std::int64_t(1) << 62);
    auto plugin = startClap("VelmoraTremolo", "velmora.tremolo");
    plugin->queueParameter(4, 0.0);  // with the first block
    const Stereo heard =
        renderInUnkindBlocks([&](const float* in0, const float* in1, float* out0, float* out1, std::uint32_t n) {
            rolling.song_pos_beats += std::int64_t(n) * CLAP_BEATTIME_FACTOR / 1000;
            plugin->queueTransport(wild, n / 3);
            plugin->queueTransport(rolling, n / 2);
            plugin->queueTransport(wild, n + 7);  // past the block: taken at its end
            plugin->process(in0, in1, out0, out1, n, &rolling);
        });
    EXPECT_TRUE(sameBits(heard, renderVst2("VelmoraTremolo", {})));
}

// A saved state brings every value back in a new instance and tells the
// host to read the values again; text that is not a state is refused and
// changes nothing.
TEST(ClapState, BringsTheValuesBackAndRefusesOtherText) {
    auto saved = startClap("VelmoraGater", "velmora.gater");
    renderClap(*saved, {{0, 7.0, 0}, {1, 277.5, 0}, {6, 0.25, 0}});
    const std::string state = saved->saveState();
    EXPECT_EQ(state.substr(0, 16), "velmora-state 1\n");

    auto loaded = ClapPlugin::load(clapFile("VelmoraGater"), "velmora.gater");
    ASSERT_TRUE(loaded->loadState(state));
    EXPECT_EQ(loaded->rescanCount(), 1);
    for (clap_id id = 0; id < 19; ++id) EXPECT_EQ(loaded->parameterValue(id), saved->parameterValue(id)) << id;

    for (const std::string& wrong : {std::string("velmora-state 2\nsteps 3\n"), std::string("steps 3\n"),
                                     state + "tempo fast\n", state + std::string(5000, ' ')}) {
        EXPECT_FALSE(loaded->loadState(wrong)) << wrong.substr(0, 20);
        EXPECT_EQ(loaded->parameterValue(0), 7.0);
    }
    // A state of a later version: unknown keys skipped, missing ones at their defaults.
    ASSERT_TRUE(loaded->loadState("velmora-state 1\nsync 1\nedge 55.5\n"));
    EXPECT_EQ(loaded->parameterValue(2), 55.5);
    EXPECT_EQ(loaded->parameterValue(0), 16.0);
}

// Parameters a host sends while not processing, through flush.
TEST(ClapFlush, AppliesTheParameterEvents) {
    auto plugin = ClapPlugin::load(clapFile("VelmoraTremolo"), "velmora.tremolo");
    plugin->queueParameter(0, 2.0);
    plugin->queueParameter(1, 195.0, 100);
    plugin->queueParameter(9, 1.0);
    plugin->flushParameters();
    EXPECT_EQ(plugin->parameterValue(0), 2.0);
    EXPECT_EQ(plugin->parameterValue(1), 195.0);
}

}  // namespace
}  // namespace velmora::formats
