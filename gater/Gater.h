// TGater: the step gate effect. It multiplies a stereo signal, frame by
// frame, by the gain sequence of its TOsc, and offers the host 19
// parameters (Steps, Tempo, Edge, Step 1..16) and 16 programs, all as
// GaterDescription describes them.
#pragma once

#include "GainEffect.h"
#include "GaterDescription.h"

class TGater final : public TGainEffect<GaterDescription> {
public:
    // Construction thread (inside `main`). Loads program 0 and restarts the
    // sequence.
    explicit TGater(audioMasterCallback audioMaster) noexcept;

    // Any host thread, while the audio is stopped. Like suspend, restarts
    // the sequence at step 1.
    void resume() noexcept override { osc.reset(); }
};
