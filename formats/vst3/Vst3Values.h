// The VST3 plug-ins' parameters as a VST3 host sees them: ids, and values
// normalised to 0..1.
//
// Ids: parameter i of the description's table has id i (0..18 for
// VelmoraGater, 0..3 for VelmoraTremolo); the program change has id
// 65536. They never change.
//
// Normalised values: a continuous parameter maps 0..1 linearly onto its
// presented range (Tempo: 0 is 30 BPM, 1 is 360 BPM); a whole one (Steps,
// Waveform) and the program change count steps, value k standing for
// k / (number of values - 1), and a normalised value goes to the nearest
// step. A value the host sends outside 0..1 is clamped by the core like
// any plain value; NaN is ignored.
#pragma once

#include <cmath>
#include <cstdint>

#include <travesty/base.h>

#include "Nonblocking.h"
#include "ParameterTable.h"

template <class Core>
struct TVst3Values {
    static constexpr v3_param_id kProgramId = 65536;
    static constexpr std::uint32_t kLastProgram = Core::Programs::count - 1;

    static bool isTableParameter(v3_param_id id) noexcept { return id < Core::parameterCount; }
    static bool isKnown(v3_param_id id) noexcept { return isTableParameter(id) || id == kProgramId; }

    // The steps of a whole parameter (its values less one), 0 for a
    // continuous one.
    static std::int32_t stepsOf(const ParameterInfo& info) noexcept {
        return info.kind == ParameterKind::kLinear ? 0 : std::int32_t(info.maximum - info.minimum);
    }

    // Plain value (or program number) of a normalised value; id known.
    static double plainOf(v3_param_id id, double normalised) noexcept {
        if (id == kProgramId) return std::nearbyint(std::fmin(std::fmax(normalised, 0.0), 1.0) * kLastProgram);
        const ParameterInfo& info = Core::info(id);
        const std::int32_t steps = stepsOf(info);
        if (steps > 0) return info.minimum + std::nearbyint(normalised * steps);
        return info.minimum + normalised * (info.maximum - info.minimum);
    }
    static double normalisedOf(v3_param_id id, double plain) noexcept {
        if (id == kProgramId) return plain / kLastProgram;
        const ParameterInfo& info = Core::info(id);
        return (plain - info.minimum) / (info.maximum - info.minimum);
    }

    // Any thread, the audio thread included: a normalised value from the
    // host to the core; id known.
    static void apply(Core& core, v3_param_id id, double normalised) noexcept VELMORA_NONBLOCKING {
        if (std::isnan(normalised)) return;
        if (id == kProgramId) {
            core.loadProgram(std::uint32_t(plainOf(id, normalised)));
        } else {
            core.setValue(id, float(plainOf(id, normalised)));
        }
    }
};
