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
#include "GaterDescription.h"
#include "TremoloDescription.h"
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

// A setting as the host value that stands for `plain` in the parameter's
// own terms (120 BPM, 16 steps, 30 %, the choice "Sine"), from the
// effect's description; "%.9g" gives that float back exactly.
std::string setting(const ParameterInfo& info, double plain) {
    return std::string(info.name) + "=" + number(hostValue(info, plain));
}

template <class Description>
std::string setting(typename Description::Parameter parameter, double plain) {
    return setting(Description::parameters[parameter], plain);
}

std::string tempo(double bpm) { return setting(kTempoParameter, bpm); }
std::string gateSteps(int steps) { return setting<GaterDescription>(GaterDescription::kSteps, steps); }
std::string gateEdge(double percent) { return setting<GaterDescription>(GaterDescription::kEdge, percent); }
std::string waveform(TremoloDescription::Choice choice) {
    return setting<TremoloDescription>(TremoloDescription::kWaveform, choice);
}
std::string pulseWidth(double percent) { return setting<TremoloDescription>(TremoloDescription::kPulseWidth, percent); }
std::string level(double gain) { return setting<TremoloDescription>(TremoloDescription::kLevel, gain); }

// The gains of steps 1, 2, ... (linear).
std::vector<std::string> gatePattern(std::vector<double> gains) {
    std::vector<std::string> settings;
    for (std::size_t i = 0; i < gains.size(); ++i) {
        const auto step = GaterDescription::stepGainIndex(std::int32_t(i) + 1);
        settings.push_back(setting(GaterDescription::parameters[step], gains[i]));
    }
    return settings;
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<DemoRender> demoRenders() {
    using Wave = TremoloDescription::Choice;
    return {
        {"VelmoraGater", "gater-16-step-pattern",
         "16-step pattern with accents and four silent steps, 120 BPM, edge 10 %",
         join({gateSteps(16), tempo(120), gateEdge(10)},
              gatePattern({1, 0.35, 0.7, 0, 1, 0.35, 0, 0.7, 1, 0.35, 0.7, 0, 0.9, 0, 0.5, 0.25}))},
        {"VelmoraGater", "gater-hard-8-step", "hard 8-step on/off gate at edge 0, 120 BPM",
         join({gateSteps(8), tempo(120), gateEdge(0)}, gatePattern({1, 0, 1, 0, 1, 1, 0, 1}))},
        {"VelmoraTremolo",
         "tremolo-square",
         "square wave, pulse width 30 %, 120 BPM",
         {waveform(Wave::kSquare), tempo(120), pulseWidth(30), level(1)}},
        {"VelmoraTremolo",
         "tremolo-triangle",
         "triangle wave, 120 BPM",
         {waveform(Wave::kTriangle), tempo(120), level(1)}},
        {"VelmoraTremolo", "tremolo-sine", "sine wave, 240 BPM", {waveform(Wave::kSine), tempo(240), level(1)}},
        {"VelmoraTremolo", "tremolo-saw-down", "saw down, 120 BPM", {waveform(Wave::kSawDown), tempo(120), level(1)}},
        {"VelmoraTremolo",
         "tremolo-saw-up",
         "saw up, 90 BPM, level 0.8",
         {waveform(Wave::kSawUp), tempo(90), level(0.8)}},
    };
}

// Every file the demo writes into `outDir`, the dry signal first.
std::vector<fs::path> demoFiles(const fs::path& outDir) {
    std::vector<fs::path> files{outDir / "input.wav"};
    for (const DemoRender& render : demoRenders()) {
        files.push_back(outDir / (std::string(render.name) + ".wav"));
        files.push_back(outDir / (std::string(render.name) + ".png"));
    }
    return files;
}

std::shared_ptr<host::PluginLibrary> demoPlugin(const fs::path& pluginDir, const std::string& name) {
    return openPluginLibrary(resolvePlugin(name, pluginDir));
}

void writeDrySignal(const DemoSignal& signal, const fs::path& path, bool overwrite) {
    const OutputFormat format = outputFormatFor(path, std::nullopt, 0);
    SafeOutput output(path, overwrite);
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
    // Find both plug-ins and check every file name before writing anything.
    const auto gater = demoPlugin(pluginDir, "VelmoraGater");
    const auto tremolo = demoPlugin(pluginDir, "VelmoraTremolo");
    for (const fs::path& file : demoFiles(outDir)) checkOutputPath(file, options.force);

    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec || !fs::is_directory(outDir))
        throw ToolError("cannot create the folder '" + outDir.string() + "'" + (ec ? ": " + ec.message() : ""));

    const DemoSignal signal = makeDemoSignal(demoSeconds, demoRate);
    const fs::path dry = outDir / "input.wav";
    writeDrySignal(signal, dry, options.force);
    say(dry.string() + "  the dry test signal: A minor seventh chord with a noise burst, 4 s stereo");

    for (const DemoRender& render : demoRenders()) {
        const auto& library = std::string(render.plugin) == "VelmoraGater" ? gater : tremolo;
        PluginSettings settings;
        settings.assignments = render.settings;
        const fs::path wav = outDir / (std::string(render.name) + ".wav");
        {
            auto plugin = loadPlugin(library);
            requireStereoOutputs(*plugin, library->path());
            FileRenderJob job;
            job.chain = {{plugin.get(), render.plugin, settings}};
            job.sampleRate = signal.sampleRate;
            job.channels = 2;
            job.expectedFrames = static_cast<std::int64_t>(signal.left.size());
            job.output = wav;
            job.format = outputFormatFor(wav, std::nullopt, 0);
            job.overwrite = options.force;
            MemorySource source(signal);
            renderToFile(source, job);
            plugin->close();
        }
        say(wav.string() + "  " + render.plugin + ": " + render.what);

        CurveJob curve;
        curve.pluginName = render.plugin;
        curve.settings = settings;
        curve.seconds = curveSeconds;
        curve.sampleRate = signal.sampleRate;
        curve.output = outDir / (std::string(render.name) + ".png");
        curve.overwrite = options.force;
        {
            auto plugin = loadPlugin(library);
            writeCurve(*plugin, curve);
            plugin->close();
        }
        say(curve.output.string() + "  gain curve of " + render.name);
    }
}

}  // namespace velmora::tool
