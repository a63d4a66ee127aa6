// TFormatEffect: one effect as a plug-in class of the wrapper that builds
// the LV2, VST3 and CLAP plug-ins (DPF). Everything that depends on the
// effect comes from its description (GaterDescription, TremoloDescription):
// the parameter table, and the one mapping of a host value to the
// oscillator. So the same settings give the VST 2 plug-in's output bit for
// bit.
//
// Parameters. The new formats show plain values (Tempo 30..360 BPM, Edge
// 0..100 %, Waveform as a named choice): parameter i here is entry i of
// the description's table. A value is clamped into its presented range
// (integers and choices rounded), turned into the host value the VST 2
// plug-in would be given, and applied through the description. NaN is
// ignored. Parameters only the new formats have go after the table's, so
// that these indexes (the CLAP and VST3 parameter ids) never change.
//
// Restarts. The oscillator restarts at the first block after each
// activation, with the settings in force then: a host applies the
// parameters it holds (LV2 control ports, VST3 and CLAP events) at the start
// of that block, as the VST 2 plug-in is given them before its resume.
//
// Threads: run() on the audio thread; setParameterValue() and
// loadProgram() on any thread, the audio thread included; the rest on the
// host's main thread while the audio is stopped. The audio thread reads the
// oscillator's state, whose shared fields are relaxed atomics, and the
// stored values are relaxed atomics too.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

#include "DistrhoPlugin.hpp"
#include "Nonblocking.h"
#include "ParameterTable.h"
#include "Relaxed.h"

START_NAMESPACE_DISTRHO

template <class Description>
class TFormatEffect : public Plugin {
    // The table's parameters, in its order; programs as the VST 2 has them.
    static constexpr std::uint32_t kParameterCount = Description::parameterCount;
    static constexpr std::uint32_t kProgramCount = Description::programCount;

public:
    // Main thread (the wrapper's instantiation). Every parameter at its
    // default, the oscillator at the host's sample rate.
    TFormatEffect() : Plugin(kParameterCount, kProgramCount, 0) {
        osc.setSampleRate(float(getSampleRate()));
        loadDefaults();
    }

protected:
    // Main thread, while the wrapper describes the plug-in to the host.
    const char* getLabel() const override { return Description::name; }
    const char* getDescription() const override { return Description::summary; }
    const char* getMaker() const override { return "Velmora"; }
    const char* getLicense() const override { return "Proprietary"; }
    std::uint32_t getVersion() const override {
        return d_version(VELMORA_VERSION_MAJOR, VELMORA_VERSION_MINOR, VELMORA_VERSION_PATCH);
    }
    // The VST 2 identifier ("KvGt", "KvTr"); the VST3 class id is made
    // from it, so it never changes.
    int64_t getUniqueId() const override {
        const char* id = Description::uniqueId;
        return d_cconst(std::uint8_t(id[0]), std::uint8_t(id[1]), std::uint8_t(id[2]), std::uint8_t(id[3]));
    }

    // Main thread, once. A stereo pair in, a stereo pair out.
    void initAudioPort(bool input, std::uint32_t index, AudioPort& port) override {
        static constexpr const char* kNames[2][2] = {{"Output L", "Output R"}, {"Input L", "Input R"}};
        static constexpr const char* kSymbols[2][2] = {{"out_l", "out_r"}, {"in_l", "in_r"}};
        port.groupId = kPortGroupStereo;
        port.name = kNames[input][index & 1];
        port.symbol = kSymbols[input][index & 1];
    }

    // Main thread, once. Name, symbol, unit, range and default from the
    // table; every parameter automatable; a choice names its values.
    void initParameter(std::uint32_t index, Parameter& parameter) override {
        const ParameterInfo& info = Description::parameters[index];
        parameter.hints = kParameterIsAutomatable;
        if (info.kind != ParameterKind::kLinear) parameter.hints |= kParameterIsInteger;
        parameter.name = info.name;
        parameter.symbol = info.symbol;
        parameter.unit = info.unit;
        parameter.ranges = ParameterRanges(defaultOf(info), float(info.minimum), float(info.maximum));
        if (info.kind == ParameterKind::kChoice) nameChoices(info, parameter.enumValues);
    }

    // Main thread, once. Every program is "Init" for now.
    void initProgramName(std::uint32_t, String& name) override { name = "Init"; }

    // Any thread, the audio thread included. Every program holds the
    // defaults; an index out of range changes nothing.
    void loadProgram(std::uint32_t index) noexcept VELMORA_NONBLOCKING override {
        if (index < kProgramCount) loadDefaults();
    }

    // Any thread, the audio thread included: no allocation, no lock.
    float getParameterValue(std::uint32_t index) const noexcept VELMORA_NONBLOCKING override {
        return index < kParameterCount ? values[index].load() : 0.0f;
    }
    void setParameterValue(std::uint32_t index, float value) noexcept VELMORA_NONBLOCKING override {
        if (index >= kParameterCount || std::isnan(value)) return;
        const ParameterInfo& info = Description::parameters[index];
        const double plain = presentedValue(info, value);
        values[index] = float(plain);
        Description::apply(osc, std::int32_t(index), hostValue(info, plain));
    }

    // Main thread, while the audio is stopped. The oscillator refuses a
    // rate it cannot run at and keeps its previous one.
    void sampleRateChanged(double rate) override { osc.setSampleRate(float(rate)); }

    // Main thread. The next block restarts the oscillator.
    void activate() override { restartPending.store(true); }

    // Audio thread: no allocation, lock or system call. Writes input × gain
    // to both outputs (the buffers may be the same); a block of 0 frames or
    // with a missing buffer does nothing.
    void run(const float** inputs, float** outputs, std::uint32_t frames) noexcept VELMORA_NONBLOCKING override {
        if (frames == 0 || !allChannels(inputs, outputs)) return;
        // A plain load first: the exchange, a locked instruction, only when
        // a restart is due.
        if (restartPending.load(std::memory_order_relaxed) && restartPending.exchange(false)) osc.reset();
        const float* in0 = inputs[0];
        const float* in1 = inputs[1];
        float* out0 = outputs[0];
        float* out1 = outputs[1];
        // The oscillator counts frames in 32 bits: a longer block in parts.
        constexpr std::uint32_t kLongest = std::uint32_t(1) << 30;
        for (std::uint32_t done = 0; done < frames;) {
            const std::uint32_t part = std::min(frames - done, kLongest);
            osc.replace(in0 + done, in1 + done, out0 + done, out1 + done, std::int32_t(part));
            done += part;
        }
    }

private:
    static float defaultOf(const ParameterInfo& info) noexcept {
        return float(presentedValue(info, plainValue(info, info.defaultValue)));
    }

    static void nameChoices(const ParameterInfo& info, ParameterEnumerationValues& names) {
        names.count = std::uint8_t(info.choiceCount);
        names.restrictedMode = true;
        names.values = new ParameterEnumerationValue[info.choiceCount];
        for (std::int32_t i = 0; i < info.choiceCount; ++i) {
            names.values[i] = ParameterEnumerationValue(float(i), info.choices[i]);
        }
    }

    static bool allChannels(const float** inputs, float** outputs) noexcept {
        return inputs != nullptr && outputs != nullptr && inputs[0] != nullptr && inputs[1] != nullptr &&
               outputs[0] != nullptr && outputs[1] != nullptr;
    }

    void loadDefaults() noexcept {
        for (std::uint32_t index = 0; index < kParameterCount; ++index) {
            setParameterValue(index, defaultOf(Description::parameters[index]));
        }
    }

    typename Description::Oscillator osc;
    Relaxed<float> values[kParameterCount];
    std::atomic<bool> restartPending{true};

    DISTRHO_DECLARE_NON_COPYABLE(TFormatEffect)
};

END_NAMESPACE_DISTRHO
