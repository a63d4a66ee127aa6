// TTremolo: a stereo tremolo. Every sample frame takes one gain value from
// the low-frequency oscillator and multiplies both channels by it, so the
// gain swings between 0 and the level. Four parameters (Waveform, Tempo,
// P-Width, Level) and 16 programs, all as TremoloDescription describes
// them.
#pragma once

#include "GainEffect.h"
#include "TremoloDescription.h"

class TTremolo final : public TGainEffect<TremoloDescription> {
public:
    // Construction thread (inside `main`). Sets the oscillator up, restarts
    // it and loads program 0.
    explicit TTremolo(audioMasterCallback audioMaster) noexcept;
};
