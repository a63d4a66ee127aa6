// VelmoraTremolo's identity in the LV2, VST3 and CLAP formats. Hosts and
// saved songs find the plug-in by these identifiers: they never change.
#pragma once

#include "TremoloDescription.h"

struct TremoloFormats {
    using Description = TremoloDescription;
    // LV2: the plug-in's URI (its presets are <URI#preset001> ...) and class.
    static constexpr char lv2Uri[] = "urn:velmora:tremolo";
    static constexpr char lv2Class[] = "ModulatorPlugin";
    // CLAP: the plug-in's id and features.
    static constexpr char clapId[] = "velmora.tremolo";
    static constexpr const char* clapFeatures[] = {"audio-effect", "tremolo", "stereo", nullptr};
    // VST3: the sub-categories. The class id is made from the VST 2
    // identifier "KvTr" (Vst3ClassId.h).
    static constexpr char vst3Categories[] = "Fx|Modulation|Stereo";
};
