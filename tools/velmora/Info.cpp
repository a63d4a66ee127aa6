// `velmora info`: the record of any VST 2 plug-in file and a table of its
// parameters.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"
#include "DisplayValues.h"
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

}  // namespace

namespace {

struct Row {
    std::string index, name, label, value, display, range;
};

// One row per parameter: its current value and display, then the range of
// its display (read by setting it across 0..1, then setting it back).
std::vector<Row> parameterRows(host::PluginInstance& plugin) {
    std::vector<Row> rows;
    const int listed = std::clamp(plugin.numParams(), 0, maxListedParams);
    for (int i = 0; i < listed; ++i) {
        const float current = plugin.getParameter(i);
        char value[32];
        std::snprintf(value, sizeof value, "%.6f", current);
        Row row{std::to_string(i),
                trimmed(printable(plugin.parameterName(i))),
                trimmed(printable(plugin.parameterLabel(i))),
                value,
                trimmed(printable(plugin.parameterDisplay(i))),
                ""};
        row.range = DisplayScan(plugin, i, row.name).rangeText();
        plugin.setParameter(i, current);
        rows.push_back(row);
    }
    return rows;
}

void printTable(const std::vector<Row>& rows) {
    const Row header{"Index", "Name", "Label", "Value", "Display", "Range"};
    std::size_t w[5] = {header.index.size(), header.name.size(), header.label.size(), header.value.size(),
                        header.display.size()};
    for (const Row& r : rows) {
        w[0] = std::max(w[0], r.index.size());
        w[1] = std::max(w[1], r.name.size());
        w[2] = std::max(w[2], r.label.size());
        w[3] = std::max(w[3], r.value.size());
        w[4] = std::max(w[4], r.display.size());
    }
    auto line = [&](const Row& r, bool alignIndexRight) {
        const std::string index =
            alignIndexRight ? std::string(w[0] - r.index.size(), ' ') + r.index : padded(r.index, w[0]);
        std::string text = index + "  " + padded(r.name, w[1]) + "  " + padded(r.label, w[2]) + "  " +
                           padded(r.value, w[3]) + "  " + padded(r.display, w[4]) + "  " + r.range;
        return text.substr(0, text.find_last_not_of(' ') + 1);
    };
    say("");
    say(line(header, false));
    for (const Row& r : rows) say(line(r, true));
}

void printRecord(host::PluginInstance& plugin, const std::string& path) {
    say(field("Plug-in", path));
    say(field("Entry point", plugin.library().entryName()));
    say(field("Magic", "VstP (ok)"));
    say(field("Identifier", enclosed(plugin.uniqueIdText(), '\'') + " (" + std::to_string(plugin.uniqueId()) + ")"));
    say(field("Version", std::to_string(plugin.version())));
    say(field("Inputs", std::to_string(plugin.numInputs())));
    say(field("Outputs", std::to_string(plugin.numOutputs())));
    say(field("Flags", flagNames(plugin.flags())));
    std::string programs = std::to_string(plugin.numPrograms());
    if (plugin.numPrograms() > 0)
        programs += " (current " + std::to_string(plugin.program()) + ": " +
                    enclosed(printable(plugin.programName()), '"') + ")";
    say(field("Programs", programs));
    say(field("Parameters", std::to_string(plugin.numParams())));
    say(field("Latency", counted(plugin.effect()->initialDelay, "sample")));
}

}  // namespace

void runInfo(const InfoOptions& options, const std::filesystem::path& pluginDir) {
    const std::string path = resolvePlugin(options.plugin, pluginDir);
    auto plugin = loadPlugin(path);
    printRecord(*plugin, path);
    const std::vector<Row> rows = parameterRows(*plugin);
    const int numParams = plugin->numParams();
    plugin->close();
    if (rows.empty()) return;
    printTable(rows);
    if (numParams > static_cast<int>(rows.size()))
        say(counted(numParams - static_cast<long long>(rows.size()), "more parameter") + " not listed");
}

}  // namespace velmora::tool
