// A small CLAP host: loads a .clap file (or takes an entry already in
// memory), creates one plug-in through the entry and drives it as a host's
// audio thread does, with parameter changes and transport events sent at
// frames of the next process call. The tests and the benchmark drive the
// CLAP plug-ins through it.
//
// Failures (missing file, no clap_entry, no factory, no plug-in of that id,
// a refused init or activation) are reported as velmora::host::HostError.
#pragma once

#include <clap/entry.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/host.h>
#include <clap/plugin-factory.h>
#include <clap/process.h>

#include <cstdint>
#include <memory>
#include <string>

#include "BlockChannels.h"
#include "Nonblocking.h"

namespace velmora::host {

class ClapPlugin {
public:
    // Main thread. Loads the file, initialises its entry and creates and
    // initialises the plug-in `id`.
    static std::unique_ptr<ClapPlugin> load(const std::string& path, const std::string& id);
    // Main thread. The same with an entry in this process (`path` is given
    // to its init).
    static std::unique_ptr<ClapPlugin> attach(const clap_plugin_entry* entry, const std::string& path,
                                              const std::string& id);
    // Stops processing, deactivates, destroys the plug-in, deinitialises the
    // entry and unloads the file.
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    // Main thread. Activates at `sampleRate` for blocks of 1 to `maxFrames`
    // frames and starts processing.
    void activate(double sampleRate, std::uint32_t maxFrames);

    // Main thread: the plug-in's parameter list and plain values.
    std::uint32_t parameterCount() const;
    clap_param_info parameterInfo(std::uint32_t index) const;
    double parameterValue(clap_id id) const;
    const clap_plugin_params& parameters() const noexcept { return *params; }
    const clap_plugin* instance() const noexcept { return plugin; }

    // Main thread: the plug-in's state, and loading one (false when it
    // refuses).
    std::string saveState() const;
    bool loadState(const std::string& state);
    // How often the plug-in asked the host to read its parameters again.
    int rescanCount() const noexcept { return rescans; }

    // Any thread, not during process(): queues an event for the next
    // process call or flush (at most kMaxEvents are kept; the caller sends
    // them in the order of their frames).
    void queueParameter(clap_id id, double value, std::uint32_t frame = 0) noexcept;
    void queueTransport(const clap_event_transport& transport, std::uint32_t frame) noexcept;

    // Main thread, while not processing: the queued events through the
    // params extension's flush.
    void flushParameters() noexcept;

    // Audio thread: one process call on `frames` frames of two separate
    // input and output channels, with the queued events and `transport`
    // (by default stopped at 120 BPM, at the song's start). Returns the
    // plug-in's status. Like a host's audio loop, it only updates what
    // changes between calls in structures it keeps.
    clap_process_status process(const float* in0, const float* in1, float* out0, float* out1, std::uint32_t frames,
                                const clap_event_transport* transport = nullptr) noexcept VELMORA_NONBLOCKING {
        channels.point(in0, in1, out0, out1);
        data.steady_time = steadyTime;
        data.frames_count = frames;
        data.transport = transport != nullptr ? transport : &stopped;
        const clap_process_status status = plugin->process(plugin, &data);
        queued = 0;
        steadyTime += frames;
        return status;
    }

    static constexpr std::uint32_t kMaxEvents = 64;

private:
    // One queued event of either kind.
    union Event {
        clap_event_header header;
        clap_event_param_value parameter;
        clap_event_transport transport;
    };

    ClapPlugin() = default;
    static std::uint32_t eventCount(const clap_input_events* list) noexcept;
    static const clap_event_header* event(const clap_input_events* list, std::uint32_t index) noexcept;
    static bool discardEvent(const clap_output_events*, const clap_event_header*) noexcept { return true; }
    static void rescan(const clap_host* host, clap_param_rescan_flags) noexcept;
    static const void* extension(const clap_host* host, const char* id) noexcept;

    void* library = nullptr;
    const clap_plugin_entry* entry = nullptr;
    const clap_plugin* plugin = nullptr;
    const clap_plugin_params* params = nullptr;
    const clap_plugin_state* state = nullptr;
    bool active = false;
    int rescans = 0;
    clap_host host{};
    clap_host_params hostParams{};
    Event events[kMaxEvents]{};
    std::uint32_t queued = 0;
    std::int64_t steadyTime = 0;
    clap_event_transport stopped{};  // the transport when a process call names none
    // What process() hands the plug-in.
    BlockChannels channels;
    clap_audio_buffer inputBuffer{channels.inputs, nullptr, 2, 0, 0};
    clap_audio_buffer outputBuffer{channels.outputs, nullptr, 2, 0, 0};
    clap_input_events inEvents{this, eventCount, event};
    clap_output_events outEvents{this, discardEvent};
    clap_process data{0, 0, nullptr, &inputBuffer, &outputBuffer, 1, 1, &inEvents, &outEvents};
};

}  // namespace velmora::host
