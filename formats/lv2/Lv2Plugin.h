// TLv2Plugin: one effect (GaterFormats, TremoloFormats) as an LV2 plug-in,
// a thin translation of the host's calls into the effect's core
// (EffectCore.h). Its description (ports, units, ranges, presets) is
// written at build time from the same tables by TtlGenerator.cpp.
//
// Ports, in this order: audio in L and R (0, 1), audio out L and R (2, 3),
// one control input per parameter of the table in its order (from 4), an
// optional atom input for the host's time:Position (after the controls),
// and the Sync switch (last). It needs no feature of the host; with the
// URID map it reads the host's time.
//
// Control ports. A host writes their values into its own memory; each
// block reads them all in one pass (bit for bit against the values read
// last; vectorised where the host keeps them as one array), and only a
// changed one is applied: clamped into its range, NaN ignored, like any
// value (EffectCore.h). The first block after instantiation applies every
// port.
//
// The host's mistakes are turned away where its call enters: a port it
// has not connected (a control port then keeps its value), missing audio
// buffers or 0 frames (the controls and time are still read), a port
// index that does not exist.
//
// Threads, in LV2's classes as each function says: connect_port and run
// (audio class) never allocate, lock or make a system call; instantiate,
// activate, deactivate and cleanup (instantiation class) may allocate,
// and run at no time the audio class runs.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <cstring>
#include <new>

#include "BlockCursor.h"
#include "EffectCore.h"
#include "Lv2Time.h"
#include "Nonblocking.h"

template <class Effect>
class TLv2Plugin {
    using Core = TEffectCore<typename Effect::Description>;
    static constexpr std::uint32_t kAudioPorts = 4;
    static constexpr std::uint32_t kControls = Core::tableSize;
    static constexpr std::uint32_t kTimePort = kAudioPorts + kControls;
    static constexpr std::uint32_t kSyncPort = kTimePort + 1;

public:
    // Main thread (instantiate), with the host's features (may be null).
    TLv2Plugin(double sampleRate, const LV2_Feature* const* features) noexcept : time(mapOf(features)) {
        core.setSampleRate(sampleRate);
        for (std::uint32_t i = 0; i < kControls; ++i) {
            applied[i] = core.value(i);
            controls[i] = &applied[i];
        }
        syncApplied = core.value(Core::kSync);
        sync = &syncApplied;
    }

private:
    static const LV2_URID_Map* mapOf(const LV2_Feature* const* features) noexcept {
        for (; features != nullptr && *features != nullptr; ++features) {
            if (std::strcmp((*features)->URI, LV2_URID__map) == 0) return static_cast<LV2_URID_Map*>((*features)->data);
        }
        return nullptr;
    }

    // Main thread ("instantiation" class). A new instance, or null when
    // memory is short.
    static LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*,
                                  const LV2_Feature* const* features) noexcept {
        return new (std::nothrow) TLv2Plugin(sampleRate, features);
    }

    // Audio thread, between blocks (hosts connect buffers before each).
    static void connectPort(LV2_Handle handle, std::uint32_t port, void* data) noexcept VELMORA_NONBLOCKING {
        auto* self = static_cast<TLv2Plugin*>(handle);
        if (self == nullptr) return;
        if (port < kAudioPorts) {
            self->audio[port] = static_cast<float*>(data);
        } else if (port < kTimePort) {
            const std::uint32_t i = port - kAudioPorts;
            const float* next = data != nullptr ? static_cast<const float*>(data) : &self->applied[i];
            if (next != self->controls[i]) self->layoutKnown = false;
            self->controls[i] = next;
        } else if (port == kTimePort) {
            self->timeEvents = static_cast<const LV2_Atom_Sequence*>(data);
        } else if (port == kSyncPort) {
            self->sync = data != nullptr ? static_cast<const float*>(data) : &self->syncApplied;
        }
    }

    // Main thread ("instantiation" class): the next block restarts the
    // oscillator.
    static void activate(LV2_Handle handle) noexcept {
        if (auto* self = static_cast<TLv2Plugin*>(handle)) self->core.restart();
    }
    static void deactivate(LV2_Handle) noexcept {}

    // Audio thread: no allocation, lock or system call. The controls, the
    // host's time at its frames and the audio of one block; a block
    // without time events in one go.
    static void run(LV2_Handle handle, std::uint32_t frames) noexcept VELMORA_NONBLOCKING {
        auto* self = static_cast<TLv2Plugin*>(handle);
        if (self == nullptr) return;
        self->readControls();
        float* const* a = self->audio;
        const bool audio = frames > 0 && a[0] != nullptr && a[1] != nullptr && a[2] != nullptr && a[3] != nullptr;
        const StereoChannels channels{a[0], a[1], a[2], a[3]};
        if (self->time.hasEvents(self->timeEvents)) {
            self->processTimeEvents(channels, audio ? frames : 0);
        } else if (audio) {
            self->core.process(channels.in0, channels.in1, channels.out0, channels.out1, frames);
        }
    }

    // The block of `frames` frames (0: none) in stretches between the
    // host's time events.
    [[gnu::noinline]] void processTimeEvents(const StereoChannels& channels,
                                             std::uint32_t frames) noexcept VELMORA_NONBLOCKING {
        TBlockCursor<Core> block(core, channels, frames);
        time.read(timeEvents, [this, &block](std::uint32_t frame, const HostTime& hostTime) {
            block.advanceTo(frame);
            core.setHostTime(hostTime);
        });
        block.finish();
    }

    // Every control port against the value read last, in one pass; only
    // the changed ones (all of them in the first block) go to the core.
    // Where the host keeps the ports' values side by side, as one array,
    // the pass reads them as one (several values per instruction).
    void readControls() noexcept VELMORA_NONBLOCKING {
        if (!layoutKnown) {
            contiguous = true;
            for (std::uint32_t i = 1; i < kControls; ++i) contiguous = contiguous && controls[i] == controls[0] + i;
            layoutKnown = true;
        }
        std::uint32_t differ = readAll ? 1 : 0;
        if (contiguous) {
            const float* values = controls[0];
            for (std::uint32_t i = 0; i < kControls; ++i) differ |= bitsOf(values[i]) ^ bitsOf(applied[i]);
        } else {
            for (std::uint32_t i = 0; i < kControls; ++i) differ |= bitsOf(*controls[i]) ^ bitsOf(applied[i]);
        }
        if (bitsOf(*sync) != bitsOf(syncApplied)) {
            syncApplied = *sync;
            core.setValue(Core::kSync, syncApplied);
        }
        if (differ == 0) return;
        for (std::uint32_t i = 0; i < kControls; ++i) {
            const float value = *controls[i];
            if (!readAll && bitsOf(value) == bitsOf(applied[i])) continue;
            applied[i] = value;
            core.setValue(i, value);
        }
        readAll = false;
    }

    static std::uint32_t bitsOf(float value) noexcept { return std::bit_cast<std::uint32_t>(value); }

    // Main thread ("instantiation" class).
    static void cleanup(LV2_Handle handle) noexcept { delete static_cast<TLv2Plugin*>(handle); }
    // Any thread: no extension interfaces.
    static const void* extensionData(const char*) noexcept { return nullptr; }

public:
    static constexpr LV2_Descriptor descriptor = {Effect::names.lv2Uri, instantiate, connectPort,  activate, run,
                                                  deactivate,           cleanup,     extensionData};

private:
    Core core;
    float* audio[kAudioPorts] = {};
    const float* controls[kControls];
    float applied[kControls];  // each control port's value when last read
    const float* sync;
    float syncApplied;  // the Sync port's value when last read
    bool readAll = true;
    bool layoutKnown = false;  // whether `contiguous` tells the ports' layout
    bool contiguous = false;   // the ports' values are one array
    const LV2_Atom_Sequence* timeEvents = nullptr;
    Lv2Time time;
};
