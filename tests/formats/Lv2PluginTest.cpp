// The LV2 plug-ins driven through lilv, as a host drives them: control
// port values outside the ranges (or NaN) are heard as the nearest valid
// setting (or not at all), the host's time:Position events, sane, odd or
// malformed, are read without changing the sound yet, and a host that
// gives no feature and leaves the time port unconnected can run them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Lv2TestHost.h"
#include "TwinRender.h"

namespace velmora::formats {
namespace {

const std::vector<float> kGaterDefaults = {16, 120, 10, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

TEST(Lv2BadInput, ControlValuesAreClampedOrIgnoredAndNoFeatureIsNeeded) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> wild = kGaterDefaults;
    wild[0] = 3.7f;   // Steps: 4
    wild[1] = 1e6f;   // Tempo: 360 BPM
    wild[2] = -inf;   // Edge: 0 %
    wild[3] = 7.5f;   // Step 1: 1
    wild[4] = -2.0f;  // Step 2: 0
    wild[5] = nan;    // Step 3: left at its default
    Lv2Plugin gater("urn:velmora:gater", wild, false);
    ASSERT_TRUE(gater.loaded());
    EXPECT_TRUE(sameBits(gater.render(), renderVst2("VelmoraGater", {{0, 0.2f}, {1, 1.0f}, {2, 0.0f}, {4, 0.0f}})));
}

// The time port's events for a block of n frames: positions at frames 0
// and n / 2 (one with every property, one with odd values), an object of
// another kind, and an event whose size runs past the sequence.
void fillOddTimeEvents(TimeEvents& events, std::uint32_t n, double beat) {
    events.begin();
    events.position(0, {{LV2_TIME__speed, 1.0},
                        {LV2_TIME__beatsPerMinute, 133.33},
                        {LV2_TIME__beat, beat},
                        {LV2_TIME__beatUnit, 4.0},
                        {LV2_TIME__bar, 2.0}});
    events.position(n / 2, {{LV2_TIME__beatsPerMinute, -1.0},
                            {LV2_TIME__beatUnit, 0.0},
                            {LV2_TIME__bar, std::nan("")},
                            {LV2_TIME__barBeat, 1e300},
                            {LV2_TIME__beatsPerBar, 4.0}});
    events.other(n, LV2_TIME__Rate);
    events.end();
    events.appendOverrunningEvent(1, 1000000);
}

// One position at the block's start, as a host that states bar and beat
// (4/4) to a tick of 1/1920 beat writes it, with its frame counter: the
// song at frame `song` at `bpm`.
void fillTickRoundedPosition(TimeEvents& events, double song, double bpm) {
    const double beat = song * bpm / (60.0 * kRate);
    const double bar = std::floor(beat / 4.0);
    events.begin();
    events.position(0, {{LV2_TIME__speed, 1.0},
                        {LV2_TIME__beatsPerMinute, bpm},
                        {LV2_TIME__bar, bar},
                        {LV2_TIME__barBeat, std::round((beat - 4.0 * bar) * 1920.0) / 1920.0},
                        {LV2_TIME__beatsPerBar, 4.0},
                        {LV2_TIME__beatUnit, 4.0},
                        {LV2_TIME__frame, song}});
    events.end();
}

// With Sync off, the host's time is read and not heard.
TEST(Lv2Time, PositionEventsLeaveTheSoundAsWithoutThemWithSyncOff) {
    Lv2Plugin tremolo("urn:velmora:tremolo", {0, 120, 50, 1}, true);
    ASSERT_TRUE(tremolo.loaded());
    TimeEvents events(tremolo);
    tremolo.connectTime(events.sequence());
    float syncOff = 0.0f;
    tremolo.connectSync(&syncOff);
    double beat = 0.0;
    const Stereo heard = tremolo.render([&](std::uint32_t n) {
        fillOddTimeEvents(events, n, beat);
        beat += n / 22050.0;
    });
    EXPECT_TRUE(sameBits(heard, renderVst2("VelmoraTremolo", {})));
}

// A host that states the position to a tick (14.8 frames at 93 BPM) at
// every block, with its frame counter: the gater's steps stay on the exact
// sixteenths, 220500/31 frames each, and start over where the host loops
// back to the song's start.
TEST(Lv2Time, GaterStepsStayOnTheSixteenthsOfAHostThatRoundsToTicks) {
    std::vector<float> pulse = {16, 120, 0};
    for (int step = 1; step <= 16; ++step) pulse.push_back(step % 2 == 1 ? 1.0f : 0.0f);
    Lv2Plugin gater("urn:velmora:gater", pulse, true);
    ASSERT_TRUE(gater.loaded());
    TimeEvents events(gater);
    gater.connectTime(events.sequence());
    float syncOn = 1.0f;
    gater.connectSync(&syncOn);
    std::vector<std::int64_t> songFrames;  // the song's frame at each frame heard
    std::int64_t song = 0;
    bool looped = false;
    const Stereo heard = gater.render([&](std::uint32_t n) {
        if (song >= 66150 && !looped) song = 0, looped = true;
        fillTickRoundedPosition(events, double(song), 93.0);
        for (std::uint32_t f = 0; f < n; ++f) songFrames.push_back(song++);
    });
    ASSERT_TRUE(looped);
    ASSERT_EQ(songFrames.size(), heard.left.size());
    std::size_t wrong = 0;
    for (std::size_t f = 0; f < songFrames.size(); ++f) {
        const bool open = (31 * songFrames[f] / 220500) % 2 == 0;  // in an odd step
        if (heard.left[f] != (open ? input().left[f] : 0.0f) || heard.right[f] != (open ? input().right[f] : 0.0f)) {
            ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0u) << "frames out of their step";
}

}  // namespace
}  // namespace velmora::formats
