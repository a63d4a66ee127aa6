// The programs an effect comes with in the LV2, VST3 and CLAP formats: the
// description's factory presets, their names and the plain value of every
// parameter of its table in each. The effect's core loads them
// (TEffectCore::loadProgram), the VST3 plug-in lists them as its programs
// and the LV2 description as its presets (TtlGenerator), all from here.
// Program 0 is the default setting.
#pragma once

#include <cstdint>

#include "ParameterTable.h"

template <class Description>
struct TFactoryPrograms {
    static constexpr std::uint32_t count = Description::factoryPresetCount;

    // `program` < count.
    static const char* name(std::uint32_t program) noexcept { return Description::factoryPresets[program].name; }

    // The plain value, as the formats present it, of parameter `index` of
    // the table in `program` (both in range).
    static float value(std::uint32_t program, std::uint32_t index) noexcept {
        return float(
            presentedValue(Description::parameters[index], Description::factoryPresets[program].values[index]));
    }

    // A parameter's default as the formats present it (Tempo 120 BPM,
    // Edge 10 %, Waveform 0 = Square).
    static float defaultValue(const ParameterInfo& info) noexcept {
        return float(presentedValue(info, plainValue(info, info.defaultValue)));
    }
};
