// Rendering a source through a chain of plug-ins into an audio file,
// shared by `velmora render` and `velmora demo`.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "AudioFile.h"
#include "BlockRunner.h"
#include "PluginSetup.h"

namespace velmora::tool {

struct RenderStage {
    host::PluginInstance* plugin;
    std::string name;  // for the log
    PluginSettings settings;
};

struct FileRenderJob {
    std::vector<RenderStage> chain;
    int blockSize = 512;
    int sampleRate = 44100;
    int channels = 2;  // of the output file: 1 (the mix of the pair) or 2
    std::int64_t tailFrames = 0;
    std::int64_t expectedFrames = 0;  // for the progress bar; 0 when unknown
    std::filesystem::path output;
    OutputFormat format;
    AudioTags tags;
    bool overwrite = false;
    // Called with each plug-in's settings as applied.
    std::function<void(const RenderStage&, const std::vector<AppliedSetting>&)> onConfigured;
    // Called when the audio is complete, before the file is put in place;
    // throws to keep it from being written.
    std::function<void()> beforeCommit;
};

struct RenderResult {
    std::int64_t frames = 0;   // written
    std::int64_t clipped = 0;  // samples beyond full scale, clipped
};

// Runs the whole call sequence on the chain and writes OUTPUT through a
// temporary file.
RenderResult renderToFile(AudioSource& source, const FileRenderJob& job);

// Reads an audio file in large chunks and hands it out in blocks; a mono
// file feeds both channels.
class FileSource : public AudioSource {
public:
    explicit FileSource(AudioReader& reader);
    int read(float* left, float* right, int frames) override;
    std::int64_t framesRead() const noexcept { return framesRead_; }

private:
    AudioReader& reader_;
    std::vector<float> chunk_;
    std::size_t position_ = 0, available_ = 0;  // in frames
    std::int64_t framesRead_ = 0;
};

}  // namespace velmora::tool
