// End-to-end tests of velmora as a user works with it: values in the
// plug-in's own terms, output formats, overwriting, damaged input, several
// files and streams, chains, progress, speed and help.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <csignal>
#include <cmath>
#include <fstream>
#include <map>
#include <thread>

#include "ToolTestSupport.h"

using namespace toolstest;

namespace {

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class DailyWork : public ::testing::Test {
protected:
    ScratchDir dir;
    fs::path input = dir / "in.wav";
    fs::path output = dir / "out.wav";
    std::string fixture = fixturePath("plain");

    void SetUp() override { writeAudio(input, testSignal(2, 44100, 4000)); }

    RunResult render(const std::string& plugin, std::vector<std::string> extra) {
        std::vector<std::string> args{"render", plugin, input.string(), output.string(), "--force"};
        args.insert(args.end(), extra.begin(), extra.end());
        return runVelmora(args);
    }
};

}  // namespace

TEST_F(DailyWork, SetTakesWhatThePluginShowsAndRefusesWhatItCannotShow) {
    if (!pluginBuilt("VelmoraGater") || !pluginBuilt("VelmoraTremolo")) GTEST_SKIP() << "plug-ins not built";
    const RunResult gater = render("VelmoraGater", {"--set", "tempo=128bpm", "--set", "step 2=-6dB", "--set",
                                                    "edge=30%", "--set", "steps==8", "--set", "Step 3=-oo dB"});
    ASSERT_EQ(gater.exitCode, 0) << gater.err;
    EXPECT_EQ(lines(gater.out)[0], "Tempo = 0.29697 -> 128 BPM");  // (128 - 30) / 330
    EXPECT_EQ(lines(gater.out)[1], "Step 2 = 0.501187 -> -6.00000 dB");
    EXPECT_EQ(lines(gater.out)[2], "Edge = 0.3 -> 30 percent");
    EXPECT_EQ(lines(gater.out)[3], "Steps = 0.466667 -> 8 1/16");
    EXPECT_EQ(lines(gater.out)[4], "Step 3 = 0 -> -oo dB");
    // A display that rounds to whole BPM: the middle of what shows 120, 120.0 itself.
    const RunResult tremolo = render("VelmoraTremolo", {"-s", "Waveform=saw up", "-s", "tempo=120bpm", "-s", "3=0.5"});
    ASSERT_EQ(tremolo.exitCode, 0) << tremolo.err;
    EXPECT_EQ(lines(tremolo.out)[0], "Waveform = 0.9 -> Saw up");
    EXPECT_EQ(lines(tremolo.out)[1], "Tempo = 0.272727 -> 120 BPM");

    const std::vector<std::pair<std::string, std::string>> refused = {
        {"tempo=400bpm", "'Tempo' shows 30 to 360 BPM; 400bpm is outside that"},
        {"waveform=noise", "'Waveform' shows Square, Triangle, Sine, Saw down, Saw up; 'noise' is not one of them"},
        {"tempo=120dB", "'Tempo' shows its values in BPM, not in dB; write --set \"Tempo==120\""},
        {"tempo=120", "the value 120 for 'Tempo' is outside 0..1: a bare number is the host value"},
    };
    for (const auto& [setting, message] : refused) {
        const RunResult run = render("VelmoraTremolo", {"--set", setting});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(contains(run.err, message)) << run.err;
    }
    const RunResult info = runVelmora({"info", "VelmoraTremolo"});
    EXPECT_TRUE(contains(info.out, "Square    Square, Triangle, Sine, Saw down, Saw up\n")) << info.out;
    EXPECT_TRUE(contains(info.out, "120       30 to 360 BPM\n")) << info.out;
}

TEST_F(DailyWork, AnyPluginsDisplayCanBeUsed) {
    const fs::path mverb = "/usr/lib/vst/MVerb-vst.so";
    if (!fs::exists(mverb)) GTEST_SKIP() << "no " << mverb;
    const RunResult run = render(mverb.string(), {"--set", "mix=25%", "--set", "size=5%"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(lines(run.out)[0], "Mix = 0.25 -> 25.000000 %");
    EXPECT_EQ(lines(run.out)[1], "Size = 0 -> 5.000000 %");
}

TEST_F(DailyWork, OutputDepthFollowsTheInputOrBitsAndRendersRepeatExactly) {
    Audio pcm16 = testSignal(2, 44100, 4000);
    pcm16.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeAudio(dir / "in16.wav", pcm16);
    auto formatOf = [&](std::vector<std::string> args) {
        const RunResult run = runVelmora(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return readAudio(args[3]).format;
    };
    const std::string in16 = (dir / "in16.wav").string(), out = output.string();
    EXPECT_EQ(formatOf({"render", fixture, in16, out, "-f"}), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(formatOf({"render", fixture, in16, out, "-f", "--bits", "24"}), SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(formatOf({"render", fixture, in16, out, "-f", "--bits", "float"}), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(formatOf({"render", fixture, input.string(), out, "-f"}), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(formatOf({"render", fixture, input.string(), (dir / "o.flac").string()}),
              SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_TRUE(contains(runVelmora({"render", fixture, in16, (dir / "x.flac").string(), "--bits", "32"}).err,
                         "FLAC holds 16 or 24 bits"));

    // Dithered to 16 bits: within one step of the exact value and not plain
    // rounding; silence (a value 16 bits hold exactly) stays silent.
    Audio quiet = testSignal(1, 44100, 4000);
    std::fill(quiet.samples.begin(), quiet.samples.begin() + 1000, 0.0f);
    writeAudio(input, quiet);
    ASSERT_EQ(render(fixture, {"--bits", "16"}).exitCode, 0);
    const Audio dithered = readAudio(output);
    int notRounded = 0;
    for (std::size_t i = 0; i < quiet.samples.size(); ++i) {
        const double exact = quiet.samples[i] * 0.5 * 32768.0, got = dithered.samples[i] * 32768.0;
        ASSERT_LE(std::fabs(got - exact), 1.5) << i;
        if (i < 1000) {
            ASSERT_EQ(got, 0.0) << i;
        }
        if (got != std::round(exact)) ++notRounded;
    }
    EXPECT_GT(notRounded, 500);

    // The same renders twice, more than a second apart (header time stamps
    // count seconds): the same bytes, float and dithered, WAV, AIFF and Ogg.
    const std::vector<std::pair<std::string, std::string>> renders = {
        {"float.wav", "float"}, {"float.aiff", "float"}, {"dithered.wav", "16"}, {"vorbis.ogg", ""}};
    for (const std::string copy : {"1-", "2-"}) {
        if (copy == "2-") std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        for (const auto& [name, bits] : renders) {
            std::vector<std::string> args{"render", fixture, input.string(), (dir / (copy + name)).string()};
            if (!bits.empty()) args.insert(args.end(), {"--bits", bits});
            ASSERT_EQ(runVelmora(args).exitCode, 0) << name;
        }
    }
    for (const auto& [name, bits] : renders)
        EXPECT_EQ(readBytes(dir / ("1-" + name)), readBytes(dir / ("2-" + name))) << name;
}

TEST_F(DailyWork, ForceFollowsLinksKeepsPermissionsAndHardLinksAndCleansUpAfterAKilledRender) {
    const fs::path target = dir / "target.wav", link = dir / "link.wav", second = dir / "second-name.wav";
    writeAudio(target, testSignal(2, 44100, 10));
    fs::permissions(target, fs::perms(0640));
    fs::create_symlink("target.wav", link);
    fs::create_hard_link(target, second);
    ASSERT_EQ(runVelmora({"render", fixture, input.string(), link.string(), "--force"}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readAudio(target).samples.size(), 8000u);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(fs::hard_link_count(target), 2u);
    EXPECT_EQ(readBytes(second), readBytes(target));

    // A temporary file whose writer was killed goes; one whose writer still
    // runs (and holds its lock) stays.
    const fs::path stale = dir / ".out.wav.velmora-Ab12Cd", live = dir / ".out.wav.velmora-Ef34Gh";
    std::ofstream(stale) << "left by a killed render";
    std::ofstream(live) << "being written";
    const int held = open(live.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ASSERT_EQ(render(fixture, {}).exitCode, 0);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    close(held);
}

TEST_F(DailyWork, CutShortInputIsAWarningOrWithStrictAnErrorThatWritesNothing) {
    Audio pcm16 = testSignal(2, 44100, 4000);
    pcm16.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeAudio(input, pcm16);
    fs::resize_file(input, 44 + 1000 * 4);  // the header, then 1000 of its 4000 frames
    const RunResult run = render(fixture, {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "velmora: warning: '" + input.string() +
                           "' ends after 1000 frames of the 4000 its header announces; rendered what is there\n");
    const RunResult strict = runVelmora({"render", fixture, input.string(), (dir / "strict.wav").string(), "--strict"});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_TRUE(contains(strict.err, "ends after 1000 frames of the 4000 its header announces (--strict"))
        << strict.err;
    EXPECT_FALSE(fs::exists(dir / "strict.wav"));

    // Clipping into an integer format is counted: 0.5 x 4, 2000 samples.
    writeAudio(input, Audio{2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<float>(2000, 0.5f)});
    const RunResult loud = render(fixture, {"--set", "gain=1", "--bits", "24"});
    EXPECT_TRUE(contains(loud.err, "warning: 2000 samples were beyond full scale and clipped in")) << loud.err;
}

TEST_F(DailyWork, SeveralFilesStandardStreamsTheListAndNamesInAnyCase) {
    // A folder on VST_PATH with the fixture as a plain file and as a bundle.
    const fs::path plugins = dir / "plugins";
    fs::create_directories(plugins / "Bundled.vst");
    fs::copy_file(fixture, plugins / "GainFixture.so");
    fs::copy_file(fixture, plugins / "Bundled.vst" / "Bundled.so");
    const std::map<std::string, std::string> env{{"VST_PATH", plugins.string()}};
    const RunResult list = runVelmora({"list"}, env);
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_TRUE(contains(list.out, "Bundled ")) << list.out;
    EXPECT_TRUE(contains(list.out, "GainFixture ")) << list.out;
    EXPECT_TRUE(
        contains(list.out, "'TlFx'      2       2        1           " + (plugins / "GainFixture.so").string()));

    fs::create_directories(dir / "done");
    writeAudio(dir / "second.wav", testSignal(1, 48000, 300));
    const RunResult many = runVelmora({"render", "gainfixture", input.string(), (dir / "second.wav").string(),
                                       "--output-dir", (dir / "done").string()},
                                      env);
    ASSERT_EQ(many.exitCode, 0) << many.err;
    EXPECT_EQ(readAudio(dir / "done" / "in.wav").samples.size(), 8000u);
    EXPECT_EQ(readAudio(dir / "done" / "second.wav").samples.size(), 300u);

    // Standard input to standard output: the bytes a file render writes.
    const fs::path flac = dir / "out.flac";
    ASSERT_EQ(runVelmora({"render", "BUNDLED", input.string(), flac.string(), "--type", "flac"}, env).exitCode, 0);
    const RunResult piped =
        runVelmora({"render", (plugins / "Bundled.vst").string(), "-", "-", "--type", "flac"}, {}, input);
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, readBytes(flac));
    EXPECT_TRUE(contains(piped.err, "wrote standard output (4000 frames"));
    EXPECT_TRUE(contains(runVelmora({"render", fixture, input.string(), "-"}).err,
                         "writing to standard output ('-') needs --type"));
    EXPECT_TRUE(contains(runVelmora({"render", fixture, input.string(), output.string(), "--type", "flac"}).err,
                         "does not end in .flac (--type)"));
}

TEST_F(DailyWork, ChainRendersThroughEachPluginWithItsOwnSettings) {
    // x0.5 (the fixture's default), then x2 (gain 0.5), then x4 (gain 1).
    const RunResult run =
        render(fixture, {"--then", fixture, "--set", "gain=0.5", "--then", fixturePath("plain"), "-s", "Gain=4.00x"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(lines(run.out)[0], "fixture_plain: Gain = 0.5 -> 2.00 x");
    EXPECT_EQ(lines(run.out)[1], "fixture_plain: Gain = 1 -> 4.00 x");
    const Audio in = readAudio(input), out = readAudio(output);
    ASSERT_EQ(out.samples.size(), in.samples.size());
    for (std::size_t i = 0; i < in.samples.size(); ++i) ASSERT_EQ(out.samples[i], in.samples[i] * 4.0f) << i;
}

TEST_F(DailyWork, ProgressFitsTheTerminalAndCtrlCWritesNothing) {
    // An hour of tail in blocks of 16 frames: some ten seconds of work, so
    // that the bar is still there when the test, on a busy machine, sees it.
    const RunResult run = runVelmoraOnTerminal(
        {"render", fixture, input.string(), output.string(), "--tail", "3600", "--block-size", "16"}, 50, " left",
        SIGINT);
    EXPECT_EQ(run.signal, SIGINT);
    const std::string bar = run.err.substr(0, run.err.find("velmora: interrupted"));
    std::size_t start = 0;
    for (std::size_t r; (r = bar.find('\r', start)) != std::string::npos; start = r + 1) {
        const std::string drawn = bar.substr(start, r - start);
        EXPECT_LE(drawn.substr(0, drawn.find('\033')).size(), 47u) << drawn;
    }
    EXPECT_TRUE(contains(bar, "x  ") && contains(bar, "%  0:0")) << bar;
    EXPECT_TRUE(contains(run.err, "velmora: interrupted; nothing was written to " + output.string())) << run.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

// How long one minute at block size 1 may take: 3 s (0.6 s measured; read
// and written block by block it took 5.7 s), 30 s where a sanitizer slows
// every call of velmora and the plug-in several times over.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::chrono::seconds kMinuteAtBlockSizeOne{30};
#else
constexpr std::chrono::seconds kMinuteAtBlockSizeOne{3};
#endif

TEST_F(DailyWork, SmallBlocksReadAndWriteInLargeChunks) {
    // One minute of stereo at block size 1: 2.6 million plug-in calls.
    writeAudio(input, testSignal(2, 44100, 44100 * 60));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(render(fixture, {"--block-size", "1"}).exitCode, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kMinuteAtBlockSizeOne);
}

TEST_F(DailyWork, HelpNamesTheProgramAndPointsAtTheCommandsHelp) {
    const RunResult help = runVelmora({"help", "render"});
    ASSERT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.out, "Usage: velmora render [OPTIONS] PLUGIN FILES...")) << help.out;
    EXPECT_TRUE(contains(help.out, "--block-size FRAMES=512")) << help.out;
    EXPECT_TRUE(contains(runVelmora({"render", "--help"}).out, "Usage: velmora render"));
    EXPECT_EQ(runVelmora({"render", fixture}).err, "velmora: error: FILES is required (see velmora help render)\n");
    EXPECT_EQ(
        runVelmora({"render", fixture, "-s", "gain=0", "a=1", "o.wav"}).err,
        "velmora: error: each --set takes one NAME=VALUE; write --set before 'a=1' too (see velmora help render)\n");

    // A mono file comes back mono unless --stereo-out; "1 frame".
    writeAudio(input, testSignal(1, 44100, 1));
    const RunResult stereo = render(fixture, {"--stereo-out"});
    EXPECT_TRUE(contains(stereo.out, "(1 frame, 0.000 s, stereo,")) << stereo.out;
    EXPECT_EQ(readAudio(output).channels, 2);
}
