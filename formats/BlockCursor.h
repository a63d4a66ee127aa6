// TBlockCursor: one host block processed in stretches, so that what a host
// sends at a frame inside the block (a parameter change, the transport)
// takes effect from that frame. A wrapper walks the block's events in
// order: advanceTo(the event's frame) processes the frames before it, then
// the wrapper applies the event; finish() processes the rest.
//
// The engine's output does not depend on how a block is cut, so a block
// without events is one stretch and a block cut anywhere gives the same
// samples as if uncut.
//
// Audio thread.
#pragma once

#include <algorithm>
#include <cstdint>

#include "Nonblocking.h"
#include "StereoChannels.h"

template <class Core>
class TBlockCursor {
public:
    // A block of `frames` frames, or none (frames 0: the events are applied
    // and nothing is processed).
    TBlockCursor(Core& core, const StereoChannels& channels, std::uint32_t frames) noexcept
        : core(core), channels(channels), frames(frames) {}

    // Processes the block up to `frame` and returns the frame an event
    // sent for `frame` applies from: a frame past the block's end counts
    // as its end, and one before the frames already processed as the frame
    // reached (an event sent out of order is heard as if in order).
    std::uint32_t advanceTo(std::uint32_t frame) noexcept VELMORA_NONBLOCKING {
        frame = std::min(frame, frames);
        if (frame > done) {
            core.process(channels.in0 + done, channels.in1 + done, channels.out0 + done, channels.out1 + done,
                         frame - done);
            done = frame;
        }
        return done;
    }

    void finish() noexcept VELMORA_NONBLOCKING { advanceTo(frames); }

private:
    Core& core;
    StereoChannels channels;
    std::uint32_t frames;
    std::uint32_t done = 0;
};
