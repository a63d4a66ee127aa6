#include "Gater.h"

#include <cstring>
#include <limits>

#include "Rounding.h"

namespace {

constexpr char parameterNames[TGater::numParameters][9] = {
    " Steps  ", " Tempo  ", "  Edge  ", " Step 1 ", " Step 2 ", " Step 3 ", " Step 4 ",
    " Step 5 ", " Step 6 ", " Step 7 ", " Step 8 ", " Step 9 ", " Step 10", " Step 11",
    " Step 12", " Step 13", " Step 14", " Step 15", " Step 16",
};

constexpr char stepsLabel[9] = "  1/16  ";
constexpr char tempoLabel[9] = "  BPM   ";
constexpr char edgeLabel[9] = " percent";
constexpr char gainLabel[9] = "   dB   ";

constexpr std::int32_t stepsParameter = 0;
constexpr std::int32_t tempoParameter = 1;
constexpr std::int32_t edgeParameter = 2;
constexpr std::int32_t firstGainParameter = 3;

bool isParameter(std::int32_t index) noexcept { return index >= 0 && index < TGater::numParameters; }

// One oscillator value per frame, the same gain for both channels, each
// sample computed in double and rounded once to float when stored. Both
// inputs of a frame are read before either output is written, so inputs
// and outputs may be the same buffers. The oscillator's block path holds
// its running state in a Block and works in stretches of one envelope
// branch (see TOsc::replace).
template <bool accumulate>
void gate(TOsc& osc, float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    if (sampleFrames <= 0 || inputs == nullptr || outputs == nullptr) return;
    const float* in0 = inputs[0];
    const float* in1 = inputs[1];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    if (in0 == nullptr || in1 == nullptr || out0 == nullptr || out1 == nullptr) return;

    if constexpr (accumulate) {
        osc.accumulate(in0, in1, out0, out1, sampleFrames);
    } else {
        osc.replace(in0, in1, out0, out1, sampleFrames);
    }
}

}  // namespace

TGater::TGater(audioMasterCallback audioMaster) : TAudioEffect(audioMaster, numParameters, numBankPrograms) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(TIdentifierText::from("KvGt"));
    canProcessReplacing(true);
    canMono(true);
    osc = std::make_unique<TOsc>();
    for (auto& program : programs) program = std::make_unique<TProgram>();
    setProgram(0);
    suspend();
}

TGater::~TGater() {
    for (auto& program : programs) program.reset();
    osc.reset();
}

void TGater::resume() noexcept { osc->reset(); }

void TGater::suspend() noexcept { osc->reset(); }

void TGater::setProgram(std::int32_t program) noexcept {
    if (program < 0 || program >= numBankPrograms) return;
    curProgram = program;
    TProgram& loaded = *programs[program];
    for (std::int32_t index = 0; index < numParameters; ++index) {
        setParameter(index, loaded.value(index));
    }
}

void TGater::setProgramName(const char* name) noexcept {
    if (name == nullptr) return;
    currentProgram().name = TShortString<24>::from(name);
}

void TGater::setSampleRate(float rate) noexcept {
    osc->setSampleRate(rate);
    TAudioEffect::setSampleRate(rate);
}

void TGater::getProgramName(char* text) noexcept {
    if (text == nullptr) return;
    const TShortString<24>& name = currentProgram().name;
    std::memcpy(text, name.chars, name.length);
    text[name.length] = '\0';
}

void TGater::getParameterLabel(std::int32_t index, char* text) noexcept {
    if (!isParameter(index) || text == nullptr) return;
    const char* label = index == stepsParameter   ? stepsLabel
                        : index == tempoParameter ? tempoLabel
                        : index == edgeParameter  ? edgeLabel
                                                  : gainLabel;
    std::memcpy(text, label, 9);
}

void TGater::getParameterDisplay(std::int32_t index, char* text) noexcept {
    if (!isParameter(index) || text == nullptr) return;
    switch (index) {
        case stepsParameter: long2string(osc->getStepCount(), text); break;
        case tempoParameter: roundedLong2string(double(osc->getRate()) * 15.0, text); break;
        case edgeParameter: roundedLong2string(double(osc->getEdge()) * 100.0, text); break;
        default: dB2string(paramValues[index], text); break;
    }
}

void TGater::getParameterName(std::int32_t index, char* text) noexcept {
    if (!isParameter(index) || text == nullptr) return;
    std::memcpy(text, parameterNames[index], 9);
}

void TGater::process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    gate<true>(*osc, inputs, outputs, sampleFrames);
}

void TGater::processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    gate<false>(*osc, inputs, outputs, sampleFrames);
}

void TGater::setParameter(std::int32_t index, float value) noexcept {
    if (!isParameter(index)) return;
    switch (index) {
        case stepsParameter: {
            // A count that is no integer (NaN, infinite, huge) is outside
            // 1..16 like any other: 0 stands for it, which plays 16 steps.
            std::int32_t count = 0;
            roundToInt32(double(value) * 15.0 + 1.0, count);
            osc->setStepCount(count);
            paramValues[index] = value;
            break;
        }
        case tempoParameter:
            // 30..360 beats per minute, four steps a beat.
            osc->setRate(float((double(value) * 330.0 + 30.0) / 15.0));
            paramValues[index] = value;
            break;
        case edgeParameter:
            paramValues[index] = value;
            osc->setEdge(value);
            break;
        default:
            paramValues[index] = value;
            osc->setStepGain(index - firstGainParameter + 1, value);
            break;
    }
    currentProgram().value(index) = value;
}

float TGater::getParameter(std::int32_t index) noexcept {
    return isParameter(index) ? float(paramValues[index]) : 0.0f;
}

void TGater::roundedLong2string(double value, char* text) noexcept {
    std::int32_t rounded = 0;
    if (!roundToInt32(value, rounded)) {
        rounded = value < 0.0 ? std::numeric_limits<std::int32_t>::min() : std::numeric_limits<std::int32_t>::max();
    }
    long2string(rounded, text);
}

TAudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new TGater(audioMaster); }
