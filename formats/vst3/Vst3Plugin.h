// TVst3Plugin: one effect (GaterFormats, TremoloFormats) as a VST3
// plug-in, a thin translation of the host's calls into the effect's core
// (EffectCore.h). One object is the component, the audio processor and the
// edit controller (Vst3Controller.h), with its units (the program list) and
// its process context requirements: a host asks the component for the
// others. Reference counted; deleted with its last reference.
//
// Audio: one stereo input and one stereo output bus, 32-bit samples. The
// input parameter changes take effect at their frames (the block is
// processed in stretches between them, in the order of their frames); a
// block without changes reads nothing of them but their count. The process
// context (tempo, position, playing) goes to the core with each block.
// setActive(true) restarts the oscillator at the next block.
//
// The host's mistakes are turned away where its call enters: null
// pointers, unknown interfaces, parameter ids and buses, other speaker
// arrangements, 64-bit samples, missing audio buffers (the parameter
// changes are still applied), points that cannot be read or lie outside
// the block (taken at its start or end). Blocks of 0 frames apply the
// changes only; a block longer than announced is processed like any other
// (nothing here depends on the announced maximum).
//
// Threads, as each section says: process and setProcessing on the audio
// thread never allocate, lock or make a system call; the main thread's
// functions (set-up, state, controller) may allocate and work with text
// but take no lock the audio thread could wait for. What both reach is
// the core's relaxed atomics and the reference count (atomic).
#pragma once

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/unit.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <new>

#include "BlockCursor.h"
#include "EffectCore.h"
#include "Nonblocking.h"
#include "StateText.h"
#include "Vst3Controller.h"
#include "Vst3Interface.h"
#include "Vst3Values.h"

template <class Effect>
class TVst3Plugin {
public:
    using Core = TEffectCore<typename Effect::Description>;
    using Slot = TVst3Slot<TVst3Plugin>;
    using Controller = TVst3Controller<TVst3Plugin>;
    using Values = TVst3Values<Core>;

    // Main thread (the factory). A new plug-in's interface `iid`, with one
    // reference, into *instance.
    static v3_result create(const v3_tuid iid, void** instance) noexcept {
        auto* self = new (std::nothrow) TVst3Plugin();
        if (self == nullptr) return V3_NOMEM;
        const v3_result found = queryInterface(&self->componentSlot, iid, instance);
        if (found != V3_OK) delete self;
        return found;
    }

    Core& core() noexcept { return effect; }

    // Main thread: tells the host (if it gave a handler) that every
    // parameter's value may have changed.
    void valuesChanged() noexcept {
        if (handler != nullptr)
            vst3Call(handler, &v3_component_handler::restart_component, V3_RESTART_PARAM_VALUES_CHANGED);
    }
    // Main thread: keeps the host's handler (one reference), null to drop it.
    void setHandler(v3_component_handler** next) noexcept {
        if (next != nullptr) v3_cpp_obj_ref(next);
        if (handler != nullptr) v3_cpp_obj_unref(handler);
        handler = next;
    }

    // Any thread: the interfaces of every object.
    static v3_result V3_API queryInterface(void* self, const v3_tuid iid, void** object) noexcept {
        if (object == nullptr) return V3_INVALID_ARG;
        *object = self != nullptr && iid != nullptr ? Slot::of(self).interfaceOf(iid) : nullptr;
        if (*object == nullptr) return V3_NO_INTERFACE;
        ref(*object);
        return V3_OK;
    }
    static std::uint32_t V3_API ref(void* self) noexcept { return ++Slot::of(self).references; }
    static std::uint32_t V3_API unref(void* self) noexcept {
        TVst3Plugin& plugin = Slot::of(self);
        const std::uint32_t left = --plugin.references;
        if (left == 0) delete &plugin;
        return left;
    }

    // Main thread: nothing to set up or tear down (component and controller).
    static v3_result V3_API initialize(void*, v3_funknown**) noexcept { return V3_OK; }
    static v3_result V3_API terminate(void*) noexcept { return V3_OK; }

private:
    TVst3Plugin() noexcept = default;
    ~TVst3Plugin() { setHandler(nullptr); }

    void* interfaceOf(const v3_tuid iid) noexcept {
        if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_base_iid) ||
            v3_tuid_match(iid, v3_component_iid)) {
            return &componentSlot;
        }
        if (v3_tuid_match(iid, v3_audio_processor_iid)) return &processorSlot;
        if (v3_tuid_match(iid, v3_edit_controller_iid)) return &controllerSlot;
        if (v3_tuid_match(iid, v3_unit_information_iid)) return &unitsSlot;
        if (v3_tuid_match(iid, v3_process_context_requirements_iid)) return &requirementsSlot;
        return nullptr;
    }

    // --- component: main thread ---

    // The controller is this object: no class of its own.
    static v3_result V3_API controllerClassId(void*, v3_tuid) noexcept { return V3_NOT_IMPLEMENTED; }
    static v3_result V3_API setIoMode(void*, std::int32_t) noexcept { return V3_OK; }
    static std::int32_t V3_API busCount(void*, std::int32_t media, std::int32_t) noexcept {
        return media == V3_AUDIO ? 1 : 0;
    }
    static v3_result V3_API busInfo(void*, std::int32_t media, std::int32_t direction, std::int32_t index,
                                    v3_bus_info* info) noexcept {
        if (media != V3_AUDIO || index != 0 || info == nullptr || (direction != V3_INPUT && direction != V3_OUTPUT)) {
            return V3_INVALID_ARG;
        }
        *info = {};
        info->media_type = V3_AUDIO;
        info->direction = direction;
        info->channel_count = 2;
        toUtf16(direction == V3_INPUT ? "Input" : "Output", info->bus_name, 128);
        info->bus_type = V3_MAIN;
        info->flags = V3_DEFAULT_ACTIVE;
        return V3_OK;
    }
    static v3_result V3_API routingInfo(void*, v3_routing_info*, v3_routing_info*) noexcept {
        return V3_NOT_IMPLEMENTED;
    }
    static v3_result V3_API activateBus(void*, std::int32_t media, std::int32_t, std::int32_t index, v3_bool) noexcept {
        return media == V3_AUDIO && index == 0 ? V3_OK : V3_INVALID_ARG;
    }
    static v3_result V3_API setActive(void* self, v3_bool active) noexcept {
        if (self == nullptr) return V3_INVALID_ARG;
        if (active) Slot::of(self).effect.restart();
        return V3_OK;
    }
    // The state of StateText.h.
    static v3_result V3_API setState(void* self, v3_bstream** stream) noexcept {
        if (self == nullptr || stream == nullptr) return V3_INVALID_ARG;
        char text[state_text::kCapacity + 1];
        const long length = state_text::readAll(text, [stream](char* part, std::size_t size) {
            std::int32_t read = 0;
            return vst3Call(stream, &v3_bstream::read, part, std::int32_t(size), &read) == V3_OK ? (long long)read
                                                                                                 : -1LL;
        });
        return length >= 0 && Slot::of(self).effect.loadState({text, std::size_t(length)}) ? V3_OK : V3_FALSE;
    }
    static v3_result V3_API getState(void* self, v3_bstream** stream) noexcept {
        if (self == nullptr || stream == nullptr) return V3_INVALID_ARG;
        char text[state_text::kCapacity];
        const std::size_t length = Slot::of(self).effect.saveState(text);
        const bool written = state_text::writeAll(text, length, [stream](const char* part, std::size_t size) {
            std::int32_t count = 0;
            const v3_result result =
                vst3Call(stream, &v3_bstream::write, const_cast<char*>(part), std::int32_t(size), &count);
            return result == V3_OK ? (long long)count : -1LL;
        });
        return written ? V3_OK : V3_FALSE;
    }

    // --- audio processor: main thread, but process and setProcessing on the audio thread ---

    static v3_result V3_API setBusArrangements(void*, v3_speaker_arrangement* inputs, std::int32_t inputCount,
                                               v3_speaker_arrangement* outputs, std::int32_t outputCount) noexcept {
        const bool stereo = inputs != nullptr && outputs != nullptr && inputCount == 1 && outputCount == 1 &&
                            inputs[0] == kStereo && outputs[0] == kStereo;
        return stereo ? V3_OK : V3_FALSE;
    }
    static v3_result V3_API busArrangement(void*, std::int32_t direction, std::int32_t index,
                                           v3_speaker_arrangement* arrangement) noexcept {
        if ((direction != V3_INPUT && direction != V3_OUTPUT) || index != 0 || arrangement == nullptr) {
            return V3_INVALID_ARG;
        }
        *arrangement = kStereo;
        return V3_OK;
    }
    static v3_result V3_API canProcessSampleSize(void*, std::int32_t size) noexcept {
        return size == V3_SAMPLE_32 ? V3_OK : V3_FALSE;
    }
    static std::uint32_t V3_API latency(void*) noexcept { return 0; }
    static std::uint32_t V3_API tail(void*) noexcept { return 0; }
    // While inactive. Any block size is taken, so it is not kept.
    static v3_result V3_API setupProcessing(void* self, v3_process_setup* setup) noexcept {
        if (self == nullptr || setup == nullptr || setup->symbolic_sample_size != V3_SAMPLE_32) return V3_INVALID_ARG;
        Slot::of(self).effect.setSampleRate(setup->sample_rate);
        return V3_OK;
    }
    // Nothing to start or stop.
    static v3_result V3_API setProcessing(void*, v3_bool) noexcept VELMORA_NONBLOCKING { return V3_OK; }

    // Audio thread: no allocation, lock or system call. The parameter
    // changes and the audio of one block; a block without changes in one go.
    static v3_result V3_API process(void* self, v3_process_data* data) noexcept VELMORA_NONBLOCKING {
        if (self == nullptr || data == nullptr || data->symbolic_sample_size != V3_SAMPLE_32) return V3_INVALID_ARG;
        TVst3Plugin& plugin = Slot::of(self);
        plugin.effect.setHostTime(timeOf(data->ctx));
        v3_param_changes** changes = data->input_params;
        const std::int32_t count = changes != nullptr ? vst3Call(changes, &v3_param_changes::get_param_count) : 0;
        float** in = stereo(data->inputs, data->num_input_buses);
        float** out = stereo(data->outputs, data->num_output_buses);
        if (in == nullptr || out == nullptr || data->nframes <= 0) {
            plugin.processChanges(changes, count, {}, 0);
            return data->nframes == 0 ? V3_OK : V3_INVALID_ARG;
        }
        const StereoChannels audio{in[0], in[1], out[0], out[1]};
        if (count > 0) {
            plugin.processChanges(changes, count, audio, std::uint32_t(data->nframes));
        } else {
            plugin.effect.process(audio.in0, audio.in1, audio.out0, audio.out1, std::uint32_t(data->nframes));
        }
        data->outputs[0].channel_silence_bitset = 0;
        return V3_OK;
    }

    // The two channels of the first bus, or null when the host gave fewer.
    static float** stereo(v3_audio_bus_buffers* buses, std::int32_t count) noexcept {
        if (buses == nullptr || count < 1 || buses[0].num_channels < 2) return nullptr;
        float** channels = buses[0].channel_buffers_32;
        return channels != nullptr && channels[0] != nullptr && channels[1] != nullptr ? channels : nullptr;
    }

    static HostTime timeOf(const v3_process_context* context) noexcept {
        if (context == nullptr) return {};
        const std::uint32_t state = context->state;
        // The project time in samples is always given: the host's frame
        // counter, which lets a rounded musical position keep its steps.
        return {(state & V3_PROCESS_CTX_PLAYING) != 0,
                (state & V3_PROCESS_CTX_TEMPO_VALID) != 0,
                context->bpm,
                (state & V3_PROCESS_CTX_PROJECT_TIME_VALID) != 0,
                context->project_time_quarters,
                true,
                double(context->project_time_in_samples)};
    }

    // One parameter's queue of changes, and its next point.
    struct Queue {
        v3_param_value_queue** queue;
        v3_param_id id;
        std::int32_t next;
        std::int32_t count;
        std::int32_t offset;
        double value;

        bool advance() noexcept VELMORA_NONBLOCKING {
            while (next < count) {
                if (vst3Call(queue, &v3_param_value_queue::get_point, next++, &offset, &value) == V3_OK) return true;
            }
            return false;
        }
    };

    // The block of `frames` frames (0: none) in stretches between the
    // points of the `count` queues of known parameters, in the order of
    // their frames (one queue per parameter is kept; a host's extra queues
    // are left out).
    [[gnu::noinline]] void processChanges(v3_param_changes** changes, std::int32_t count, const StereoChannels& audio,
                                          std::uint32_t frames) noexcept VELMORA_NONBLOCKING {
        TBlockCursor<Core> block(effect, audio, frames);
        Queue queues[Core::parameterCount + 1];
        std::int32_t used = 0;
        for (std::int32_t q = 0; q < count && used < std::int32_t(std::size(queues)); ++q) {
            v3_param_value_queue** queue = vst3Call(changes, &v3_param_changes::get_param_data, q);
            if (queue == nullptr) continue;
            Queue next{queue, vst3Call(queue, &v3_param_value_queue::get_param_id),
                       0,     vst3Call(queue, &v3_param_value_queue::get_point_count),
                       0,     0.0};
            if (Values::isKnown(next.id) && next.advance()) queues[used++] = next;
        }
        while (used > 0) {
            std::int32_t first = 0;
            for (std::int32_t q = 1; q < used; ++q) {
                if (queues[q].offset < queues[first].offset) first = q;
            }
            block.advanceTo(std::uint32_t(std::max(queues[first].offset, 0)));
            Values::apply(effect, queues[first].id, queues[first].value);
            if (!queues[first].advance()) queues[first] = queues[--used];
        }
        block.finish();
    }

    // --- process context requirements: main thread ---

    static std::uint32_t V3_API contextRequirements(void*) noexcept {
        return V3_PROCESS_CTX_NEED_PROJECT_TIME | V3_PROCESS_CTX_NEED_TEMPO | V3_PROCESS_CTX_NEED_TRANSPORT_STATE;
    }

    static constexpr v3_speaker_arrangement kStereo = V3_SPEAKER_L | V3_SPEAKER_R;

    static constexpr v3_component_cpp componentTable = {
        {queryInterface, ref, unref},
        {initialize, terminate},
        {controllerClassId, setIoMode, busCount, busInfo, routingInfo, activateBus, setActive, setState, getState}};
    static constexpr v3_audio_processor_cpp processorTable = {{queryInterface, ref, unref},
                                                              {setBusArrangements, busArrangement, canProcessSampleSize,
                                                               latency, setupProcessing, setProcessing, process, tail}};
    static constexpr v3_process_context_requirements_cpp requirementsTable = {{queryInterface, ref, unref},
                                                                              {contextRequirements}};

    std::atomic<std::uint32_t> references{0};
    Slot componentSlot{&componentTable, this};
    Slot processorSlot{&processorTable, this};
    Slot controllerSlot{&Controller::table, this};
    Slot unitsSlot{&Controller::units, this};
    Slot requirementsSlot{&requirementsTable, this};
    v3_component_handler** handler = nullptr;
    Core effect;
};
