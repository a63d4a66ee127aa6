#include "Render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "Commands.h"
#include "Console.h"
#include "Progress.h"
#include "SafeOutput.h"
#include "TempFiles.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

constexpr int chunkFrames = 1 << 16;

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

bool isStandardStream(const std::string& name) { return name == "-"; }

std::string channelText(int channels) { return channels == 1 ? "mono" : "stereo"; }

// One file of a render: where it comes from and where it goes.
struct FilePlan {
    std::string input;
    fs::path output;
};

// INPUT OUTPUT, or INPUT... into --output-dir, each under its own name
// (with --type's extension when given).
std::vector<FilePlan> planFiles(const RenderOptions& options) {
    const auto& files = options.files;
    if (options.outputDir.empty()) {
        if (files.size() != 2)
            throw ToolError("give INPUT and OUTPUT, or several INPUTs with --output-dir DIR (got " +
                            counted(static_cast<long long>(files.size()), "file name") + ")");
        return {{files[0], files[1]}};
    }
    std::vector<FilePlan> plans;
    for (const std::string& input : files) {
        if (isStandardStream(input)) throw ToolError("standard input ('-') cannot go to --output-dir; name OUTPUT");
        fs::path name = fs::path(input).filename();
        if (!options.type.empty()) name.replace_extension("." + options.type);
        const fs::path output = fs::path(options.outputDir) / name;
        for (const FilePlan& earlier : plans)
            if (earlier.output == output)
                throw ToolError("'" + earlier.input + "' and '" + input + "' would both be written to '" +
                                output.string() + "'");
        plans.push_back({input, output});
    }
    return plans;
}

// The name whose extension decides the output format.
fs::path formatName(const FilePlan& plan, const RenderOptions& options) {
    const bool toStdout = isStandardStream(plan.output.string());
    if (!options.type.empty() && !toStdout && textKey(plan.output.extension().string()) != textKey("." + options.type))
        throw ToolError("OUTPUT '" + plan.output.string() + "' does not end in ." + options.type + " (--type)");
    if (!options.type.empty()) return "output." + options.type;
    if (toStdout) throw ToolError("writing to standard output ('-') needs --type");
    return plan.output;
}

std::unique_ptr<AudioReader> openInput(const std::string& input) {
    if (isStandardStream(input)) return std::make_unique<AudioReader>(spoolStandardInput(), "standard input");
    return std::make_unique<AudioReader>(input);
}

void checkInput(const AudioReader& reader, const std::string& input) {
    if (reader.channels() < 1 || reader.channels() > 2)
        throw ToolError("'" + input + "' has " + std::to_string(reader.channels()) +
                        " channels; velmora renders mono and stereo files only");
    if (reader.sampleRate() <= 0) throw ToolError("'" + input + "' has no valid sample rate");
}

// The plug-ins of the chain, each opened once and given a fresh instance
// for every file.
struct LoadedLink {
    std::string path;
    std::shared_ptr<host::PluginLibrary> library;
    PluginSettings settings;
};

std::vector<LoadedLink> loadChain(const RenderOptions& options, const fs::path& pluginDir) {
    std::vector<ChainLink> links{{options.plugin, options.settings}};
    links.insert(links.end(), options.then.begin(), options.then.end());
    std::vector<LoadedLink> chain;
    chain.reserve(links.size());
    for (const ChainLink& link : links)
        chain.push_back({resolvePlugin(link.plugin, pluginDir), nullptr, link.settings});
    for (LoadedLink& link : chain) link.library = openPluginLibrary(link.path);
    return chain;
}

std::string renderSummary(const fs::path& output, std::int64_t frames, int channels, int rate,
                          const OutputFormat& format) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(frames) / rate);
    const std::string name = isStandardStream(output.string()) ? "standard output" : output.string();
    return "wrote " + name + " (" + counted(frames, "frame") + ", " + seconds + " s, " + channelText(channels) + ", " +
           std::to_string(rate) + " Hz, " + format.description + ")";
}

std::string clippedText(std::int64_t clipped, const fs::path& output) {
    return counted(clipped, "sample") + (clipped == 1 ? " was" : " were") + " beyond full scale and clipped in '" +
           output.string() + "' (lower the level, or write --bits float to a WAV)";
}

void renderOne(const FilePlan& plan, const std::vector<LoadedLink>& chain, const RenderOptions& options,
               bool logSettings) {
    const auto reader = openInput(plan.input);
    checkInput(*reader, plan.input);
    const fs::path inputPath = plan.input;
    checkOutputPath(plan.output, options.force, isStandardStream(plan.input) ? nullptr : &inputPath);
    const int channels = options.monoOut ? 1 : options.stereoOut ? 2 : reader->channels();
    const std::int64_t tailFrames = std::llround(options.tailSeconds * reader->sampleRate());
    // libsndfile reports a huge count for streams of unknown length.
    const bool lengthKnown = reader->frames() >= 0 && reader->frames() < (std::int64_t{1} << 50);
    OutputFormat format = outputFormatFor(formatName(plan, options), parseSampleDepth(options.bits), reader->format());
    checkOutputFormat(format, plan.output, channels, reader->sampleRate());
    format = sizedFor(format, lengthKnown ? reader->frames() + tailFrames : -1, channels);

    std::vector<std::unique_ptr<host::PluginInstance>> instances;
    FileRenderJob job;
    for (const LoadedLink& link : chain) {
        instances.push_back(loadPlugin(link.library));
        requireStereoOutputs(*instances.back(), link.path);
        job.chain.push_back({instances.back().get(), pluginDisplayName(link.path), link.settings});
    }
    job.blockSize = options.blockSize;
    job.sampleRate = reader->sampleRate();
    job.channels = channels;
    job.tailFrames = tailFrames;
    job.expectedFrames = lengthKnown ? reader->frames() : 0;
    job.output = plan.output;
    job.format = format;
    job.tags = reader->tags();
    job.overwrite = options.force;
    const bool named = chain.size() > 1;
    job.onConfigured = [&](const RenderStage& stage, const std::vector<AppliedSetting>& applied) {
        if (!logSettings) return;
        for (const auto& setting : applied) say((named ? stage.name + ": " : "") + describe(setting));
    };

    FileSource source(*reader);
    const std::int64_t announced = reader->announcedFrames();
    job.beforeCommit = [&] {
        if (source.framesRead() >= announced) return;
        const std::string cut = "'" + plan.input + "' ends after " + counted(source.framesRead(), "frame") +
                                " of the " + std::to_string(announced) + " its header announces";
        if (options.strict) throw ToolError(cut + " (--strict: nothing written)");
        warn(cut + "; rendered what is there");
    };
    const RenderResult result = renderToFile(source, job);
    for (auto& instance : instances) instance->close();
    if (result.clipped > 0) warn(clippedText(result.clipped, plan.output));
    say(renderSummary(plan.output, result.frames, channels, reader->sampleRate(), format));
}

}  // namespace

FileSource::FileSource(AudioReader& reader) : reader_(reader) {}

int FileSource::read(float* left, float* right, int frames) {
    const int channels = reader_.channels();
    if (position_ == available_) {
        chunk_.resize(static_cast<std::size_t>(chunkFrames) * channels);
        available_ = static_cast<std::size_t>(reader_.read(chunk_.data(), chunkFrames));
        position_ = 0;
        if (available_ == 0) return 0;
    }
    const int n = static_cast<int>(std::min<std::size_t>(frames, available_ - position_));
    const float* in = chunk_.data() + position_ * channels;
    for (int i = 0; i < n; ++i) {
        left[i] = in[static_cast<std::size_t>(i) * channels];
        right[i] = channels == 1 ? left[i] : in[static_cast<std::size_t>(i) * channels + 1];
    }
    position_ += static_cast<std::size_t>(n);
    framesRead_ += n;
    return n;
}

RenderResult renderToFile(AudioSource& source, const FileRenderJob& job) {
    std::vector<host::PluginInstance*> plugins;
    plugins.reserve(job.chain.size());
    for (const RenderStage& stage : job.chain) plugins.push_back(stage.plugin);
    BlockRunner runner(plugins, job.blockSize);
    runner.prepare(static_cast<float>(job.sampleRate));
    for (const RenderStage& stage : job.chain) {
        const auto applied = applySettings(*stage.plugin, stage.settings);
        if (job.onConfigured) job.onConfigured(stage, applied);
    }

    SafeOutput output(job.output, job.overwrite);
    AudioWriter writer(output.fd(), job.output, job.format, job.channels, job.sampleRate, job.tags);
    FileSink sink(writer, job.channels);
    Progress progress("rendering " + job.output.filename().string(), job.expectedFrames + job.tailFrames,
                      job.sampleRate);

    runner.start();
    RenderResult result;
    result.frames = runner.run(source, sink, job.tailFrames, &progress);
    runner.stop();
    progress.finish();
    writer.close();
    result.clipped = writer.clippedSamples();
    if (job.beforeCommit) job.beforeCommit();
    output.commit();
    return result;
}

void runRender(const RenderOptions& options, const fs::path& pluginDir) {
    if (!std::isfinite(options.tailSeconds) || options.tailSeconds < 0.0 || options.tailSeconds > 3600.0)
        throw ToolError("--tail must be from 0 to 3600 seconds");
    if (!options.bits.empty() && !parseSampleDepth(options.bits))
        throw ToolError("--bits must be 16, 24, 32 or float, not '" + options.bits + "'");
    if (options.monoOut && options.stereoOut) throw ToolError("--mono-out and --stereo-out exclude each other");
    const std::vector<FilePlan> plans = planFiles(options);
    for (const FilePlan& plan : plans) {
        outputFormatFor(formatName(plan, options), parseSampleDepth(options.bits), 0);
        if (isStandardStream(plan.output.string())) setLogToStderr(true);
        const fs::path input = plan.input;
        checkOutputPath(plan.output, options.force, isStandardStream(plan.input) ? nullptr : &input);
    }
    if (!options.outputDir.empty() && !fs::is_directory(options.outputDir))
        throw ToolError("the output folder '" + options.outputDir + "' does not exist");
    const std::vector<LoadedLink> chain = loadChain(options, pluginDir);
    for (std::size_t i = 0; i < plans.size(); ++i) renderOne(plans[i], chain, options, i == 0);
}

}  // namespace velmora::tool
