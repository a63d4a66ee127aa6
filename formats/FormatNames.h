// What an effect is called in the LV2, VST3 and CLAP formats beside its
// description: the identifiers hosts and saved songs find it by (they never
// change) and the categories hosts file it under. Each effect gives one of
// these (GaterFormats.h, TremoloFormats.h); the wrappers take the effect
// as TEffectFormats<its description, its names>.
#pragma once

struct FormatNames {
    const char* lv2Uri;               // LV2: the plug-in's URI; its presets are <URI#preset001> ...
    const char* lv2Class;             // LV2: its class, lv2:<class>
    const char* clapId;               // CLAP: its id
    const char* const* clapFeatures;  // CLAP: its features, ending with null
    const char* vst3Categories;       // VST3: its sub-categories (the class id comes from the VST 2 identifier)
};

template <class EffectDescription, const FormatNames& kNames>
struct TEffectFormats {
    using Description = EffectDescription;
    static constexpr const FormatNames& names = kNames;
};
