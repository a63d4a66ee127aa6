// VelmoraTremolo in the LV2, VST3 and CLAP formats.
#include "FormatEffect.h"
#include "TremoloDescription.h"

START_NAMESPACE_DISTRHO

// Called by the wrapper on the host's main thread for each instance.
Plugin* createPlugin() { return new TFormatEffect<TremoloDescription>(); }

END_NAMESPACE_DISTRHO
