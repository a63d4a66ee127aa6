// A small CLAP host: loads a .clap file, creates one plug-in through the
// file's entry and drives it as a host's audio thread does, with parameter
// changes sent as events in the next process call. The tests and the
// benchmark drive the CLAP plug-ins through it.
//
// Failures (missing file, no clap_entry, no factory, no plug-in of that id,
// a refused init or activation) are reported as velmora::host::HostError.
#pragma once

#include <clap/entry.h>
#include <clap/ext/params.h>
#include <clap/host.h>
#include <clap/plugin-factory.h>
#include <clap/process.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Nonblocking.h"

namespace velmora::host {

class ClapPlugin {
public:
    // Main thread. Loads the file, initialises its entry and creates and
    // initialises the plug-in `id`.
    static std::unique_ptr<ClapPlugin> load(const std::string& path, const std::string& id);
    // Stops processing, deactivates, destroys the plug-in and unloads the file.
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

    // Any thread, not during process(): queues a CLAP_EVENT_PARAM_VALUE for
    // the next process call (at most kMaxEvents are kept).
    void queueParameter(clap_id id, double value) noexcept;

    // Audio thread: one process call on `frames` frames of two separate
    // input and output channels, with the queued events. Returns the
    // plug-in's status.
    clap_process_status process(const float* in0, const float* in1, float* out0, float* out1,
                                std::uint32_t frames) noexcept VELMORA_NONBLOCKING;

    static constexpr std::uint32_t kMaxEvents = 64;

private:
    ClapPlugin() = default;
    static std::uint32_t eventCount(const clap_input_events* list) noexcept;
    static const clap_event_header* event(const clap_input_events* list, std::uint32_t index) noexcept;
    static bool discardEvent(const clap_output_events*, const clap_event_header*) noexcept { return true; }

    void* library = nullptr;
    const clap_plugin_entry* entry = nullptr;
    const clap_plugin* plugin = nullptr;
    const clap_plugin_params* params = nullptr;
    bool active = false;
    clap_host host{};
    clap_event_param_value events[kMaxEvents]{};
    std::uint32_t queued = 0;
    std::int64_t steadyTime = 0;
};

}  // namespace velmora::host
