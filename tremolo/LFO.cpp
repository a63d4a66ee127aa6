#include "LFO.h"

#include <cmath>

TLfo::TLfo() noexcept {
    for (int i = 0; i < kRampLength; ++i) {
        rampUp[i] = float(i * 0.1);
        rampDown[i] = float(1.0 - i * 0.1);
    }
}

// Runs at a cycle start after a change (on the audio thread, or inside
// `reset` on a host thread): the one place where the cycle's lengths are
// divided out.
TLfo::CycleLengths TLfo::deriveCycle() noexcept { return deriveCycle(float(double(sampleRate) / double(rate))); }

TLfo::CycleLengths TLfo::deriveCycle(float T) noexcept {
    const float h = waveform == kSquare ? float(double(T) * double(pulseWidth) / 100.0) : float(double(T) * 0.5);
    return {T, h, float(6.283185307 / double(T))};
}

void TLfo::followHost(bool on) noexcept {
    host.following = on;
    host.pending = false;
    memory.forgetPeriod();
}

void TLfo::enterHostCycle(float length, float position) noexcept {
    host.length = length;
    host.position = position;
    host.pending = true;
    memory.forgetPeriod();
}

void TLfo::reset() noexcept {
    rampIndex = 0;
    position = float(double(period) + 1.0);
    markDirty();
    {
        // Starts a cycle from the current settings (the per-sample rule
        // itself: the public tick would also touch the audio thread's
        // engine memory).
        Running running(*this);
        (void)running.tick();
    }
    position = 0.0f;
    onsetCount = 0.0f;
    onsetLength = float(double(onsetTime) * double(sampleRate) / 1000.0);
    resets = resets + 1u;
}

float TLfo::getLevel() noexcept { return float(double(level) * 100.0); }
float TLfo::getOnsetTime() noexcept { return onsetTime; }
float TLfo::getRate() noexcept { return rate; }
float TLfo::getTempo() noexcept { return float(double(rate) * 60.0); }
std::int32_t TLfo::getOnsetMode() noexcept { return onsetMode; }
float TLfo::getPulseWidth() noexcept { return pulseWidth; }
float TLfo::getSampleRate() noexcept { return sampleRate; }
std::uint8_t TLfo::getWaveform() noexcept { return waveform; }

// The range tests are written so that NaN fails them.

void TLfo::setLevel(float percent) noexcept {
    if (percent >= 0.0f && percent <= 100.0f) level = float(double(percent) / 100.0);
}

void TLfo::setOnsetTime(float milliseconds) noexcept {
    if (milliseconds == onsetTime) return;
    if (milliseconds > 0.0f && milliseconds < 3000.0f) onsetTime = milliseconds;
}

void TLfo::setRate(float hertz) noexcept {
    if (hertz == rate) return;
    if (!(hertz >= 0.1f && hertz <= 100.0f)) return;
    rate = hertz;
    markDirty();
}

void TLfo::setTempo(float bpm) noexcept { setRate(float(double(bpm) / 60.0)); }

void TLfo::setOnsetMode(std::int32_t mode) noexcept {
    if (mode == 0 || mode == 1) onsetMode = mode;
}

void TLfo::setPulseWidth(float percent) noexcept {
    if (percent == pulseWidth || std::isnan(percent)) return;
    if (percent < 10.0f)
        pulseWidth = 10.0f;
    else if (percent > 90.0f)
        pulseWidth = 90.0f;
    else
        pulseWidth = percent;
    markDirty();
}

void TLfo::setSampleRate(float hertz) noexcept {
    if (hertz == sampleRate) return;
    if (!(hertz > 11000.0f)) return;
    // An infinite rate would make the cycle that starts next endless: the
    // sound would stay frozen even after the host sets a usable rate.
    if (std::isinf(hertz)) return;
    sampleRate = hertz;
    markDirty();
}

void TLfo::setWaveform(std::uint8_t code) noexcept {
    if (code == waveform) return;
    waveform = code;
    markDirty();
}

float TLfo::tick() noexcept {
    // A cycle that starts here may change the lengths under the block
    // engine's last stretch and description.
    memory.forgetPeriod();
    Running running(*this);
    return running.tick();
}

TLfo::Running::~Running() {
    if (lfo.resets.load() != resetsAtStart) {
        // A reset from a host thread arrived during the block: keep its
        // state, and let the next cycle start take up whatever this block
        // consumed of a change.
        lfo.markDirty();
        return;
    }
    lfo.position = position;
    lfo.period = period;
    lfo.highLength = highLength;
    lfo.phaseStep = phaseStep;
    lfo.onsetCount = onsetCount;
    lfo.rampIndex = rampIndex;
}

// The cycle of the waveform now set, as `tick` tests it: each branch a
// segment; times the level (the scale).
std::uint64_t TLfo::Running::describe(engine::Period& cycle) const noexcept {
    using engine::Shape;
    const std::uint8_t wave = lfo.waveform.load();
    const double h = highLength, T = period;
    cycle.clear();
    switch (wave) {
        case kSquare:
            cycle.add(10.0, Shape::tableFrom(lfo.rampUp, 0));
            cycle.add(h, Shape::constant(1.0f));
            describeFall(cycle, h + 9.0);
            cycle.add(T, Shape::constant(0.0f));
            break;
        case kTriangle:
            cycle.add(h, Shape::rising(h));
            cycle.add(T, Shape::falling(h, T - h));
            break;
        case kSawUp:
            cycle.add(T - 9.0, Shape::rising(T));
            describeFall(cycle, T);
            break;
        case kSawDown:
            cycle.add(10.0, Shape::tableFrom(lfo.rampUp, 0));
            // 1 - (p - 10) / T is the falling form (10 - p) / T + 1: the
            // same roundings, since rounding is symmetric about 0.
            cycle.add(T, Shape::falling(10.0, T));
            break;
        case kSine: cycle.add(T, Shape::sine(phaseStep)); break;
        default: cycle.add(T, Shape::constant(0.0f)); break;
    }
    if (lfo.host.following) cycle.add(INFINITY, Shape::constant(restValue()));
    return std::uint64_t(wave) << 32 | resetsAtStart;
}

// The falling ramp from where the branches before it end up to `end`: the
// entries of the table from the first position on, one a frame, then the
// last entry again (a counted segment: the frames that pass use the
// entries up). That is the ramp whenever rampIndex has counted exactly the
// ramp's positions before the running one, as in every cycle with one
// waveform. After a waveform change inside a cycle it may not have: the
// ramp then goes on from the running position with the entries rampIndex
// has left (positions before it are never asked for again).
void TLfo::Running::describeFall(engine::Period& cycle, double end) const noexcept {
    using engine::Shape;
    const double start = std::ceil(cycle.reached);
    const double playedUpTo = std::fmin(double(position), std::ceil(end));
    const double played = playedUpTo > start ? playedUpTo - start : 0.0;
    const std::int32_t used = rampIndex < kRampLength ? rampIndex : kRampLength;
    const bool inStep = double(used) == std::fmin(played, double(kRampLength));
    const double first = inStep ? start : std::fmax(start, double(position));
    const std::int32_t from = inStep ? 0 : used;
    const float last = lfo.rampDown[kRampLength - 1];
    cycle.add(first < end ? first : end, Shape::constant(last));  // played already
    if (from < kRampLength && first < double(engine::kPositionLimit)) {
        const double tableEnd = first + double(kRampLength - from);
        cycle.add(tableEnd < end ? tableEnd : end, Shape::tableFrom(&lfo.rampDown[from], std::int32_t(first)), true);
    }
    cycle.add(end, Shape::constant(last));
}

// The entries of the falling ramp that `tick` uses up before position p of
// a cycle of this waveform and these lengths: one for each position of the
// ramp before p.
std::int32_t TLfo::Running::rampUsedBefore(float p) const noexcept {
    const double h = highLength, T = period;
    double start = 0.0, end = 0.0;
    switch (lfo.waveform.load()) {
        case kSquare:
            start = std::fmax(10.0, h);
            end = h + 9.0;
            break;
        case kSawUp:
            start = T - 9.0;
            end = T;
            break;
        default: return 0;
    }
    const double passed = std::fmin(double(p), std::ceil(end)) - std::ceil(start);
    return passed <= 0.0 ? 0 : passed >= double(kRampLength) ? kRampLength : std::int32_t(passed);
}

template struct engine::Entries<TLfo>;
