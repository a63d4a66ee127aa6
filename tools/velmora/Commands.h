// The velmora subcommands. Each returns normally on success and throws
// ToolError (or another exception) on failure.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "PluginSetup.h"

namespace velmora::tool {

struct InfoOptions {
    std::string plugin;
};

// One more plug-in of a render's chain: --then PLUGIN [--program N] [--set ...].
struct ChainLink {
    std::string plugin;
    PluginSettings settings;
};

struct RenderOptions {
    std::string plugin;
    PluginSettings settings;
    std::vector<ChainLink> then;
    std::vector<std::string> files;  // INPUT OUTPUT, or INPUT... with --output-dir
    std::string outputDir;
    std::string type;  // output format by extension, without the dot: "wav"
    std::string bits;  // "16", "24", "32", "float"; empty: the input's
    int blockSize = 512;
    double tailSeconds = 0.0;
    bool force = false;
    bool strict = false;
    bool monoOut = false;
    bool stereoOut = false;
};

struct CurveOptions {
    std::string plugin;
    std::string output;
    PluginSettings settings;
    double seconds = 2.0;
    double sampleRate = 44100.0;
    int blockSize = 512;
    bool force = false;
};

struct DemoOptions {
    std::string outDir = "out";
    bool force = false;
};

void runInfo(const InfoOptions& options, const std::filesystem::path& pluginDir);
void runList(const std::filesystem::path& pluginDir);
void runRender(const RenderOptions& options, const std::filesystem::path& pluginDir);
void runCurve(const CurveOptions& options, const std::filesystem::path& pluginDir);
void runDemo(const DemoOptions& options, const std::filesystem::path& pluginDir);

}  // namespace velmora::tool
