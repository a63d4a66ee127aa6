#include "Curve.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "BlockRunner.h"
#include "Commands.h"
#include "Console.h"
#include "Plot.h"
#include "Progress.h"
#include "SafeOutput.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

enum class CurveFormat { png, svg, csv };

CurveFormat curveFormatFor(const fs::path& output) {
    std::string ext = output.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".png") return CurveFormat::png;
    if (ext == ".svg") return CurveFormat::svg;
    if (ext == ".csv") return CurveFormat::csv;
    throw ToolError("cannot write '" + output.string() + "': unknown curve format '" + ext +
                    "' (use .png, .svg or .csv)");
}

class ConstantSource : public AudioSource {
public:
    explicit ConstantSource(std::int64_t frames) : left_(frames) {}
    int read(float* left, float* right, int frames) override {
        const int n = static_cast<int>(std::min<std::int64_t>(frames, left_));
        std::fill_n(left, n, 1.0f);
        std::fill_n(right, n, 1.0f);
        left_ -= n;
        return n;
    }

private:
    std::int64_t left_;
};

// Streams "time_s,gain_left,gain_right" rows into the output.
class CsvSink : public AudioSink {
public:
    CsvSink(SafeOutput& output, int sampleRate) : output_(output), sampleRate_(sampleRate) {
        text_ = "time_s,gain_left,gain_right\n";
    }
    void write(const float* left, const float* right, int frames) override {
        char row[96];
        for (int i = 0; i < frames; ++i, ++frame_) {
            const int n = std::snprintf(row, sizeof row, "%.9g,%.9g,%.9g\n", static_cast<double>(frame_) / sampleRate_,
                                        left[i], right[i]);
            text_.append(row, static_cast<std::size_t>(n));
        }
        if (text_.size() > 1 << 16) flush();
    }
    void flush() {
        output_.writeAll(text_.data(), text_.size());
        text_.clear();
    }

private:
    SafeOutput& output_;
    int sampleRate_;
    std::int64_t frame_ = 0;
    std::string text_;
};

// Keeps a few points per plot column of each channel.
class PlotSink : public AudioSink {
public:
    explicit PlotSink(std::int64_t frames) : left_(frames, plotColumns()), right_(frames, plotColumns()) {}
    void write(const float* left, const float* right, int frames) override {
        for (int i = 0; i < frames; ++i) {
            left_.add(left[i]);
            right_.add(right[i]);
            // Bit patterns, so NaN == NaN counts as alike.
            if (!differ_ && std::bit_cast<std::uint32_t>(left[i]) != std::bit_cast<std::uint32_t>(right[i]))
                differ_ = true;
        }
    }
    std::vector<PlotSeries> series(int sampleRate) {
        auto toSeries = [&](std::string name, SeriesDecimator& d) {
            PlotSeries s{std::move(name), {}};
            for (const auto& [frame, value] : d.finish())
                s.points.emplace_back(static_cast<double>(frame) / sampleRate, value);
            return s;
        };
        std::vector<PlotSeries> result;
        if (differ_) {
            result.push_back(toSeries("left", left_));
            result.push_back(toSeries("right", right_));
        } else {
            result.push_back(toSeries("gain", left_));
        }
        return result;
    }

private:
    SeriesDecimator left_, right_;
    bool differ_ = false;
};

}  // namespace

void checkCurveOutput(const fs::path& output) { curveFormatFor(output); }

std::vector<AppliedSetting> writeCurve(host::PluginInstance& plugin, const CurveJob& job) {
    const CurveFormat format = curveFormatFor(job.output);
    if (!std::isfinite(job.seconds) || job.seconds <= 0.0 || job.seconds > 3600.0)
        throw ToolError("--seconds must be above 0 and at most 3600");
    const std::int64_t frames = std::max<std::int64_t>(1, std::llround(job.seconds * job.sampleRate));

    BlockRunner runner(plugin, job.blockSize);
    runner.prepare(static_cast<float>(job.sampleRate));
    const auto applied = applySettings(plugin, job.settings);

    SafeOutput output(job.output, job.overwrite);
    ConstantSource source(frames);
    Progress progress("measuring " + job.output.filename().string(), frames, job.sampleRate);
    runner.start();
    if (format == CurveFormat::csv) {
        CsvSink sink(output, job.sampleRate);
        runner.run(source, sink, 0, &progress);
        runner.stop();
        sink.flush();
    } else {
        PlotSink sink(frames);
        runner.run(source, sink, 0, &progress);
        runner.stop();
        PlotData plot;
        plot.title = job.pluginName + ": gain over time";
        for (const auto& s : applied) plot.settings.push_back(s.name + " = " + s.display);
        plot.settings.push_back(std::to_string(job.sampleRate) + " Hz");
        plot.duration = static_cast<double>(frames) / job.sampleRate;
        plot.series = sink.series(job.sampleRate);
        drawPlot(plot, format == CurveFormat::svg ? PlotFormat::svg : PlotFormat::png,
                 [&](const unsigned char* data, unsigned size) { output.writeAll(data, size); });
    }
    progress.finish();
    output.commit();
    return applied;
}

void runCurve(const CurveOptions& options, const fs::path& pluginDir) {
    const std::string pluginPath = resolvePlugin(options.plugin, pluginDir);
    checkCurveOutput(options.output);
    checkOutputPath(options.output, options.force);
    if (!std::isfinite(options.sampleRate) || options.sampleRate < 1000.0 || options.sampleRate > 768000.0)
        throw ToolError("--sample-rate must be from 1000 to 768000");

    auto plugin = loadPlugin(pluginPath);
    requireStereoOutputs(*plugin, pluginPath);
    CurveJob job;
    job.pluginName = pluginDisplayName(pluginPath);
    job.settings = options.settings;
    job.seconds = options.seconds;
    job.sampleRate = static_cast<int>(std::lround(options.sampleRate));
    job.blockSize = options.blockSize;
    job.output = options.output;
    job.overwrite = options.force;
    const auto applied = writeCurve(*plugin, job);
    plugin->close();
    for (const auto& setting : applied) say(describe(setting));
    say("wrote " + options.output);
}

}  // namespace velmora::tool
