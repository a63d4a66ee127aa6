// The least a CLAP and a VST3 plug-in cost their host per block, driven by
// the same hosts as the plug-in cases: a process call that reads the
// block's channel pointers, asks the host's event list (CLAP) or parameter
// changes (VST3) how many there are, and returns. Everything else about
// these plug-ins is the smallest a host accepts.
//   clap-minimum/<n>, vst3-minimum/<n>
#include <travesty/factory.h>

#include <cstring>

#include "FormatBenchCommon.h"
#include "Vst3Interface.h"

namespace {

using namespace velmora::bench;

struct ClapMinimum {
    static bool init(const clap_plugin*) { return true; }
    static void destroy(const clap_plugin*) {}
    static bool activate(const clap_plugin*, double, std::uint32_t, std::uint32_t) { return true; }
    static void nothing(const clap_plugin*) {}
    static bool start(const clap_plugin*) { return true; }
    static clap_process_status process(const clap_plugin*, const clap_process* data) {
        benchmark::DoNotOptimize(data->audio_inputs[0].data32[0]);
        benchmark::DoNotOptimize(data->audio_outputs[0].data32[1]);
        benchmark::DoNotOptimize(data->in_events->size(data->in_events));
        return CLAP_PROCESS_CONTINUE;
    }
    static std::uint32_t count(const clap_plugin*) { return 0; }
    static bool get(const clap_plugin*, clap_id, double*) { return false; }
    static void flush(const clap_plugin*, const clap_input_events*, const clap_output_events*) {}
    static constexpr clap_plugin_params params = {count, nullptr, get, nullptr, nullptr, flush};
    static const void* extension(const clap_plugin*, const char* id) {
        return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &params : nullptr;
    }
    static constexpr clap_plugin_descriptor descriptor = {CLAP_VERSION, "minimum", "minimum", "", "",
                                                          "",           "",        "",        "", nullptr};
    static constexpr clap_plugin plugin = {&descriptor, nullptr, init,    destroy, activate,  nothing,
                                           start,       nothing, nothing, process, extension, nothing};
    static const clap_plugin* create(const clap_plugin_factory*, const clap_host*, const char*) { return &plugin; }
    static constexpr clap_plugin_factory factory = {nullptr, nullptr, create};
    static bool initEntry(const char*) { return true; }
    static void deinitEntry() {}
    static const void* factoryOf(const char*) { return &factory; }
    static constexpr clap_plugin_entry entry = {CLAP_VERSION, initEntry, deinitEntry, factoryOf};
};

// One object for every interface a host asks for; functions the host
// does not call are left out.
struct Vst3Minimum {
    static v3_result V3_API query(void* self, const v3_tuid, void** object) {
        *object = self;
        return V3_OK;
    }
    static std::uint32_t V3_API keep(void*) { return 1; }
    static v3_result V3_API ok(void*) { return V3_OK; }
    static v3_result V3_API initialize(void*, v3_funknown**) { return V3_OK; }
    static v3_result V3_API setActive(void*, v3_bool) { return V3_OK; }
    static v3_result V3_API arrange(void*, v3_speaker_arrangement*, std::int32_t, v3_speaker_arrangement*,
                                    std::int32_t) {
        return V3_OK;
    }
    static v3_result V3_API setup(void*, v3_process_setup*) { return V3_OK; }
    static v3_result V3_API processing(void*, v3_bool) { return V3_OK; }
    static v3_result V3_API process(void*, v3_process_data* data) {
        benchmark::DoNotOptimize(data->inputs[0].channel_buffers_32[0]);
        benchmark::DoNotOptimize(data->outputs[0].channel_buffers_32[1]);
        return vst3Call(data->input_params, &v3_param_changes::get_param_count) >= 0 ? V3_OK : V3_FALSE;
    }
    static v3_result V3_API handler(void*, v3_component_handler**) { return V3_OK; }
    static double V3_API toNormalised(void*, v3_param_id, double plain) { return plain; }
    // The component's, processor's and controller's tables in one: each
    // interface pointer of the object points at the table of its kind.
    static v3_result V3_API queryObject(void*, const v3_tuid iid, void** object);
    static constexpr v3_component_cpp component = {
        {queryObject, keep, keep},
        {initialize, ok},
        {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, setActive, nullptr, nullptr}};
    static constexpr v3_audio_processor_cpp processor = {
        {queryObject, keep, keep}, {arrange, nullptr, nullptr, nullptr, setup, processing, process, nullptr}};
    static constexpr v3_edit_controller_cpp controller = {
        {queryObject, keep, keep},
        {initialize, ok},
        {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, toNormalised, nullptr, nullptr,
         handler, nullptr}};
    static std::int32_t V3_API classes(void*) { return 1; }
    static v3_result V3_API classInfo(void*, std::int32_t, v3_class_info* info) {
        *info = {};
        std::strcpy(info->name, "minimum");
        return V3_OK;
    }
    static v3_result V3_API create(void*, const v3_tuid, const v3_tuid iid, void** instance) {
        return queryObject(nullptr, iid, instance);
    }
    static constexpr v3_plugin_factory_cpp factoryTable = {
        {query, keep, keep}, {nullptr, classes, classInfo, create}, {nullptr}, {nullptr, nullptr}};
    static constexpr const v3_plugin_factory_cpp* factory = &factoryTable;
};

const void* componentInterface = &Vst3Minimum::component;
const void* processorInterface = &Vst3Minimum::processor;
const void* controllerInterface = &Vst3Minimum::controller;

v3_result V3_API Vst3Minimum::queryObject(void*, const v3_tuid iid, void** object) {
    if (v3_tuid_match(iid, v3_audio_processor_iid)) {
        *object = &processorInterface;
    } else if (v3_tuid_match(iid, v3_edit_controller_iid)) {
        *object = &controllerInterface;
    } else {
        *object = &componentInterface;
    }
    return V3_OK;
}

[[maybe_unused]] const bool registered = [] {
    const FormatSources minimum = {[] { return velmora::host::ClapPlugin::attach(&ClapMinimum::entry, "", "minimum"); },
                                   {},
                                   [] {
                                       auto* factory = static_cast<v3_plugin_factory**>(
                                           const_cast<void*>(static_cast<const void*>(&Vst3Minimum::factory)));
                                       return velmora::host::Vst3Plugin::attach(factory, "minimum");
                                   }};
    registerFormatCases("format", "-minimum", minimum, {});
    return true;
}();

}  // namespace
