// `velmora demo`: renders a signal made in code through both Velmora
// plug-ins with a handful of musically different settings and writes the
// audio and the gain curves into one folder.
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "AudioFile.h"
#include "Commands.h"
#include "Console.h"
#include "Curve.h"
#include "DemoSignal.h"
#include "Render.h"
#include "SafeOutput.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

constexpr double demoSeconds = 4.0;
constexpr double curveSeconds = 2.0;
constexpr int demoRate = 44100;

struct DemoRender {
    const char* plugin;  // file name without ".so"
    const char* name;    // output files NAME.wav and NAME.png
    const char* what;
    std::vector<std::string> settings;
};

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// Normalised values of the plug-ins' parameters.
std::string tempo(double bpm) { return "Tempo=" + number((bpm - 30.0) / 330.0); }
std::string gateSteps(int steps) { return "Steps=" + number((steps - 1) / 15.0); }

std::vector<std::string> gatePattern(std::vector<double> gains) {
    std::vector<std::string> settings;
    for (std::size_t i = 0; i < gains.size(); ++i)
        settings.push_back("Step " + std::to_string(i + 1) + "=" + number(gains[i]));
    return settings;
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<DemoRender> demoRenders() {
    return {
        {"VelmoraGater", "gater-16-step-pattern",
         "16-step pattern with accents and four silent steps, 120 BPM, edge 10 %",
         join({gateSteps(16), tempo(120), "Edge=0.1"},
              gatePattern({1, 0.35, 0.7, 0, 1, 0.35, 0, 0.7, 1, 0.35, 0.7, 0, 0.9, 0, 0.5, 0.25}))},
        {"VelmoraGater", "gater-hard-8-step", "hard 8-step on/off gate at edge 0, 120 BPM",
         join({gateSteps(8), tempo(120), "Edge=0"}, gatePattern({1, 0, 1, 0, 1, 1, 0, 1}))},
        {"VelmoraTremolo",
         "tremolo-square",
         "square wave, pulse width 30 %, 120 BPM",
         {"Waveform=0.1", tempo(120), "P-Width=0.3", "Level=1"}},
        {"VelmoraTremolo", "tremolo-triangle", "triangle wave, 120 BPM", {"Waveform=0.3", tempo(120), "Level=1"}},
        {"VelmoraTremolo", "tremolo-sine", "sine wave, 240 BPM", {"Waveform=0.5", tempo(240), "Level=1"}},
        {"VelmoraTremolo", "tremolo-saw-down", "saw down, 120 BPM", {"Waveform=0.7", tempo(120), "Level=1"}},
        {"VelmoraTremolo", "tremolo-saw-up", "saw up, 90 BPM, level 0.8", {"Waveform=0.9", tempo(90), "Level=0.8"}},
    };
}

std::shared_ptr<host::PluginLibrary> demoPlugin(const fs::path& pluginDir, const std::string& name) {
    const fs::path path = pluginDir / (name + ".so");
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        throw ToolError(name + ".so not found in '" + pluginDir.string() +
                        "'; build the plug-ins first or give --plugin-dir");
    return openPluginLibrary(path.string());
}

void writeDrySignal(const DemoSignal& signal, const fs::path& path) {
    const OutputFormat format = outputFormatFor(path);
    SafeOutput output(path, true);
    AudioWriter writer(output.fd(), path, format, 2, signal.sampleRate);
    std::vector<float> interleaved(2 * signal.left.size());
    for (std::size_t i = 0; i < signal.left.size(); ++i) {
        interleaved[2 * i] = signal.left[i];
        interleaved[2 * i + 1] = signal.right[i];
    }
    writer.write(interleaved.data(), static_cast<int>(signal.left.size()));
    writer.close();
    output.commit();
}

}  // namespace

void runDemo(const DemoOptions& options, const fs::path& pluginDir) {
    const fs::path outDir = options.outDir.empty() ? fs::path("out") : fs::path(options.outDir);
    // Find both plug-ins before writing anything.
    const auto gater = demoPlugin(pluginDir, "VelmoraGater");
    const auto tremolo = demoPlugin(pluginDir, "VelmoraTremolo");

    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec || !fs::is_directory(outDir))
        throw ToolError("cannot create the folder '" + outDir.string() + "'" + (ec ? ": " + ec.message() : ""));

    const DemoSignal signal = makeDemoSignal(demoSeconds, demoRate);
    const fs::path dry = outDir / "input.wav";
    writeDrySignal(signal, dry);
    say(dry.string() + "  the dry test signal: A minor seventh chord with a noise burst, 4 s stereo");

    // The demo owns these file names: a re-run replaces its own earlier output.
    for (const DemoRender& render : demoRenders()) {
        const auto& library = std::string(render.plugin) == "VelmoraGater" ? gater : tremolo;
        PluginSettings settings;
        settings.assignments = render.settings;

        FileRenderJob job;
        job.settings = settings;
        job.sampleRate = signal.sampleRate;
        job.channels = 2;
        job.expectedFrames = static_cast<std::int64_t>(signal.left.size());
        job.output = outDir / (std::string(render.name) + ".wav");
        job.format = outputFormatFor(job.output);
        job.overwrite = true;
        {
            auto plugin = loadPlugin(library);
            requireStereoOutputs(*plugin, library->path());
            MemorySource source(signal);
            renderToFile(*plugin, source, job);
            plugin->close();
        }
        say(job.output.string() + "  " + render.plugin + ": " + render.what);

        CurveJob curve;
        curve.pluginName = render.plugin;
        curve.settings = settings;
        curve.seconds = curveSeconds;
        curve.sampleRate = signal.sampleRate;
        curve.output = outDir / (std::string(render.name) + ".png");
        curve.overwrite = true;
        {
            auto plugin = loadPlugin(library);
            writeCurve(*plugin, curve);
            plugin->close();
        }
        say(curve.output.string() + "  gain curve of " + render.name);
    }
}

}  // namespace velmora::tool
