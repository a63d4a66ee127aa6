#include "Gater.h"

TGater::TGater(audioMasterCallback audioMaster) noexcept : TGainEffect(audioMaster) {
    setProgram(0);
    suspend();
}

// Called by the framework's `main`, on the host's thread.
TAudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new TGater(audioMaster); }
