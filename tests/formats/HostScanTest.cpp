// Real hosts and validators look at the built LV2, VST3 and CLAP plug-ins:
// lv2_validate checks the LV2 bundles' descriptions against the installed
// LV2 vocabularies, lv2info lists their ports, lv2bench runs them, Qtractor's
// scanner describes the CLAP plug-ins and Ardour's VST3 scanner indexes
// the VST3 bundles.
// A test whose program is not installed is skipped, naming the package.
#include <gtest/gtest.h>

#include <string>

#include "ExternalProgram.h"

namespace velmora::formats {
namespace {

namespace fs = std::filesystem;

const std::string kPlugins = VELMORA_PLUGIN_DIR;

#define SKIP_UNLESS_INSTALLED(program, package) \
    if (!fs::exists(program)) GTEST_SKIP() << program << " is missing (Debian package " << package << ")"

// lv2_validate on one bundle's files: no error, no warning.
void expectValidBundle(const std::string& name) {
    SKIP_UNLESS_INSTALLED("/usr/bin/lv2_validate", "lv2-dev");
    SKIP_UNLESS_INSTALLED("/usr/bin/sord_validate", "sordi");
    const std::string bundle = kPlugins + "/lv2/" + name + ".lv2/";
    const ProgramResult run = runProgram(
        {"/bin/sh", "-c", "lv2_validate \"$0\"/manifest.ttl \"$0\"/" + name + ".ttl \"$0\"/presets.ttl", bundle});
    EXPECT_NE(run.output.find("Found 0 errors"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
}

TEST(LV2Validate, GaterBundleHasNoError) { expectValidBundle("VelmoraGater"); }
TEST(LV2Validate, TremoloBundleHasNoError) { expectValidBundle("VelmoraTremolo"); }

// The lv2info block of one port, from "Port N:" to the next port.
std::string portBlock(const std::string& info, int port) {
    const std::string start = "\tPort " + std::to_string(port) + ":\n";
    const std::size_t from = info.find(start);
    if (from == std::string::npos) return "";
    return info.substr(from, info.find("\tPort ", from + start.size()) - from);
}

std::string lv2info(const std::string& uri) {
    const ProgramResult run = runProgram({"/usr/bin/lv2info", uri}, {"LV2_PATH=" + kPlugins + "/lv2"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return run.output;
}

// The lines lv2info prints for a control port, up to its default.
std::string controlPort(const char* symbol, const char* name, const char* minimum, const char* maximum,
                        const char* defaultValue) {
    return std::string("Symbol:      ") + symbol + "\n\t\tName:        " + name + "\n\t\tMinimum:     " + minimum +
           "\n\t\tMaximum:     " + maximum + "\n\t\tDefault:     " + defaultValue + "\n";
}

void expectPort(const std::string& info, int port, const std::string& lines) {
    EXPECT_NE(portBlock(info, port).find(lines), std::string::npos) << "expected\n"
                                                                    << lines << "in\n"
                                                                    << portBlock(info, port);
}

// After the table's controls: the host's time, an atom input a host need
// not connect, then the Sync switch, on by default, as the last port.
void expectTimeAndSyncPorts(const std::string& info, int port) {
    expectPort(info, port, "http://lv2plug.in/ns/ext/atom#AtomPort");
    expectPort(info, port, "Symbol:      time\n");
    expectPort(info, port, "Properties:  http://lv2plug.in/ns/lv2core#connectionOptional");
    expectPort(info, port + 1,
               controlPort("sync", "Sync", "0.000000", "1.000000", "1.000000") +
                   "\t\tProperties:  http://lv2plug.in/ns/lv2core#toggled");
    EXPECT_EQ(portBlock(info, port + 2), "") << "no port after Sync";
}

TEST(LV2Info, GaterPortsAreStereoAudioAndItsParametersInTableOrder) {
    SKIP_UNLESS_INSTALLED("/usr/bin/lv2info", "lilv-utils");
    const std::string info = lv2info("urn:velmora:gater");
    EXPECT_NE(info.find("Name:              VelmoraGater\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Author:            Velmora\n"), std::string::npos) << info;
    expectPort(info, 0, "Symbol:      lv2_in_l");
    expectPort(info, 3, "Symbol:      lv2_out_r");
    expectPort(info, 4,
               controlPort("steps", "Steps", "1.000000", "16.000000", "16.000000") +
                   "\t\tProperties:  http://lv2plug.in/ns/lv2core#integer");
    expectPort(info, 5, controlPort("tempo", "Tempo", "30.000000", "360.000000", "120.000000"));
    expectPort(info, 6, controlPort("edge", "Edge", "0.000000", "100.000000", "10.000000"));
    expectPort(info, 22, controlPort("step16", "Step 16", "0.000000", "1.000000", "1.000000"));
    expectTimeAndSyncPorts(info, 23);
}

TEST(LV2Info, TremoloWaveformIsANamedChoice) {
    SKIP_UNLESS_INSTALLED("/usr/bin/lv2info", "lilv-utils");
    const std::string info = lv2info("urn:velmora:tremolo");
    for (const char* point :
         {"0 = \"Square\"", "1 = \"Triangle\"", "2 = \"Sine\"", "3 = \"Saw down\"", "4 = \"Saw up\""}) {
        expectPort(info, 4, point);
    }
    expectPort(info, 4, controlPort("waveform", "Waveform", "0.000000", "4.000000", "0.000000"));
    expectPort(info, 4, "http://lv2plug.in/ns/lv2core#enumeration");
    expectPort(info, 6, controlPort("pulse_width", "P-Width", "10.000000", "90.000000", "50.000000"));
    expectPort(info, 7, controlPort("level", "Level", "0.000000", "1.000000", "1.000000"));
    expectTimeAndSyncPorts(info, 8);
}

// lv2bench runs every installed plug-in it can: it gives no feature and
// connects no optional port, and prints a line of seconds for each.
TEST(LV2Bench, RunsBothPlugins) {
    SKIP_UNLESS_INSTALLED("/usr/bin/lv2bench", "lilv-utils");
    const ProgramResult run = runProgram({"/usr/bin/lv2bench", "-n", "44100"}, {"LV2_PATH=" + kPlugins + "/lv2"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const char* uri : {"urn:velmora:gater", "urn:velmora:tremolo"}) {
        EXPECT_NE(run.output.find(std::string(" ") + uri + "\n"), std::string::npos) << uri << "\n" << run.output;
    }
    EXPECT_EQ(run.output.find("skipping"), std::string::npos) << run.output;
}

// Qtractor's headless scanner prints one line per plug-in:
// CLAP|name|audio ins:outs|MIDI ins:outs|controls in:out|flags|file|index|id
// (flags: EXT, the plug-in keeps its state through the host; RT, real-time safe).
TEST(QtractorScan, DescribesBothClapPlugins) {
    const std::string scanner = "/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan";
    SKIP_UNLESS_INSTALLED(scanner, "qtractor");
    for (const auto& [name, controls] : {std::pair{"VelmoraGater", "20:0"}, std::pair{"VelmoraTremolo", "5:0"}}) {
        const std::string file = kPlugins + "/clap/" + name + ".clap";
        const ProgramResult run = runProgram({"/bin/sh", "-c", "printf 'CLAP:%s\\n' \"$1\" | \"$0\"", scanner, file},
                                             {"QT_QPA_PLATFORM=offscreen"});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        const std::string expected = std::string("CLAP|") + name + "|2:2|0:0|" + controls + "|EXT,RT|" + file + "|0|";
        EXPECT_NE(run.output.find(expected), std::string::npos) << "expected " << expected << "\n" << run.output;
    }
}

// Ardour's VST3 scanner writes what it found into its cache (under a
// private XDG_CACHE_HOME), where a session later looks the plug-in up.
TEST(ArdourVst3Scan, IndexesBothBundlesWithTheirClassIds) {
    const std::string scanner = "/usr/lib/ardour7/ardour-vst3-scanner";
    SKIP_UNLESS_INSTALLED(scanner, "ardour");
    for (const auto& [name, uid] : {std::pair{"VelmoraGater", "2046504473616C637447764B00000000"},
                                    std::pair{"VelmoraTremolo", "2046504473616C637254764B00000000"}}) {
        ScratchFolder home;
        const ProgramResult run = runProgram({scanner, "-f", kPlugins + "/vst3/" + name + ".vst3"},
                                             {"HOME=" + home.path().string(), "XDG_CACHE_HOME=" + home.path().string(),
                                              "LD_LIBRARY_PATH=/usr/lib/ardour7"});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::string cache;
        for (const auto& entry : fs::recursive_directory_iterator(home.path())) {
            if (entry.path().extension() == ".v3i") cache = readText(entry.path());
        }
        const std::string expected = std::string("<VST3Info uid=\"") + uid + "\" name=\"" + name +
                                     "\" vendor=\"Velmora\" category=\"Fx|Modulation|Stereo\" version=\"1.0.0\"";
        EXPECT_NE(cache.find(expected), std::string::npos) << "expected " << expected << "\n" << cache << run.output;
        EXPECT_NE(
            cache.find("n_inputs=\"2\" n_outputs=\"2\" n_aux_inputs=\"0\" n_aux_outputs=\"0\" n_midi_inputs=\"0\""),
            std::string::npos)
            << cache;
    }
}

}  // namespace
}  // namespace velmora::formats
