#include "Vst3Host.h"

#include <travesty/factory.h>

#include <algorithm>
#include <cstring>

#include "DynamicLibrary.h"
#include "VstHost.h"

namespace velmora::host {

namespace {

// Objects of this host live as long as the host: their references are not
// counted, and they answer only their own interface.
v3_result V3_API noInterface(void*, const v3_tuid, void** object) {
    *object = nullptr;
    return V3_NO_INTERFACE;
}
std::uint32_t V3_API keep(void*) { return 1; }

// The function tables of the host's own interfaces that travesty gives in
// C form only.
struct StreamTable : v3_funknown {
    v3_bstream stream;
};
struct HandlerTable : v3_funknown {
    v3_component_handler handler;
};

}  // namespace

// The points of one parameter in the next block.
struct Vst3Plugin::Queue {
    TVst3Slot<Queue> slot;
    v3_param_id id = 0;
    std::int32_t count = 0;
    std::int32_t offsets[kMaxPoints] = {};
    double values[kMaxPoints] = {};

    static v3_param_id V3_API paramId(void* self) { return TVst3Slot<Queue>::of(self).id; }
    static std::int32_t V3_API pointCount(void* self) { return TVst3Slot<Queue>::of(self).count; }
    static v3_result V3_API point(void* self, std::int32_t index, std::int32_t* offset, double* value) {
        const Queue& queue = TVst3Slot<Queue>::of(self);
        if (index < 0 || index >= queue.count) return V3_INVALID_ARG;
        *offset = queue.offsets[index];
        *value = queue.values[index];
        return V3_OK;
    }
    static v3_result V3_API addPoint(void*, std::int32_t, double, std::int32_t*) { return V3_NOT_IMPLEMENTED; }
    static constexpr v3_param_value_queue_cpp table = {{noInterface, keep, keep},
                                                       {paramId, pointCount, point, addPoint}};
};

// The parameter changes of the next block.
struct Vst3Plugin::Changes {
    TVst3Slot<Changes> slot{&table, this};
    Queue queues[kMaxQueues];
    std::int32_t used = 0;

    Changes() {
        for (Queue& queue : queues) queue.slot = {&Queue::table, &queue};
    }
    static std::int32_t V3_API paramCount(void* self) { return TVst3Slot<Changes>::of(self).used; }
    static v3_param_value_queue** V3_API paramData(void* self, std::int32_t index) {
        Changes& changes = TVst3Slot<Changes>::of(self);
        if (index < 0 || index >= changes.used) return nullptr;
        return reinterpret_cast<v3_param_value_queue**>(&changes.queues[index].slot);
    }
    static v3_param_value_queue** V3_API addParamData(void*, v3_param_id*, std::int32_t*) { return nullptr; }
    static constexpr v3_param_changes_cpp table = {{noInterface, keep, keep}, {paramCount, paramData, addParamData}};
};

// A stream over a string, for the state.
struct Vst3Plugin::Stream {
    TVst3Slot<Stream> slot{&table, this};
    std::string data;
    std::size_t position = 0;

    static v3_result V3_API read(void* self, void* buffer, std::int32_t size, std::int32_t* done) {
        Stream& stream = TVst3Slot<Stream>::of(self);
        const std::size_t count = std::min(std::size_t(std::max(size, 0)), stream.data.size() - stream.position);
        std::memcpy(buffer, stream.data.data() + stream.position, count);
        stream.position += count;
        if (done != nullptr) *done = std::int32_t(count);
        return V3_OK;
    }
    static v3_result V3_API write(void* self, void* buffer, std::int32_t size, std::int32_t* done) {
        Stream& stream = TVst3Slot<Stream>::of(self);
        stream.data.append(static_cast<const char*>(buffer), std::size_t(std::max(size, 0)));
        if (done != nullptr) *done = std::max(size, 0);
        return V3_OK;
    }
    static v3_result V3_API seek(void*, std::int64_t, std::int32_t, std::int64_t*) { return V3_NOT_IMPLEMENTED; }
    static v3_result V3_API tell(void* self, std::int64_t* position) {
        *position = std::int64_t(TVst3Slot<Stream>::of(self).position);
        return V3_OK;
    }
    static constexpr StreamTable table = {{noInterface, keep, keep}, {read, write, seek, tell}};
    v3_bstream** interface() { return reinterpret_cast<v3_bstream**>(&slot); }
};

// Counts the plug-in's restart requests.
struct Vst3Plugin::Handler {
    TVst3Slot<Vst3Plugin> slot;

    static v3_result V3_API edit(void*, v3_param_id) { return V3_OK; }
    static v3_result V3_API perform(void*, v3_param_id, double) { return V3_OK; }
    static v3_result V3_API restart(void* self, std::int32_t) {
        ++TVst3Slot<Vst3Plugin>::of(self).restarts;
        return V3_OK;
    }
    static constexpr HandlerTable table = {{noInterface, keep, keep}, {edit, perform, edit, restart}};
};

Vst3Plugin::Vst3Plugin() : changes(std::make_unique<Changes>()), handler(std::make_unique<Handler>()) {
    handler->slot = {&Handler::table, this};
    inputBuffer.num_channels = 2;
    inputBuffer.channel_buffers_32 = channels.inputs;
    outputBuffer.num_channels = 2;
    outputBuffer.channel_buffers_32 = channels.outputs;
    data = {V3_REALTIME,   V3_SAMPLE_32, 0,       1,       1,       &inputBuffer,
            &outputBuffer, changeList(), nullptr, nullptr, nullptr, nullptr};
    stopped.state = V3_PROCESS_CTX_TEMPO_VALID | V3_PROCESS_CTX_PROJECT_TIME_VALID;
    stopped.bpm = 120.0;
}

std::unique_ptr<Vst3Plugin> Vst3Plugin::load(const std::string& path, const std::string& name) {
    std::string error;
    void* library = dynlib::load(path, error);
    if (library == nullptr) throw HostError(path + ": " + error);
    std::unique_ptr<Vst3Plugin> self;
    try {
#if defined(_WIN32)
        auto enter = reinterpret_cast<bool (*)()>(dynlib::ownSymbol(library, "InitDll"));
        if (enter == nullptr || !enter()) throw HostError(path + ": no InitDll, or it failed");
#else
        auto enter = reinterpret_cast<bool (*)(void*)>(dynlib::ownSymbol(library, "ModuleEntry"));
        if (enter == nullptr || !enter(library)) throw HostError(path + ": no ModuleEntry, or it failed");
#endif
        auto factoryOf = reinterpret_cast<const void* (*)()>(dynlib::ownSymbol(library, "GetPluginFactory"));
        if (factoryOf == nullptr) throw HostError(path + ": no GetPluginFactory");
        self = attach(static_cast<v3_plugin_factory**>(const_cast<void*>(factoryOf())), name);
    } catch (...) {
        dynlib::unload(library);
        throw;
    }
    self->library = library;
    return self;
}

std::unique_ptr<Vst3Plugin> Vst3Plugin::attach(v3_plugin_factory** factory, const std::string& name) {
    if (factory == nullptr) throw HostError("no plug-in factory");
    std::unique_ptr<Vst3Plugin> self(new Vst3Plugin());
    for (std::int32_t i = 0, count = vst3Call(factory, &v3_plugin_factory::num_classes); i < count; ++i) {
        v3_class_info info{};
        if (vst3Call(factory, &v3_plugin_factory::get_class_info, i, &info) != V3_OK || name != info.name) continue;
        void* component = nullptr;
        vst3Call(factory, &v3_plugin_factory::create_instance, info.class_id, v3_component_iid, &component);
        self->componentInterface = static_cast<v3_component**>(component);
    }
    v3_component** component = self->componentInterface;
    if (component == nullptr) throw HostError("no class " + name);
    if (v3_cpp_obj_initialize(component, nullptr) != V3_OK ||
        v3_cpp_obj_query_interface(component, v3_audio_processor_iid, &self->processorInterface) != V3_OK ||
        v3_cpp_obj_query_interface(component, v3_edit_controller_iid, &self->controllerInterface) != V3_OK) {
        throw HostError(name + " is not a component with processor and controller");
    }
    auto* handlerInterface = reinterpret_cast<v3_component_handler**>(&self->handler->slot);
    vst3Call(self->controllerInterface, &v3_edit_controller::set_component_handler, handlerInterface);
    return self;
}

Vst3Plugin::~Vst3Plugin() {
    if (active) {
        vst3Call(processorInterface, &v3_audio_processor::set_processing, false);
        vst3Call(componentInterface, &v3_component::set_active, false);
    }
    if (controllerInterface != nullptr) {
        vst3Call(controllerInterface, &v3_edit_controller::set_component_handler, nullptr);
        v3_cpp_obj_unref(controllerInterface);
    }
    if (processorInterface != nullptr) v3_cpp_obj_unref(processorInterface);
    if (componentInterface != nullptr) {
        v3_cpp_obj_terminate(componentInterface);
        v3_cpp_obj_unref(componentInterface);
    }
    if (library != nullptr) {
#if defined(_WIN32)
        const char* exitName = "ExitDll";
#else
        const char* exitName = "ModuleExit";
#endif
        if (auto leave = reinterpret_cast<bool (*)()>(dynlib::ownSymbol(library, exitName))) leave();
        dynlib::unload(library);
    }
}

void Vst3Plugin::activate(double sampleRate, std::int32_t maxFrames) {
    stopped.sample_rate = sampleRate;
    v3_speaker_arrangement stereo = V3_SPEAKER_L | V3_SPEAKER_R;
    v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, maxFrames, sampleRate};
    if (vst3Call(processorInterface, &v3_audio_processor::set_bus_arrangements, &stereo, 1, &stereo, 1) != V3_OK ||
        vst3Call(processorInterface, &v3_audio_processor::setup_processing, &setup) != V3_OK ||
        vst3Call(componentInterface, &v3_component::set_active, true) != V3_OK ||
        vst3Call(processorInterface, &v3_audio_processor::set_processing, true) != V3_OK) {
        throw HostError("the plug-in refused to activate");
    }
    active = true;
}

std::int32_t Vst3Plugin::parameterCount() const {
    return vst3Call(controllerInterface, &v3_edit_controller::get_parameter_count);
}

v3_param_info Vst3Plugin::parameterInfo(std::int32_t index) const {
    v3_param_info info{};
    if (vst3Call(controllerInterface, &v3_edit_controller::get_parameter_info, index, &info) != V3_OK) {
        throw HostError("no parameter " + std::to_string(index));
    }
    return info;
}

double Vst3Plugin::normalised(v3_param_id id) const {
    return vst3Call(controllerInterface, &v3_edit_controller::get_parameter_normalised, id);
}

double Vst3Plugin::plain(v3_param_id id) const {
    return vst3Call(controllerInterface, &v3_edit_controller::normalised_parameter_to_plain, id, normalised(id));
}

double Vst3Plugin::toNormalised(v3_param_id id, double value) const {
    return vst3Call(controllerInterface, &v3_edit_controller::plain_parameter_to_normalised, id, value);
}

v3_param_changes** Vst3Plugin::changeList() noexcept { return reinterpret_cast<v3_param_changes**>(&changes->slot); }

void Vst3Plugin::clearChanges() noexcept { changes->used = 0; }

void Vst3Plugin::queueChange(v3_param_id id, double value, std::int32_t offset) noexcept {
    Queue* queue =
        std::find_if(changes->queues, changes->queues + changes->used, [id](const Queue& q) { return q.id == id; });
    if (queue == changes->queues + changes->used) {
        if (changes->used == kMaxQueues) return;
        ++changes->used;
        queue->id = id;
        queue->count = 0;
    }
    if (queue->count == kMaxPoints) return;
    queue->offsets[queue->count] = offset;
    queue->values[queue->count++] = value;
}

std::string Vst3Plugin::saveState() const {
    Stream stream;
    if (vst3Call(componentInterface, &v3_component::get_state, stream.interface()) != V3_OK) {
        throw HostError("the plug-in did not save its state");
    }
    return stream.data;
}

bool Vst3Plugin::loadState(const std::string& state) {
    Stream stream;
    stream.data = state;
    return vst3Call(componentInterface, &v3_component::set_state, stream.interface()) == V3_OK;
}

}  // namespace velmora::host
