// VelmoraTremolo in the LV2, VST3 and CLAP formats (FormatNames.h).
#pragma once

#include "FormatNames.h"
#include "TremoloDescription.h"

inline constexpr const char* kTremoloClapFeatures[] = {"audio-effect", "tremolo", "stereo", nullptr};
inline constexpr FormatNames kTremoloNames = {"urn:velmora:tremolo", "ModulatorPlugin", "velmora.tremolo",
                                              kTremoloClapFeatures, "Fx|Modulation|Stereo"};
using TremoloFormats = TEffectFormats<TremoloDescription, kTremoloNames>;
