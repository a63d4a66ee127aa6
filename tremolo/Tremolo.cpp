#include "Tremolo.h"

TTremolo::TTremolo(audioMasterCallback audioMaster) noexcept : TGainEffect(audioMaster) {
    osc.setLevel(100.0f);
    osc.setRate(2.0f);
    osc.setPulseWidth(50.0f);
    osc.setSampleRate(44100.0f);
    osc.setWaveform(TLfo::kTriangle);
    osc.reset();
    setProgram(0);
}

// Called by the framework's `main`, on the host's thread.
TAudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new TTremolo(audioMaster); }
