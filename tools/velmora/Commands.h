// The velmora subcommands. Each returns normally on success and throws
// ToolError (or another exception) on failure.
#pragma once

#include <filesystem>
#include <string>

#include "PluginSetup.h"

namespace velmora::tool {

struct InfoOptions {
    std::string plugin;
};

struct RenderOptions {
    std::string plugin;
    std::string input;
    std::string output;
    PluginSettings settings;
    int blockSize = 512;
    double tailSeconds = 0.0;
    bool force = false;
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
};

void runInfo(const InfoOptions& options, const std::filesystem::path& pluginDir);
void runRender(const RenderOptions& options, const std::filesystem::path& pluginDir);
void runCurve(const CurveOptions& options, const std::filesystem::path& pluginDir);
void runDemo(const DemoOptions& options, const std::filesystem::path& pluginDir);

}  // namespace velmora::tool
