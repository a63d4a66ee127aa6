// Loading and configuring a plug-in for one velmora command: the checks
// every command makes, and the --program / --set settings with their log
// lines.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PluginSearch.h"
#include "VstHost.h"

namespace velmora::tool {

// Loads the file, creates one instance and sends effOpen. Every host library
// failure becomes a ToolError naming the file.
std::unique_ptr<host::PluginInstance> loadPlugin(const std::string& path);
std::unique_ptr<host::PluginInstance> loadPlugin(const std::shared_ptr<host::PluginLibrary>& library);
std::shared_ptr<host::PluginLibrary> openPluginLibrary(const std::string& path);

// Rendering needs a stereo output pair; throws ToolError otherwise.
void requireStereoOutputs(host::PluginInstance& plugin, const std::string& path);

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

// Selects the program, then sets each parameter in the given order. A
// VALUE is one of:
//   a bare number        the host value, 0 to 1                 tempo=0.5
//   a number and a unit  what the display shows, in its unit    tempo=128bpm, "step 2=-6dB", edge=30%
//   a word               what the display shows                 waveform=sine
//   =TEXT (NAME==TEXT)   what the display shows, unit optional  steps==16
// Throws ToolError for a program out of range, an unknown parameter
// (listing the valid names), a host value outside 0..1 or a display value
// the plug-in cannot show (stating the range it can).
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
