// The LV2 plug-ins driven through lilv, as a host drives them: control
// port values outside the ranges (or NaN) are heard as the nearest valid
// setting (or not at all), the host's time:Position events, sane, odd or
// malformed, are read without changing the sound yet, and a host that
// gives no feature and leaves the time port unconnected can run them.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "TwinRender.h"
#include "UridMap.h"

namespace velmora::formats {
namespace {

class Lv2Plugin {
public:
    // The plug-in `uri` of the build's bundles, with the URID map or with
    // no feature at all, its controls at `controls` (port 4 on).
    Lv2Plugin(const char* uri, std::vector<float> controls, bool withMap) : controls(std::move(controls)) {
        setenv("LV2_PATH", (std::string(VELMORA_PLUGIN_DIR) + "/lv2").c_str(), 1);
        lilv_world_load_all(world);
        LilvNode* node = lilv_new_uri(world, uri);
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
        lilv_node_free(node);
        const LV2_Feature* features[] = {withMap ? map.feature() : nullptr, nullptr};
        instance = plugin != nullptr ? lilv_plugin_instantiate(plugin, kRate, features) : nullptr;
        if (instance == nullptr) return;
        for (std::uint32_t i = 0; i < this->controls.size(); ++i) {
            lilv_instance_connect_port(instance, 4 + i, &this->controls[i]);
        }
        lilv_instance_activate(instance);
    }
    ~Lv2Plugin() {
        if (instance != nullptr) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
        lilv_world_free(world);
    }
    Lv2Plugin(const Lv2Plugin&) = delete;
    Lv2Plugin& operator=(const Lv2Plugin&) = delete;

    bool loaded() const { return instance != nullptr; }
    LV2_URID urid(const char* uri) { return map.urid(uri); }
    void connectTime(const LV2_Atom_Sequence* events) {
        lilv_instance_connect_port(instance, 4 + std::uint32_t(controls.size()),
                                   const_cast<LV2_Atom_Sequence*>(events));
    }
    // The Sync switch, the port after the time port.
    void connectSync(float* sync) { lilv_instance_connect_port(instance, 5 + std::uint32_t(controls.size()), sync); }

    // The input through the plug-in in unkind blocks; `beforeBlock(frames)`
    // runs before each.
    Stereo render(const std::function<void(std::uint32_t)>& beforeBlock = {}) {
        return renderInUnkindBlocks([&](const float* in0, const float* in1, float* out0, float* out1, std::uint32_t n) {
            if (beforeBlock) beforeBlock(n);
            lilv_instance_connect_port(instance, 0, const_cast<float*>(in0));
            lilv_instance_connect_port(instance, 1, const_cast<float*>(in1));
            lilv_instance_connect_port(instance, 2, out0);
            lilv_instance_connect_port(instance, 3, out1);
            lilv_instance_run(instance, n);
        });
    }

private:
    LilvWorld* world = lilv_world_new();
    LilvInstance* instance = nullptr;
    host::UridMap map;
    std::vector<float> controls;
};

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

// A sequence of events in a buffer, as a host fills the time port.
class TimeEvents {
public:
    explicit TimeEvents(Lv2Plugin& plugin) : plugin(plugin) {
        LV2_URID_Map map{this, [](LV2_URID_Map_Handle self, const char* uri) {
                             return static_cast<TimeEvents*>(self)->plugin.urid(uri);
                         }};
        lv2_atom_forge_init(&forge, &map);
    }
    const LV2_Atom_Sequence* sequence() const { return reinterpret_cast<const LV2_Atom_Sequence*>(buffer); }

    // Positions at frames 0 and n / 2 of a block of n frames (one with
    // every property, one with odd values), an object of another kind, and
    // an event whose size runs past the sequence.
    void fill(std::uint32_t n, double beat) {
        lv2_atom_forge_set_buffer(&forge, buffer, sizeof(buffer));
        LV2_Atom_Forge_Frame sequenceFrame;
        lv2_atom_forge_sequence_head(&forge, &sequenceFrame, 0);
        position(0, {{LV2_TIME__speed, 1.0},
                     {LV2_TIME__beatsPerMinute, 133.33},
                     {LV2_TIME__beat, beat},
                     {LV2_TIME__beatUnit, 4.0},
                     {LV2_TIME__bar, 2.0}});
        position(n / 2, {{LV2_TIME__beatsPerMinute, -1.0},
                         {LV2_TIME__beatUnit, 0.0},
                         {LV2_TIME__bar, std::nan("")},
                         {LV2_TIME__barBeat, 1e300},
                         {LV2_TIME__beatsPerBar, 4.0}});
        LV2_Atom_Forge_Frame other;
        lv2_atom_forge_frame_time(&forge, n);
        lv2_atom_forge_object(&forge, &other, 0, plugin.urid(LV2_TIME__Rate));
        lv2_atom_forge_pop(&forge, &other);
        lv2_atom_forge_pop(&forge, &sequenceFrame);
        auto* last = reinterpret_cast<LV2_Atom_Event*>(buffer + sizeof(LV2_Atom) + sequence()->atom.size);
        last->time.frames = 1;
        last->body = {1000000, plugin.urid(LV2_ATOM__Object)};
        reinterpret_cast<LV2_Atom*>(buffer)->size += sizeof(LV2_Atom_Event);
    }

    // One position at the block's start, as a host that states bar and beat
    // (4/4) to a tick of 1/1920 beat writes it, with its frame counter: the
    // song at frame `song` at `bpm`.
    void inTicks(double song, double bpm) {
        const double beat = song * bpm / (60.0 * kRate);
        const double bar = std::floor(beat / 4.0);
        lv2_atom_forge_set_buffer(&forge, buffer, sizeof(buffer));
        LV2_Atom_Forge_Frame sequenceFrame;
        lv2_atom_forge_sequence_head(&forge, &sequenceFrame, 0);
        position(0, {{LV2_TIME__speed, 1.0},
                     {LV2_TIME__beatsPerMinute, bpm},
                     {LV2_TIME__bar, bar},
                     {LV2_TIME__barBeat, std::round((beat - 4.0 * bar) * 1920.0) / 1920.0},
                     {LV2_TIME__beatsPerBar, 4.0},
                     {LV2_TIME__beatUnit, 4.0},
                     {LV2_TIME__frame, song}});
        lv2_atom_forge_pop(&forge, &sequenceFrame);
    }

private:
    void position(std::uint32_t frame, std::initializer_list<std::pair<const char*, double>> properties) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, frame);
        lv2_atom_forge_object(&forge, &object, 0, plugin.urid(LV2_TIME__Position));
        for (const auto& [key, value] : properties) {
            lv2_atom_forge_key(&forge, plugin.urid(key));
            lv2_atom_forge_double(&forge, value);
        }
        lv2_atom_forge_pop(&forge, &object);
    }

    Lv2Plugin& plugin;
    LV2_Atom_Forge forge{};
    alignas(8) std::uint8_t buffer[2048]{};
};

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
        events.fill(n, beat);
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
        events.inTicks(double(song), 93.0);
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
