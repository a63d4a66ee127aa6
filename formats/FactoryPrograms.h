// The programs an effect comes with in the LV2, VST3 and CLAP formats:
// their names and the plain value of every parameter in each. The effect's
// core loads them (TEffectCore::loadProgram) and the LV2 description lists
// them as presets (TtlGenerator), both from here.
//
// For now each of the description's programs is "Init", every parameter at
// its default, as in the VST 2 plug-in.
#pragma once

#include <cstdint>

#include "ParameterTable.h"

template <class Description>
struct TFactoryPrograms {
    static constexpr std::uint32_t count = Description::programCount;

    // `program` < count.
    static const char* name(std::uint32_t /*program*/) noexcept { return "Init"; }

    // The plain value, as the formats present it, of parameter `index` in
    // `program` (both in range).
    static float value(std::uint32_t /*program*/, std::uint32_t index) noexcept {
        return defaultValue(Description::parameters[index]);
    }

    // A parameter's default as the formats present it (Tempo 120 BPM,
    // Edge 10 %, Waveform 0 = Square).
    static float defaultValue(const ParameterInfo& info) noexcept {
        return float(presentedValue(info, plainValue(info, info.defaultValue)));
    }
};
