#include "DisplayValues.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "Console.h"
#include "ToolError.h"

namespace velmora::tool {

namespace {

// The number a reading shows, or NaN (which no comparison matches).
double shown(const DisplayReading& reading) { return reading.number.value_or(std::nan("")); }

// Readings from 0 to 1 in steps of 1/1024: fine enough for every band of
// a switch and every step of a counter of up to a few hundred values; the
// search refines between two readings.
constexpr int scanSteps = 1024;
constexpr int maxRefineSteps = 64;
constexpr std::size_t maxListedWords = 12;

struct LeadingNumber {
    std::optional<double> number;
    std::string rest;
};

// "-oo", "+inf", "oo" and the infinity sign, after an optional sign.
bool readInfinity(const std::string& text, std::size_t& at, double& value) {
    const bool negative = at < text.size() && text[at] == '-';
    std::size_t p = at + ((at < text.size() && (text[at] == '-' || text[at] == '+')) ? 1 : 0);
    for (const char* word : {"oo", "inf", "\xE2\x88\x9E"}) {
        const std::string w = word;
        if (text.compare(p, w.size(), w) != 0) continue;
        p += w.size();
        if (text.compare(p, 5, "inity") == 0) p += 5;
        at = p;
        value = negative ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    return false;
}

// The number a text starts with, and the text after it. A comma stands for
// the decimal point when the text has no point (displays follow the
// plug-in's locale).
LeadingNumber leadingNumber(const std::string& text) {
    std::string t = trimmed(text);
    if (t.find('.') == std::string::npos) std::replace(t.begin(), t.end(), ',', '.');
    std::size_t at = 0;
    double value = 0.0;
    if (readInfinity(t, at, value)) return {value, trimmed(t.substr(at))};
    const char* begin = t.data() + (t.starts_with('+') ? 1 : 0);
    const auto result = std::from_chars(begin, t.data() + t.size(), value);
    if (result.ec != std::errc() || std::isnan(value)) return {std::nullopt, t};
    return {value, trimmed(t.substr(static_cast<std::size_t>(result.ptr - t.data())))};
}

// Units compared without case and spaces; "%" and "percent" are one.
std::string unitKey(const std::string& unit) {
    const std::string key = textKey(unit);
    return key == "percent" || key == "pct" ? "%" : key;
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : separator) + item;
    return text;
}

std::string withLabel(const DisplayReading& r) { return r.unit.empty() ? r.display : r.display + " " + r.unit; }

}  // namespace

WantedDisplay parseWantedDisplay(const std::string& text) {
    WantedDisplay wanted;
    wanted.text = trimmed(text);
    const LeadingNumber lead = leadingNumber(wanted.text);
    if (lead.number) {
        wanted.number = lead.number;
        wanted.unit = lead.rest;
    } else {
        wanted.word = wanted.text;
    }
    return wanted;
}

DisplayScan::DisplayScan(host::PluginInstance& plugin, int index, std::string name)
    : plugin_(plugin), index_(index), name_(std::move(name)) {
    readings_.reserve(scanSteps + 1);
    for (int i = 0; i <= scanSteps; ++i) readings_.push_back(read(static_cast<float>(i) / scanSteps));
}

DisplayReading DisplayScan::read(float value) const {
    plugin_.setParameter(index_, value);
    DisplayReading r;
    r.value = value;
    r.display = trimmed(printable(plugin_.parameterDisplay(index_)));
    const std::string label = trimmed(printable(plugin_.parameterLabel(index_)));
    const LeadingNumber lead = leadingNumber(r.display);
    r.number = lead.number;
    r.unit = trimmed(lead.rest + " " + label);
    if (!lead.number) r.unit = label;
    return r;
}

std::vector<std::string> DisplayScan::words() const {
    std::vector<std::string> list;
    for (const auto& r : readings_)
        if (!r.number && !r.display.empty() && std::find(list.begin(), list.end(), r.display) == list.end())
            list.push_back(r.display);
    return list;
}

std::string DisplayScan::rangeText() const {
    std::vector<std::string> parts = words();
    if (parts.size() > maxListedWords) {
        const std::size_t more = parts.size() - maxListedWords;
        parts.resize(maxListedWords);
        parts.push_back("and " + std::to_string(more) + " more");
    }
    std::vector<std::string> ranges;
    std::vector<std::string> units;
    for (const auto& r : readings_)
        if (r.number && std::find(units.begin(), units.end(), unitKey(r.unit)) == units.end())
            units.push_back(unitKey(r.unit));
    for (const auto& unit : units) {
        const DisplayReading *low = nullptr, *high = nullptr;
        for (const auto& r : readings_) {
            if (!r.number || unitKey(r.unit) != unit) continue;
            if (low == nullptr || shown(r) < shown(*low)) low = &r;
            if (high == nullptr || shown(r) > shown(*high)) high = &r;
        }
        if (low == nullptr || high == nullptr) continue;
        ranges.push_back(shown(*low) == shown(*high) ? withLabel(*low)
                                                     : trimmed(low->display + " to " + withLabel(*high)));
    }
    const std::string wordText = joined(parts, ", ");
    const std::string rangeText = joined(ranges, ", or ");
    if (wordText.empty() || rangeText.empty()) return wordText + rangeText;
    return wordText + ", or " + rangeText;
}

float DisplayScan::find(const WantedDisplay& wanted) const {
    return wanted.number ? findNumber(wanted) : findWord(wanted);
}

float DisplayScan::findWord(const WantedDisplay& wanted) const {
    const std::string key = textKey(wanted.word);
    const auto centre = centreOfFirstRun(
        [&](const DisplayReading& r) {
            return !r.display.empty() && (textKey(r.display) == key || textKey(withLabel(r)) == key);
        },
        false);
    if (!centre) throw ToolError("'" + name_ + "' shows " + rangeText() + "; '" + wanted.text + "' is not one of them");
    return *centre;
}

void DisplayScan::checkUnit(const WantedDisplay& wanted) const {
    std::vector<std::string> units;
    for (const auto& r : readings_) {
        if (!r.number) continue;
        if (unitKey(r.unit) == unitKey(wanted.unit)) return;
        if (std::find(units.begin(), units.end(), r.unit) == units.end()) units.push_back(r.unit);
    }
    if (units.empty()) throw ToolError("'" + name_ + "' shows no numbers, only " + rangeText());
    const std::string number = trimmed(wanted.text.substr(0, wanted.text.size() - wanted.unit.size()));
    const std::string hint = "; write --set \"" + name_ + "==" + number + "\" for the number as shown";
    if (units.size() == 1 && units[0].empty())
        throw ToolError("'" + name_ + "' shows plain numbers without a unit" + hint);
    throw ToolError("'" + name_ + "' shows its values in " + joined(units, " or ") + ", not in " + wanted.unit + hint);
}

float DisplayScan::findNumber(const WantedDisplay& wanted) const {
    if (!wanted.unit.empty()) checkUnit(wanted);
    auto usable = [&](const DisplayReading& r) {
        return r.number && (wanted.unit.empty() || unitKey(r.unit) == unitKey(wanted.unit));
    };
    auto showing = [&](double number) {
        return centreOfFirstRun([&](const DisplayReading& r) { return usable(r) && shown(r) == number; }, true);
    };
    const double target = wanted.number.value_or(std::nan(""));
    if (const auto centre = showing(target)) return *centre;
    for (std::size_t i = 0; i + 1 < readings_.size(); ++i) {
        const DisplayReading &a = readings_[i], &b = readings_[i + 1];
        if (!usable(a) || !usable(b) || (shown(a) < target) == (shown(b) < target)) continue;
        // Not shown exactly: the closest number the display shows on the way
        // past it, at the middle of its stretch when that is wide enough to find.
        const DisplayReading closest = refine(i, target);
        if (shown(closest) == target) return closest.value;
        return showing(shown(closest)).value_or(closest.value);
    }
    throw ToolError("'" + name_ + "' shows " + rangeText() + "; " + wanted.text + " is outside that");
}

// Bisects between two neighbouring readings on either side of `target`
// until the display reads it, or the two host values are adjacent floats.
DisplayReading DisplayScan::refine(std::size_t below, double target) const {
    DisplayReading lo = readings_[below], hi = readings_[below + 1];
    const bool loBelow = shown(lo) < target;
    for (int step = 0; step < maxRefineSteps; ++step) {
        const float mid = lo.value + (hi.value - lo.value) / 2.0f;
        if (mid == lo.value || mid == hi.value) break;
        const DisplayReading r = read(mid);
        if (!r.number || unitKey(r.unit) != unitKey(lo.unit)) break;
        if (shown(r) == target) return r;
        ((shown(r) < target) == loBelow ? lo : hi) = r;
    }
    return std::fabs(shown(lo) - target) <= std::fabs(shown(hi) - target) ? lo : hi;
}

// The host value between `outside` (not matching) and `inside` (matching)
// where the match begins, to float precision.
float DisplayScan::edge(float outside, float inside, const Match& matches) const {
    for (int step = 0; step < maxRefineSteps; ++step) {
        const float mid = outside + (inside - outside) / 2.0f;
        if (mid == outside || mid == inside) break;
        (matches(read(mid)) ? inside : outside) = mid;
    }
    return inside;
}

// The middle of the first stretch of host values whose display matches:
// for a display that rounds, the value it stands for (120 BPM, not 119.9).
// A number shown up to an end of the range (the lowest or highest the
// display shows) stands for that end, where the stretch is only half as
// wide: 0 or 1 itself.
std::optional<float> DisplayScan::centreOfFirstRun(const Match& matches, bool endsForNumbers) const {
    const auto first = std::find_if(readings_.begin(), readings_.end(), matches);
    if (first == readings_.end()) return std::nullopt;
    const auto end = std::find_if_not(first, readings_.end(), matches);
    if (endsForNumbers && first == readings_.begin()) return 0.0f;
    if (endsForNumbers && end == readings_.end()) return 1.0f;
    const float low = first == readings_.begin() ? 0.0f : edge((first - 1)->value, first->value, matches);
    const float high = end == readings_.end() ? 1.0f : edge(end->value, (end - 1)->value, matches);
    const float centre = static_cast<float>((static_cast<double>(low) + high) / 2.0);
    if (matches(read(centre))) return centre;
    return (first + (end - first - 1) / 2)->value;
}

}  // namespace velmora::tool
