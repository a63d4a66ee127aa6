// What the LV2, VST3 and CLAP plug-ins cost without their sound, to tell
// the formats' and the wrappers' share of a block from the oscillator's:
//   VelmoraGater-clap-floor/<n>, -lv2-floor, -vst3-floor (and
//     VelmoraTremolo-sine-...): the same wrappers and hosts as the plug-in
//     cases, around an oscillator that does nothing (compiled here, driven
//     through the formats' entries in this process);
//   VelmoraGater-lv2-ports/<n>, VelmoraTremolo-sine-lv2-ports/<n>: the least
//     any LV2 plug-in with these ports costs its host: a run that reads
//     every control port, as ours does, and returns;
//   VelmoraGater-osc/<n>, VelmoraTremolo-sine-osc/<n>: the oscillator alone
//     at the same settings, called directly.
#include <bit>

#include "FormatBenchCommon.h"
#include "GaterFormats.h"
#include "TremoloFormats.h"
#include "clap/ClapEntry.h"
#include "lv2/Lv2Plugin.h"
#include "vst3/Vst3Factory.h"

namespace {

using namespace velmora::bench;

// An oscillator that makes no sound and takes no time.
struct SilentOscillator {
    void setSampleRate(float) noexcept {}
    void reset() noexcept {}
    void replace(const float*, const float*, float*, float*, std::int32_t) noexcept {}
    void followHost(bool) noexcept {}
};

// The effect `Real` with its parameters and a silent oscillator.
template <class Real>
struct SilentDescription {
    using Oscillator = SilentOscillator;
    static constexpr std::int32_t parameterCount = Real::Description::parameterCount;
    static constexpr std::int32_t factoryPresetCount = Real::Description::factoryPresetCount;
    static constexpr const typename Real::Description::Preset* factoryPresets = Real::Description::factoryPresets;
    static constexpr double syncUnitBeats = Real::Description::syncUnitBeats;
    static constexpr char uniqueId[] = "KvSl";
    static constexpr char name[] = "Silent";
    static constexpr char summary[] = "";
    static constexpr const ParameterInfo* parameters = Real::Description::parameters;
    static void apply(SilentOscillator&, std::int32_t, float) noexcept {}
    static void enterSyncedUnit(SilentOscillator&, std::int64_t, float, float) noexcept {}
};

constexpr const char* kNoFeatures[] = {nullptr};
constexpr FormatNames kSilentNames = {"urn:velmora:silent", "Plugin", "velmora.silent", kNoFeatures, "Fx"};

template <class Real>
using SilentFormats = TEffectFormats<SilentDescription<Real>, kSilentNames>;

template <class Real>
FormatSources silentEntries() {
    using Silent = SilentFormats<Real>;
    return {[] { return velmora::host::ClapPlugin::attach(&TClapEntry<Silent>::entry, "", Silent::names.clapId); },
            [](const std::vector<float>& values) {
                return std::make_unique<Lv2Instance>(&TLv2Plugin<Silent>::descriptor, nullptr, values);
            },
            [] {
                auto* factory = static_cast<v3_plugin_factory**>(const_cast<void*>(TVst3Factory<Silent>::instance()));
                return velmora::host::Vst3Plugin::attach(factory, Silent::Description::name);
            }};
}

// The least an LV2 plug-in with `kControls` control ports costs: run reads
// every control port against the values read last, in one pass as ours
// does (as one array where the host keeps them side by side, as this
// benchmark's host does), and does nothing else.
template <std::uint32_t kControls>
struct Lv2Ports {
    const float* controls[kControls] = {};
    float last[kControls] = {};

    static LV2_Handle instantiate(const LV2_Descriptor*, double, const char*, const LV2_Feature* const*) {
        return new Lv2Ports();
    }
    static void connect(LV2_Handle handle, std::uint32_t port, void* data) {
        auto* self = static_cast<Lv2Ports*>(handle);
        if (port >= 4 && port < 4 + kControls) self->controls[port - 4] = static_cast<const float*>(data);
    }
    static void run(LV2_Handle handle, std::uint32_t) {
        auto* self = static_cast<Lv2Ports*>(handle);
        const float* values = self->controls[0];
        std::uint32_t differ = 0;
        for (std::uint32_t i = 0; i < kControls; ++i) {
            differ |= std::bit_cast<std::uint32_t>(values[i]) ^ std::bit_cast<std::uint32_t>(self->last[i]);
        }
        benchmark::DoNotOptimize(differ);
    }
    static void nothing(LV2_Handle) {}
    static void cleanup(LV2_Handle handle) { delete static_cast<Lv2Ports*>(handle); }
    static constexpr LV2_Descriptor descriptor = {
        "urn:velmora:ports", instantiate, connect, nothing, run, nothing, cleanup, nullptr};
};

// The oscillator of `Description`, set to `values` (plain) as the core
// sets it, replacing blocks directly.
template <class Description>
void registerOscillatorCase(const std::string& name, const std::vector<float>& values) {
    registerFormatCase(
        name,
        [values](std::int32_t) {
            auto osc = std::make_unique<typename Description::Oscillator>();
            osc->setSampleRate(benchSampleRate);
            for (std::size_t i = 0; i < values.size(); ++i) {
                const ParameterInfo& info = Description::parameters[i];
                Description::apply(*osc, std::int32_t(i), hostValue(info, presentedValue(info, values[i])));
            }
            osc->reset();
            return osc;
        },
        [](typename Description::Oscillator& osc, StereoBuffers& b, std::uint32_t frames) {
            osc.replace(b.inputs[0], b.inputs[1], b.outputs[0], b.outputs[1], std::int32_t(frames));
        });
}

template <class Formats>
void registerFloorCases(const std::string& caseName, const std::vector<float>& values) {
    using Description = typename Formats::Description;
    registerFormatCases(caseName, "-floor", silentEntries<Formats>(), values);
    registerFormatCase(
        caseName + "-lv2-ports",
        [values](std::int32_t) {
            return std::make_unique<Lv2Instance>(&Lv2Ports<Description::parameterCount>::descriptor, nullptr, values);
        },
        [](Lv2Instance& plugin, StereoBuffers& b, std::uint32_t frames) { plugin.run(b, frames); });
    registerOscillatorCase<Description>(caseName + "-osc", values);
}

[[maybe_unused]] const bool registered = [] {
    registerFloorCases<GaterFormats>("VelmoraGater", plainDefaults<GaterDescription>());
    registerFloorCases<TremoloFormats>("VelmoraTremolo-sine",
                                       plainDefaults<TremoloDescription>(TremoloDescription::kWaveform, 2.0f));
    return true;
}();

}  // namespace
