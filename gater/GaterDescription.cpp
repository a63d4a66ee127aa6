#include "GaterDescription.h"

#include "Rounding.h"

const ParameterInfo GaterDescription::parameters[parameterCount] = {
    {.symbol = "steps",
     .name = "Steps",
     .vstName = " Steps  ",
     .vstLabel = "  1/16  ",
     .defaultValue = 1.0f,
     .offset = 1.0,
     .scale = 15.0,
     .minimum = 1.0,
     .maximum = 16.0,
     .kind = ParameterKind::kInteger},
    kTempoParameter,
    percentParameter("edge", "Edge", "  Edge  ", 0.1f, 0.0, 100.0),
    gainParameter("step1", "Step 1", " Step 1 ", 1.0f),
    gainParameter("step2", "Step 2", " Step 2 ", 1.0f),
    gainParameter("step3", "Step 3", " Step 3 ", 1.0f),
    gainParameter("step4", "Step 4", " Step 4 ", 1.0f),
    gainParameter("step5", "Step 5", " Step 5 ", 1.0f),
    gainParameter("step6", "Step 6", " Step 6 ", 1.0f),
    gainParameter("step7", "Step 7", " Step 7 ", 1.0f),
    gainParameter("step8", "Step 8", " Step 8 ", 1.0f),
    gainParameter("step9", "Step 9", " Step 9 ", 1.0f),
    gainParameter("step10", "Step 10", " Step 10", 1.0f),
    gainParameter("step11", "Step 11", " Step 11", 1.0f),
    gainParameter("step12", "Step 12", " Step 12", 1.0f),
    gainParameter("step13", "Step 13", " Step 13", 1.0f),
    gainParameter("step14", "Step 14", " Step 14", 1.0f),
    gainParameter("step15", "Step 15", " Step 15", 1.0f),
    gainParameter("step16", "Step 16", " Step 16", 1.0f),
};

// Steps, tempo (BPM, heard when the host's beat is not followed), edge (%),
// then the gains of steps 1 to 16.
const GaterDescription::Preset GaterDescription::factoryPresets[factoryPresetCount] = {
    {"Straight sixteenths", {16, 120, 10, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Eighths", {16, 120, 10, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0}},
    {"Offbeat eighths", {4, 120, 10, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Dotted eighths", {16, 120, 10, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0}},
    {"Trance chop", {16, 120, 5, 1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 1, 0}},
    {"Half-time pulse", {8, 120, 30, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Stutter into the bar", {16, 120, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 1}},
    {"Fade in over a bar",
     {16, 120, 10, 0.0625, 0.125, 0.1875, 0.25, 0.3125, 0.375, 0.4375, 0.5, 0.5625, 0.625, 0.6875, 0.75, 0.8125, 0.875,
      0.9375, 1}},
    {"Soft swells", {16, 120, 100, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Accented downbeats",
     {16, 120, 15, 1, 0.35, 0.5, 0.35, 1, 0.35, 0.5, 0.35, 1, 0.35, 0.5, 0.35, 1, 0.35, 0.5, 0.35}},
};

void GaterDescription::apply(TOsc& osc, std::int32_t index, float v) noexcept {
    const double plain = plainValue(parameters[index], v);
    switch (index) {
        case kSteps: {
            // A count that is no integer (NaN, infinite, huge) is outside
            // 1..16 like any other: 0 stands for it, which plays 16 steps.
            std::int32_t count = 0;
            roundToInt32(plain, count);
            osc.setStepCount(count);
            break;
        }
        case kTempo: osc.setRate(float(plain / 15.0)); break;
        case kEdge: osc.setEdge(v); break;
        default: osc.setStepGain(index - kFirstStepGain + 1, v); break;
    }
}

void GaterDescription::enterSyncedUnit(TOsc& osc, std::int64_t unit, float length, float position) noexcept {
    const std::int64_t steps = osc.getStepCount();
    osc.enterHostStep(std::int32_t((unit % steps + steps) % steps) + 1, length, position);
}

double GaterDescription::displayed(TOsc& osc, std::int32_t index, float v) noexcept {
    switch (index) {
        case kSteps: return osc.getStepCount();
        case kTempo: return double(osc.getRate()) * 15.0;
        case kEdge: return double(osc.getEdge()) * 100.0;
        default: return v;
    }
}
