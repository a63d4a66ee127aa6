// The CLAP plug-ins driven through their own interface, as a host's audio
// thread drives them: their parameters are the table's plain values, their
// output equals the VST 2 plug-in's for the same settings whatever the
// blocks (0 frames, 1, more than announced), and bad values from the host
// are clamped or ignored, never heard as anything but a valid setting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ClapHost.h"
#include "VstHost.h"

namespace velmora::formats {
namespace {

using host::ClapPlugin;

constexpr double kRate = 44100.0;
constexpr std::uint32_t kAnnounced = 4096;
// Blocks as an unkind host sends them, over and over: empty ones, single
// frames, odd sizes and blocks larger than the announced maximum.
constexpr std::uint32_t kBlocks[] = {0, 1, 17, 64, 0, 1000, 4096, 8192, 3, 512};

struct Stereo {
    std::vector<float> left, right;
};

Stereo noise(std::size_t frames) {
    std::mt19937 random(99);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    Stereo s{std::vector<float>(frames), std::vector<float>(frames)};
    for (std::size_t i = 0; i < frames; ++i) {
        s.left[i] = uniform(random);
        s.right[i] = uniform(random);
    }
    return s;
}

const Stereo& input() {
    static const Stereo s = noise(2 * 44100);
    return s;
}

std::string file(const std::string& name, const char* extension) {
    return std::string(VELMORA_PLUGIN_DIR) + (extension[1] == 'c' ? "/clap/" : "/") + name + extension;
}

// A plain value for a CLAP parameter id, or a VST 2 host value.
struct Change {
    clap_id id;
    double plain;
    float hostValue;
};

std::unique_ptr<ClapPlugin> startClap(const std::string& name, const std::string& id) {
    auto plugin = ClapPlugin::load(file(name, ".clap"), id);
    plugin->activate(kRate, kAnnounced);
    return plugin;
}

// The input through the CLAP plug-in in kBlocks' pattern, `changes` sent
// with the first block.
Stereo renderClap(ClapPlugin& plugin, const std::vector<Change>& changes) {
    for (const Change& c : changes) plugin.queueParameter(c.id, c.plain);
    const Stereo& in = input();
    Stereo out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
    for (std::size_t done = 0, block = 0; done < in.left.size(); ++block) {
        const std::uint32_t frames = std::uint32_t(std::min<std::size_t>(kBlocks[block % 10], in.left.size() - done));
        EXPECT_EQ(plugin.process(&in.left[done], &in.right[done], &out.left[done], &out.right[done], frames),
                  CLAP_PROCESS_CONTINUE);
        done += frames;
    }
    return out;
}

// The same input through the VST 2 plug-in as `velmora render` drives it.
Stereo renderVst2(const std::string& name, const std::vector<Change>& changes) {
    auto instance = host::PluginInstance::load(file(name, ".so"));
    instance->open();
    instance->setSampleRate(float(kRate));
    instance->setBlockSize(512);
    for (const Change& c : changes) instance->setParameter(std::int32_t(c.id), c.hostValue);
    instance->resume();
    instance->suspend();
    instance->resume();
    const Stereo& in = input();
    Stereo out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
    for (std::size_t done = 0; done < in.left.size(); done += 512) {
        const auto frames = std::int32_t(std::min<std::size_t>(512, in.left.size() - done));
        instance->processReplacing(const_cast<float*>(&in.left[done]), const_cast<float*>(&in.right[done]),
                                   &out.left[done], &out.right[done], frames);
    }
    return out;
}

bool sameBits(const Stereo& a, const Stereo& b) {
    return a.left.size() == b.left.size() &&
           std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)) == 0 &&
           std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)) == 0;
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
    EXPECT_TRUE(sameBits(clap, renderVst2(t.plugin, t.changes)));
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
    ASSERT_EQ(gater->parameterCount(), 19u);
    expectParameter(gater->parameterInfo(0), "Steps", 1.0, 16.0, 16.0, true);
    expectParameter(gater->parameterInfo(1), "Tempo", 30.0, 360.0, 120.0, false);
    expectParameter(gater->parameterInfo(2), "Edge", 0.0, 100.0, 10.0, false);
    expectParameter(gater->parameterInfo(18), "Step 16", 0.0, 1.0, 1.0, false);

    auto tremolo = startClap("VelmoraTremolo", "velmora.tremolo");
    ASSERT_EQ(tremolo->parameterCount(), 4u);
    expectParameter(tremolo->parameterInfo(0), "Waveform", 0.0, 4.0, 0.0, true);
    expectParameter(tremolo->parameterInfo(2), "P-Width", 10.0, 90.0, 50.0, false);
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

}  // namespace
}  // namespace velmora::formats
