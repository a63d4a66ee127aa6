// `velmora info`: the record of any VST 2 plug-in file and a table of its
// parameters.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"
#include "ToolError.h"

namespace velmora::tool {

namespace {

// The table lists at most this many parameters, so a corrupt record that
// claims millions cannot stall the command.
constexpr int maxListedParams = 10000;

std::string flagNames(std::int32_t flags) {
    struct Flag {
        std::int32_t bit;
        const char* name;
    };
    static constexpr Flag known[] = {
        {effFlagsHasEditor, "HasEditor"},
        {effFlagsHasClip, "HasClip"},
        {effFlagsHasVu, "HasVu"},
        {effFlagsCanMono, "CanMono"},
        {effFlagsCanReplacing, "CanReplacing"},
        {1 << 5, "ProgramChunks"},
        {1 << 8, "IsSynth"},
        {1 << 9, "NoSoundInStop"},
        {1 << 12, "CanDoubleReplacing"},
    };
    std::string text;
    auto rest = static_cast<std::uint32_t>(flags);
    for (const Flag& f : known) {
        if ((rest & static_cast<std::uint32_t>(f.bit)) == 0) continue;
        if (!text.empty()) text += ' ';
        text += f.name;
        rest &= ~static_cast<std::uint32_t>(f.bit);
    }
    for (int bit = 0; bit < 32; ++bit) {
        if ((rest & (1u << bit)) == 0) continue;
        if (!text.empty()) text += ' ';
        text += "bit" + std::to_string(bit);
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(flags));
    return (text.empty() ? "none" : text) + " (" + hex + ")";
}

std::string field(const char* name, const std::string& value) {
    char label[16];
    std::snprintf(label, sizeof label, "%-13s", name);
    return label + value;
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

}  // namespace

void runInfo(const InfoOptions& options, const std::filesystem::path& pluginDir) {
    const std::string path = resolvePlugin(options.plugin, pluginDir);
    auto plugin = loadPlugin(path);
    const AEffect* effect = plugin->effect();

    say(field("Plug-in", path));
    say(field("Entry point", plugin->library().entryName()));
    say(field("Magic", "VstP (ok)"));
    std::string identifier = "'";
    identifier += plugin->uniqueIdText() + "' (" + std::to_string(plugin->uniqueId()) + ")";
    say(field("Identifier", identifier));
    say(field("Version", std::to_string(plugin->version())));
    say(field("Inputs", std::to_string(plugin->numInputs())));
    say(field("Outputs", std::to_string(plugin->numOutputs())));
    say(field("Flags", flagNames(plugin->flags())));
    std::string programs = std::to_string(plugin->numPrograms());
    if (plugin->numPrograms() > 0)
        programs +=
            " (current " + std::to_string(plugin->program()) + ": \"" + printable(plugin->programName()) + "\")";
    say(field("Programs", programs));
    say(field("Parameters", std::to_string(plugin->numParams())));
    say(field("Latency", std::to_string(effect->initialDelay) + " samples"));

    struct Row {
        std::string index, name, label, value, display;
    };
    std::vector<Row> rows;
    const int numParams = plugin->numParams();
    const int listed = std::clamp(numParams, 0, maxListedParams);
    for (int i = 0; i < listed; ++i) {
        char value[32];
        std::snprintf(value, sizeof value, "%.6f", plugin->getParameter(i));
        rows.push_back({std::to_string(i), trimmed(printable(plugin->parameterName(i))),
                        trimmed(printable(plugin->parameterLabel(i))), value,
                        trimmed(printable(plugin->parameterDisplay(i)))});
    }
    plugin->close();
    if (rows.empty()) return;

    Row header{"Index", "Name", "Label", "Value", "Display"};
    std::size_t w[4] = {header.index.size(), header.name.size(), header.label.size(), header.value.size()};
    for (const Row& r : rows) {
        w[0] = std::max(w[0], r.index.size());
        w[1] = std::max(w[1], r.name.size());
        w[2] = std::max(w[2], r.label.size());
        w[3] = std::max(w[3], r.value.size());
    }
    auto line = [&](const Row& r, bool alignIndexRight) {
        const std::string index =
            alignIndexRight ? std::string(w[0] - r.index.size(), ' ') + r.index : padded(r.index, w[0]);
        std::string text = index + "  " + padded(r.name, w[1]) + "  " + padded(r.label, w[2]) + "  " +
                           padded(r.value, w[3]) + "  " + r.display;
        return text.substr(0, text.find_last_not_of(' ') + 1);
    };
    say("");
    say(line(header, false));
    for (const Row& r : rows) say(line(r, true));
    if (numParams > listed) say(std::to_string(numParams - listed) + " more parameters not listed");
}

}  // namespace velmora::tool
