// TProgram: one stored program of an effect, a host value (0..1 by the
// host's convention, stored as given) for each parameter and a name of up
// to 24 characters. The effect's current program is the one store of its
// parameter values: setParameter writes it, getParameter reads it.
//
// Threads: the values are written by setParameter and read by setProgram
// and getParameter, which hosts call from different threads (automation
// often arrives on the audio thread), so they are relaxed atomics. The
// name is only touched by the program-name opcodes.
#pragma once

#include <cstdint>

#include "AudioEffect.h"
#include "Relaxed.h"

using TProgramName = TShortString<24>;

// `Description` is the effect's description (GaterDescription, ...): its
// parameter table gives the count and the defaults.
template <class Description>
class TProgram {
public:
    // Every value at its parameter's default, the name "Init".
    TProgram() noexcept {
        for (std::int32_t i = 0; i < Description::parameterCount; ++i) {
            values[i] = Description::parameters[i].defaultValue;
        }
    }
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    Relaxed<float> values[Description::parameterCount];
    TProgramName name = TProgramName::from("Init");
};
