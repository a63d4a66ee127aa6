// What the reliability tests share: the two plug-in files, a stereo stream
// of noise played block by block into an instance, and the process's
// resident memory.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif

#include "VstHost.h"

namespace velmora::reliability {

using host::PluginInstance;
using host::PluginLibrary;

// The plug-in files, by name, for parameterised tests.
inline std::string pluginPath(const std::string& name) { return std::string(VELMORA_PLUGIN_DIR) + "/" + name + ".so"; }
inline const std::vector<std::string>& pluginNames() {
    static const std::vector<std::string> names = {"VelmoraGater", "VelmoraTremolo"};
    return names;
}
inline std::string nameOfParam(const testing::TestParamInfo<std::string>& info) { return info.param; }

// Memory checkers keep freed memory aside (quarantine, shadow memory), so
// resident memory says nothing about leaks there; they find leaks their own way.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

inline bool memoryIsChecked() {
#if __has_include(<valgrind/valgrind.h>)
    if (RUNNING_ON_VALGRIND) return true;
#endif
    return kSanitized;
}

// Resident memory of this process in KiB (VmRSS), or -1 when unknown.
inline long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

inline std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Deterministic noise in -1..1 (splitmix64), the same on every build.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    float next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<float>(static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0);
    }

private:
    std::uint64_t state_;
};

// Two channels of one block.
struct Stereo {
    explicit Stereo(int frames, float value = 0.0f) : left(frames, value), right(frames, value) {}
    void fill(Noise& noise) {
        for (std::size_t i = 0; i < left.size(); ++i) {
            left[i] = noise.next();
            right[i] = noise.next();
        }
    }
    bool operator==(const Stereo& other) const {
        if (left.size() != other.left.size()) return false;
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (bitsOf(left[i]) != bitsOf(other.left[i]) || bitsOf(right[i]) != bitsOf(other.right[i])) return false;
        }
        return true;
    }
    std::vector<float> left;
    std::vector<float> right;
};

// Plays `blocks` blocks of `frames` frames of noise from `seed` through
// processReplacing and returns everything that came out, in one stream.
inline Stereo playNoise(PluginInstance& instance, int blocks, int frames, std::uint64_t seed = 1) {
    Noise noise(seed);
    Stereo stream(0);
    Stereo input(frames);
    Stereo output(frames);
    for (int block = 0; block < blocks; ++block) {
        input.fill(noise);
        instance.processReplacing(input.left.data(), input.right.data(), output.left.data(), output.right.data(),
                                  frames);
        stream.left.insert(stream.left.end(), output.left.begin(), output.left.end());
        stream.right.insert(stream.right.end(), output.right.begin(), output.right.end());
    }
    return stream;
}

// Index of the first sample that is not finite, or -1.
inline long firstNonFinite(const Stereo& stream) {
    for (std::size_t i = 0; i < stream.left.size(); ++i) {
        if (!std::isfinite(stream.left[i]) || !std::isfinite(stream.right[i])) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace velmora::reliability
