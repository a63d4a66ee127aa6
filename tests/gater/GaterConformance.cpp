// The host-conformance battery, run on VelmoraGater.
#include "Conformance.h"

VELMORA_CONFORMANCE_TESTS(VelmoraGater, VELMORA_PLUGIN_DIR "/VelmoraGater.so");
