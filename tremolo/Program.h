// TProgram: one stored program of the tremolo, the four normalised
// parameter values and a name of up to 24 characters.
//
// Threads: the values are relaxed atomics because a host may write a
// parameter (automation on the audio thread) while another of its threads
// reads it back. The name is only touched by the host's program-name calls.
#pragma once

#include "AudioEffect.h"
#include "Relaxed.h"

using TProgramName = TShortString<24>;

class TProgram {
public:
    Relaxed<float> level{1.0f};
    Relaxed<float> tempo{0.27272728f};  // nearest float to 3/11: 120 beats per minute
    Relaxed<float> pulseWidth{0.5f};    // 50 percent
    Relaxed<float> waveform{0.1f};      // square
    TProgramName name = TProgramName::from("Init");
};
