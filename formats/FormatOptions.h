// The wrapper (DPF) options that both effects share: a stereo effect with
// no editor, no MIDI and no latency, whose audio callback is real-time
// safe, with programs (the formats' presets).
#pragma once

#define DISTRHO_PLUGIN_NUM_INPUTS 2
#define DISTRHO_PLUGIN_NUM_OUTPUTS 2
#define DISTRHO_PLUGIN_HAS_UI 0
#define DISTRHO_PLUGIN_IS_RT_SAFE 1
#define DISTRHO_PLUGIN_IS_SYNTH 0
#define DISTRHO_PLUGIN_WANT_PROGRAMS 1
#define DISTRHO_PLUGIN_WANT_STATE 0
#define DISTRHO_PLUGIN_WANT_LATENCY 0
// The host's transport (getTimePosition()) is not read yet. Turning it on
// gives the LV2 plug-in an atom input port for time:Position.
#define DISTRHO_PLUGIN_WANT_TIMEPOS 0
