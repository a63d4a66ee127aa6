#include "TremoloDescription.h"

namespace {

constexpr const char* kWaveformNames[] = {"Square", "Triangle", "Sine", "Saw down", "Saw up"};
constexpr const char* kVstWaveformNames[] = {" Square ", "Triangle", "  Sine  ", "Saw down", " Saw up "};
// The oscillator's waveform code of each choice.
constexpr std::uint8_t kWaveformOfChoice[] = {TLfo::kSquare, TLfo::kTriangle, TLfo::kSine, TLfo::kSawDown,
                                              TLfo::kSawUp};

double choiceOfWaveform(std::uint8_t code) noexcept {
    for (std::int32_t choice = 0; choice < 5; ++choice) {
        if (kWaveformOfChoice[choice] == code) return choice;
    }
    return -1.0;
}

}  // namespace

const ParameterInfo TremoloDescription::parameters[parameterCount] = {
    {.symbol = "waveform",
     .name = "Waveform",
     .vstName = "Waveform",
     .vstLabel = "        ",
     .defaultValue = 0.1f,
     .minimum = 0.0,
     .maximum = 4.0,
     .kind = ParameterKind::kChoice,
     .display = DisplayRule::kChoiceName,
     .choices = kWaveformNames,
     .vstChoices = kVstWaveformNames,
     .choiceCount = 5},
    kTempoParameter,
    percentParameter("pulse_width", "P-Width", " P-Width", 0.5f, 10.0, 90.0),
    gainParameter("level", "Level", " Level  ", 1.0f),
};

// Waveform (its choice), tempo (BPM, heard when the host's beat is not
// followed), pulse width (%), level (linear).
const TremoloDescription::Preset TremoloDescription::factoryPresets[factoryPresetCount] = {
    {"Choppy square", {kSquare, 120, 50, 1}},      {"Smooth sine", {kSine, 120, 50, 1}},
    {"Short square stabs", {kSquare, 120, 20, 1}}, {"Long square, short gaps", {kSquare, 120, 80, 1}},
    {"Triangle sway", {kTriangle, 120, 50, 1}},    {"Decaying saw pulses", {kSawDown, 120, 50, 1}},
    {"Rising saw swells", {kSawUp, 120, 50, 1}},
};

void TremoloDescription::apply(TLfo& lfo, std::int32_t index, float v) noexcept {
    const double plain = plainValue(parameters[index], v);
    switch (index) {
        case kWaveform:
            // Above 1 (and NaN) no band takes the value.
            if (double(v) <= 1.0) lfo.setWaveform(kWaveformOfChoice[std::int32_t(plain)]);
            break;
        case kTempo: lfo.setRate(float(plain / 60.0)); break;
        case kPulseWidth: lfo.setPulseWidth(float(plain)); break;
        default: lfo.setLevel(float(plain * 100.0)); break;
    }
}

void TremoloDescription::enterSyncedUnit(TLfo& lfo, std::int64_t, float length, float position) noexcept {
    lfo.enterHostCycle(length, position);
}

double TremoloDescription::displayed(TLfo& lfo, std::int32_t index, float) noexcept {
    switch (index) {
        case kWaveform: return choiceOfWaveform(lfo.getWaveform());
        case kTempo: return double(lfo.getRate()) * 60.0;
        case kPulseWidth: return lfo.getPulseWidth();
        default: return double(lfo.getLevel()) / 100.0;
    }
}
