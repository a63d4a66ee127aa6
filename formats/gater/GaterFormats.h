// VelmoraGater in the LV2, VST3 and CLAP formats (FormatNames.h).
#pragma once

#include "FormatNames.h"
#include "GaterDescription.h"

inline constexpr const char* kGaterClapFeatures[] = {"audio-effect", "gate", "stereo", nullptr};
inline constexpr FormatNames kGaterNames = {"urn:velmora:gater", "ModulatorPlugin", "velmora.gater", kGaterClapFeatures,
                                            "Fx|Modulation|Stereo"};
using GaterFormats = TEffectFormats<GaterDescription, kGaterNames>;
