// A small VST3 host over the C interface (travesty): loads a .vst3 module
// (or takes a factory already in memory), creates one plug-in whose component is also its edit controller, and
// drives it as a host's audio thread does: parameter changes queued at
// frames of the next process call, a process context with every block.
// The tests and the benchmark drive the VST3 plug-ins through it.
//
// Failures (missing file, no GetPluginFactory, no class of that name, a
// refused set-up) are reported as velmora::host::HostError.
#pragma once

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>
#include <travesty/unit.h>

#include <cstdint>
#include <memory>
#include <string>

#include "BlockChannels.h"
#include "Nonblocking.h"
#include "Vst3Interface.h"

namespace velmora::host {

class Vst3Plugin {
public:
    // Main thread. Loads the module `path` (the binary inside a .vst3
    // bundle), runs its module entry and creates the class named `name`.
    static std::unique_ptr<Vst3Plugin> load(const std::string& path, const std::string& name);
    // Main thread. The same with a factory in this process.
    static std::unique_ptr<Vst3Plugin> attach(v3_plugin_factory** factory, const std::string& name);
    // Stops processing, deactivates, releases every interface and unloads.
    ~Vst3Plugin();
    Vst3Plugin(const Vst3Plugin&) = delete;
    Vst3Plugin& operator=(const Vst3Plugin&) = delete;

    // Main thread. Stereo buses, 32-bit samples at `sampleRate` in blocks of
    // at most `maxFrames`, then active and processing.
    void activate(double sampleRate, std::int32_t maxFrames);

    // Main thread: the controller's parameters.
    std::int32_t parameterCount() const;
    v3_param_info parameterInfo(std::int32_t index) const;
    double normalised(v3_param_id id) const;
    double plain(v3_param_id id) const;
    double toNormalised(v3_param_id id, double plain) const;

    // Any thread, not during process(): a change to `normalised` at frame
    // `offset` of the next process call (at most kMaxQueues parameters,
    // kMaxPoints points each, are kept).
    void queueChange(v3_param_id id, double normalised, std::int32_t offset = 0) noexcept;

    // Audio thread: one process call on `frames` frames of two separate
    // input and output channels, with the queued changes and `context`
    // (by default stopped at 120 BPM, at the song's start). Returns the
    // plug-in's result. Like a host's audio loop, it only updates what
    // changes between calls in structures it keeps.
    v3_result process(const float* in0, const float* in1, float* out0, float* out1, std::int32_t frames,
                      const v3_process_context* context = nullptr) noexcept VELMORA_NONBLOCKING {
        channels.point(in0, in1, out0, out1);
        data.nframes = frames;
        data.ctx = const_cast<v3_process_context*>(context != nullptr ? context : &stopped);
        const v3_result result = vst3Call(processorInterface, &v3_audio_processor::process, &data);
        clearChanges();
        return result;
    }

    // Main thread: the component's state, and loading one.
    std::string saveState() const;
    bool loadState(const std::string& state);

    // The plug-in's interfaces, for tests that call them directly.
    v3_component** component() const noexcept { return componentInterface; }
    v3_audio_processor** processor() const noexcept { return processorInterface; }
    v3_edit_controller** controller() const noexcept { return controllerInterface; }
    // How often the plug-in told the host its parameter values changed.
    int valuesChangedCount() const noexcept { return restarts; }

    static constexpr std::int32_t kMaxQueues = 32;
    static constexpr std::int32_t kMaxPoints = 16;

private:
    struct Queue;
    struct Changes;
    struct Stream;
    struct Handler;

    Vst3Plugin();
    v3_param_changes** changeList() noexcept;
    void clearChanges() noexcept VELMORA_NONBLOCKING;

    void* library = nullptr;
    v3_component** componentInterface = nullptr;
    v3_audio_processor** processorInterface = nullptr;
    v3_edit_controller** controllerInterface = nullptr;
    bool active = false;
    int restarts = 0;
    v3_process_context stopped{};  // the context when a process call names none
    // What process() hands the plug-in.
    BlockChannels channels;
    v3_audio_bus_buffers inputBuffer{};
    v3_audio_bus_buffers outputBuffer{};
    v3_process_data data{};
    std::unique_ptr<Changes> changes;
    std::unique_ptr<Handler> handler;
};

}  // namespace velmora::host
