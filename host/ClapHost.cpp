#include "ClapHost.h"

#include "DynamicLibrary.h"
#include "VstHost.h"

namespace velmora::host {

namespace {

const void* noExtension(const clap_host*, const char*) { return nullptr; }
void noRequest(const clap_host*) {}

}  // namespace

std::unique_ptr<ClapPlugin> ClapPlugin::load(const std::string& path, const std::string& id) {
    std::unique_ptr<ClapPlugin> self(new ClapPlugin());
    std::string error;
    self->library = dynlib::load(path, error);
    if (self->library == nullptr) throw HostError(path + ": " + error);
    self->entry = static_cast<const clap_plugin_entry*>(dynlib::ownSymbol(self->library, "clap_entry"));
    if (self->entry == nullptr || !self->entry->init(path.c_str())) {
        self->entry = nullptr;
        throw HostError(path + ": no clap_entry, or its init failed");
    }
    auto factory = static_cast<const clap_plugin_factory*>(self->entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    self->host = {CLAP_VERSION, self.get(),  "velmora", "Velmora", "",
                  "1.0.0",      noExtension, noRequest, noRequest, noRequest};
    self->plugin = factory != nullptr ? factory->create_plugin(factory, &self->host, id.c_str()) : nullptr;
    if (self->plugin == nullptr || !self->plugin->init(self->plugin)) {
        throw HostError(path + ": no plug-in " + id + ", or its init failed");
    }
    self->params = static_cast<const clap_plugin_params*>(self->plugin->get_extension(self->plugin, CLAP_EXT_PARAMS));
    if (self->params == nullptr) throw HostError(path + ": no parameter extension");
    return self;
}

ClapPlugin::~ClapPlugin() {
    if (active) {
        plugin->stop_processing(plugin);
        plugin->deactivate(plugin);
    }
    if (plugin != nullptr) plugin->destroy(plugin);
    if (entry != nullptr) entry->deinit();
    if (library != nullptr) dynlib::unload(library);
}

void ClapPlugin::activate(double sampleRate, std::uint32_t maxFrames) {
    if (!plugin->activate(plugin, sampleRate, 1, maxFrames) || !plugin->start_processing(plugin)) {
        throw HostError("the plug-in refused to activate");
    }
    active = true;
}

std::uint32_t ClapPlugin::parameterCount() const { return params->count(plugin); }

clap_param_info ClapPlugin::parameterInfo(std::uint32_t index) const {
    clap_param_info info{};
    if (!params->get_info(plugin, index, &info)) throw HostError("no parameter " + std::to_string(index));
    return info;
}

double ClapPlugin::parameterValue(clap_id id) const {
    double value = 0.0;
    if (!params->get_value(plugin, id, &value)) throw HostError("no value of parameter " + std::to_string(id));
    return value;
}

void ClapPlugin::queueParameter(clap_id id, double value) noexcept {
    if (queued == kMaxEvents) return;
    clap_event_param_value& e = events[queued++];
    e = {};
    e.header = {sizeof(clap_event_param_value), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
}

std::uint32_t ClapPlugin::eventCount(const clap_input_events* list) noexcept {
    return static_cast<const ClapPlugin*>(list->ctx)->queued;
}

const clap_event_header* ClapPlugin::event(const clap_input_events* list, std::uint32_t index) noexcept {
    return &static_cast<const ClapPlugin*>(list->ctx)->events[index].header;
}

clap_process_status ClapPlugin::process(const float* in0, const float* in1, float* out0, float* out1,
                                        std::uint32_t frames) noexcept VELMORA_NONBLOCKING {
    float* inputs[2] = {const_cast<float*>(in0), const_cast<float*>(in1)};
    float* outputs[2] = {out0, out1};
    clap_audio_buffer input{inputs, nullptr, 2, 0, 0};
    clap_audio_buffer output{outputs, nullptr, 2, 0, 0};
    const clap_input_events inEvents{this, eventCount, event};
    const clap_output_events outEvents{this, discardEvent};
    const clap_process data{steadyTime, frames, nullptr, &input, &output, 1, 1, &inEvents, &outEvents};
    const clap_process_status status = plugin->process(plugin, &data);
    queued = 0;
    steadyTime += frames;
    return status;
}

}  // namespace velmora::host
