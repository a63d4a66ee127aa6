// A small seeded generator (splitmix64). The battery's random choices come
// from it so that a failing run can be repeated exactly from its seed, on
// every platform and standard library alike.
#pragma once

#include <cstdint>

namespace velmora::conformance {

class Random {
public:
    explicit Random(std::uint64_t seed) noexcept : state_(seed) {}

    std::uint64_t next() noexcept {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double unit() noexcept { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    // Uniform in [low, high], both ends included.
    std::int64_t between(std::int64_t low, std::int64_t high) noexcept {
        const auto span = static_cast<std::uint64_t>(high - low) + 1u;
        return low + static_cast<std::int64_t>(next() % span);
    }
    int index(int count) noexcept { return static_cast<int>(between(0, count - 1)); }

    float uniform(float low, float high) noexcept {
        return static_cast<float>(low + (static_cast<double>(high) - low) * unit());
    }

    bool chance(double probability) noexcept { return unit() < probability; }

private:
    std::uint64_t state_;
};

}  // namespace velmora::conformance
