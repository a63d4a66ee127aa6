// TGainEffect: the VST 2 face of an effect that multiplies a stereo signal
// by the gain of one oscillator. Everything that depends on the effect
// comes from its description (GaterDescription, TremoloDescription): the
// identifier, the parameter table with names, labels, defaults and display
// rules, and the mapping of host values to the oscillator. The effects
// derive from it and add only what is theirs (the oscillator's set-up, what
// resume does).
//
// Host mistakes (null buffers, frame counts below 1, null text pointers)
// are turned away by the entry functions and the dispatcher before they
// reach an operation here; these operations are written for valid input.
// Parameter and program indexes are checked here: out of range, the
// setters do nothing and the getters answer 0 or leave the buffer alone.
//
// Threads: process and processReplacing run on the audio thread; every
// other operation may come from any host thread at the same time. The
// audio thread reads only the oscillator's state, whose shared fields are
// relaxed atomics; the programs, the one store of parameter values, are
// relaxed atomics too.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

#include "AudioEffect.h"
#include "ParameterTable.h"
#include "Program.h"
#include "Rounding.h"

template <class Description>
class TGainEffect : public TAudioEffect {
public:
    using Oscillator = typename Description::Oscillator;
    static constexpr std::int32_t numParameters = Description::parameterCount;
    static constexpr std::int32_t numBankPrograms = Description::programCount;

    // Construction thread (inside `main`): 2 inputs, 2 outputs, the
    // identifier, replacing and mono processing, every program "Init" with
    // the defaults. The effect then sets up its oscillator and loads
    // program 0.
    explicit TGainEffect(audioMasterCallback audioMaster) noexcept
        : TAudioEffect(audioMaster, numParameters, numBankPrograms) {
        setNumInputs(2);
        setNumOutputs(2);
        setUniqueID(TIdentifierText::from(Description::uniqueId));
        canProcessReplacing(true);
        canMono(true);
    }

    // Any host thread, while the audio is stopped. Restarts the oscillator.
    void suspend() noexcept override { osc.reset(); }

    // Any host thread. 0..15 makes the program current and loads its values
    // through setParameter, in parameter order; any other index is ignored.
    void setProgram(std::int32_t program) noexcept override {
        if (program < 0 || program >= numBankPrograms) return;
        curProgram = program;
        for (std::int32_t index = 0; index < numParameters; ++index) {
            setParameter(index, programs[program].values[index]);
        }
    }

    // Any host thread but the audio thread (text work). The first 24
    // characters become the current program's name.
    void setProgramName(const char* name) noexcept override { currentProgram().name = TProgramName::from(name); }
    // Writes the current program's name (up to 24 characters) and a zero.
    void getProgramName(char* text) noexcept override {
        const TProgramName& name = currentProgram().name;
        std::memcpy(text, name.chars, name.length);
        text[name.length] = '\0';
    }

    // Any host thread, while the audio is stopped. The oscillator refuses a
    // rate it cannot run at and keeps its previous one.
    void setSampleRate(float rate) noexcept override {
        TAudioEffect::setSampleRate(rate);
        osc.setSampleRate(rate);
    }

    // Any host thread but the audio thread (text work). 8 characters and a
    // zero byte for a valid index; any other leaves the buffer untouched.
    void getParameterName(std::int32_t index, char* text) noexcept override {
        if (isParameter(index)) std::memcpy(text, Description::parameters[index].vstName, 9);
    }
    void getParameterLabel(std::int32_t index, char* text) noexcept override {
        if (isParameter(index)) std::memcpy(text, Description::parameters[index].vstLabel, 9);
    }
    void getParameterDisplay(std::int32_t index, char* text) noexcept override;

    // Audio thread: no allocation, lock, host call or text work. Adds (or
    // writes) input × gain to the outputs, one gain a frame for both
    // channels; inputs and outputs may be the same buffers.
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept VELMORA_NONBLOCKING override {
        osc.accumulate(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
    }
    void processReplacing(float** inputs, float** outputs,
                          std::int32_t sampleFrames) noexcept VELMORA_NONBLOCKING override {
        osc.replace(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
    }

    // Any host thread, the audio thread included (automation): the value
    // drives the oscillator through the description's mapping and is stored,
    // as given, in the current program.
    void setParameter(std::int32_t index, float value) noexcept VELMORA_NONBLOCKING override {
        if (!isParameter(index)) return;
        Description::apply(osc, index, value);
        currentProgram().values[index] = value;
    }
    float getParameter(std::int32_t index) noexcept VELMORA_NONBLOCKING override {
        return isParameter(index) ? currentProgram().values[index].load() : 0.0f;
    }

protected:
    Oscillator osc;

private:
    static bool isParameter(std::int32_t index) noexcept { return index >= 0 && index < numParameters; }
    TProgram<Description>& currentProgram() noexcept { return programs[curProgram]; }
    // long2string of a number rounded to nearest, ties to even; one too
    // large for an integer (or NaN) shows as too large.
    void roundedLong2string(double value, char* text) noexcept {
        std::int32_t rounded = 0;
        if (!roundToInt32(value, rounded)) rounded = std::numeric_limits<std::int32_t>::max();
        long2string(rounded, text);
    }

    TProgram<Description> programs[numBankPrograms];
};

template <class Description>
void TGainEffect<Description>::getParameterDisplay(std::int32_t index, char* text) noexcept {
    if (!isParameter(index)) return;
    const ParameterInfo& info = Description::parameters[index];
    const double number = Description::displayed(osc, index, currentProgram().values[index]);
    switch (info.display) {
        case DisplayRule::kWholeNumber: roundedLong2string(number, text); break;
        case DisplayRule::kDecibels: dB2string(float(number), text); break;
        case DisplayRule::kChoiceName: {
            const bool shown = number >= 0.0 && number < double(info.choiceCount);
            std::memcpy(text, shown ? info.vstChoices[std::int32_t(number)] : "        ", 9);
            break;
        }
    }
}
