// What the wrapper (DPF) needs to know about VelmoraGater at compile time.
//
// The identifiers below are how hosts and saved sessions find the plug-in:
// they must never change. The VST3 class id is made by the wrapper from
// the unique id "KvGt" (GaterDescription::uniqueId).
#pragma once

#define DISTRHO_PLUGIN_NAME "VelmoraGater"
// LV2: the plug-in's URI (its presets are <URI#preset001> ...).
#define DISTRHO_PLUGIN_URI "urn:velmora:gater"
// CLAP: the plug-in's id.
#define DISTRHO_PLUGIN_CLAP_ID "velmora.gater"

#define DISTRHO_PLUGIN_LV2_CATEGORY "lv2:ModulatorPlugin"
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Fx|Modulation|Stereo"
#define DISTRHO_PLUGIN_CLAP_FEATURES "audio-effect", "gate", "stereo"

#include "../FormatOptions.h"
