// Where velmora finds plug-ins: the folders it searches, the plug-in files
// and `.vst` bundle folders in them, and a name typed by the user resolved
// to one file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velmora::tool {

// <directory of the executable>/../plugins, where the build puts ours.
std::filesystem::path defaultPluginDir();

// The folders searched for a plug-in name, in order and without repeats:
// `pluginDir` (the build's plug-in folder unless --plugin-dir), each folder
// of $VST_PATH, ~/.vst, /usr/local/lib/vst, /usr/lib/vst, and the folder
// above the executable (an unpacked archive keeps the plug-ins there).
std::vector<std::filesystem::path> pluginSearchDirs(const std::filesystem::path& pluginDir);

// The plug-in files (*.so) and bundles (*.vst folders) directly in `dir`,
// sorted by name; nothing when the folder does not exist.
std::vector<std::filesystem::path> pluginCandidates(const std::filesystem::path& dir);

// The shared library to load for a plug-in file or a `.vst` bundle folder
// (the .so inside it: NAME.so, Contents/x86_64-linux/NAME.so, or its only
// .so). Throws ToolError for a bundle without one.
std::string pluginLibraryPath(const std::filesystem::path& candidate);

// A path (anything with a '/') is used as it is. A bare name is taken from
// the current directory when such a file or bundle exists there, else
// looked up as NAME, NAME.so or NAME.vst in the search folders, without
// regard to case. Throws ToolError when not found.
std::string resolvePlugin(const std::string& name, const std::filesystem::path& pluginDir);

// The plug-in's name for messages: the file name without ".so".
std::string pluginDisplayName(const std::string& path);

}  // namespace velmora::tool
