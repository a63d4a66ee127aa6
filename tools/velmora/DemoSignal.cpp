#include "DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace velmora::tool {

namespace {

constexpr double twoPi = 6.283185307179586;
// A2, E3, G3, C4, E4: A minor seventh, spread over two octaves.
constexpr double chord[] = {110.0, 164.814, 195.998, 261.626, 329.628};
constexpr double noteLevel = 0.11;
constexpr double noiseLevel = 0.3;
constexpr double noiseStart = 1.75, noiseLength = 0.25;  // seconds
constexpr double fadeSeconds = 0.005;

// A small linear congruential generator: white noise without any state
// outside this file and the same on every platform.
class Noise {
public:
    double next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state_ >> 11) / 9007199254740992.0 * 2.0 - 1.0;
    }

private:
    std::uint64_t state_ = 0x5eed;
};

// 0..1..0 with linear fades of `fade` at both ends of [start, start + length).
double window(double t, double start, double length, double fade) {
    if (t < start || t >= start + length) return 0.0;
    return std::min({1.0, (t - start) / fade, (start + length - t) / fade});
}

}  // namespace

DemoSignal makeDemoSignal(double seconds, int sampleRate) {
    DemoSignal signal;
    signal.sampleRate = sampleRate;
    const auto frames = static_cast<std::size_t>(std::llround(seconds * sampleRate));
    signal.left.resize(frames);
    signal.right.resize(frames);
    Noise noise;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        double l = 0.0, r = 0.0;
        for (std::size_t k = 0; k < std::size(chord); ++k) {
            // The right channel is detuned by a fraction of a hertz: a slow, wide beating.
            l += std::sin(twoPi * chord[k] * t + k);
            r += std::sin(twoPi * (chord[k] + 0.35) * t + 2 * k);
        }
        const double body = noteLevel * window(t, 0.0, seconds, fadeSeconds);
        const double burst = noiseLevel * window(t, noiseStart, noiseLength, fadeSeconds);
        signal.left[i] = static_cast<float>(l * body + noise.next() * burst);
        signal.right[i] = static_cast<float>(r * body + noise.next() * burst);
    }
    return signal;
}

int MemorySource::read(float* left, float* right, int frames) {
    const std::size_t n = std::min<std::size_t>(frames, signal_.left.size() - position_);
    std::copy_n(signal_.left.begin() + position_, n, left);
    std::copy_n(signal_.right.begin() + position_, n, right);
    position_ += n;
    return static_cast<int>(n);
}

}  // namespace velmora::tool
