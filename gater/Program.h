// TProgram: one stored program of the step gate, a normalised value (0..1
// by the host's convention, stored as given) for each of the 19 parameters
// and a name of up to 24 characters.
//
// Threads: the values are written by setParameter and read by setProgram,
// which hosts call from different threads (automation often arrives on the
// audio thread), so they are relaxed atomics. The name is only touched by
// the program-name opcodes.
#pragma once

#include <cstdint>

#include "AudioEffect.h"
#include "Relaxed.h"

class TProgram {
public:
    static constexpr std::int32_t numValues = 19;

    TProgram() noexcept {
        for (auto& gain : stepGains) gain = 1.0f;
    }

    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    // The stored value of parameter 0..18 (Steps, Tempo, Edge, Step 1..16).
    // The caller checks the index.
    Relaxed<float>& value(std::int32_t index) noexcept {
        switch (index) {
            case 0: return steps;
            case 1: return tempo;
            case 2: return edge;
            default: return stepGains[index - 3];
        }
    }

    Relaxed<float> steps{1.0f};         // 16 steps
    Relaxed<float> tempo{0.27272728f};  // 120 BPM
    Relaxed<float> edge{0.1f};          // 10 percent
    Relaxed<float> stepGains[16];       // 1.0 each (0 dB)
    TShortString<24> name = TShortString<24>::from("Init");
};
