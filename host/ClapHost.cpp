#include "ClapHost.h"

#include <cstring>

#include "DynamicLibrary.h"
#include "VstHost.h"

namespace velmora::host {

namespace {

void noRequest(const clap_host*) {}

// The state streams: a string to write to, or one to read from.
std::int64_t CLAP_ABI append(const clap_ostream* stream, const void* buffer, std::uint64_t size) {
    static_cast<std::string*>(stream->ctx)->append(static_cast<const char*>(buffer), size);
    return std::int64_t(size);
}

struct Reader {
    const std::string& text;
    std::size_t position;
};

std::int64_t CLAP_ABI readOn(const clap_istream* stream, void* buffer, std::uint64_t size) {
    auto* reader = static_cast<Reader*>(stream->ctx);
    const std::size_t count = std::min<std::size_t>(size, reader->text.size() - reader->position);
    std::memcpy(buffer, reader->text.data() + reader->position, count);
    reader->position += count;
    return std::int64_t(count);
}

}  // namespace

std::unique_ptr<ClapPlugin> ClapPlugin::load(const std::string& path, const std::string& id) {
    std::string error;
    void* library = dynlib::load(path, error);
    if (library == nullptr) throw HostError(path + ": " + error);
    const auto* entry = static_cast<const clap_plugin_entry*>(dynlib::ownSymbol(library, "clap_entry"));
    if (entry == nullptr) {
        dynlib::unload(library);
        throw HostError(path + ": no clap_entry");
    }
    std::unique_ptr<ClapPlugin> self;
    try {
        self = attach(entry, path, id);
    } catch (...) {
        dynlib::unload(library);
        throw;
    }
    self->library = library;
    return self;
}

std::unique_ptr<ClapPlugin> ClapPlugin::attach(const clap_plugin_entry* entry, const std::string& path,
                                               const std::string& id) {
    std::unique_ptr<ClapPlugin> self(new ClapPlugin());
    if (!entry->init(path.c_str())) throw HostError(path + ": the entry's init failed");
    self->entry = entry;
    auto factory = static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    self->hostParams = {rescan, nullptr, noRequest};
    self->host = {CLAP_VERSION, self.get(), "velmora", "Velmora", "",
                  "1.0.0",      extension,  noRequest, noRequest, noRequest};
    self->plugin = factory != nullptr ? factory->create_plugin(factory, &self->host, id.c_str()) : nullptr;
    if (self->plugin == nullptr || !self->plugin->init(self->plugin)) {
        throw HostError(path + ": no plug-in " + id + ", or its init failed");
    }
    self->params = static_cast<const clap_plugin_params*>(self->plugin->get_extension(self->plugin, CLAP_EXT_PARAMS));
    if (self->params == nullptr) throw HostError(path + ": no parameter extension");
    self->state = static_cast<const clap_plugin_state*>(self->plugin->get_extension(self->plugin, CLAP_EXT_STATE));
    self->stopped.header = {sizeof(clap_event_transport), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    self->stopped.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE;
    self->stopped.tempo = 120.0;
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

std::string ClapPlugin::saveState() const {
    std::string text;
    const clap_ostream stream{&text, append};
    if (state == nullptr || !state->save(plugin, &stream)) throw HostError("the plug-in did not save its state");
    return text;
}

bool ClapPlugin::loadState(const std::string& text) {
    Reader reader{text, 0};
    const clap_istream stream{&reader, readOn};
    return state != nullptr && state->load(plugin, &stream);
}

void ClapPlugin::queueParameter(clap_id id, double value, std::uint32_t frame) noexcept {
    if (queued == kMaxEvents) return;
    clap_event_param_value& e = events[queued++].parameter;
    e = {};
    e.header = {sizeof(clap_event_param_value), frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
}

void ClapPlugin::queueTransport(const clap_event_transport& transport, std::uint32_t frame) noexcept {
    if (queued == kMaxEvents) return;
    clap_event_transport& e = events[queued++].transport;
    e = transport;
    e.header = {sizeof(clap_event_transport), frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
}

void ClapPlugin::flushParameters() noexcept {
    params->flush(plugin, &inEvents, &outEvents);
    queued = 0;
}

std::uint32_t ClapPlugin::eventCount(const clap_input_events* list) noexcept {
    return static_cast<const ClapPlugin*>(list->ctx)->queued;
}

const clap_event_header* ClapPlugin::event(const clap_input_events* list, std::uint32_t index) noexcept {
    return &static_cast<const ClapPlugin*>(list->ctx)->events[index].header;
}

void ClapPlugin::rescan(const clap_host* host, clap_param_rescan_flags) noexcept {
    ++static_cast<ClapPlugin*>(host->host_data)->rescans;
}

const void* ClapPlugin::extension(const clap_host* host, const char* id) noexcept {
    if (std::strcmp(id, CLAP_EXT_PARAMS) != 0) return nullptr;
    return &static_cast<const ClapPlugin*>(host->host_data)->hostParams;
}

}  // namespace velmora::host
