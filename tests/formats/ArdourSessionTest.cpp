// Ardour 7 loads the LV2 and the VST3 plug-ins and renders a session with
// them: ardour7-lua, with the Dummy backend, records two seconds of its
// white noise into a stereo track and bounces the take through each
// plug-in (ArdourBounce.lua). Every bounce must be the VST 2 plug-in's
// output for the take, rendered by `velmora render`, bit for bit.
//
// Where the pattern starts. Ardour processes a plug-in from the moment it
// is added, transport stopped or not, and a bounce does not restart an LV2
// plug-in: its pattern is then somewhere in a step or cycle when the bounce
// begins. The test finds where (the first frame that starts a step or
// cycle: silent after silence, or silent where the input is not) and renders
// the VST 2 reference with that many frames of silence in front, plus one
// whole period, so that both are equally far into their pattern. Ardour
// restarts a VST3 plug-in at the bounce (it sets it up for the bounce's
// block size, which activates it again), so its bounce must need no shift
// at all.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ExternalProgram.h"

namespace velmora::formats {
namespace {

namespace fs = std::filesystem;

const fs::path kLua = "/usr/bin/ardour7-lua";
const fs::path kScanner = "/usr/lib/ardour7/ardour-vst3-scanner";
const std::string kPlugins = VELMORA_PLUGIN_DIR;

struct Bounce {
    const char* line;     // for ArdourBounce.lua: TYPE NAME INDEX=PLAIN...
    const char* vst2;     // the VST 2 twin
    const char* setting;  // its host value, INDEX=VALUE, or ""
    bool restartsAtBounce;
};

// Sync off: a bounce rolls Ardour's transport, which the plug-ins would
// follow. Default gains throughout and tempos whose steps and cycles last a whole
// number of frames: every step (and every tremolo cycle) after the first
// is the same, so that a whole period ahead is the same pattern. Each
// pattern has a silent frame where a step or cycle starts.
const Bounce kBounces[] = {
    {"LV2 urn:velmora:gater 1=277.5 19=0", "VelmoraGater", "1=0.75", false},
    {"VST3 VelmoraGater 1=277.5 19=0", "VelmoraGater", "1=0.75", true},
    {"LV2 urn:velmora:tremolo 0=1 1=360 4=0", "VelmoraTremolo", "0=0.3 1=1", false},
    {"VST3 VelmoraTremolo 1=360 2=25 4=0", "VelmoraTremolo", "1=1 2=0.25", true},
};

// The frames that start a step or cycle of the gain in `out` (left channel
// of interleaved stereo): the last of a run of silent frames whose input
// is not silent. The first two, or fewer.
std::vector<std::size_t> patternStarts(const std::vector<float>& out, const std::vector<float>& in) {
    std::vector<std::size_t> starts;
    for (std::size_t k = 0; k < out.size() && starts.size() < 2; k += 2) {
        if (out[k] != 0.0f || in[k] == 0.0f) continue;
        while (k + 2 < out.size() && out[k + 2] == 0.0f) k += 2;
        starts.push_back(k / 2);
    }
    return starts;
}

std::vector<float> interleave(const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<float> both;
    for (std::size_t i = 0; i < left.size() && i < right.size(); ++i) both.insert(both.end(), {left[i], right[i]});
    return both;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string w; in >> w;) result.push_back(w);
    return result;
}

class ArdourSession : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kLua) || !fs::exists(kScanner)) GTEST_SKIP() << "Ardour 7 is missing (Debian package ardour)";
        for (const char* name : {"VelmoraGater", "VelmoraTremolo"}) {
            const ProgramResult scan =
                runProgram({kScanner.string(), "-f", kPlugins + "/vst3/" + name + ".vst3"}, environment());
            ASSERT_EQ(scan.exitCode, 0) << scan.output;
        }
    }

    std::vector<std::string> environment() const {
        const std::string home = scratch.path().string();
        return {"HOME=" + home,
                "XDG_CACHE_HOME=" + home + "/cache",
                "XDG_CONFIG_HOME=" + home + "/config",
                "LD_LIBRARY_PATH=/usr/lib/ardour7",
                "LV2_PATH=" + kPlugins + "/lv2",
                "VST3_PATH=" + kPlugins + "/vst3"};
    }

    fs::path audio(const std::string& name) const {
        return scratch.path() / "session" / "interchange" / "session" / "audiofiles" / (name + ".wav");
    }

    std::vector<float> stereo(const std::string& name) const {
        return interleave(readWav(audio(name + "%L"), 1), readWav(audio(name + "%R"), 1));
    }

    ScratchFolder scratch;
};

TEST_F(ArdourSession, BouncesThroughLv2AndVst3EqualVelmoraRenderBitForBit) {
    std::string lines;
    for (const Bounce& b : kBounces) lines += std::string(b.line) + "\n";
    std::vector<std::string> env = environment();
    env.insert(env.end(), {"VELMORA_SESSION=" + (scratch.path() / "session").string(), "VELMORA_PLUGINS=" + lines});
    const ProgramResult session = runProgram({kLua.string(), VELMORA_ARDOUR_SCRIPT}, env);
    ASSERT_EQ(session.exitCode, 0) << session.output;
    ASSERT_NE(session.output.find("output 4 bounce4"), std::string::npos) << session.output;

    const std::vector<float> take = stereo("Take1_in-1");
    ASSERT_GT(take.size(), std::size_t(44100 * 2)) << "over a second recorded";
    writeStereoWav(scratch.path() / "take.wav", take, 44100);
    for (std::size_t n = 0; n < std::size(kBounces); ++n) {
        SCOPED_TRACE(kBounces[n].line);
        const std::vector<float> bounce = stereo("bounce" + std::to_string(n + 1));
        const std::vector<std::string> settings = words(kBounces[n].setting);
        const std::vector<float> plain =
            velmoraRender(scratch.path() / "take.wav", kBounces[n].vst2, settings, scratch.path() / "plain.wav");
        const std::vector<std::size_t> period = patternStarts(plain, take);
        const std::vector<std::size_t> start = patternStarts(bounce, take);
        ASSERT_EQ(period.size(), 2u);
        ASSERT_FALSE(start.empty());
        const std::size_t length = period[1] - period[0];
        const std::size_t shift = (length - start[0] % length) % length;
        if (kBounces[n].restartsAtBounce) {
            EXPECT_EQ(shift, 0u) << "restarted at the bounce";
        }
        std::cout << kBounces[n].line << ": " << bounce.size() / 2 << " frames, period " << length << ", shift "
                  << shift << "\n";

        std::vector<float> shifted(2 * (shift + length), 0.0f);
        shifted.insert(shifted.end(), take.begin(), take.end());
        writeStereoWav(scratch.path() / "shifted.wav", shifted, 44100);
        std::vector<float> reference =
            velmoraRender(scratch.path() / "shifted.wav", kBounces[n].vst2, settings, scratch.path() / "reference.wav");
        reference.erase(reference.begin(), reference.begin() + std::ptrdiff_t(2 * (shift + length)));
        EXPECT_EQ(firstDifference(bounce, reference), -1) << "shifted by " << shift << " frames";
    }
}

}  // namespace
}  // namespace velmora::formats
