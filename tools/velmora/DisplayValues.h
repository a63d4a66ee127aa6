// A parameter's values in the plug-in's own words: what its display reads
// across the host range 0..1, and the host value at which it reads a
// wanted number or word. Works with any VST 2 plug-in, because it only
// asks the plug-in for its display and label texts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "VstHost.h"

namespace velmora::tool {

// A value the user wants the display to read: a number with the unit it
// was written with ("128bpm": 128 and "bpm"; "-oo dB": minus infinity), or
// a word ("sine").
struct WantedDisplay {
    std::optional<double> number;
    std::string unit;  // as written, may be empty
    std::string word;  // when there is no number
    std::string text;  // the whole value as written, for messages
};

// Reads "128bpm", "-6 dB", "30%", "-oo dB", "sine", "Saw up" or "16".
WantedDisplay parseWantedDisplay(const std::string& text);

// One reading of the display: the host value, the texts as shown and the
// number at the start of the display, if any ("-oo" is minus infinity).
struct DisplayReading {
    float value = 0.0f;
    std::string display;  // trimmed, printable
    std::string unit;     // what follows the number, then the label: "BPM"
    std::optional<double> number;
};

// Reads parameter `index` at evenly spaced host values from 0 to 1. The
// parameter is left at the last value read; callers set it afterwards.
class DisplayScan {
public:
    DisplayScan(host::PluginInstance& plugin, int index, std::string name);

    // The display's range for `info` and for errors: "30 to 360 BPM",
    // "Square, Triangle, Sine" or both ("off, or 1 to 10 ms").
    std::string rangeText() const;

    // The host value at which the display reads `wanted`: the middle of the
    // first stretch of host values that shows it (so that a display that
    // rounds to whole BPM gives 120.0 for "120", not 119.9; 0 or 1 for a
    // number shown up to an end of the range), or, for a
    // number the display never shows exactly, the closest one it shows on
    // its way past it. Throws ToolError when the display never gets there
    // or the unit is not the plug-in's.
    float find(const WantedDisplay& wanted) const;

private:
    using Match = std::function<bool(const DisplayReading&)>;

    DisplayReading read(float value) const;
    float findWord(const WantedDisplay& wanted) const;
    float findNumber(const WantedDisplay& wanted) const;
    DisplayReading refine(std::size_t below, double target) const;
    float edge(float outside, float inside, const Match& matches) const;
    std::optional<float> centreOfFirstRun(const Match& matches, bool endsForNumbers) const;
    void checkUnit(const WantedDisplay& wanted) const;
    std::vector<std::string> words() const;

    host::PluginInstance& plugin_;
    int index_;
    std::string name_;
    std::vector<DisplayReading> readings_;
};

}  // namespace velmora::tool
