// HostTime: what a host reports of its transport, the same for every
// plug-in format. Each wrapper reads its format's time information (CLAP's
// transport, LV2's time:Position objects, VST3's process context) into
// one of these and hands it to the effect's core with the frame of the
// block it applies from.
//
// A field the host does not report is marked absent (hasTempo,
// hasPosition false); a host that reports nothing at all gives the
// default: stopped, no tempo, no position.
#pragma once

struct HostTime {
    bool playing = false;      // the transport rolls
    bool hasTempo = false;     // `tempo` is the host's
    double tempo = 0.0;        // quarter notes per minute, as given (not checked)
    bool hasPosition = false;  // `beats` is the host's
    double beats = 0.0;        // quarter notes since the song's start, as given (not checked)
    bool hasFrame = false;     // `frame` is the host's
    double frame = 0.0;        // the host's frame counter (LV2's time:frame), as given (not checked)

    bool operator==(const HostTime&) const = default;
};
