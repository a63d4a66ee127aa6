// The host's beat followed through each format's own interface (CLAP
// transport, VST3 process context, LV2 time:Position events): with Sync on
// and the transport rolling, the gater's steps start on the song's
// sixteenths and the tremolo's cycles on its quarter notes, within a sample
// of their exact positions, through tempo changes, loop jumps and ten
// minutes of song; stopped, or with Sync off, the effect sounds as the
// VST 2 plug-in does.
//
// The expected onsets come from the tempo map each case sets: sixteenth
// (quarter note) u of a stretch of the song that starts at frame f, beat b,
// tempo T, starts at the first frame at or after
// f + (u × unit − b) × 60 × rate / T.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ClapHost.h"
#include "Lv2TestHost.h"
#include "TwinRender.h"
#include "Vst3Host.h"

namespace velmora::formats {
namespace {

enum class Format { kClap, kVst3, kLv2 };
enum class Effect { kGater, kTremolo };

// The host's time from frame `offset` of a block on; `reported` when the
// host tells it there (LV2 hosts tell a change only, the others every block).
struct TimeAt {
    std::uint32_t offset;
    bool playing;
    double tempo;
    double beats;
    bool reported;
};

// One effect in one format, driven as a host's audio thread drives it.
class Driver {
public:
    virtual ~Driver() = default;
    // Before the first block: a parameter's plain value (Sync included).
    virtual void set(std::uint32_t id, double plain) = 0;
    // One block, with the host's time at its start (times[0]) and wherever
    // it changes inside the block.
    virtual void block(const float* in0, const float* in1, float* out0, float* out1, std::uint32_t frames,
                       const std::vector<TimeAt>& times) = 0;
};

struct EffectNames {
    const char* vst2;
    const char* clapId;
    const char* lv2Uri;
    std::uint32_t sync;  // the Sync parameter's id (CLAP, VST3) and control index (LV2)
    std::vector<float> lv2Controls;
};

const EffectNames& namesOf(Effect effect) {
    static const EffectNames gater{"VelmoraGater",
                                   "velmora.gater",
                                   "urn:velmora:gater",
                                   19,
                                   {16, 120, 10, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}};
    static const EffectNames tremolo{"VelmoraTremolo", "velmora.tremolo", "urn:velmora:tremolo", 4, {0, 120, 50, 1}};
    return effect == Effect::kGater ? gater : tremolo;
}

class ClapDriver : public Driver {
public:
    ClapDriver(const EffectNames& names, double rate)
        : plugin(
              host::ClapPlugin::load(std::string(VELMORA_PLUGIN_DIR) + "/clap/" + names.vst2 + ".clap", names.clapId)) {
        plugin->activate(rate, kAnnounced);
    }
    void set(std::uint32_t id, double plain) override { plugin->queueParameter(id, plain); }
    void block(const float* in0, const float* in1, float* out0, float* out1, std::uint32_t frames,
               const std::vector<TimeAt>& times) override {
        for (std::size_t i = 1; i < times.size(); ++i) plugin->queueTransport(transportOf(times[i]), times[i].offset);
        const clap_event_transport start = transportOf(times[0]);
        EXPECT_EQ(plugin->process(in0, in1, out0, out1, frames, &start), CLAP_PROCESS_CONTINUE);
    }

private:
    static clap_event_transport transportOf(const TimeAt& time) {
        clap_event_transport transport{};
        transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                          (time.playing ? std::uint32_t(CLAP_TRANSPORT_IS_PLAYING) : 0u);
        transport.tempo = time.tempo;
        transport.song_pos_beats = std::llround(time.beats * double(CLAP_BEATTIME_FACTOR));
        return transport;
    }
    std::unique_ptr<host::ClapPlugin> plugin;
};

// VST3 tells the time once a block, at its start.
class Vst3Driver : public Driver {
public:
    Vst3Driver(const EffectNames& names, double rate)
        : plugin(host::Vst3Plugin::load(std::string(VELMORA_PLUGIN_DIR) + "/vst3/" + names.vst2 +
                                            ".vst3/Contents/x86_64-linux/" + names.vst2 + ".so",
                                        names.vst2)) {
        plugin->activate(rate, kAnnounced);
        context.sample_rate = rate;
    }
    void set(std::uint32_t id, double plain) override { plugin->queueChange(id, plugin->toNormalised(id, plain)); }
    void block(const float* in0, const float* in1, float* out0, float* out1, std::uint32_t frames,
               const std::vector<TimeAt>& times) override {
        context.state = V3_PROCESS_CTX_TEMPO_VALID | V3_PROCESS_CTX_PROJECT_TIME_VALID |
                        (times[0].playing ? std::uint32_t(V3_PROCESS_CTX_PLAYING) : 0u);
        context.bpm = times[0].tempo;
        context.project_time_quarters = times[0].beats;
        EXPECT_EQ(plugin->process(in0, in1, out0, out1, std::int32_t(frames), &context), V3_OK);
    }

private:
    std::unique_ptr<host::Vst3Plugin> plugin;
    v3_process_context context{};
};

class Lv2Driver : public Driver {
public:
    Lv2Driver(const EffectNames& names, double rate)
        : plugin(names.lv2Uri, names.lv2Controls, true, rate), syncIndex(names.sync) {
        EXPECT_TRUE(plugin.loaded());
        plugin.connectTime(events.sequence());
        plugin.connectSync(&sync);
    }
    void set(std::uint32_t id, double plain) override {
        if (id == syncIndex) {
            sync = float(plain);
        } else {
            plugin.setControl(id, float(plain));
        }
    }
    void block(const float* in0, const float* in1, float* out0, float* out1, std::uint32_t frames,
               const std::vector<TimeAt>& times) override {
        events.begin();
        for (const TimeAt& t : times) {
            if (!t.reported) continue;
            events.position(t.offset, {{LV2_TIME__speed, t.playing ? 1.0 : 0.0},
                                       {LV2_TIME__beatsPerMinute, t.tempo},
                                       {LV2_TIME__beat, t.beats}});
        }
        events.end();
        plugin.run(in0, in1, out0, out1, frames);
    }

private:
    Lv2Plugin plugin;
    TimeEvents events{plugin};
    std::uint32_t syncIndex;
    float sync = 1.0f;
};

std::unique_ptr<Driver> startDriver(Format format, Effect effect, double rate) {
    const EffectNames& names = namesOf(effect);
    switch (format) {
        case Format::kClap: return std::make_unique<ClapDriver>(names, rate);
        case Format::kVst3: return std::make_unique<Vst3Driver>(names, rate);
        default: return std::make_unique<Lv2Driver>(names, rate);
    }
}

// A rational number, kept exact: the song's positions and onsets carry no
// rounding, so an onset that lies exactly on a frame is found on it.
class Exact {
public:
    __extension__ typedef __int128 Wide;
    Exact(Wide numerator, Wide denominator = 1) : num(numerator), den(denominator) {
        if (den < 0) num = -num, den = -den;
        Wide a = num < 0 ? -num : num, b = den;
        while (b != 0) a = std::exchange(b, a % b);
        if (a > 1) num /= a, den /= a;
    }
    friend Exact operator+(const Exact& a, const Exact& b) { return {a.num * b.den + b.num * a.den, a.den * b.den}; }
    friend Exact operator-(const Exact& a, const Exact& b) { return {a.num * b.den - b.num * a.den, a.den * b.den}; }
    friend Exact operator*(const Exact& a, const Exact& b) { return {a.num * b.num, a.den * b.den}; }
    friend Exact operator/(const Exact& a, const Exact& b) { return {a.num * b.den, a.den * b.num}; }
    // The least whole number at or above it.
    std::int64_t ceil() const { return std::int64_t(num / den + (num % den > 0 ? 1 : 0)); }
    double value() const { return double(num) / double(den); }

private:
    Wide num, den;
};

// A number of the case table (tempos and beats, given to the hundredth), exactly.
Exact exactly(double value) { return {std::llround(value * 100.0), 100}; }

// From frame `frame` on the song plays at `tempo`, and (unless NaN) jumps
// to beat `beats` there.
struct Turn {
    std::int64_t frame;
    double tempo;
    double beats = NAN;
};

// The song as the host plays it: stretches of steady tempo, each from a
// frame and a beat.
class Song {
public:
    struct Stretch {
        std::int64_t frame;
        Exact tempo;
        Exact beats;
    };
    Song(double rate, double tempo, const std::vector<Turn>& turns)
        : rate(std::llround(rate)), stretches{{0, exactly(tempo), 0}} {
        for (const Turn& turn : turns) {
            stretches.push_back(
                {turn.frame, exactly(turn.tempo), std::isnan(turn.beats) ? beatsAt(turn.frame) : exactly(turn.beats)});
        }
    }
    const Stretch& at(std::int64_t frame) const {
        std::size_t s = 0;
        while (s + 1 < stretches.size() && stretches[s + 1].frame <= frame) ++s;
        return stretches[s];
    }
    Exact beatsAt(std::int64_t frame) const {
        const Stretch& s = at(frame);
        return s.beats + Exact(frame - s.frame) * s.tempo / Exact(60 * rate);
    }
    const std::int64_t rate;
    std::vector<Stretch> stretches;
};

// What the effect plays in each unit of the song (a sixteenth for the
// gater, a quarter note for the tremolo): sound or silence from the unit's
// start; `endsSilent` when every unit ends in silence (the square's low
// half); `firstSound`: the frames from a sounding unit's start to its first
// sample above 0 (the square's rise is a ramp from 0). Before the song,
// silence.
struct Pattern {
    std::int64_t unitsPerBeat;
    std::vector<int> gains;
    bool endsSilent;
    std::int64_t firstSound;

    // `previous`: the unit before, if any.
    bool risesInto(std::optional<std::int64_t> previous, std::int64_t unit) const {
        const auto n = std::int64_t(gains.size());
        const auto gain = [&](std::int64_t u) { return gains[std::size_t((u % n + n) % n)]; };
        return gain(unit) == 1 && (!previous || endsSilent || gain(*previous) == 0);
    }
};

// The frames where the output must leave silence: in the units the pattern
// rises into, `firstSound` frames after the unit's start, the first frame
// at or after its exact position.
std::vector<std::int64_t> expectedRises(const Song& song, const Pattern& pattern, std::int64_t frames) {
    std::vector<std::int64_t> rises;
    std::optional<std::int64_t> previous;
    for (std::size_t s = 0; s < song.stretches.size(); ++s) {
        const Song::Stretch& stretch = song.stretches[s];
        const std::int64_t end = s + 1 < song.stretches.size() ? song.stretches[s + 1].frame : frames;
        const Exact framesPerBeat = Exact(60 * song.rate) / stretch.tempo;
        for (std::int64_t unit = (stretch.beats * Exact(pattern.unitsPerBeat)).ceil();; ++unit) {
            const std::int64_t onset =
                (Exact(stretch.frame) + (Exact(unit, pattern.unitsPerBeat) - stretch.beats) * framesPerBeat).ceil();
            if (onset >= end) break;
            if (pattern.risesInto(previous, unit)) rises.push_back(onset + pattern.firstSound);
            previous = unit;
        }
    }
    return rises;
}

// The blocks a host sends, over and over; a multiple of kBlockCycle frames
// is a block's start.
constexpr std::uint32_t kBlocks[] = {64, 1000, 256, 777, 512, 97};
constexpr std::int64_t kBlockCycle = 2706;
constexpr std::uint32_t kLongestBlock = 1000;

// Constant input 1.0 through the driver for `frames` frames of the song, in
// kBlocks; the frames where the left output leaves silence.
std::vector<std::int64_t> measuredRises(Driver& driver, const Song& song, std::int64_t frames) {
    const std::vector<float> ones(kLongestBlock, 1.0f);
    std::vector<float> left(kLongestBlock), right(kLongestBlock);
    std::vector<std::int64_t> rises;
    float last = 0.0f;
    for (std::int64_t start = 0, b = 0; start < frames; start += kBlocks[b++ % std::size(kBlocks)]) {
        const auto n = std::uint32_t(std::min<std::int64_t>(kBlocks[b % std::size(kBlocks)], frames - start));
        std::vector<TimeAt> times{{0, true, song.at(start).tempo.value(), song.beatsAt(start).value(), start == 0}};
        for (const Song::Stretch& s : song.stretches) {
            if (s.frame == start) times[0].reported = true;
            if (s.frame > start && s.frame < start + n) {
                times.push_back({std::uint32_t(s.frame - start), true, s.tempo.value(), s.beats.value(), true});
            }
        }
        driver.block(ones.data(), ones.data(), left.data(), right.data(), n, times);
        for (std::uint32_t i = 0; i < n; ++i) {
            if (last == 0.0f && left[i] > 0.0f) rises.push_back(start + i);
            last = left[i];
        }
    }
    return rises;
}

struct SyncCase {
    const char* name;
    Format format;
    Effect effect;
    double tempo;
    double rate;
    double seconds;
    std::vector<Turn> turns = {};
    int steps = 16;
};

class HostSync : public ::testing::TestWithParam<SyncCase> {};

// Gater: edge 0, step gains 1, 0, 1, 0, ...; tremolo: square, pulse width
// 50 %, level 1. Every onset the pattern rises at, within a sample.
TEST_P(HostSync, StartsStepsAndCyclesOnTheSongsGrid) {
    const SyncCase& c = GetParam();
    auto driver = startDriver(c.format, c.effect, c.rate);
    Pattern pattern{1, {1}, true, 1};
    if (c.effect == Effect::kGater) {
        pattern = {4, {}, false, 0};
        driver->set(0, c.steps);
        driver->set(2, 0.0);
        for (int step = 0; step < 16; ++step) driver->set(3 + std::uint32_t(step), step % 2 == 0 ? 1.0 : 0.0);
        for (int step = 0; step < c.steps; ++step) pattern.gains.push_back(step % 2 == 0 ? 1 : 0);
    } else {
        for (const auto& [id, plain] : {std::pair{0u, 0.0}, {2u, 50.0}, {3u, 1.0}}) driver->set(id, plain);
    }
    const Song song(c.rate, c.tempo, c.turns);
    const auto frames = std::int64_t(c.seconds * c.rate);
    const std::vector<std::int64_t> expected = expectedRises(song, pattern, frames);
    const std::vector<std::int64_t> measured = measuredRises(*driver, song, frames);
    ASSERT_GT(expected.size(), 10u);
    std::int64_t largest = 0;
    for (std::size_t i = 0; i < std::min(expected.size(), measured.size()); ++i) {
        largest = std::max(largest, std::abs(measured[i] - expected[i]));
        ASSERT_LE(std::abs(measured[i] - expected[i]), 1)
            << "onset " << i << " at frame " << measured[i] << ", expected " << expected[i];
    }
    EXPECT_EQ(measured.size(), expected.size());
    std::printf("[ onsets   ] %s: %zu checked, the last at frame %lld, largest error %lld\n", c.name, expected.size(),
                static_cast<long long>(expected.back()), static_cast<long long>(largest));
}

// Ten minutes of song, in seconds.
constexpr double kTenMinutes = 600.0;

INSTANTIATE_TEST_SUITE_P(
    Formats, HostSync,
    ::testing::Values(
        // Steady tempos.
        SyncCase{"ClapGater120At44k", Format::kClap, Effect::kGater, 120.0, 44100.0, 30.0},
        SyncCase{"Vst3Gater133At48k", Format::kVst3, Effect::kGater, 133.33, 48000.0, 30.0},
        SyncCase{"Lv2Gater30At96k", Format::kLv2, Effect::kGater, 30.0, 96000.0, 30.0},
        SyncCase{"ClapGater360At96k", Format::kClap, Effect::kGater, 360.0, 96000.0, 30.0},
        SyncCase{"ClapTremolo30At96k", Format::kClap, Effect::kTremolo, 30.0, 96000.0, 60.0},
        SyncCase{"Vst3Tremolo360At44k", Format::kVst3, Effect::kTremolo, 360.0, 44100.0, 30.0},
        SyncCase{"Lv2Tremolo133At48k", Format::kLv2, Effect::kTremolo, 133.33, 48000.0, 30.0},
        // Five steps: step k on the sixteenths s with s mod 5 = k - 1.
        SyncCase{"Lv2GaterFiveSteps", Format::kLv2, Effect::kGater, 133.33, 44100.0, 30.0, {}, 5},
        // Tempo changes inside a block (CLAP, LV2), each first one shortly
        // before a step or cycle starts in that block at the new tempo
        // (frame 599700: 300 frames before a sixteenth at 120 BPM, 100 at
        // 360 BPM; frame 264100: 500 frames before a beat at 30 BPM, 42 at
        // 360 BPM); and at a block's start (VST3).
        SyncCase{"ClapGaterTempoChanges",
                 Format::kClap,
                 Effect::kGater,
                 120.0,
                 48000.0,
                 30.0,
                 {{599700, 360.0}, {kBlockCycle * 400 + 500, 30.0}}},
        SyncCase{"Lv2TremoloTempoChanges",
                 Format::kLv2,
                 Effect::kTremolo,
                 30.0,
                 44100.0,
                 30.0,
                 {{264100, 360.0}, {kBlockCycle * 200 + 1200, 133.33}}},
        SyncCase{"Vst3GaterTempoChanges",
                 Format::kVst3,
                 Effect::kGater,
                 133.33,
                 96000.0,
                 30.0,
                 {{kBlockCycle * 200, 360.0}, {kBlockCycle * 600, 30.0}}},
        // Loops back to bar 2 inside a block, at 120 BPM and 48 kHz: from
        // the silent half of beat 16 (frame 402000), twice; from inside a
        // silent sixteenth (frame 391000); and at a block's start (VST3).
        SyncCase{"ClapTremoloLoopJumps",
                 Format::kClap,
                 Effect::kTremolo,
                 120.0,
                 48000.0,
                 30.0,
                 {{402000, 120.0, 4.0}, {708000, 120.0, 4.0}}},
        SyncCase{"Lv2GaterLoopJump", Format::kLv2, Effect::kGater, 120.0, 48000.0, 30.0, {{391000, 120.0, 4.0}}},
        SyncCase{"Vst3GaterLoopJump",
                 Format::kVst3,
                 Effect::kGater,
                 120.0,
                 48000.0,
                 30.0,
                 {{kBlockCycle * 150, 120.0, 4.0}}},
        // A bar of count-in: the song starts at beat -4.
        SyncCase{"ClapGaterCountIn", Format::kClap, Effect::kGater, 133.33, 44100.0, 10.0, {{0, 133.33, -4.0}}, 5},
        // Ten minutes: no drift.
        SyncCase{"ClapGaterTenMinutes", Format::kClap, Effect::kGater, 133.33, 48000.0, kTenMinutes},
        SyncCase{"Vst3GaterTenMinutes", Format::kVst3, Effect::kGater, 120.0, 44100.0, kTenMinutes},
        SyncCase{"Lv2GaterTenMinutes", Format::kLv2, Effect::kGater, 360.0, 96000.0, kTenMinutes}),
    [](const ::testing::TestParamInfo<SyncCase>& info) { return std::string(info.param.name); });

struct TwinCase {
    const char* name;
    Format format;
    Effect effect;
    bool sync;
    bool playing;
};

class UnsyncedTwin : public ::testing::TestWithParam<TwinCase> {};

// The host reports 133.33 BPM and a moving position; with the transport
// stopped, or with Sync off, the effect plays its own Tempo (120 BPM),
// as the VST 2 plug-in does.
TEST_P(UnsyncedTwin, SoundsAsTheVst2Plugin) {
    const TwinCase& c = GetParam();
    auto driver = startDriver(c.format, c.effect, kRate);
    if (!c.sync) driver->set(namesOf(c.effect).sync, 0.0);
    double beats = 8.0;
    bool first = true;
    const Stereo heard =
        renderInUnkindBlocks([&](const float* in0, const float* in1, float* out0, float* out1, std::uint32_t n) {
            driver->block(in0, in1, out0, out1, n, {{0, c.playing, 133.33, beats, first}});
            if (c.playing) beats += n * 133.33 / (60.0 * kRate);
            first = false;
        });
    EXPECT_TRUE(sameBits(heard, renderVst2(namesOf(c.effect).vst2, {})));
}

INSTANTIATE_TEST_SUITE_P(Formats, UnsyncedTwin,
                         ::testing::Values(TwinCase{"ClapGaterStopped", Format::kClap, Effect::kGater, true, false},
                                           TwinCase{"Vst3TremoloStopped", Format::kVst3, Effect::kTremolo, true, false},
                                           TwinCase{"Lv2GaterStopped", Format::kLv2, Effect::kGater, true, false},
                                           TwinCase{"ClapTremoloSyncOff", Format::kClap, Effect::kTremolo, false, true},
                                           TwinCase{"Vst3GaterSyncOff", Format::kVst3, Effect::kGater, false, true},
                                           TwinCase{"Lv2TremoloSyncOff", Format::kLv2, Effect::kTremolo, false, true}),
                         [](const ::testing::TestParamInfo<TwinCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::formats
