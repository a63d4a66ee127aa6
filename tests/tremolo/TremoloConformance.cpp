// The host-conformance battery, run on VelmoraTremolo.
#include "Conformance.h"

VELMORA_CONFORMANCE_TESTS(VelmoraTremolo, VELMORA_PLUGIN_DIR "/VelmoraTremolo.so");
