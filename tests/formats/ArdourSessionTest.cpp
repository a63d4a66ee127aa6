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

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
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

    // Runs ArdourBounce.lua on a session in the scratch folder with
    // `settings` (VELMORA_...=...) and returns what it printed.
    std::string runSession(const std::vector<std::string>& settings) const {
        std::vector<std::string> env = environment();
        env.push_back("VELMORA_SESSION=" + (scratch.path() / "session").string());
        env.insert(env.end(), settings.begin(), settings.end());
        const ProgramResult session = runProgram({kLua.string(), VELMORA_ARDOUR_SCRIPT}, env);
        EXPECT_EQ(session.exitCode, 0) << session.output;
        return session.output;
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
    const std::string output = runSession({"VELMORA_PLUGINS=" + lines});
    ASSERT_NE(output.find("output 4 bounce4"), std::string::npos) << output;

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

// Sync in a session whose tempo changes. The LV2 gater (Sync on, 16
// steps, edge 0, gains 1, 0, 1, 0, ...) is bounced over a take of the
// Dummy backend's constant 0.5, so that every sixteenth note of the song
// is an edge of the bounce: the gate opens at even sixteenths and closes at
// odd ones. The session plays at 93 BPM, then at 141 BPM from a change that
// Ardour moves onto a beat; the expected edges come from the tempo map as
// the saved session file holds it.
//
// What the test can demand of Ardour. A bounce runs blocks of 8192 frames
// from frame 0, and a plug-in hears a tempo change from the first block
// that starts after it: the edges between the change and that block follow
// the old tempo, so they are reported, not checked, and the check resumes
// after that block's first frame. Ardour tells an LV2 plug-in its position
// as bar and beat in the bar, counted in ticks of 1/1920 beat (no
// time:beat), with its frame counter, and tells it again while it rolls.
// The plug-in locks to the first position (frame 0, exact) and counts on
// while the frames run on at one tempo, so the edges before the change
// must lie within a sample of the grid. At the change it takes up the
// position as stated, a tick rounded: the edges after it may lie up to
// half a tick (4.9 frames at 141 BPM) plus a sample off.
struct TempoSection {
    double bpm;
    double frame;     // where it starts
    double quarters;  // where it starts, in quarter notes
};

std::string attribute(const std::string& xml, std::size_t from, const std::string& name) {
    const std::size_t key = xml.find(" " + name + "=\"", from);
    if (key == std::string::npos) return "";
    const std::size_t value = key + name.size() + 3;
    return xml.substr(value, xml.find('"', value) - value);
}

// The tempo sections of an Ardour 7 session file: each starts at a count of
// superclocks and at "BEATS:TICKS" quarter notes, 1920 ticks a beat.
std::vector<TempoSection> sessionTempos(const fs::path& file, double sampleRate) {
    std::ifstream in(file);
    const std::string xml{std::istreambuf_iterator<char>(in), {}};
    const double superclocks = std::atof(attribute(xml, xml.find("<TempoMap"), "superclocks-per-second").c_str());
    std::vector<TempoSection> sections;
    for (std::size_t at = xml.find("<Tempo "); at != std::string::npos; at = xml.find("<Tempo ", at + 1)) {
        const std::string quarters = attribute(xml, at, "quarters");
        const double ticks = std::atof(quarters.substr(quarters.find(':') + 1).c_str());
        sections.push_back({std::atof(attribute(xml, at, "npm").c_str()),
                            std::atof(attribute(xml, at, "sclock").c_str()) * sampleRate / superclocks,
                            std::atof(quarters.c_str()) + ticks / 1920.0});
    }
    return sections;
}

// The exact frame of sixteenth note `s` of the song.
double sixteenthFrame(const std::vector<TempoSection>& tempos, long s, double sampleRate) {
    const double quarters = double(s) / 4.0;
    TempoSection section = tempos.front();
    for (const TempoSection& t : tempos) {
        if (t.quarters <= quarters) section = t;
    }
    return section.frame + (quarters - section.quarters) * 60.0 * sampleRate / section.bpm;
}

// Where the gate opens or closes: the frames whose sample is zero after one
// that is not, or the other way round.
std::vector<long> gateEdges(const std::vector<float>& out) {
    std::vector<long> edges;
    for (std::size_t f = 1; f < out.size(); ++f) {
        if ((out[f] == 0.0f) != (out[f - 1] == 0.0f)) edges.push_back(long(f));
    }
    return edges;
}

struct EdgeErrors {
    std::size_t expected = 0, found = 0;
    long largest = 0;  // samples, from an expected edge to the nearest found
};

// The edges in frames [from, to): those the grid expects against those found.
EdgeErrors compareEdges(const std::vector<long>& expected, const std::vector<long>& found, long from, long to) {
    const auto inside = [&](long f) { return f >= from && f < to; };
    EdgeErrors result;
    result.found = std::size_t(std::count_if(found.begin(), found.end(), inside));
    for (long e : expected) {
        if (!inside(e)) continue;
        ++result.expected;
        long nearest = -1;
        for (long f : found) {
            if (inside(f) && (nearest < 0 || std::labs(f - e) < nearest)) nearest = std::labs(f - e);
        }
        result.largest = std::max(result.largest, nearest < 0 ? to - from : nearest);
    }
    return result;
}

TEST_F(ArdourSession, GaterBounceFollowsTheSessionsSixteenthsAcrossATempoChange) {
    const std::string output = runSession({"VELMORA_INPUT=DC -6dBFS (+.5)", "VELMORA_DRIVER=10x Speed",
                                           "VELMORA_RECORD_MS=2000", "VELMORA_TEMPOS=93@0 141@130000",
                                           "VELMORA_PLUGINS=LV2 urn:velmora:gater 0=16 2=0 3=1 4=0 5=1 6=0 7=1 8=0 "
                                           "9=1 10=0 11=1 12=0 13=1 14=0 15=1 16=0 17=1 18=0 19=1"});
    ASSERT_NE(output.find("output 1 bounce1"), std::string::npos) << output;
    constexpr double kRate = 44100.0;
    const std::vector<TempoSection> tempos = sessionTempos(scratch.path() / "session" / "velmora.ardour", kRate);
    ASSERT_EQ(tempos.size(), 2u);
    EXPECT_NEAR(tempos[0].bpm, 93.0, 1e-6);
    EXPECT_NEAR(tempos[1].bpm, 141.0, 1e-6);
    EXPECT_EQ(tempos[1].quarters, 5.0) << "the change on the beat nearest frame 130000";

    const std::vector<float> take = readWav(audio("Take1_in-1%L"), 1);
    const std::vector<float> bounce = readWav(audio("bounce1%L"), 1);
    ASSERT_GT(take.size(), std::size_t(300000)) << "long enough for 30 sixteenths after the change";
    ASSERT_EQ(bounce.size(), take.size());
    ASSERT_EQ(std::count(take.begin(), take.end(), 0.5f), std::ptrdiff_t(take.size())) << "a constant take";
    EXPECT_EQ(bounce[0], 0.5f) << "step 1 from the first frame";
    const std::ptrdiff_t gains =
        std::count_if(bounce.begin(), bounce.end(), [](float x) { return x == 0.0f || x == 0.5f; });
    EXPECT_EQ(gains, std::ptrdiff_t(bounce.size())) << "every frame the input × 1 or × 0";

    std::vector<long> expected;
    for (long s = 1; sixteenthFrame(tempos, s, kRate) < double(bounce.size()); ++s) {
        expected.push_back(long(std::ceil(sixteenthFrame(tempos, s, kRate))));
    }
    const std::vector<long> found = gateEdges(bounce);
    constexpr long kBounceBlock = 8192;
    // The edge at the change lies on both grids: "before" takes it, with room
    // for its error (far less than a sixteenth).
    const long change = long(std::ceil(tempos[1].frame)) + 16;
    const long heard = (change + kBounceBlock - 1) / kBounceBlock * kBounceBlock;
    const auto halfTick = [&](double bpm) { return 60.0 * kRate / bpm / 1920.0 / 2.0; };
    const EdgeErrors before = compareEdges(expected, found, 1, change);
    const EdgeErrors between = compareEdges(expected, found, change, heard + 1);
    const EdgeErrors after = compareEdges(expected, found, heard + 1, long(bounce.size()));
    for (const auto& [name, e] :
         {std::pair{"before the change", before}, {"change to next block", between}, {"after the change", after}}) {
        std::cout << name << ": " << e.expected << " edges expected, " << e.found << " found, largest error "
                  << e.largest << " samples\n";
    }
    EXPECT_EQ(before.found, before.expected);
    EXPECT_LE(before.largest, 1);
    EXPECT_EQ(after.found, after.expected);
    EXPECT_LE(double(after.largest), halfTick(tempos[1].bpm) + 1.0);
    EXPECT_GE(after.expected, 30u);
}

}  // namespace
}  // namespace velmora::formats
