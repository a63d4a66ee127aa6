// VelmoraGater described once, for every plug-in format: its identifier,
// its parameter table, and the mapping of a host value (0..1) to the step
// oscillator's settings and back to the number its display shows.
#pragma once

#include <cstdint>

#include "Osc.h"
#include "ParameterTable.h"

struct GaterDescription : EffectDescriptionBase<TOsc, 19> {
    enum Parameter : std::int32_t { kSteps = 0, kTempo = 1, kEdge = 2, kFirstStepGain = 3 };
    static constexpr char uniqueId[] = "KvGt";
    static constexpr char name[] = "VelmoraGater";
    // One line for the hosts that show a description.
    static constexpr char summary[] =
        "A step gate: 1 to 16 sixteenth-note steps, each with its own gain, shaped by an edge ramp";

    // Steps (0), Tempo (1), Edge (2), then the gains of steps 1 to 16 (3..18).
    static const ParameterInfo parameters[parameterCount];

    // The factory presets of the formats that have presets: step patterns a
    // musician reaches for (the VST 2 plug-in's programs are all "Init").
    // The first is the default setting, which a new instance starts with.
    static constexpr std::int32_t factoryPresetCount = 10;
    static const Preset factoryPresets[factoryPresetCount];

    // Following the host's beat (the formats that know it): a step per
    // sixteenth note, the pattern counted from the song's start.
    static constexpr double syncUnitBeats = 0.25;
    // Audio thread, between blocks: the next frame is `position` frames into
    // sixteenth `unit` of the song (`length` frames long), which step
    // (unit mod n) + 1 of an n-step pattern plays.
    static void enterSyncedUnit(TOsc& osc, std::int64_t unit, float length, float position) noexcept;

    // The parameter index of step 1..16's gain.
    static constexpr std::int32_t stepGainIndex(std::int32_t step) noexcept { return kFirstStepGain + step - 1; }

    // Sets what host value v of parameter `index` (0..18) drives: the step
    // count (v × 15 + 1, rounded to nearest, ties to even), the step rate
    // (the tempo over 15: four steps a beat), the edge (v itself) or a
    // step's gain (v itself). The oscillator refuses or clamps what it
    // cannot take. Any thread the host sets parameters on; no allocation,
    // no lock.
    static void apply(TOsc& osc, std::int32_t index, float v) noexcept;

    // The number that the VST 2 display of parameter `index` (0..18) shows,
    // before its rounding: read back from the oscillator for Steps, Tempo
    // and Edge, so that it shows what the oscillator plays; the stored
    // value v for a gain.
    static double displayed(TOsc& osc, std::int32_t index, float v) noexcept;
};
