// Rendering a source through a plug-in into an audio file, shared by
// `velmora render` and `velmora demo`.
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

struct FileRenderJob {
    PluginSettings settings;
    int blockSize = 512;
    int sampleRate = 44100;
    int channels = 2;  // of the output file: 1 (the mix of the pair) or 2
    std::int64_t tailFrames = 0;
    std::int64_t expectedFrames = 0;  // for the progress bar; 0 when unknown
    std::filesystem::path output;
    OutputFormat format;
    bool overwrite = false;
    std::function<void(const std::vector<AppliedSetting>&)> onConfigured;
};

// Runs the whole call sequence on `plugin` and writes OUTPUT through a
// temporary file. Returns the frames written.
std::int64_t renderToFile(host::PluginInstance& plugin, AudioSource& source, const FileRenderJob& job);

}  // namespace velmora::tool
