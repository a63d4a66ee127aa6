#include "PluginSetup.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "Console.h"
#include "DisplayValues.h"
#include "ToolError.h"

namespace velmora::tool {

namespace {

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

// A text that is a number and nothing else: the host-value form.
bool parseBareNumber(const std::string& text, double& value) {
    const char* begin = text.data() + (text.starts_with('+') ? 1 : 0);
    const auto result = std::from_chars(begin, text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::string parameterList(host::PluginInstance& plugin) {
    std::string list;
    for (int i = 0; i < plugin.numParams(); ++i) {
        if (i > 0) list += ", ";
        list += "\"" + printable(trimmed(plugin.parameterName(i))) + "\"";
    }
    return list.empty() ? "none" : list;
}

std::string rangeOf(host::PluginInstance& plugin, int index, const std::string& name) {
    return DisplayScan(plugin, index, name).rangeText();
}

// The host value for VALUE (see applySettings for its forms).
float hostValue(host::PluginInstance& plugin, int index, const std::string& name, const std::string& text) {
    const std::string t = trimmed(text);
    if (t.starts_with('=')) return DisplayScan(plugin, index, name).find(parseWantedDisplay(t.substr(1)));
    double value = 0.0;
    if (!parseBareNumber(t, value)) {
        if (t.empty()) throw ToolError("no value given for '" + name + "'");
        return DisplayScan(plugin, index, name).find(parseWantedDisplay(t));
    }
    if (!std::isfinite(value)) throw ToolError("the value '" + t + "' for '" + name + "' is not a number");
    if (value < 0.0 || value > 1.0)
        throw ToolError("the value " + t + " for '" + name +
                        "' is outside 0..1: a bare number is the host value; for what the plug-in shows (" +
                        rangeOf(plugin, index, name) + ") add the unit, or write --set \"" + name + "==" + t + "\"");
    return static_cast<float>(value);
}

// "NAME=VALUE" split at the first '=' (so "steps==16" keeps "=16"); a
// quoted name loses its quotes.
std::pair<std::string, std::string> splitAssignment(const std::string& assignment) {
    const auto equals = assignment.find('=');
    if (equals == std::string::npos)
        throw ToolError("--set '" + assignment + "' is not NAME=VALUE (one NAME=VALUE per --set)");
    std::string key = trimmed(assignment.substr(0, equals));
    if (key.size() >= 2 && key.front() == '"' && key.back() == '"') key = key.substr(1, key.size() - 2);
    return {key, assignment.substr(equals + 1)};
}

AppliedSetting applyProgram(host::PluginInstance& plugin, int program) {
    const int count = plugin.numPrograms();
    if (program < 0 || program >= count)
        throw ToolError("program " + std::to_string(program) + " is out of range (the plug-in has " +
                        counted(count, "program") + (count > 0 ? ": 0.." + std::to_string(count - 1) : "") + ")");
    plugin.setProgram(program);
    return {"Program", std::to_string(program), enclosed(printable(plugin.programName()), '"')};
}

}  // namespace

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

std::unique_ptr<host::PluginInstance> loadPlugin(const std::shared_ptr<host::PluginLibrary>& library) {
    const std::string path = library->path();
    try {
        auto plugin = host::PluginInstance::create(library);
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
        throw ToolError("plug-in '" + path + "' has " + counted(outputs, "output") + "; velmora needs at least 2");
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
    const std::string wanted = textKey(key);
    int found = -1;
    for (int i = 0; i < count && !wanted.empty(); ++i) {
        if (textKey(plugin.parameterName(i)) != wanted) continue;
        if (found >= 0) throw ToolError("parameter name '" + key + "' is ambiguous; use its index");
        found = i;
    }
    if (found < 0) throw ToolError("unknown parameter '" + key + "'; valid names: " + parameterList(plugin));
    return found;
}

std::string parameterDisplayText(host::PluginInstance& plugin, int index) {
    std::string display = trimmed(printable(plugin.parameterDisplay(index)));
    std::string label = trimmed(printable(plugin.parameterLabel(index)));
    if (label.empty()) return display;
    if (display.empty()) return label;
    return display + " " + label;
}

std::vector<AppliedSetting> applySettings(host::PluginInstance& plugin, const PluginSettings& settings) {
    std::vector<AppliedSetting> applied;
    if (settings.program) applied.push_back(applyProgram(plugin, *settings.program));
    for (const std::string& assignment : settings.assignments) {
        const auto [key, valueText] = splitAssignment(assignment);
        const int index = findParameter(plugin, key);
        const std::string name = trimmed(printable(plugin.parameterName(index)));
        const std::string shownName = name.empty() ? std::to_string(index) : name;
        const float value = hostValue(plugin, index, shownName, valueText);
        plugin.setParameter(index, value);
        applied.push_back({shownName, formatValue(value), parameterDisplayText(plugin, index)});
    }
    return applied;
}

std::string describe(const AppliedSetting& setting) {
    return setting.name + " = " + setting.value + " -> " + setting.display;
}

}  // namespace velmora::tool
