#include "Osc.h"

#include <cmath>

TOsc::TOsc() noexcept {
    for (auto& gain : stepGains) gain = 0.0f;
    reset();
}

void TOsc::setStepCount(std::int32_t count) noexcept {
    stepCount = (count >= 1 && count <= maxSteps) ? count : maxSteps;
}

void TOsc::setStepGain(std::int32_t step, float gain) noexcept {
    if (step < 1 || step > maxSteps) return;
    // NaN or infinity is no gain: it would fill the whole step with
    // non-finite samples. The step keeps its last gain.
    if (!std::isfinite(gain)) return;
    stepGains[step] = gain;
    markDirty();
}

void TOsc::setRate(float stepsPerSecond) noexcept {
    if (!(stepsPerSecond > 0.0f)) return;
    rate = stepsPerSecond;
    markDirty();
}

void TOsc::setSampleRate(float samplesPerSecond) noexcept {
    if (!std::isfinite(samplesPerSecond)) return;
    sampleRate = samplesPerSecond;
    markDirty();
}

void TOsc::setEdge(float value) noexcept {
    if (!(value >= 0.0f)) {
        edge = 0.0f;
    } else if (value > 1.0f) {
        edge = 1.0f;
    } else {
        edge = value;
    }
    markDirty();
}

void TOsc::followHost(bool on) noexcept {
    host.following = on;
    host.pending = false;
    memory.forgetPeriod();
}

void TOsc::enterHostStep(std::int32_t step, float length, float position) noexcept {
    host.step = step >= 1 && step <= maxSteps ? step : maxSteps;
    host.length = length;
    host.position = position;
    host.pending = true;
    memory.forgetPeriod();
}

void TOsc::reset() noexcept {
    position = float(double(stepLength.load()) + 1.0);
    markDirty();
    currentStep = 0;
    resets = resets.load() + 1;
}

float TOsc::tick() noexcept {
    // A step that starts here may change the lengths under the block
    // engine's last stretch and description.
    memory.forgetPeriod();
    Running running(*this);
    return running.tick();
}

template struct engine::Entries<TOsc>;
