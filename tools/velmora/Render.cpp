#include "Render.h"

#include <cmath>
#include <cstdio>

#include "Commands.h"
#include "Console.h"
#include "Progress.h"
#include "SafeOutput.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

// Reads an audio file block by block; a mono file feeds both channels.
class FileSource : public AudioSource {
public:
    explicit FileSource(AudioReader& reader) : reader_(reader) {}
    int read(float* left, float* right, int frames) override {
        const int channels = reader_.channels();
        buffer_.resize(static_cast<std::size_t>(frames) * channels);
        const int n = reader_.read(buffer_.data(), frames);
        for (int i = 0; i < n; ++i) {
            left[i] = buffer_[static_cast<std::size_t>(i) * channels];
            right[i] = channels == 1 ? left[i] : buffer_[static_cast<std::size_t>(i) * channels + 1];
        }
        return n;
    }

private:
    AudioReader& reader_;
    std::vector<float> buffer_;
};

// Writes the output pair to a file; a mono file gets the mean of the pair,
// which is either channel exactly when the plug-in treats both alike.
class FileSink : public AudioSink {
public:
    FileSink(AudioWriter& writer, int channels) : writer_(writer), channels_(channels) {}
    void write(const float* left, const float* right, int frames) override {
        buffer_.resize(static_cast<std::size_t>(frames) * channels_);
        for (int i = 0; i < frames; ++i) {
            if (channels_ == 1) {
                buffer_[i] = static_cast<float>((double(left[i]) + double(right[i])) * 0.5);
            } else {
                buffer_[2 * static_cast<std::size_t>(i)] = left[i];
                buffer_[2 * static_cast<std::size_t>(i) + 1] = right[i];
            }
        }
        writer_.write(buffer_.data(), frames);
    }

private:
    AudioWriter& writer_;
    int channels_;
    std::vector<float> buffer_;
};

std::string channelText(int channels) { return channels == 1 ? "mono" : "stereo"; }

}  // namespace

std::int64_t renderToFile(host::PluginInstance& plugin, AudioSource& source, const FileRenderJob& job) {
    BlockRunner runner(plugin, job.blockSize);
    runner.prepare(static_cast<float>(job.sampleRate));
    const auto applied = applySettings(plugin, job.settings);
    if (job.onConfigured) job.onConfigured(applied);

    SafeOutput output(job.output, job.overwrite);
    AudioWriter writer(output.fd(), job.output, job.format, job.channels, job.sampleRate);
    FileSink sink(writer, job.channels);
    Progress progress("rendering " + job.output.filename().string(), job.expectedFrames + job.tailFrames);

    runner.start();
    const std::int64_t frames = runner.run(source, sink, job.tailFrames, &progress);
    runner.stop();
    progress.finish();
    writer.close();
    output.commit();
    return frames;
}

void runRender(const RenderOptions& options, const fs::path& pluginDir) {
    const std::string pluginPath = resolvePlugin(options.plugin, pluginDir);
    const fs::path input = options.input;
    const fs::path outputPath = options.output;
    OutputFormat format = outputFormatFor(outputPath);
    if (!std::isfinite(options.tailSeconds) || options.tailSeconds < 0.0 || options.tailSeconds > 3600.0)
        throw ToolError("--tail must be from 0 to 3600 seconds");

    AudioReader reader(input);
    checkOutputPath(outputPath, options.force, &input);
    if (reader.channels() < 1 || reader.channels() > 2)
        throw ToolError("'" + input.string() + "' has " + std::to_string(reader.channels()) +
                        " channels; velmora renders mono and stereo files only");
    if (reader.sampleRate() <= 0) throw ToolError("'" + input.string() + "' has no valid sample rate");
    checkOutputFormat(format, outputPath, reader.channels(), reader.sampleRate());
    const std::int64_t tailFrames = std::llround(options.tailSeconds * reader.sampleRate());
    // libsndfile reports a huge count for streams of unknown length.
    const bool lengthKnown = reader.frames() >= 0 && reader.frames() < (std::int64_t{1} << 50);
    format = sizedFor(format, lengthKnown ? reader.frames() + tailFrames : -1, reader.channels());

    auto plugin = loadPlugin(pluginPath);
    requireStereoOutputs(*plugin, pluginPath);

    FileRenderJob job;
    job.settings = options.settings;
    job.blockSize = options.blockSize;
    job.sampleRate = reader.sampleRate();
    job.channels = reader.channels();
    job.tailFrames = tailFrames;
    job.expectedFrames = lengthKnown ? reader.frames() : 0;
    job.output = outputPath;
    job.format = format;
    job.overwrite = options.force;
    job.onConfigured = [](const std::vector<AppliedSetting>& applied) {
        for (const auto& setting : applied) say(describe(setting));
    };

    FileSource source(reader);
    const std::int64_t frames = renderToFile(*plugin, source, job);
    plugin->close();

    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(frames) / reader.sampleRate());
    say("wrote " + outputPath.string() + " (" + std::to_string(frames) + " frames, " + seconds + " s, " +
        channelText(reader.channels()) + ", " + std::to_string(reader.sampleRate()) + " Hz, " + format.description +
        ")");
}

}  // namespace velmora::tool
