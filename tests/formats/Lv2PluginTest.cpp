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

}  // namespace
}  // namespace velmora::formats
