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

template struct engine::Entries<TLfo>;
