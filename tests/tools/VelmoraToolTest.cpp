// End-to-end tests of the velmora command on generated files.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>

#include "ToolTestSupport.h"

using namespace toolstest;

namespace {

void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }
bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The whitespace-separated words of a table row.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> result;
    std::istringstream in(line);
    for (std::string w; in >> w;) result.push_back(w);
    return result;
}

std::vector<std::string> firstWords(const std::string& line, std::size_t n) {
    auto w = words(line);
    w.resize(std::min(n, w.size()));
    return w;
}

bool bitIdentical(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

std::vector<float> channel(const Audio& audio, int c) {
    std::vector<float> out;
    for (std::size_t i = c; i < audio.samples.size(); i += audio.channels) out.push_back(audio.samples[i]);
    return out;
}

// The settings each of our plug-ins gets, once by name for velmora and
// once by index for the direct processing.
struct PluginCase {
    std::string plugin;
    std::vector<std::string> setArgs;
    std::vector<std::pair<int, float>> byIndex;
};

std::vector<PluginCase> ourPlugins() {
    return {
        {"VelmoraGater",
         {"--set", "Steps=0.2", "--set", "tempo=0.5", "--set", "Edge=0.05", "--set", "Step 2=0", "--set", "step3=0.5"},
         {{0, 0.2f}, {1, 0.5f}, {2, 0.05f}, {4, 0.0f}, {5, 0.5f}}},
        {"VelmoraTremolo",
         {"--set", "Waveform=0.1", "--set", "Tempo=0.8", "--set", "p-width=0.3", "--set", "3=0.7"},
         {{0, 0.1f}, {1, 0.8f}, {2, 0.3f}, {3, 0.7f}}},
    };
}

class VelmoraTool : public ::testing::Test {
protected:
    ScratchDir dir;
    fs::path input = dir / "in.wav";
    fs::path output = dir / "out.wav";

    void SetUp() override { writeAudio(input, testSignal(2, 44100, 4000)); }

    std::vector<std::string> renderArgs(const std::string& plugin, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"render", plugin, input.string(), output.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};

void expectOneLineError(const RunResult& run, const std::string& fragment) {
    EXPECT_NE(run.exitCode, 0);
    const auto errLines = lines(run.err);
    ASSERT_EQ(errLines.size(), 1u) << run.err;
    EXPECT_EQ(errLines[0].rfind("velmora: error: ", 0), 0u) << errLines[0];
    EXPECT_NE(errLines[0].find(fragment), std::string::npos) << errLines[0];
}

}  // namespace

TEST_F(VelmoraTool, RenderIsBitExactWithProcessingThroughTheHostLibrary) {
    const Audio stereo = testSignal(2, 44100, 66150);
    writeAudio(input, stereo);
    for (const PluginCase& c : ourPlugins()) {
        if (!pluginBuilt(c.plugin)) continue;
        for (int blockSize : {1, 97, 4096}) {
            SCOPED_TRACE(c.plugin + " block size " + std::to_string(blockSize));
            auto args = renderArgs(c.plugin, c.setArgs);
            args.insert(args.end(), {"--block-size", std::to_string(blockSize), "--force"});
            const RunResult run = runVelmora(args);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const Audio rendered = readAudio(output);
            EXPECT_EQ(rendered.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
            EXPECT_EQ(rendered.channels, 2);
            EXPECT_EQ(rendered.sampleRate, 44100);
            const auto [left, right] = processDirectly(pluginPath(c.plugin), stereo, blockSize, c.byIndex);
            EXPECT_TRUE(bitIdentical(channel(rendered, 0), left));
            EXPECT_TRUE(bitIdentical(channel(rendered, 1), right));
        }
    }
}

TEST_F(VelmoraTool, MonoFileGoesThroughBothChannelsAndComesBackMono) {
    if (!pluginBuilt("VelmoraGater")) GTEST_SKIP() << "VelmoraGater not built";
    const Audio mono = testSignal(1, 48000, 30000);
    writeAudio(input, mono);
    const PluginCase gater = ourPlugins()[0];
    const RunResult run = runVelmora(renderArgs("VelmoraGater", gater.setArgs));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio rendered = readAudio(output);
    EXPECT_EQ(rendered.channels, 1);
    EXPECT_EQ(rendered.sampleRate, 48000);
    const auto [left, right] = processDirectly(pluginPath("VelmoraGater"), mono, 512, gater.byIndex);
    EXPECT_TRUE(bitIdentical(rendered.samples, left));
}

TEST_F(VelmoraTool, ParameterNamesIgnoreCaseAndPaddingAndTheLogShowsThePluginsDisplay) {
    if (!pluginBuilt("VelmoraGater")) GTEST_SKIP() << "VelmoraGater not built";
    const RunResult run =
        runVelmora(renderArgs("VelmoraGater", {"--set", "Tempo=0.27272728", "--set", "\"Step 1\"=0.5", "--set",
                                               "STEP2=0.25", "--set", " step 3 =0", "--set", "6=1", "--program", "3"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 7u) << run.out;
    EXPECT_EQ(out[0], "Program = 3 -> \"Init\"");
    EXPECT_EQ(out[1], "Tempo = 0.272727 -> 120 BPM");
    EXPECT_TRUE(startsWith(out[2], "Step 1 = 0.5 -> -6.0") && endsWith(out[2], " dB")) << out[2];
    EXPECT_TRUE(startsWith(out[3], "Step 2 = 0.25 -> -12.0") && endsWith(out[3], " dB")) << out[3];
    EXPECT_EQ(out[4], "Step 3 = 0 -> -oo dB");
    EXPECT_TRUE(startsWith(out[5], "Step 4 = 1 -> 0") && endsWith(out[5], " dB")) << out[5];
    EXPECT_EQ(out[6].rfind("wrote " + output.string() + " (4000 frames", 0), 0u) << out[6];
}

TEST_F(VelmoraTool, EveryFailureIsOneLineAndANonZeroExitAndWritesNothing) {
    writeText(dir / "notaudio.wav", "just text\n");
    writeText(dir / "text.so", "not a library\n");
    writeAudio(dir / "three.wav", testSignal(3, 44100, 100));
    const std::string fixture = fixturePath("plain");
    const std::string in = input.string(), out = output.string();
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"render", (dir / "missing.so").string(), in, out}, "cannot load plug-in"},
        {{"render", (dir / "text.so").string(), in, out}, "cannot load plug-in"},
        {{"render", fixturePath("no_entry"), in, out}, "cannot load plug-in"},
        {{"render", fixturePath("null_entry"), in, out}, "cannot load plug-in"},
        {{"render", fixturePath("bad_magic"), in, out}, "cannot load plug-in"},
        {{"render", "NoSuchPlugin", in, out}, "plug-in 'NoSuchPlugin' not found"},
        {{"render", fixturePath("one_output"), in, out}, "has 1 output; velmora needs at least 2"},
        {{"render", fixture, in, out, "--set", "Volume=1"}, "unknown parameter 'Volume'; valid names: \"Gain\""},
        {{"render", fixture, in, out, "--set", "Gain=loud"}, "'Gain' shows 0.00 to 4.00 x; 'loud' is not one of them"},
        {{"render", fixture, in, out, "--set", "Gain=nan"}, "is not a number"},
        {{"render", fixture, in, out, "--set", "Gain=1.5"}, "outside 0..1"},
        {{"render", fixture, in, out, "--set", "Gain"}, "is not NAME=VALUE"},
        {{"render", fixture, in, out, "--set", "1=0.5"}, "parameter index 1 is out of range"},
        {{"render", fixture, in, out, "--program", "2"},
         "program 2 is out of range (the plug-in has 2 programs: 0..1)"},
        {{"render", fixture, in, out, "--program", "x"}, "--program"},
        {{"render", fixture, (dir / "missing.wav").string(), out}, "no such file"},
        {{"render", fixture, (dir / "notaudio.wav").string(), out}, "as an audio file"},
        {{"render", fixture, (dir / "three.wav").string(), out}, "has 3 channels; velmora renders mono and stereo"},
        {{"render", fixture, in, (dir / "out.mp3").string()}, "unknown output format '.mp3'"},
        {{"render", fixture, in, out, "--block-size", "0"}, "--block-size"},
        {{"render", fixture, in}, "give INPUT and OUTPUT, or several INPUTs with --output-dir DIR (got 1 file name)"},
        {{"curve", fixture, (dir / "out.txt").string()}, "unknown curve format '.txt'"},
        {{"info", fixturePath("bad_magic")}, "cannot load plug-in"},
        {{"frobnicate"}, "frobnicate"},
    };
    const auto before = dir.entries();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.message);
        expectOneLineError(runVelmora(c.args), c.message);
        EXPECT_EQ(dir.entries(), before);
    }
}

TEST_F(VelmoraTool, OutputEqualToInputIsRefusedEvenWithForce) {
    const std::string original = readText(input);
    expectOneLineError(runVelmora({"render", fixturePath("plain"), input.string(), input.string(), "--force"}),
                       "is the same file as INPUT");
    fs::create_hard_link(input, dir / "alias.wav");
    expectOneLineError(
        runVelmora({"render", fixturePath("plain"), input.string(), (dir / "alias.wav").string(), "--force"}),
        "is the same file as INPUT");
    EXPECT_EQ(readText(input), original);
}

TEST_F(VelmoraTool, ExistingOutputIsKeptUnlessForced) {
    writeText(output, "precious");
    expectOneLineError(runVelmora(renderArgs(fixturePath("plain"))), "exists; use --force");
    EXPECT_EQ(readText(output), "precious");
    const RunResult forced = runVelmora(renderArgs(fixturePath("plain"), {"--force"}));
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(readAudio(output).samples.size(), 8000u);
}

TEST_F(VelmoraTool, FailedRenderLeavesNoOutputAndNoTemporaryFile) {
    const RunResult run =
        runVelmora(renderArgs(fixturePath("plain"), {"--block-size", "100"}), {{"VELMORA_TEST_FAULT", "error@1000"}});
    expectOneLineError(run, "test fault");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});

    // A forced overwrite that fails keeps the old OUTPUT whole.
    writeText(output, "precious");
    runVelmora(renderArgs(fixturePath("plain"), {"--force", "--block-size", "100"}),
               {{"VELMORA_TEST_FAULT", "error@1000"}});
    EXPECT_EQ(readText(output), "precious");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(VelmoraTool, KilledRenderLeavesNoOutputAndNoTemporaryFile) {
    const RunResult run =
        runVelmora(renderArgs(fixturePath("plain"), {"--block-size", "100"}), {{"VELMORA_TEST_FAULT", "signal@1000"}});
    EXPECT_EQ(run.signal, SIGTERM);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

TEST_F(VelmoraTool, PluginWithoutReplacingAccumulatesIntoSilence) {
    // The fixture only adds input x 0.5 into its outputs: anything but
    // zeroed buffers before each block would show up in the result.
    const Audio stereo = testSignal(2, 44100, 4000);
    const RunResult run = runVelmora(renderArgs(fixturePath("plain"), {"--block-size", "333"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio rendered = readAudio(output);
    ASSERT_EQ(rendered.samples.size(), stereo.samples.size());
    for (std::size_t i = 0; i < stereo.samples.size(); ++i)
        ASSERT_EQ(rendered.samples[i], stereo.samples[i] * 0.5f) << "sample " << i;
}

TEST_F(VelmoraTool, TailAddsSilentInputAfterTheFile) {
    writeAudio(input, testSignal(2, 8000, 1000));
    const RunResult run = runVelmora(renderArgs(fixturePath("plain"), {"--tail", "0.5"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio rendered = readAudio(output);
    EXPECT_EQ(rendered.samples.size(), 2u * (1000 + 4000));
    EXPECT_EQ(rendered.samples.back(), 0.0f);
}

TEST_F(VelmoraTool, IntegerOutputClipsAtFullScaleInsteadOfWrapping) {
    Audio loud{2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<float>(2000, 0.5f)};
    writeAudio(input, loud);
    output = dir / "out.flac";
    const RunResult run = runVelmora(renderArgs(fixturePath("plain"), {"--set", "gain=1"}));  // x4: 2.0
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio rendered = readAudio(output);
    EXPECT_EQ(rendered.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    for (float s : rendered.samples) ASSERT_GT(s, 0.99f);
}

TEST_F(VelmoraTool, InfoPrintsOurRecordAndEveryParameter) {
    if (!pluginBuilt("VelmoraGater")) GTEST_SKIP() << "VelmoraGater not built";
    const RunResult run = runVelmora({"info", "VelmoraGater"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto out = lines(run.out);
    auto has = [&](const std::string& line) { return std::find(out.begin(), out.end(), line) != out.end(); };
    EXPECT_TRUE(has("Identifier   'KvGt' (1266042740)")) << run.out;
    EXPECT_TRUE(has("Inputs       2"));
    EXPECT_TRUE(has("Outputs      2"));
    EXPECT_TRUE(has("Flags        CanMono CanReplacing (0x18)"));
    EXPECT_TRUE(has("Programs     16 (current 0: \"Init\")"));
    EXPECT_TRUE(has("Parameters   19"));
    // The table: one row per parameter, the last one Step 16.
    EXPECT_EQ(words(out[out.size() - 18]),
              (std::vector<std::string>{"1", "Tempo", "BPM", "0.272727", "120", "30", "to", "360", "BPM"}));
    EXPECT_EQ(firstWords(out.back(), 5), (std::vector<std::string>{"18", "Step", "16", "dB", "1.000000"}));
}

TEST_F(VelmoraTool, InfoReadsAThirdPartyPlugin) {
    std::vector<fs::path> candidates;
    if (fs::is_directory("/usr/lib/vst"))
        for (const auto& e : fs::directory_iterator("/usr/lib/vst"))
            if (e.path().extension() == ".so") candidates.push_back(e.path());
    if (candidates.empty()) GTEST_SKIP() << "no plug-ins in /usr/lib/vst";
    std::sort(candidates.begin(), candidates.end());
    const fs::path preferred = "/usr/lib/vst/MVerb-vst.so";
    const fs::path plugin = fs::exists(preferred) ? preferred : candidates.front();

    const RunResult run = runVelmora({"info", plugin.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto out = lines(run.out);
    ASSERT_GT(out.size(), 11u) << run.out;
    EXPECT_EQ(out[0], "Plug-in      " + plugin.string());
    EXPECT_EQ(out[2], "Magic        VstP (ok)");
    EXPECT_TRUE(startsWith(out[3], "Identifier   '") && out.at(3).substr(18, 3) == "' (" && endsWith(out[3], ")"))
        << out[3];
    ASSERT_TRUE(startsWith(out[6], "Outputs      ")) << out[6];
    EXPECT_GE(std::stoi(out[6].substr(13)), 1);
    ASSERT_TRUE(startsWith(out[9], "Parameters   ")) << out[9];
    const int params = std::stoi(out[9].substr(13));
    const auto header =
        std::find_if(out.begin(), out.end(), [](const std::string& l) { return startsWith(l, "Index"); });
    const int rows = header == out.end() ? 0 : static_cast<int>(out.end() - header - 1);
    EXPECT_EQ(rows, params);
    for (int i = 0; i < rows; ++i) EXPECT_EQ(firstWords(*(header + 1 + i), 1)[0], std::to_string(i));
}

TEST_F(VelmoraTool, CurveCsvIsTheGainAtEverySample) {
    const fs::path csv = dir / "gain.csv";
    const RunResult run = runVelmora({"curve", fixturePath("plain"), csv.string(), "--seconds", "0.01", "--sample-rate",
                                      "8000", "--block-size", "7"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = lines(readText(csv));
    ASSERT_EQ(rows.size(), 81u);
    EXPECT_EQ(rows[0], "time_s,gain_left,gain_right");
    EXPECT_EQ(rows[1], "0,0.5,0.5");
    EXPECT_EQ(rows[2], "0.000125,0.5,0.5");
    EXPECT_EQ(rows[80], "0.009875,0.5,0.5");
}

TEST_F(VelmoraTool, CurveFollowsTheGatePattern) {
    if (!pluginBuilt("VelmoraGater")) GTEST_SKIP() << "VelmoraGater not built";
    // Two steps of a sixteenth at 120 BPM (0.125 s each), hard edges, the second silent.
    const fs::path csv = dir / "gate.csv";
    const RunResult run = runVelmora({"curve", "VelmoraGater", csv.string(), "--seconds", "0.5", "--set",
                                      "Steps=0.0666667", "--set", "Edge=0", "--set", "Step 2=0"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = lines(readText(csv));
    ASSERT_EQ(rows.size(), 22051u);
    auto gainAt = [&](double seconds) { return rows[1 + static_cast<int>(seconds * 44100)]; };
    EXPECT_EQ(gainAt(0.06).substr(gainAt(0.06).find(',')), ",1,1");
    EXPECT_EQ(gainAt(0.19).substr(gainAt(0.19).find(',')), ",0,0");
    EXPECT_EQ(gainAt(0.31).substr(gainAt(0.31).find(',')), ",1,1");
}

TEST_F(VelmoraTool, CurvePlotsArePngOrSvgByExtension) {
    for (const std::string name : {"gain.png", "gain.svg"}) {
        const RunResult run = runVelmora({"curve", fixturePath("plain"), (dir / name).string(), "--seconds", "0.5"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    EXPECT_EQ(readText(dir / "gain.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    const std::string svg = readText(dir / "gain.svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_LT(svg.size(), 200000u);
}

TEST_F(VelmoraTool, DemoWritesItsFilesQuicklyAndRerunsOverThemOnlyWhenForced) {
    if (!pluginBuilt("VelmoraGater") || !pluginBuilt("VelmoraTremolo")) GTEST_SKIP() << "plug-ins not built";
    const fs::path out = dir / "out";
    fs::create_directories(out);
    writeText(out / "notes.txt", "mine");
    const auto start = std::chrono::steady_clock::now();
    const RunResult first = runVelmora({"demo", out.string()});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const auto listed = lines(first.out);
    EXPECT_EQ(listed.size(), 15u);  // the dry signal, then a WAV and a plot for each of 7 settings
    for (const std::string& line : listed) {
        const fs::path file = line.substr(0, line.find("  "));
        EXPECT_TRUE(fs::is_regular_file(file)) << line;
        EXPECT_EQ(file.parent_path(), out);
    }
    const std::string dry = readText(out / "input.wav");
    writeText(out / "input.wav", "a user's own input.wav");
    expectOneLineError(runVelmora({"demo", out.string()}), "input.wav' exists; use --force");
    EXPECT_EQ(readText(out / "input.wav"), "a user's own input.wav");
    const RunResult second = runVelmora({"demo", out.string(), "--quiet", "--force"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(readText(out / "input.wav"), dry);
    EXPECT_EQ(readText(out / "notes.txt"), "mine");
    EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(out), fs::directory_iterator())), 16u);
}
