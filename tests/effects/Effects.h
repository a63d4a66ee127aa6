// The two effects, for the suites that check both alike (typed over
// BothEffects): each effect's description, its plug-in file, whether its
// resume restarts the oscillator as suspend does, and what the random
// block tests choose for it.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "GaterDescription.h"
#include "TremoloDescription.h"

// A parameter index and the host value it is given.
using Setting = std::pair<std::int32_t, float>;

// In the global namespace, so that the test names end in <Gater>, <Tremolo>.
struct Gater {
    using Description = GaterDescription;
    static constexpr bool resumeRestarts = true;

    // Any parameter: most are step gains, which are heard at once.
    static std::int32_t someParameter(std::mt19937& random) {
        return std::int32_t(random() % Description::parameterCount);
    }
    // 360 BPM (a step every 1838 frames at 44100 Hz), edge 30 %, steps of
    // differing gains: blocks meet ramps, holds and step boundaries.
    static std::vector<std::vector<Setting>> shiftedBufferSettings() {
        using D = Description;
        return {{{D::kTempo, 1.0f},
                 {D::kEdge, 0.3f},
                 {D::stepGainIndex(1), 0.5f},
                 {D::stepGainIndex(2), 0.25f},
                 {D::stepGainIndex(4), 0.0f}}};
    }
    // The parameters that scale every gain: the gains of steps 1 to 16.
    static std::vector<std::int32_t> gainParameters() {
        std::vector<std::int32_t> steps;
        for (std::int32_t step = 1; step <= 16; ++step) steps.push_back(Description::stepGainIndex(step));
        return steps;
    }
};

struct Tremolo {
    using Description = TremoloDescription;
    static constexpr bool resumeRestarts = false;

    // The waveform most often, so that it changes inside cycles.
    static std::int32_t someParameter(std::mt19937& random) {
        return random() % 2 ? Description::kWaveform : std::int32_t(random() % Description::parameterCount);
    }
    // The square (constant stretches) and the sine (its cycle read from a
    // table) at level 80 % and 360 BPM, a cycle every 7350 frames: blocks
    // meet both kinds of stretch and the cuts between them.
    static std::vector<std::vector<Setting>> shiftedBufferSettings() {
        using D = Description;
        return {{{D::kWaveform, 0.1f}, {D::kTempo, 1.0f}, {D::kLevel, 0.8f}},
                {{D::kWaveform, 0.5f}, {D::kTempo, 1.0f}, {D::kLevel, 0.8f}}};
    }
    static std::vector<std::int32_t> gainParameters() { return {Description::kLevel}; }
};

using BothEffects = ::testing::Types<Gater, Tremolo>;

namespace velmora::testing {

template <class Effect>
std::string pluginPath() {
    return std::string(VELMORA_PLUGIN_DIR "/") + Effect::Description::name + ".so";
}

}  // namespace velmora::testing
