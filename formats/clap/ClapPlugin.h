// TClapPlugin: one effect (GaterFormats, TremoloFormats) as a CLAP plug-in,
// a thin translation of the host's calls into the effect's core
// (EffectCore.h). It offers the extensions a stereo effect needs: params,
// audio-ports and state. CLAP 1.1 has no preset extension: the programs
// are not offered here.
//
// Parameters: id i is entry i of the description's table (ids 0..18 for
// VelmoraGater, 0..3 for VelmoraTremolo), plain values, every one
// automatable, whole ones stepped. A parameter event takes effect at its
// frame in the block (the block is processed in stretches between events);
// the transport of the block and any transport event go to the core the
// same way.
//
// The host's mistakes are turned away where its call enters: a null
// plug-in, process data or stream, missing audio buffers (the events are
// still applied), unknown parameter ids, events of other kinds or spaces,
// events out of order or past the block (taken at the frame reached or at
// the block's end). Blocks of 0 frames do nothing but apply the events; a
// block longer than announced is processed like any other (nothing here
// depends on the announced maximum).
//
// Threads, as each function says: on the audio thread nothing allocates,
// locks, makes a system call or works with text; the main thread's
// functions may allocate and work with text (state, value text) but take
// no lock the audio thread could wait for. What both reach is the core's
// relaxed atomics.
#pragma once

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>

#include <cstring>
#include <new>

#include "BlockCursor.h"
#include "EffectCore.h"
#include "Nonblocking.h"
#include "ParameterText.h"
#include "Product.h"

template <class Effect>
class TClapPlugin {
    using Description = typename Effect::Description;
    using Core = TEffectCore<Description>;

public:
    static constexpr clap_plugin_descriptor descriptor = {CLAP_VERSION,
                                                          Effect::names.clapId,
                                                          Description::name,
                                                          product::kVendor,
                                                          "",
                                                          "",
                                                          "",
                                                          product::kVersion,
                                                          Description::summary,
                                                          const_cast<const char**>(Effect::names.clapFeatures)};

    // Main thread (the factory's create_plugin). A new instance, or null
    // when memory is short.
    static const clap_plugin* create(const clap_host* host) noexcept {
        auto* self = new (std::nothrow) TClapPlugin(host);
        return self != nullptr ? &self->plugin : nullptr;
    }

private:
    explicit TClapPlugin(const clap_host* host) noexcept : host(host) {}

    static TClapPlugin* of(const clap_plugin* plugin) noexcept {
        return plugin != nullptr ? static_cast<TClapPlugin*>(plugin->plugin_data) : nullptr;
    }

    // Main thread. Finds the host's params extension, to tell it when a
    // loaded state changed the values.
    static bool CLAP_ABI init(const clap_plugin* plugin) noexcept {
        TClapPlugin* self = of(plugin);
        if (self == nullptr) return false;
        if (self->host != nullptr && self->host->get_extension != nullptr) {
            self->hostParams =
                static_cast<const clap_host_params*>(self->host->get_extension(self->host, CLAP_EXT_PARAMS));
        }
        return true;
    }

    // Main thread, after deactivation.
    static void CLAP_ABI destroy(const clap_plugin* plugin) noexcept { delete of(plugin); }

    // Main thread, while not active. Any block size is taken, so the
    // frame counts are not kept; the next block restarts the oscillator.
    static bool CLAP_ABI activate(const clap_plugin* plugin, double sampleRate, std::uint32_t, std::uint32_t) noexcept {
        TClapPlugin* self = of(plugin);
        if (self == nullptr) return false;
        self->core.setSampleRate(sampleRate);
        self->core.restart();
        return true;
    }
    // Main thread: nothing to release.
    static void CLAP_ABI deactivate(const clap_plugin*) noexcept {}
    // Audio thread: nothing to prepare or stop.
    static bool CLAP_ABI startProcessing(const clap_plugin*) noexcept VELMORA_NONBLOCKING { return true; }
    static void CLAP_ABI stopProcessing(const clap_plugin*) noexcept VELMORA_NONBLOCKING {}
    // Audio thread: the next block restarts the oscillator.
    static void CLAP_ABI reset(const clap_plugin* plugin) noexcept VELMORA_NONBLOCKING {
        if (TClapPlugin* self = of(plugin)) self->core.restart();
    }
    // Main thread: nothing is ever requested.
    static void CLAP_ABI onMainThread(const clap_plugin*) noexcept {}

    // Audio thread: no allocation, lock or system call. The events and
    // the audio of one block (see the top of this file); a block without
    // events in one go.
    static clap_process_status CLAP_ABI process(const clap_plugin* plugin,
                                                const clap_process* data) noexcept VELMORA_NONBLOCKING {
        TClapPlugin* self = of(plugin);
        if (self == nullptr || data == nullptr) return CLAP_PROCESS_ERROR;
        self->core.setHostTime(timeOf(data->transport));
        const clap_input_events* events = data->in_events;
        const std::uint32_t count =
            events != nullptr && events->size != nullptr && events->get != nullptr ? events->size(events) : 0;
        const float* const* in = stereo(data->audio_inputs, data->audio_inputs_count);
        float* const* out = stereo(data->audio_outputs, data->audio_outputs_count);
        if (in == nullptr || out == nullptr) {
            self->processEvents(events, count, {}, 0);
            return data->frames_count == 0 ? CLAP_PROCESS_CONTINUE : CLAP_PROCESS_ERROR;
        }
        const StereoChannels audio{in[0], in[1], out[0], out[1]};
        if (count != 0) {
            self->processEvents(events, count, audio, data->frames_count);
        } else if (data->frames_count > 0) {
            self->core.process(audio.in0, audio.in1, audio.out0, audio.out1, data->frames_count);
        }
        return CLAP_PROCESS_CONTINUE;
    }

    // The two channels of the first port of a list, or null when the host
    // gave fewer.
    template <class Buffer>
    static auto stereo(Buffer* ports, std::uint32_t count) noexcept -> decltype(ports->data32) {
        if (ports == nullptr || count == 0 || ports->channel_count < 2 || ports->data32 == nullptr) return nullptr;
        return ports->data32[0] != nullptr && ports->data32[1] != nullptr ? ports->data32 : nullptr;
    }

    static HostTime timeOf(const clap_event_transport* transport) noexcept {
        if (transport == nullptr) return {};
        return {(transport->flags & CLAP_TRANSPORT_IS_PLAYING) != 0, (transport->flags & CLAP_TRANSPORT_HAS_TEMPO) != 0,
                transport->tempo, (transport->flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) != 0,
                double(transport->song_pos_beats) / double(CLAP_BEATTIME_FACTOR)};
    }

    // Audio thread, or the main thread while not processing (flush). The
    // block of `frames` frames (0: none) in stretches between its events
    // (`count` of them): each parameter or transport event at its frame.
    [[gnu::noinline]] void processEvents(const clap_input_events* events, std::uint32_t count,
                                         const StereoChannels& audio,
                                         std::uint32_t frames) noexcept VELMORA_NONBLOCKING {
        TBlockCursor<Core> block(core, audio, frames);
        for (std::uint32_t i = 0; i < count; ++i) {
            const clap_event_header* event = events->get(events, i);
            if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
            if (event->type == CLAP_EVENT_PARAM_VALUE && event->size >= sizeof(clap_event_param_value)) {
                const auto* change = reinterpret_cast<const clap_event_param_value*>(event);
                if (change->param_id >= Core::parameterCount) continue;
                block.advanceTo(event->time);
                core.setValue(change->param_id, float(change->value));
            } else if (event->type == CLAP_EVENT_TRANSPORT && event->size >= sizeof(clap_event_transport)) {
                block.advanceTo(event->time);
                core.setHostTime(timeOf(reinterpret_cast<const clap_event_transport*>(event)));
            }
        }
        block.finish();
    }

    // --- params ---

    // Main thread.
    static std::uint32_t CLAP_ABI parameterCount(const clap_plugin*) noexcept { return Core::parameterCount; }

    // Main thread. Name, plain range and default from the table.
    static bool CLAP_ABI parameterInfo(const clap_plugin*, std::uint32_t index, clap_param_info* info) noexcept {
        if (index >= Core::parameterCount || info == nullptr) return false;
        const ParameterInfo& parameter = Core::info(index);
        *info = {};
        info->id = index;
        info->flags = CLAP_PARAM_IS_AUTOMATABLE;
        if (parameter.kind != ParameterKind::kLinear) info->flags |= CLAP_PARAM_IS_STEPPED;
        std::strncpy(info->name, parameter.name, sizeof(info->name) - 1);
        info->min_value = parameter.minimum;
        info->max_value = parameter.maximum;
        info->default_value = Core::Programs::defaultValue(parameter);
        return true;
    }

    // Any thread: the stored plain value.
    static bool CLAP_ABI parameterValue(const clap_plugin* plugin, clap_id id, double* value) noexcept {
        const TClapPlugin* self = of(plugin);
        if (self == nullptr || id >= Core::parameterCount || value == nullptr) return false;
        *value = self->core.value(id);
        return true;
    }

    // Main thread (text work).
    static bool CLAP_ABI valueToText(const clap_plugin*, clap_id id, double value, char* text,
                                     std::uint32_t size) noexcept {
        if (id >= Core::parameterCount || text == nullptr || size == 0) return false;
        formatValue(Core::info(id), value, text, size);
        return true;
    }
    static bool CLAP_ABI textToValue(const clap_plugin*, clap_id id, const char* text, double* value) noexcept {
        if (id >= Core::parameterCount || text == nullptr || value == nullptr) return false;
        return parseValue(Core::info(id), text, *value);
    }

    // The main thread while not processing, or the audio thread: the
    // parameter events without audio.
    static void CLAP_ABI flush(const clap_plugin* plugin, const clap_input_events* events,
                               const clap_output_events*) noexcept VELMORA_NONBLOCKING {
        TClapPlugin* self = of(plugin);
        if (self == nullptr || events == nullptr || events->size == nullptr || events->get == nullptr) return;
        self->processEvents(events, events->size(events), {}, 0);
    }

    static constexpr clap_plugin_params params = {parameterCount, parameterInfo, parameterValue,
                                                  valueToText,    textToValue,   flush};

    // --- audio-ports: one stereo input, one stereo output, processed in place if the host likes ---

    // Main thread.
    static std::uint32_t CLAP_ABI portCount(const clap_plugin*, bool) noexcept { return 1; }
    static bool CLAP_ABI portInfo(const clap_plugin*, std::uint32_t index, bool isInput,
                                  clap_audio_port_info* info) noexcept {
        if (index != 0 || info == nullptr) return false;
        *info = {};
        std::strcpy(info->name, isInput ? "Input" : "Output");
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = 2;
        info->port_type = CLAP_PORT_STEREO;
        info->in_place_pair = 0;
        return true;
    }
    static constexpr clap_plugin_audio_ports audioPorts = {portCount, portInfo};

    // --- state: the text of StateText.h ---

    // Main thread (text work).
    static bool CLAP_ABI saveState(const clap_plugin* plugin, const clap_ostream* stream) noexcept {
        const TClapPlugin* self = of(plugin);
        if (self == nullptr || stream == nullptr || stream->write == nullptr) return false;
        char text[state_text::kCapacity];
        return state_text::writeAll(text, self->core.saveState(text), [stream](const char* part, std::size_t size) {
            return (long long)stream->write(stream, part, size);
        });
    }
    static bool CLAP_ABI loadState(const clap_plugin* plugin, const clap_istream* stream) noexcept {
        TClapPlugin* self = of(plugin);
        if (self == nullptr || stream == nullptr || stream->read == nullptr) return false;
        char text[state_text::kCapacity + 1];
        const long length = state_text::readAll(
            text, [stream](char* part, std::size_t size) { return (long long)stream->read(stream, part, size); });
        if (length < 0 || !self->core.loadState({text, std::size_t(length)})) return false;
        if (self->hostParams != nullptr && self->hostParams->rescan != nullptr) {
            self->hostParams->rescan(self->host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
        }
        return true;
    }
    static constexpr clap_plugin_state state = {saveState, loadState};

    // Any thread.
    static const void* CLAP_ABI extension(const clap_plugin*, const char* id) noexcept {
        if (id == nullptr) return nullptr;
        if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &params;
        if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &audioPorts;
        if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &state;
        return nullptr;
    }

    const clap_host* host;
    const clap_host_params* hostParams = nullptr;
    const clap_plugin plugin = {&descriptor,     this,           init,  destroy, activate,  deactivate,
                                startProcessing, stopProcessing, reset, process, extension, onMainThread};
    Core core;
};
