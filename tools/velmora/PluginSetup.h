// Finding, loading and configuring a plug-in for one velmora command:
// plug-in path resolution, the checks every command makes, and the
// --program / --set settings with their log lines.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "VstHost.h"

namespace velmora::tool {

// <directory of the executable>/../plugins, where the build puts ours.
std::filesystem::path defaultPluginDir();

// A path (anything with a '/') is used as it is. A bare name is taken from
// the current directory when such a file exists there, else looked up as
// NAME or NAME.so in `pluginDir`, then in $VST_PATH, ~/.vst,
// /usr/local/lib/vst and /usr/lib/vst. Throws ToolError when not found.
std::string resolvePlugin(const std::string& name, const std::filesystem::path& pluginDir);

// Loads the file, creates one instance and sends effOpen. Every host library
// failure becomes a ToolError naming the file.
std::unique_ptr<host::PluginInstance> loadPlugin(const std::string& path);
std::unique_ptr<host::PluginInstance> loadPlugin(std::shared_ptr<host::PluginLibrary> library);
std::shared_ptr<host::PluginLibrary> openPluginLibrary(const std::string& path);

// Rendering needs a stereo output pair; throws ToolError otherwise.
void requireStereoOutputs(host::PluginInstance& plugin, const std::string& path);

// The plug-in's name for messages: the file name without ".so".
std::string pluginDisplayName(const std::string& path);

struct PluginSettings {
    std::optional<int> program;
    std::vector<std::string> assignments;  // "NAME_OR_INDEX=VALUE"
};

// One setting as applied, for the log and for plot titles.
struct AppliedSetting {
    std::string name;     // "Tempo", "Program"
    std::string value;    // "0.272727", "3"
    std::string display;  // "120 BPM", "Init"
};

// Selects the program, then sets each parameter in the given order. Throws
// ToolError for a program out of range, an unknown parameter (listing the
// valid names) or a value that is not a number from 0 to 1.
std::vector<AppliedSetting> applySettings(host::PluginInstance& plugin, const PluginSettings& settings);

// The index of the parameter that `key` names: a whole number is an index;
// otherwise the name, case-insensitive and ignoring spaces, so " Step 1 "
// answers to "Step 1", "step 1" and "step1".
int findParameter(host::PluginInstance& plugin, const std::string& key);

// "Tempo = 0.272727 -> 120 BPM"
std::string describe(const AppliedSetting& setting);

// Display text and label of a parameter, trimmed and joined: "120 BPM".
std::string parameterDisplayText(host::PluginInstance& plugin, int index);

}  // namespace velmora::tool
