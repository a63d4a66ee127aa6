// The gain curve of a plug-in: a constant 1.0 fed through it, so each
// output sample is the gain applied at that moment. Written as a plot
// (PNG or SVG) or as CSV, by the output file's extension.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "VstHost.h"
#include "PluginSetup.h"

namespace velmora::tool {

struct CurveJob {
    std::string pluginName;  // for the title
    PluginSettings settings;
    double seconds = 2.0;
    int sampleRate = 44100;
    int blockSize = 512;
    std::filesystem::path output;
    bool overwrite = false;
};

// Throws ToolError for an extension other than .png, .svg and .csv.
void checkCurveOutput(const std::filesystem::path& output);

// Measures and writes the curve (through a temporary file). Returns the
// settings as applied.
std::vector<AppliedSetting> writeCurve(host::PluginInstance& plugin, const CurveJob& job);

}  // namespace velmora::tool
