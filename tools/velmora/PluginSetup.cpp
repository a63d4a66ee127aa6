#include "PluginSetup.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "Console.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

std::string counted(int n, const char* noun) { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); }

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::vector<fs::path> searchDirs(const fs::path& pluginDir) {
    std::vector<fs::path> dirs{pluginDir};
    if (const char* vstPath = std::getenv("VST_PATH")) {
        std::string list = vstPath;
        std::size_t start = 0;
        while (start <= list.size()) {
            const auto end = std::min(list.find(':', start), list.size());
            if (end > start) dirs.emplace_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    if (const char* home = std::getenv("HOME")) dirs.push_back(fs::path(home) / ".vst");
    dirs.emplace_back("/usr/local/lib/vst");
    dirs.emplace_back("/usr/lib/vst");
    return dirs;
}

// Lower case without spaces: the form parameter names are compared in.
std::string nameKey(const std::string& text) {
    std::string key;
    for (unsigned char c : text)
        if (!std::isspace(c)) key.push_back(static_cast<char>(std::tolower(c)));
    return key;
}

std::string formatValue(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool parseWholeNumber(const std::string& text, int& out) {
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

float parseValue(const std::string& text, const std::string& name) {
    const std::string t = trimmed(text);
    double value = 0;
    const char* begin = t.data();
    if (!t.empty() && *begin == '+') ++begin;
    const auto result = std::from_chars(begin, t.data() + t.size(), value);
    if (t.empty() || result.ec != std::errc() || result.ptr != t.data() + t.size() || !std::isfinite(value))
        throw ToolError("the value '" + text + "' for " + name + " is not a number");
    if (value < 0.0 || value > 1.0)
        throw ToolError("the value " + t + " for " + name + " is outside 0..1 (parameter values are normalised)");
    return static_cast<float>(value);
}

std::string parameterList(host::PluginInstance& plugin) {
    std::string list;
    for (int i = 0; i < plugin.numParams(); ++i) {
        if (i > 0) list += ", ";
        list += "\"" + printable(trimmed(plugin.parameterName(i))) + "\"";
    }
    return list.empty() ? "none" : list;
}

}  // namespace

fs::path defaultPluginDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "plugins";
    return exe.parent_path().parent_path() / "plugins";
}

std::string resolvePlugin(const std::string& name, const fs::path& pluginDir) {
    if (name.empty()) throw ToolError("the plug-in name is empty");
    if (name.find('/') != std::string::npos) return name;
    if (isFile(name)) return (fs::current_path() / name).string();
    const auto dirs = searchDirs(pluginDir);
    for (const auto& dir : dirs) {
        for (const std::string& candidate : {name, name + ".so"}) {
            if (isFile(dir / candidate)) return (dir / candidate).string();
        }
    }
    std::string looked;
    for (const auto& dir : dirs) looked += (looked.empty() ? "" : ", ") + dir.string();
    throw ToolError("plug-in '" + name + "' not found (looked in " + looked + ")");
}

// "cannot load plug-in 'P': why", without the path twice when the host
// library's message already starts with it.
static ToolError loadError(const std::string& path, const std::string& why) {
    std::string reason = why;
    if (reason.rfind(path + ": ", 0) == 0) reason = reason.substr(path.size() + 2);
    return ToolError("cannot load plug-in '" + path + "': " + reason);
}

std::shared_ptr<host::PluginLibrary> openPluginLibrary(const std::string& path) {
    try {
        return host::PluginLibrary::open(path);
    } catch (const host::HostError& e) {
        throw loadError(path, e.what());
    }
}

std::unique_ptr<host::PluginInstance> loadPlugin(std::shared_ptr<host::PluginLibrary> library) {
    const std::string path = library->path();
    try {
        auto plugin = host::PluginInstance::create(std::move(library));
        plugin->open();
        return plugin;
    } catch (const host::HostError& e) {
        throw loadError(path, e.what());
    }
}

std::unique_ptr<host::PluginInstance> loadPlugin(const std::string& path) {
    return loadPlugin(openPluginLibrary(path));
}

void requireStereoOutputs(host::PluginInstance& plugin, const std::string& path) {
    const int outputs = plugin.numOutputs();
    if (outputs < 2)
        throw ToolError("plug-in '" + path + "' has " + std::to_string(outputs) + " output" +
                        (outputs == 1 ? "" : "s") + "; velmora needs at least 2");
}

std::string pluginDisplayName(const std::string& path) {
    fs::path p(path);
    return p.extension() == ".so" ? p.stem().string() : p.filename().string();
}

int findParameter(host::PluginInstance& plugin, const std::string& key) {
    const int count = plugin.numParams();
    int index = 0;
    if (parseWholeNumber(trimmed(key), index)) {
        if (index < 0 || index >= count)
            throw ToolError("parameter index " + std::to_string(index) + " is out of range (the plug-in has " +
                            counted(count, "parameter") + (count > 0 ? ": 0.." + std::to_string(count - 1) : "") + ")");
        return index;
    }
    const std::string wanted = nameKey(key);
    int found = -1;
    for (int i = 0; i < count && !wanted.empty(); ++i) {
        if (nameKey(plugin.parameterName(i)) != wanted) continue;
        if (found >= 0) throw ToolError("parameter name '" + key + "' is ambiguous; use its index");
        found = i;
    }
    if (found < 0) throw ToolError("unknown parameter '" + key + "'; valid names: " + parameterList(plugin));
    return found;
}

std::string parameterDisplayText(host::PluginInstance& plugin, int index) {
    const std::string display = trimmed(printable(plugin.parameterDisplay(index)));
    const std::string label = trimmed(printable(plugin.parameterLabel(index)));
    if (label.empty()) return display;
    if (display.empty()) return label;
    return display + " " + label;
}

std::vector<AppliedSetting> applySettings(host::PluginInstance& plugin, const PluginSettings& settings) {
    std::vector<AppliedSetting> applied;
    if (settings.program) {
        const int program = *settings.program;
        const int count = plugin.numPrograms();
        if (program < 0 || program >= count)
            throw ToolError("program " + std::to_string(program) + " is out of range (the plug-in has " +
                            counted(count, "program") + (count > 0 ? ": 0.." + std::to_string(count - 1) : "") + ")");
        plugin.setProgram(program);
        std::string name = "\"";
        name += printable(plugin.programName()) + "\"";
        applied.push_back({"Program", std::to_string(program), name});
    }
    for (const std::string& assignment : settings.assignments) {
        const auto equals = assignment.rfind('=');
        if (equals == std::string::npos) throw ToolError("--set '" + assignment + "' is not NAME=VALUE");
        std::string key = trimmed(assignment.substr(0, equals));
        if (key.size() >= 2 && key.front() == '"' && key.back() == '"') key = key.substr(1, key.size() - 2);
        const int index = findParameter(plugin, key);
        const std::string name = trimmed(printable(plugin.parameterName(index)));
        const float value = parseValue(assignment.substr(equals + 1), "'" + name + "'");
        plugin.setParameter(index, value);
        applied.push_back(
            {name.empty() ? std::to_string(index) : name, formatValue(value), parameterDisplayText(plugin, index)});
    }
    return applied;
}

std::string describe(const AppliedSetting& setting) {
    return setting.name + " = " + setting.value + " -> " + setting.display;
}

}  // namespace velmora::tool
