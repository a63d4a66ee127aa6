// The format plug-ins as the benchmark drives them: an LV2 instance, the
// registration of one case per block size, and where a case's plug-ins
// come from (the built files, or entries in this process).
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <functional>

#include "BenchCommon.h"
#include "ClapHost.h"
#include "DynamicLibrary.h"
#include "FactoryPrograms.h"
#include "UridMap.h"
#include "Vst3Host.h"

namespace velmora::bench {

// One instance of an LV2 plug-in with two audio inputs, two audio outputs,
// control inputs from port 4 on and the time port after them.
class Lv2Instance {
public:
    // The plug-in `uri` of the binary `bundle`/`binary`.
    static std::unique_ptr<Lv2Instance> load(const std::string& bundle, const std::string& binary,
                                             const std::string& uri, const std::vector<float>& controlValues) {
        std::string error;
        void* library = host::dynlib::load(bundle + "/" + binary, error);
        auto entry = library
                         ? reinterpret_cast<LV2_Descriptor_Function>(host::dynlib::ownSymbol(library, "lv2_descriptor"))
                         : nullptr;
        const LV2_Descriptor* descriptor = nullptr;
        for (std::uint32_t i = 0; entry != nullptr && (descriptor = entry(i)) != nullptr; ++i) {
            if (uri == descriptor->URI) break;
        }
        if (descriptor == nullptr) throw std::runtime_error("cannot load " + uri + " " + error);
        return std::make_unique<Lv2Instance>(descriptor, library, controlValues);
    }

    Lv2Instance(const LV2_Descriptor* descriptor, void* library, const std::vector<float>& controlValues)
        : library(library), descriptor(descriptor), controls(controlValues) {
        const LV2_Feature* features[] = {map.feature(), nullptr};
        handle = descriptor->instantiate(descriptor, benchSampleRate, "", features);
        if (handle == nullptr) throw std::runtime_error(std::string("cannot instantiate ") + descriptor->URI);
        for (std::uint32_t i = 0; i < controls.size(); ++i) descriptor->connect_port(handle, 4 + i, &controls[i]);
        noEvents.atom = {sizeof(LV2_Atom_Sequence_Body), map.urid(LV2_ATOM__Sequence)};
        descriptor->connect_port(handle, 4 + std::uint32_t(controls.size()), &noEvents);
        descriptor->activate(handle);
    }
    ~Lv2Instance() {
        if (handle != nullptr) {
            descriptor->deactivate(handle);
            descriptor->cleanup(handle);
        }
        if (library != nullptr) host::dynlib::unload(library);
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
    host::UridMap map;
    std::vector<float> controls;
    LV2_Atom_Sequence noEvents{};
};

// The plain values of a description's defaults, with one of them changed.
template <class Description>
std::vector<float> plainDefaults(std::int32_t changed = -1, float value = 0.0f) {
    std::vector<float> values;
    for (const ParameterInfo& info : Description::parameters) {
        values.push_back(TFactoryPrograms<Description>::defaultValue(info));
    }
    if (changed >= 0) values[std::size_t(changed)] = value;
    return values;
}

inline void skip(benchmark::State& state, const std::exception& error) {
    state.SkipWithError(error.what());
    for (auto _ : state) {
    }
}

// Registers "<name>/<n>" for every block size: start(frames) makes and
// sets up the plug-in (or throws), processBlock(plug-in, buffers, frames)
// processes one block as its hosts do.
template <class Start, class ProcessBlock>
void registerFormatCase(const std::string& name, Start start, ProcessBlock processBlock) {
    for (std::int32_t frames : blockSizes()) {
        withMinimum(
            benchmark::RegisterBenchmark((name + "/" + std::to_string(frames)).c_str(), [=](benchmark::State& state) {
                decltype(start(frames)) plugin;
                try {
                    plugin = start(frames);
                } catch (const std::exception& error) {
                    return skip(state, error);
                }
                StereoBuffers b(frames);
                for (auto _ : state) {
                    processBlock(*plugin, b, std::uint32_t(frames));
                    benchmark::ClobberMemory();
                }
                state.counters["per_frame"] = timePerFrame(frames);
            }));
    }
}

// Where the plug-ins of one effect's cases come from, each made and set up
// (parameters `values`, plain) for blocks of `frames`.
struct FormatSources {
    std::function<std::unique_ptr<host::ClapPlugin>()> clap;
    std::function<std::unique_ptr<Lv2Instance>(const std::vector<float>& values)> lv2;
    std::function<std::unique_ptr<host::Vst3Plugin>()> vst3;
};

// Registers "<caseName>-clap<suffix>/<n>", "-lv2<suffix>" (if the sources
// have LV2) and "-vst3<suffix>" for every block size.
inline void registerFormatCases(const std::string& caseName, const std::string& suffix, const FormatSources& sources,
                                const std::vector<float>& values) {
    registerFormatCase(
        caseName + "-clap" + suffix,
        [=](std::int32_t frames) {
            auto plugin = sources.clap();
            plugin->activate(benchSampleRate, std::uint32_t(frames));
            for (std::size_t i = 0; i < values.size(); ++i) plugin->queueParameter(clap_id(i), values[i]);
            return plugin;
        },
        [](host::ClapPlugin& plugin, StereoBuffers& b, std::uint32_t frames) {
            plugin.process(b.inputs[0], b.inputs[1], b.outputs[0], b.outputs[1], frames);
        });
    if (sources.lv2) {
        registerFormatCase(
            caseName + "-lv2" + suffix, [=](std::int32_t) { return sources.lv2(values); },
            [](Lv2Instance& plugin, StereoBuffers& b, std::uint32_t frames) { plugin.run(b, frames); });
    }
    registerFormatCase(
        caseName + "-vst3" + suffix,
        [=](std::int32_t frames) {
            auto plugin = sources.vst3();
            plugin->activate(benchSampleRate, frames);
            for (std::size_t i = 0; i < values.size(); ++i) {
                plugin->queueChange(v3_param_id(i), plugin->toNormalised(v3_param_id(i), values[i]));
            }
            return plugin;
        },
        [](host::Vst3Plugin& plugin, StereoBuffers& b, std::uint32_t frames) {
            plugin.process(b.inputs[0], b.inputs[1], b.outputs[0], b.outputs[1], std::int32_t(frames));
        });
}

}  // namespace velmora::bench
