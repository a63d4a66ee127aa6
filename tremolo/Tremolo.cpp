#include "Tremolo.h"

#include <cstring>
#include <iterator>

#include "Rounding.h"

namespace {

using DisplayText = char[9];  // 8 characters and the zero byte

const DisplayText kNames[TTremolo::kNumParams] = {"Waveform", " Tempo  ", " P-Width", " Level  "};
const DisplayText kLabels[TTremolo::kNumParams] = {"        ", "  BPM   ", " percent", "   dB   "};
// Indexed by the oscillator's waveform code.
const DisplayText kWaveformNames[] = {" Square ", "Triangle", " Saw up ", "Saw down", "  Sine  "};
const DisplayText kHuge = "  Huge! ";

void writeText(char* text, const DisplayText& fixed) noexcept { std::memcpy(text, fixed, sizeof fixed); }

bool isParameter(std::int32_t index) noexcept { return index >= 0 && index < TTremolo::kNumParams; }

}  // namespace

TTremolo::TTremolo(audioMasterCallback audioMaster) noexcept : TAudioEffect(audioMaster, kNumParams, kNumPrograms) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(TIdentifierText::from("KvTr"));
    canMono(true);
    canProcessReplacing(true);

    lfo.setLevel(100.0f);
    lfo.setRate(2.0f);
    lfo.setPulseWidth(50.0f);
    lfo.setSampleRate(44100.0f);
    lfo.setWaveform(TLfo::kTriangle);
    lfo.reset();

    setProgram(0);
}

// Programs and oscillator are members: they go, programs first, before the
// base destructor runs.
TTremolo::~TTremolo() = default;

TProgram* TTremolo::currentProgram() noexcept {
    const std::int32_t index = curProgram;
    return index >= 0 && index < kNumPrograms ? &programs[index] : nullptr;
}

void TTremolo::suspend() noexcept { lfo.reset(); }

void TTremolo::setProgram(std::int32_t program) noexcept {
    if (program < 0 || program >= kNumPrograms) return;
    curProgram = program;
    const TProgram& p = programs[program];
    setParameter(kWaveform, p.waveform);
    setParameter(kTempo, p.tempo);
    setParameter(kPulseWidth, p.pulseWidth);
    setParameter(kLevel, p.level);
}

void TTremolo::setProgramName(const char* name) noexcept {
    TProgram* p = currentProgram();
    if (name == nullptr || p == nullptr) return;
    p->name = TProgramName::from(name);
}

void TTremolo::getProgramName(char* text) noexcept {
    const TProgram* p = currentProgram();
    if (text == nullptr || p == nullptr) return;
    std::memcpy(text, p->name.chars, p->name.length);
    text[p->name.length] = '\0';
}

void TTremolo::setSampleRate(float rate) noexcept {
    TAudioEffect::setSampleRate(rate);
    lfo.setSampleRate(rate);
}

void TTremolo::getParameterName(std::int32_t index, char* text) noexcept {
    if (text != nullptr && isParameter(index)) writeText(text, kNames[index]);
}

void TTremolo::getParameterLabel(std::int32_t index, char* text) noexcept {
    if (text != nullptr && isParameter(index)) writeText(text, kLabels[index]);
}

void TTremolo::getParameterDisplay(std::int32_t index, char* text) noexcept {
    if (text == nullptr || !isParameter(index)) return;
    std::int32_t whole = 0;
    switch (index) {
        case kWaveform: {
            const std::uint8_t code = lfo.getWaveform();
            if (code < std::size(kWaveformNames))
                writeText(text, kWaveformNames[code]);
            else
                writeText(text, "        ");  // not reachable through the parameter
            break;
        }
        case kTempo:
            if (roundToInt32(double(lfo.getRate()) * 60.0, whole))
                long2string(whole, text);
            else
                writeText(text, kHuge);
            break;
        case kPulseWidth:
            if (roundToInt32(lfo.getPulseWidth(), whole))
                long2string(whole, text);
            else
                writeText(text, kHuge);
            break;
        case kLevel: dB2string(float(double(lfo.getLevel()) / 100.0), text); break;
    }
}

// The bands compare v with the decimals 0.2, 0.4, 0.6 and 0.8 exactly: 5 × v
// is exact in double for every float, so `5v <= k` is `v <= k / 5` with no
// rounding at all. The floats nearest to those decimals lie above them and
// so select the next band. Above 1.0 (and NaN) the oscillator is left alone.
void TTremolo::applyWaveform(float value) noexcept {
    const double fifths = 5.0 * double(value);
    if (fifths <= 1.0)
        lfo.setWaveform(TLfo::kSquare);
    else if (fifths <= 2.0)
        lfo.setWaveform(TLfo::kTriangle);
    else if (fifths <= 3.0)
        lfo.setWaveform(TLfo::kSine);
    else if (fifths <= 4.0)
        lfo.setWaveform(TLfo::kSawDown);
    else if (fifths <= 5.0)
        lfo.setWaveform(TLfo::kSawUp);
}

void TTremolo::setParameter(std::int32_t index, float value) noexcept {
    TProgram* p = currentProgram();
    switch (index) {
        case kWaveform:
            applyWaveform(value);
            waveformValue = value;
            if (p) p->waveform = value;
            break;
        case kTempo:
            // 30..360 beats per minute, one cycle per beat.
            lfo.setRate(float((double(value) * 330.0 + 30.0) / 60.0));
            tempoValue = value;
            if (p) p->tempo = value;
            break;
        case kPulseWidth:
            lfo.setPulseWidth(float(double(value) * 100.0));
            pulseWidthValue = value;
            if (p) p->pulseWidth = value;
            break;
        case kLevel:
            lfo.setLevel(float(double(value) * 100.0));
            levelValue = value;
            if (p) p->level = value;
            break;
        default: break;
    }
}

float TTremolo::getParameter(std::int32_t index) noexcept {
    switch (index) {
        case kWaveform: return waveformValue;
        case kTempo: return tempoValue;
        case kPulseWidth: return pulseWidthValue;
        case kLevel: return levelValue;
        default: return 0.0f;
    }
}

void TTremolo::process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    if (inputs == nullptr || outputs == nullptr || sampleFrames <= 0) return;
    const float* in0 = inputs[0];
    const float* in1 = inputs[1];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    if (!in0 || !in1 || !out0 || !out1) return;
    // Each frame reads all of its samples before it writes any, so buffers
    // shared between inputs and outputs work.
    lfo.accumulate(in0, in1, out0, out1, sampleFrames);
}

void TTremolo::processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    if (inputs == nullptr || outputs == nullptr || sampleFrames <= 0) return;
    const float* in0 = inputs[0];
    const float* in1 = inputs[1];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    if (!in0 || !in1 || !out0 || !out1) return;
    lfo.replace(in0, in1, out0, out1, sampleFrames);
}

// Called by the framework's `main`, on the host's thread.
TAudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new TTremolo(audioMaster); }
