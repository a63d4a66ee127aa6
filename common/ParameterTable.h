// The description of one effect parameter, shared by every plug-in format:
// what the VST 2 interface shows (8-character name and label, a host value
// from 0 to 1), what the other formats show (a name, a unit and a range in
// the parameter's own terms), its default and how its display is formed.
// Each effect lists its parameters once, in a table of these (see
// GaterParameters.h, TremoloParameters.h); the mapping of a host value to
// the oscillator's units lives beside that table.
//
// Plain values. A host value v stands for the plain value
// offset + v × scale, formed in double: Tempo 0..1 is 30..360 BPM, Edge
// 0..100 percent. The formats that show plain values present the range
// minimum..maximum (which may be narrower than the mapping: P-Width maps
// 0..100 but the oscillator clamps it to 10..90) and turn a plain value
// back into the host value the VST 2 plug-in would be given, so that every
// format drives the oscillator through the same mapping.
//
// Choices. A choice parameter (the tremolo's Waveform) divides 0..1 into
// equal bands, one per choice in the table's order; choice i stands for
// the middle of its band, (2i + 1) / (2 × count).
#pragma once

#include <cmath>
#include <cstdint>

enum class ParameterKind : std::uint8_t {
    kLinear,   // a plain value in a continuous range
    kInteger,  // a whole plain value (the gater's Steps)
    kChoice,   // one of a few named choices
};

// How the VST 2 plug-in shows the value: a whole number (rounded to
// nearest, ties to even), a linear gain in decibels, or the name of the
// choice the oscillator plays.
enum class DisplayRule : std::uint8_t { kWholeNumber, kDecibels, kChoiceName };

struct ParameterInfo {
    const char* symbol = "";    // stable identifier (LV2 port symbol, preset keys); never changes
    const char* name = "";      // for musicians: "Tempo", "Step 1"
    const char* unit = "";      // "BPM", "%", or empty
    const char* vstName = "";   // the VST 2 name, exactly 8 characters
    const char* vstLabel = "";  // the VST 2 label, exactly 8 characters
    float defaultValue = 0.0f;  // host value 0..1
    double offset = 0.0;        // plain value = offset + host value × scale
    double scale = 1.0;
    double minimum = 0.0;  // the plain range the formats present
    double maximum = 1.0;
    ParameterKind kind = ParameterKind::kLinear;
    DisplayRule display = DisplayRule::kWholeNumber;
    const char* const* choices = nullptr;     // kChoice: the musicians' names, in band order
    const char* const* vstChoices = nullptr;  // kChoice: the VST 2 display texts (8 characters), in band order
    std::int32_t choiceCount = 0;
};

// A linear gain from 0 to 1, which the VST 2 plug-in shows in decibels
// (a step's gain, the level).
constexpr ParameterInfo gainParameter(const char* symbol, const char* name, const char* vstName,
                                      float defaultValue) noexcept {
    return {.symbol = symbol,
            .name = name,
            .vstName = vstName,
            .vstLabel = "   dB   ",
            .defaultValue = defaultValue,
            .display = DisplayRule::kDecibels};
}

// A percentage: the host value times 100, presented from `minimum` to
// `maximum` percent, shown as a whole number.
constexpr ParameterInfo percentParameter(const char* symbol, const char* name, const char* vstName, float defaultValue,
                                         double minimum, double maximum) noexcept {
    return {.symbol = symbol,
            .name = name,
            .unit = "%",
            .vstName = vstName,
            .vstLabel = " percent",
            .defaultValue = defaultValue,
            .scale = 100.0,
            .minimum = minimum,
            .maximum = maximum};
}

// The plain value of host value v (for a choice: the band's index).
inline double plainValue(const ParameterInfo& info, float v) noexcept {
    if (info.kind == ParameterKind::kChoice) {
        // Band i holds the values up to (i + 1) / count; count × v is exact
        // in double, so the comparison has no rounding.
        const double bands = double(info.choiceCount) * double(v);
        for (std::int32_t i = 0; i < info.choiceCount; ++i) {
            if (bands <= double(i + 1)) return double(i);
        }
        return double(info.choiceCount - 1);
    }
    // Without an offset the product alone, so that -0 stays -0 (a level of
    // -0 is heard as one: it gives -0 samples).
    return info.offset == 0.0 ? double(v) * info.scale : info.offset + double(v) * info.scale;
}

// A plain value as the formats present it: clamped to the presented range,
// and rounded to the nearest whole value (ties to even) for integers and
// choices. NaN stays NaN.
inline double presentedValue(const ParameterInfo& info, double plain) noexcept {
    if (plain < info.minimum) plain = info.minimum;
    if (plain > info.maximum) plain = info.maximum;
    return info.kind == ParameterKind::kLinear ? plain : std::nearbyint(plain);
}

// The host value that stands for a plain value, which is first clamped to
// the presented range (NaN gives the default). Integers and choices are
// rounded to the nearest whole value first.
inline float hostValue(const ParameterInfo& info, double plain) noexcept {
    if (std::isnan(plain)) return info.defaultValue;
    plain = presentedValue(info, plain);
    if (info.kind == ParameterKind::kChoice) return float((2.0 * plain + 1.0) / (2.0 * double(info.choiceCount)));
    return float((plain - info.offset) / info.scale);
}

// Tempo, the same in both effects: 30 to 360 beats per minute, 120 by
// default (the float nearest to 3/11).
inline constexpr ParameterInfo kTempoParameter = {.symbol = "tempo",
                                                  .name = "Tempo",
                                                  .unit = "BPM",
                                                  .vstName = " Tempo  ",
                                                  .vstLabel = "  BPM   ",
                                                  .defaultValue = 0.27272728f,
                                                  .offset = 30.0,
                                                  .scale = 330.0,
                                                  .minimum = 30.0,
                                                  .maximum = 360.0};

// A factory preset of the formats that have presets: a name that says what
// it does, and a plain value (in the parameter's own terms, as the table
// presents it) for each parameter, in the table's order.
template <std::int32_t parameterCount>
struct FactoryPreset {
    const char* name;
    double values[parameterCount];
};

// What every effect's description has besides its own table and mapping:
// its oscillator, how many parameters it has, and its 16 programs. A
// description (GaterDescription, TremoloDescription) derives from it.
template <class Osc, std::int32_t parameters>
struct EffectDescriptionBase {
    using Oscillator = Osc;
    static constexpr std::int32_t parameterCount = parameters;
    static constexpr std::int32_t programCount = 16;
    using Preset = FactoryPreset<parameters>;
};
