// Lv2Time: reads the host's time:Position objects from the LV2 plug-ins'
// atom input port (symbol "time") into HostTime.
//
// A time:Position is taken as a whole: a property it leaves out, the host
// does not report (hosts send every property they know, and only when
// something changed: the position moves on by itself in between). From its
// properties: playing while time:speed is not 0; the tempo from
// time:beatsPerMinute; the position in quarter notes from time:beat, or
// else from time:bar, time:barBeat and time:beatsPerBar, counted in
// time:beatUnit notes (quarter notes when it is missing); the host's frame
// counter from time:frame. Numbers may be atom:Int, Long, Float or Double.
//
// The host's mistakes are skipped: a port not connected or holding no
// sequence, events or properties that do not fit in the sequence, values
// of other types. Without the host's URID map nothing is read.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "HostTime.h"
#include "Nonblocking.h"

class Lv2Time {
public:
    // Main thread (instantiate). Maps the URIs it reads with the host's
    // map, which may be null.
    explicit Lv2Time(const LV2_URID_Map* map) noexcept;

    // Audio thread: whether `sequence` holds any event at all.
    bool hasEvents(const LV2_Atom_Sequence* sequence) const noexcept VELMORA_NONBLOCKING {
        return sequence != nullptr && sequence->atom.size > sizeof(LV2_Atom_Sequence_Body);
    }

    // Audio thread: no allocation, lock or system call. Calls
    // onTime(frame, HostTime) for each time:Position in `sequence` (null:
    // none), in order.
    template <class OnTime>
    void read(const LV2_Atom_Sequence* sequence, OnTime onTime) const noexcept VELMORA_NONBLOCKING {
        if (sequence == nullptr || !mapped || sequence->atom.type != urids.sequence) return;
        const auto* body = reinterpret_cast<const std::uint8_t*>(&sequence->body);
        const std::uint32_t size = sequence->atom.size;
        const bool inFrames = sequence->body.unit == 0 || sequence->body.unit == urids.frameTime;
        for (std::uint32_t at = sizeof(LV2_Atom_Sequence_Body); at + sizeof(LV2_Atom_Event) <= size;) {
            LV2_Atom_Event event;
            std::memcpy(&event, body + at, sizeof(event));
            const std::uint32_t end = at + std::uint32_t(sizeof(LV2_Atom_Event)) + event.body.size;
            if (end > size || end < at) return;
            HostTime time;
            if (positionOf(body + at + offsetof(LV2_Atom_Event, body), time)) {
                const std::int64_t frame = inFrames ? event.time.frames : 0;
                onTime(frame < 0 ? 0u : frame > 0xFFFFFFFF ? 0xFFFFFFFFu : std::uint32_t(frame), time);
            }
            at = end + ((8 - end % 8) % 8);
        }
    }

private:
    // Whether `atom` (whose whole size has been checked) is a
    // time:Position object; its time into `time` if so.
    bool positionOf(const std::uint8_t* atom, HostTime& time) const noexcept VELMORA_NONBLOCKING;
    // The number `value` holds, if it is one.
    bool numberOf(const LV2_Atom& value, const std::uint8_t* body, double& number) const noexcept VELMORA_NONBLOCKING;

    struct Urids {
        LV2_URID sequence, frameTime, object, blank, position;
        LV2_URID intType, longType, floatType, doubleType;
        LV2_URID speed, beatsPerMinute, beat, bar, barBeat, beatsPerBar, beatUnit, frame;
    };
    Urids urids{};
    bool mapped = false;
};
