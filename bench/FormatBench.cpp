// The LV2 and CLAP plug-ins beside the VST 2 ones, in the same run and at
// the same settings, each driven as its hosts drive it (one run or process
// call per block, the parameters set before the first):
//   VelmoraGater-clap/<n>, VelmoraGater-lv2/<n>: the default program, next
//     to VelmoraGater/<n>
//   VelmoraTremolo-sine-clap/<n>, VelmoraTremolo-sine-lv2/<n>: the sine at
//     120 BPM, next to VelmoraTremolo-sine/<n>
// The LV2 host here gives the plug-in what the wrapper needs (URID map and
// the block-length options) and nothing else.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include "BenchCommon.h"
#include "ClapHost.h"
#include "DynamicLibrary.h"
#include "GaterDescription.h"
#include "TremoloDescription.h"

namespace {

using velmora::bench::StereoBuffers;

// URIDs are the positions in a list of the URIs mapped so far, from 1.
LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    auto& uris = *static_cast<std::vector<std::string>*>(handle);
    for (std::size_t i = 0; i < uris.size(); ++i) {
        if (uris[i] == uri) return LV2_URID(i + 1);
    }
    uris.emplace_back(uri);
    return LV2_URID(uris.size());
}

// One instance of an LV2 plug-in with two audio inputs, two audio outputs
// and control inputs from port 4 on.
class Lv2Instance {
public:
    Lv2Instance(const std::string& bundle, const std::string& binary, const std::string& uri,
                const std::vector<float>& controlValues, std::int32_t blockLength)
        : controls(controlValues), blockLength(blockLength) {
        std::string error;
        library = velmora::host::dynlib::load(bundle + "/" + binary, error);
        auto entry =
            library
                ? reinterpret_cast<LV2_Descriptor_Function>(velmora::host::dynlib::ownSymbol(library, "lv2_descriptor"))
                : nullptr;
        for (std::uint32_t i = 0; entry != nullptr && (descriptor = entry(i)) != nullptr; ++i) {
            if (uri == descriptor->URI) break;
        }
        if (descriptor == nullptr) throw std::runtime_error("cannot load " + uri + " " + error);
        const LV2_URID intType = mapUri(&uris, LV2_ATOM__Int);
        options[0] = {LV2_OPTIONS_INSTANCE, 0,       mapUri(&uris, LV2_BUF_SIZE__nominalBlockLength),
                      sizeof(int),          intType, &this->blockLength};
        options[1] = {LV2_OPTIONS_INSTANCE, 0,       mapUri(&uris, LV2_BUF_SIZE__maxBlockLength),
                      sizeof(int),          intType, &this->blockLength};
        const LV2_Feature* features[] = {&mapFeature, &optionsFeature, nullptr};
        handle = descriptor->instantiate(descriptor, velmora::bench::benchSampleRate, (bundle + "/").c_str(), features);
        if (handle == nullptr) throw std::runtime_error("cannot instantiate " + uri);
        for (std::uint32_t i = 0; i < controls.size(); ++i) descriptor->connect_port(handle, 4 + i, &controls[i]);
        descriptor->activate(handle);
    }
    ~Lv2Instance() {
        if (handle != nullptr) {
            descriptor->deactivate(handle);
            descriptor->cleanup(handle);
        }
        if (library != nullptr) velmora::host::dynlib::unload(library);
    }

    void run(StereoBuffers& buffers, std::uint32_t frames) {
        for (std::uint32_t i = 0; i < 2; ++i) {
            descriptor->connect_port(handle, i, buffers.inputs[i]);
            descriptor->connect_port(handle, 2 + i, buffers.outputs[i]);
        }
        descriptor->run(handle, frames);
    }

private:
    void* library = nullptr;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
    std::vector<std::string> uris;
    LV2_URID_Map map{&uris, mapUri};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    LV2_Options_Option options[3]{};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    std::vector<float> controls;
    std::int32_t blockLength;
};

// The plain values of a description's defaults, with one of them changed.
template <class Description>
std::vector<float> plainDefaults(std::int32_t changed = -1, float value = 0.0f) {
    std::vector<float> values;
    for (const ParameterInfo& info : Description::parameters) {
        values.push_back(float(presentedValue(info, plainValue(info, info.defaultValue))));
    }
    if (changed >= 0) values[std::size_t(changed)] = value;
    return values;
}

void skip(benchmark::State& state, const std::exception& error) {
    state.SkipWithError(error.what());
    for (auto _ : state) {
    }
}

void registerFormatCases(const std::string& caseName, const std::string& name, const std::string& id,
                         const std::vector<float>& values) {
    const std::string plugins = VELMORA_PLUGIN_DIR;
    for (std::int32_t frames : velmora::bench::blockSizes()) {
        velmora::bench::withMinimum(benchmark::RegisterBenchmark(
            (caseName + "-clap/" + std::to_string(frames)).c_str(), [=](benchmark::State& state) {
                std::unique_ptr<velmora::host::ClapPlugin> plugin;
                try {
                    plugin = velmora::host::ClapPlugin::load(plugins + "/clap/" + name + ".clap", id);
                    plugin->activate(velmora::bench::benchSampleRate, std::uint32_t(frames));
                } catch (const std::exception& error) {
                    return skip(state, error);
                }
                for (std::size_t i = 0; i < values.size(); ++i) plugin->queueParameter(clap_id(i), values[i]);
                StereoBuffers b(frames);
                for (auto _ : state) {
                    plugin->process(b.inputs[0], b.inputs[1], b.outputs[0], b.outputs[1], std::uint32_t(frames));
                    benchmark::ClobberMemory();
                }
                state.counters["per_frame"] = velmora::bench::timePerFrame(frames);
            }));
        velmora::bench::withMinimum(benchmark::RegisterBenchmark(
            (caseName + "-lv2/" + std::to_string(frames)).c_str(), [=](benchmark::State& state) {
                std::unique_ptr<Lv2Instance> plugin;
                try {
                    plugin = std::make_unique<Lv2Instance>(plugins + "/lv2/" + name + ".lv2", name + ".so",
                                                           "urn:velmora:" + id.substr(8), values, frames);
                } catch (const std::exception& error) {
                    return skip(state, error);
                }
                StereoBuffers b(frames);
                for (auto _ : state) {
                    plugin->run(b, std::uint32_t(frames));
                    benchmark::ClobberMemory();
                }
                state.counters["per_frame"] = velmora::bench::timePerFrame(frames);
            }));
    }
}

[[maybe_unused]] const bool registered = [] {
    registerFormatCases("VelmoraGater", "VelmoraGater", "velmora.gater", plainDefaults<GaterDescription>());
    registerFormatCases("VelmoraTremolo-sine", "VelmoraTremolo", "velmora.tremolo",
                        plainDefaults<TremoloDescription>(TremoloDescription::kWaveform, 2.0f));
    return true;
}();

}  // namespace
