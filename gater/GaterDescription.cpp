#include "GaterDescription.h"

#include "Rounding.h"

namespace {

constexpr ParameterInfo gainOfStep(const char* symbol, const char* name, const char* vstName) {
    return {symbol,
            name,
            "",
            vstName,
            "   dB   ",
            1.0f,
            0.0,
            1.0,
            0.0,
            1.0,
            ParameterKind::kLinear,
            DisplayRule::kDecibels,
            nullptr,
            nullptr,
            0};
}

}  // namespace

const ParameterInfo GaterDescription::parameters[parameterCount] = {
    {"steps", "Steps", "", " Steps  ", "  1/16  ", 1.0f, 1.0, 15.0, 1.0, 16.0, ParameterKind::kInteger,
     DisplayRule::kWholeNumber, nullptr, nullptr, 0},
    kTempoParameter,
    {"edge", "Edge", "%", "  Edge  ", " percent", 0.1f, 0.0, 100.0, 0.0, 100.0, ParameterKind::kLinear,
     DisplayRule::kWholeNumber, nullptr, nullptr, 0},
    gainOfStep("step1", "Step 1", " Step 1 "),
    gainOfStep("step2", "Step 2", " Step 2 "),
    gainOfStep("step3", "Step 3", " Step 3 "),
    gainOfStep("step4", "Step 4", " Step 4 "),
    gainOfStep("step5", "Step 5", " Step 5 "),
    gainOfStep("step6", "Step 6", " Step 6 "),
    gainOfStep("step7", "Step 7", " Step 7 "),
    gainOfStep("step8", "Step 8", " Step 8 "),
    gainOfStep("step9", "Step 9", " Step 9 "),
    gainOfStep("step10", "Step 10", " Step 10"),
    gainOfStep("step11", "Step 11", " Step 11"),
    gainOfStep("step12", "Step 12", " Step 12"),
    gainOfStep("step13", "Step 13", " Step 13"),
    gainOfStep("step14", "Step 14", " Step 14"),
    gainOfStep("step15", "Step 15", " Step 15"),
    gainOfStep("step16", "Step 16", " Step 16"),
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

double GaterDescription::displayed(TOsc& osc, std::int32_t index, float v) noexcept {
    switch (index) {
        case kSteps: return osc.getStepCount();
        case kTempo: return double(osc.getRate()) * 15.0;
        case kEdge: return double(osc.getEdge()) * 100.0;
        default: return v;
    }
}
