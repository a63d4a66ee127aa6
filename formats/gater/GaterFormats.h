// VelmoraGater's identity in the LV2, VST3 and CLAP formats. Hosts and
// saved songs find the plug-in by these identifiers: they never change.
#pragma once

#include "GaterDescription.h"

struct GaterFormats {
    using Description = GaterDescription;
    // LV2: the plug-in's URI (its presets are <URI#preset001> ...) and class.
    static constexpr char lv2Uri[] = "urn:velmora:gater";
    static constexpr char lv2Class[] = "ModulatorPlugin";
    // CLAP: the plug-in's id and features.
    static constexpr char clapId[] = "velmora.gater";
    static constexpr const char* clapFeatures[] = {"audio-effect", "gate", "stereo", nullptr};
    // VST3: the sub-categories. The class id is made from the VST 2
    // identifier "KvGt" (Vst3ClassId.h).
    static constexpr char vst3Categories[] = "Fx|Modulation|Stereo";
};
