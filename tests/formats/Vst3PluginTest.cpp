// The VST3 plug-ins driven through their own interface by a host of our
// own: their parameters (normalised 0..1 over the presented ranges) in the
// process call's queues, at any frame of a block, give the VST 2 plug-in's
// output; bad points, ids and calls are turned away; the program list and
// the state work as a host uses them.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "TwinRender.h"
#include "Vst3Host.h"

namespace velmora::formats {
namespace {

using host::Vst3Plugin;

constexpr v3_param_id kProgram = 65536;

std::unique_ptr<Vst3Plugin> loadVst3(const std::string& name) {
#if defined(_WIN32)
    const std::string binary = name + ".vst3/Contents/x86_64-win/" + name + ".vst3";
#else
    const std::string binary = name + ".vst3/Contents/x86_64-linux/" + name + ".so";
#endif
    return Vst3Plugin::load(std::string(VELMORA_PLUGIN_DIR) + "/vst3/" + binary, name);
}

std::unique_ptr<Vst3Plugin> startVst3(const std::string& name) {
    auto plugin = loadVst3(name);
    plugin->activate(kRate, kAnnounced);
    return plugin;
}

// A normalised value sent for a parameter at a frame of the input.
struct Point {
    v3_param_id id;
    double normalised;
    std::size_t frame = 0;
    std::int32_t shift = 0;  // added to its offset in the block (a host's mistake when not 0)
};

Stereo renderVst3(Vst3Plugin& plugin, const std::vector<Point>& points) {
    return renderInUnkindBlocks([&](const float* in0, const float* in1, float* out0, float* out1, std::uint32_t n) {
        const auto start = std::size_t(in0 - input().left.data());
        for (const Point& p : points) {
            if (p.frame >= start && (p.frame < start + n || (n == 0 && p.frame == start))) {
                plugin.queueChange(p.id, p.normalised, std::int32_t(p.frame - start) + p.shift);
            }
        }
        EXPECT_EQ(plugin.process(in0, in1, out0, out1, std::int32_t(n)), V3_OK);
    });
}

TEST(Vst3Twin, EqualsTheVst2PluginAtEveryFrameOfAChange) {
    auto gater = startVst3("VelmoraGater");
    // Steps 12, Tempo 277.5 BPM, Edge 50 %, then inside blocks of 4096
    // frames: Step 2 silent at frame 1234, Tempo 360 BPM at frame 30000.
    const Stereo heard =
        renderVst3(*gater, {{0, 11.0 / 15.0}, {1, 0.75}, {2, 0.5}, {4, 0.0, 1234}, {1, 1.0, 30000}, {4, 1.0, 30000}});
    EXPECT_TRUE(sameBits(
        heard,
        renderVst2("VelmoraGater",
                   {{0, 11.0f / 15.0f}, {1, 0.75f}, {2, 0.5f}, {4, 0.0f, 1234}, {1, 1.0f, 30000}, {4, 1.0f, 30000}})));
    auto tremolo = startVst3("VelmoraTremolo");
    EXPECT_TRUE(
        sameBits(renderVst3(*tremolo, {{0, 0.5}, {3, 0.5}}), renderVst2("VelmoraTremolo", {{0, 0.5f}, {3, 0.5f}})));
}

// Out of range values are clamped, NaN and unknown ids ignored, points
// before the block taken at its start and after it at its end.
TEST(Vst3BadInput, PointsAndIdsAreTurnedAwayOrClamped) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto wild = startVst3("VelmoraGater");
    const Stereo heard = renderVst3(
        *wild, {{0, 7.0}, {1, -3.0}, {2, nan}, {12345, 0.5}, {3, 0.0, 2000, -900000}, {5, 0.25, 2000, +900000}});
    EXPECT_EQ(wild->plain(0), 16.0);
    EXPECT_EQ(wild->plain(1), 30.0);
    EXPECT_EQ(wild->plain(2), 10.0) << "NaN left the default";
    // Frame 2000 lies in the block of frames 1082 to 5177: Step 1 from its
    // start, Step 3 from its end.
    EXPECT_TRUE(sameBits(heard, renderVst2("VelmoraGater", {{1, 0.0f}, {3, 0.0f, 1082}, {5, 0.25f, 5178}})));
}

TEST(Vst3BadInput, CallsAHostMustNotMakeAreRefused) {
    auto plugin = startVst3("VelmoraTremolo");
    v3_audio_processor** processor = plugin->processor();
    EXPECT_EQ(vst3Call(processor, &v3_audio_processor::process, nullptr), V3_INVALID_ARG);
    EXPECT_EQ(vst3Call(processor, &v3_audio_processor::can_process_sample_size, V3_SAMPLE_64), V3_FALSE);
    v3_speaker_arrangement mono = V3_SPEAKER_M;
    EXPECT_EQ(vst3Call(processor, &v3_audio_processor::set_bus_arrangements, &mono, 1, &mono, 1), V3_FALSE);
    // No buffers, but a change: applied, and the call refused.
    plugin->queueChange(1, 1.0);
    EXPECT_EQ(plugin->process(nullptr, nullptr, nullptr, nullptr, 64), V3_INVALID_ARG);
    EXPECT_EQ(plugin->plain(1), 360.0);
    plugin->queueChange(1, 0.0);
    EXPECT_EQ(plugin->process(nullptr, nullptr, nullptr, nullptr, 0), V3_OK);
    EXPECT_EQ(plugin->plain(1), 30.0);
}

TEST(Vst3Parameters, AreTheTablesThenSyncThenTheProgramChange) {
    auto gater = loadVst3("VelmoraGater");
    ASSERT_EQ(gater->parameterCount(), 21);
    const v3_param_info steps = gater->parameterInfo(0);
    EXPECT_EQ(steps.param_id, 0u);
    EXPECT_EQ(steps.step_count, 15);
    EXPECT_EQ(steps.default_normalised_value, 1.0);
    EXPECT_EQ(steps.flags, V3_PARAM_CAN_AUTOMATE);
    const v3_param_info tempo = gater->parameterInfo(1);
    EXPECT_EQ(tempo.units[0], 'B');
    EXPECT_DOUBLE_EQ(tempo.default_normalised_value, 90.0 / 330.0);
    const v3_param_info sync = gater->parameterInfo(19);
    EXPECT_EQ(sync.param_id, 19u);
    EXPECT_EQ(sync.step_count, 1);
    EXPECT_EQ(sync.default_normalised_value, 1.0);
    const v3_param_info program = gater->parameterInfo(20);
    EXPECT_EQ(program.param_id, kProgram);
    EXPECT_EQ(program.step_count, 9);
    EXPECT_EQ(program.flags, V3_PARAM_CAN_AUTOMATE | V3_PARAM_IS_LIST | V3_PARAM_PROGRAM_CHANGE | V3_PARAM_IS_HIDDEN);

    auto tremolo = loadVst3("VelmoraTremolo");
    const v3_param_info waveform = tremolo->parameterInfo(0);
    EXPECT_EQ(waveform.step_count, 4);
    EXPECT_EQ(waveform.flags, V3_PARAM_CAN_AUTOMATE | V3_PARAM_IS_LIST);
}

// A program change, from the controller or in the audio, loads the
// program's values; from the controller the host is told to read every
// value again. The programs are the factory presets, listed by the root
// unit.
TEST(Vst3Programs, LoadTheirValuesAndAreListedByTheRootUnit) {
    auto plugin = startVst3("VelmoraGater");
    v3_edit_controller** controller = plugin->controller();
    vst3Call(controller, &v3_edit_controller::set_parameter_normalised, 1, 1.0);
    vst3Call(controller, &v3_edit_controller::set_parameter_normalised, 19, 0.0);
    vst3Call(controller, &v3_edit_controller::set_parameter_normalised, kProgram, 5.0 / 9.0);
    EXPECT_EQ(plugin->plain(kProgram), 5.0);
    EXPECT_EQ(plugin->plain(0), 8.0) << "Half-time pulse: 8 steps";
    EXPECT_EQ(plugin->plain(1), 120.0);
    EXPECT_EQ(plugin->plain(2), 30.0);
    EXPECT_EQ(plugin->plain(7), 0.0) << "step 5 silent";
    EXPECT_EQ(plugin->plain(19), 0.0) << "Sync is no part of a program";
    EXPECT_EQ(plugin->valuesChangedCount(), 1);
    plugin->queueChange(2, 1.0);
    plugin->queueChange(kProgram, 1.0, 10);
    float silence[32] = {};
    float out[2][32];
    plugin->process(silence, silence, out[0], out[1], 32);
    EXPECT_EQ(plugin->plain(kProgram), 9.0);
    EXPECT_EQ(plugin->plain(2), 15.0) << "Accented downbeats";
    EXPECT_EQ(plugin->plain(4), 0.35f);

    v3_unit_information** units = nullptr;
    ASSERT_EQ(v3_cpp_obj_query_interface(plugin->component(), v3_unit_information_iid, &units), V3_OK);
    v3_unit_info root{};
    ASSERT_EQ(vst3Call(units, &v3_unit_information::get_unit_info, 0, &root), V3_OK);
    v3_program_list_info list{};
    ASSERT_EQ(vst3Call(units, &v3_unit_information::get_program_list_info, 0, &list), V3_OK);
    EXPECT_EQ(list.id, root.program_list_id);
    EXPECT_EQ(list.programCount, 10);
    v3_str_128 name{};
    EXPECT_EQ(vst3Call(units, &v3_unit_information::get_program_name, list.id, 0, name), V3_OK);
    EXPECT_EQ(std::string(name, name + 20), std::string("Straight sixteenths", 20));
    EXPECT_EQ(vst3Call(units, &v3_unit_information::get_program_name, list.id, 10, name), V3_INVALID_ARG);
    v3_cpp_obj_unref(units);
}

TEST(Vst3State, BringsTheValuesBackAndRefusesOtherText) {
    auto saved = startVst3("VelmoraTremolo");
    renderVst3(*saved, {{kProgram, 3.0 / 6.0}, {0, 1.0, 1}, {1, 0.5, 1}, {4, 0.0, 1}});
    auto loaded = loadVst3("VelmoraTremolo");
    ASSERT_TRUE(loaded->loadState(saved->saveState()));
    for (v3_param_id id : {0u, 1u, 2u, 3u, 4u, unsigned(kProgram)})
        EXPECT_EQ(loaded->plain(id), saved->plain(id)) << id;
    EXPECT_FALSE(loaded->loadState("not a state"));
    EXPECT_EQ(loaded->plain(0), saved->plain(0));
}

}  // namespace
}  // namespace velmora::formats
