// TEffectCore: one effect as the LV2, VST3 and CLAP wrappers drive it,
// knowing none of them. It holds the oscillator, the parameters' plain
// values, the current program and the host's beat; each format's wrapper
// translates its host's calls into these few operations.
//
// Parameters. The formats show plain values (Tempo 30..360 BPM, Edge
// 0..100 %, Waveform as a named choice); parameter i is entry i of the
// description's table, and Sync (SyncParameter.h) comes after them. A
// value is clamped into its presented range (integers and choices
// rounded), stored, turned into the host value the VST 2 plug-in would be
// given (hostValue) and applied through the description. So the same
// settings give the VST 2 plug-in's output bit for bit. NaN is ignored.
//
// Sync. With Sync on, while the host's transport rolls and it reports
// tempo and position, the oscillator's steps or cycles are the song's
// sixteenths or quarter notes (HostGrid.h); otherwise it runs on its own
// Tempo, exactly as the VST 2 plug-in does.
//
// Restarts. The oscillator restarts at the next block after restart(): a
// wrapper calls it when its host activates (or resets) the plug-in, and
// applies the parameters its host sends with that block before processing
// it, as the VST 2 plug-in is given them before its resume.
//
// Threads: process() and setHostTime() on the audio thread; setValue(),
// loadProgram() and restart() on any thread, the audio thread included;
// setSampleRate() while the audio is stopped; the state on the main
// thread. What they share (the values, the program, the oscillator's
// settings) are relaxed atomics.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "FactoryPrograms.h"
#include "HostGrid.h"
#include "HostTime.h"
#include "Nonblocking.h"
#include "ParameterTable.h"
#include "Relaxed.h"
#include "StateText.h"
#include "StereoChannels.h"
#include "SyncParameter.h"

template <class Description>
class TEffectCore {
public:
    // The description's table, then Sync.
    static constexpr std::uint32_t tableSize = Description::parameterCount;
    static constexpr std::uint32_t kSync = tableSize;
    static constexpr std::uint32_t parameterCount = tableSize + 1;
    using Programs = TFactoryPrograms<Description>;

    // Main thread. Program 0 loaded, Sync on, the oscillator at 44100 Hz until
    // setSampleRate.
    TEffectCore() noexcept {
        setValue(kSync, Programs::defaultValue(kSyncParameter));
        loadProgram(0);
    }
    TEffectCore(const TEffectCore&) = delete;
    TEffectCore& operator=(const TEffectCore&) = delete;

    // index < parameterCount (the wrappers turn other indexes away).
    static const ParameterInfo& info(std::uint32_t index) noexcept {
        return index == kSync ? kSyncParameter : Description::parameters[index];
    }
    float value(std::uint32_t index) const noexcept { return values[index].load(); }

    // Any thread. Clamps (rounds) `plain` into the presented range, stores
    // it and drives the oscillator with it; NaN changes nothing.
    void setValue(std::uint32_t index, float plain) noexcept VELMORA_NONBLOCKING {
        if (std::isnan(plain)) return;
        const ParameterInfo& parameter = info(index);
        const double presented = presentedValue(parameter, plain);
        values[index] = float(presented);
        if (index != kSync) Description::apply(osc, std::int32_t(index), hostValue(parameter, presented));
    }

    // Any thread. Makes `program` (< Programs::count) current and sets
    // every parameter of the table to its value there (Sync stays as it is:
    // a program is a sound, not a way of playing along).
    void loadProgram(std::uint32_t program) noexcept VELMORA_NONBLOCKING {
        currentProgram = program;
        for (std::uint32_t index = 0; index < tableSize; ++index) {
            setValue(index, Programs::value(program, index));
        }
    }
    std::uint32_t program() const noexcept { return currentProgram.load(); }

    // While the audio is stopped. The oscillator refuses a rate it cannot
    // run at and keeps its previous one.
    void setSampleRate(double rate) noexcept {
        osc.setSampleRate(float(rate));
        grid.setSampleRate(rate);
    }

    // Any thread. The next block restarts the oscillator.
    void restart() noexcept { restartPending.store(true); }

    // Audio thread. The host's time at the next frame processed: a
    // wrapper calls it at the start of each block with the block's time,
    // and between the stretches of a block where the host reports a change
    // inside it. Until the next call, the time runs on at the tempo given.
    void setHostTime(const HostTime& time) noexcept VELMORA_NONBLOCKING {
        grid.setTime(time.playing, time.hasTempo ? time.tempo : NAN, time.hasPosition ? time.beats : NAN,
                     time.hasFrame ? time.frame : NAN);
    }

    // Audio thread: no allocation, lock or system call. Writes input × gain
    // to both outputs; the buffers may be the same. Any number of frames
    // (the wrappers turn away 0 frames and missing buffers).
    void process(const float* in0, const float* in1, float* out0, float* out1,
                 std::uint32_t frames) noexcept VELMORA_NONBLOCKING {
        // A plain load first: the exchange, a locked instruction, only when
        // a restart is due.
        if (restartPending.load(std::memory_order_relaxed) && restartPending.exchange(false)) {
            osc.reset();
            grid.relock();
        }
        Stretches stretches{*this, {in0, in1, out0, out1}};
        grid.run(frames, values[kSync].load() >= 0.5f, stretches);
    }

    // Main thread. The state as text (StateText.h) into `text`, which has
    // room for state_text::kCapacity characters; returns its length.
    std::size_t saveState(char* text) const noexcept {
        std::size_t length = state_text::kHeader.copy(text, state_text::kHeader.size());
        state_text::append(text, length, "program", float(program()));
        for (std::uint32_t index = 0; index < parameterCount; ++index) {
            state_text::append(text, length, info(index).symbol, value(index));
        }
        return length;
    }

    // Main thread. Loads a state saved by saveState (of this or another
    // version): the program it names (0 if none) is current, each
    // parameter takes its value there or its default. False, with nothing
    // changed, when the text is not such a state.
    bool loadState(std::string_view text) noexcept {
        state_text::Entry entries[128];
        const long count = state_text::parse(text, entries, std::size(entries));
        if (count < 0) return false;
        std::uint32_t loaded = 0;
        for (long e = 0; e < count; ++e) {
            const double number = entries[e].value;
            if (entries[e].key == "program" && number >= 0.0 && number < double(Programs::count)) {
                loaded = std::uint32_t(number);
            }
        }
        currentProgram = loaded;
        for (std::uint32_t index = 0; index < parameterCount; ++index) {
            setValue(index, Programs::defaultValue(info(index)));
            for (long e = 0; e < count; ++e) {
                if (entries[e].key == info(index).symbol) setValue(index, float(entries[e].value));
            }
        }
        return true;
    }

private:
    // The grid's target (HostGrid.h): the block's frames and the song's
    // periods, handed to the oscillator.
    struct Stretches {
        TEffectCore& core;
        StereoChannels audio;

        void process(std::uint32_t offset, std::uint32_t count) noexcept VELMORA_NONBLOCKING {
            if (count == 0) return;
            if (count > kLongest) [[unlikely]] {
                core.processLong(audio.in0 + offset, audio.in1 + offset, audio.out0 + offset, audio.out1 + offset,
                                 count);
            } else {
                core.osc.replace(audio.in0 + offset, audio.in1 + offset, audio.out0 + offset, audio.out1 + offset,
                                 std::int32_t(count));
            }
        }
        void follow() noexcept VELMORA_NONBLOCKING { core.osc.followHost(true); }
        void enter(std::int64_t unit, double length, double position) noexcept VELMORA_NONBLOCKING {
            Description::enterSyncedUnit(core.osc, unit, float(length), float(position));
        }
        void release() noexcept VELMORA_NONBLOCKING { core.osc.followHost(false); }
    };

    // The oscillator counts frames in 32 bits: a longer block in parts.
    static constexpr std::uint32_t kLongest = std::uint32_t(1) << 30;
    [[gnu::noinline]] void processLong(const float* in0, const float* in1, float* out0, float* out1,
                                       std::uint32_t frames) noexcept VELMORA_NONBLOCKING {
        for (std::uint32_t done = 0; done < frames;) {
            const std::uint32_t part = std::min(frames - done, kLongest);
            osc.replace(in0 + done, in1 + done, out0 + done, out1 + done, std::int32_t(part));
            done += part;
        }
    }

    typename Description::Oscillator osc;
    Relaxed<float> values[parameterCount];
    Relaxed<std::uint32_t> currentProgram{0};
    std::atomic<bool> restartPending{true};
    // Audio thread only.
    THostGrid grid{Description::syncUnitBeats};
};
