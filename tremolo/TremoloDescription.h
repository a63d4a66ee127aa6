// VelmoraTremolo described once, for every plug-in format: its identifier,
// its parameter table, and the mapping of a host value (0..1) to the
// oscillator's settings and back to the number its display shows.
#pragma once

#include <cstdint>

#include "LFO.h"
#include "ParameterTable.h"

struct TremoloDescription : EffectDescriptionBase<TLfo, 4> {
    enum Parameter : std::int32_t { kWaveform = 0, kTempo = 1, kPulseWidth = 2, kLevel = 3 };
    // The Waveform choices in band order (host values up to 0.2, 0.4, ...).
    enum Choice : std::int32_t { kSquare, kTriangle, kSine, kSawDown, kSawUp };
    static constexpr char uniqueId[] = "KvTr";
    static constexpr char name[] = "VelmoraTremolo";
    // One line for the hosts that show a description.
    static constexpr char summary[] =
        "A tremolo: five waveforms, one cycle per beat, swinging the gain from 0 to a level";

    static const ParameterInfo parameters[parameterCount];

    // The factory presets of the formats that have presets (the VST 2
    // plug-in's programs are all "Init"). The first is the default setting,
    // which a new instance starts with.
    static constexpr std::int32_t factoryPresetCount = 7;
    static const Preset factoryPresets[factoryPresetCount];

    // Following the host's beat (the formats that know it): a cycle per
    // quarter note.
    static constexpr double syncUnitBeats = 1.0;
    // Audio thread, between blocks: the next value is `position` frames into
    // quarter note `unit` of the song, a cycle `length` frames long.
    static void enterSyncedUnit(TLfo& lfo, std::int64_t unit, float length, float position) noexcept;

    // Sets what host value v of parameter `index` (0..3) drives: the
    // waveform of v's band (a value above 1, or NaN, leaves it as it is),
    // the rate (the tempo over 60: one cycle a beat), the pulse width or the
    // level (v × 100 percent each). The oscillator refuses or clamps what it
    // cannot take. Any thread the host sets parameters on; no allocation,
    // no lock.
    static void apply(TLfo& lfo, std::int32_t index, float v) noexcept;

    // The number that the VST 2 display of parameter `index` (0..3) shows,
    // before its rounding, read back from the oscillator: the choice it
    // plays (-1 for a code no choice plays), the tempo, the pulse width in
    // percent, the level as a linear gain.
    static double displayed(TLfo& lfo, std::int32_t index, float v) noexcept;
};
