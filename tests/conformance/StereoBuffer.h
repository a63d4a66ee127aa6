// Two channels of samples for a plug-in to read or write, each with a guard
// zone before and after its frames so that writes out of bounds show up as
// changed guard samples rather than as memory damage.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Random.h"

namespace velmora::conformance {

class StereoBuffer {
public:
    static constexpr int kGuardFrames = 64;

    explicit StereoBuffer(int frames);

    int frames() const noexcept { return frames_; }
    float* channel(int c) noexcept { return data_[c].data() + kGuardFrames; }
    const float* channel(int c) const noexcept { return data_[c].data() + kGuardFrames; }
    // The two channel pointers, as the record's process entries take them.
    float** pointers() noexcept;

    // Uniform noise in [-amplitude, amplitude] in every frame.
    void fillNoise(Random& random, float amplitude);
    void fill(float value);
    // A quiet NaN in every frame: frames a plug-in should have written but
    // did not stay NaN and fail the finite-output checks.
    void fillUnwritten();

    // Guards as they were made.
    testing::AssertionResult guardsIntact(const char* what) const;
    // Every sample, guards included, bit for bit as in `other`.
    bool identical(const StereoBuffer& other) const;

private:
    int frames_;
    std::vector<float> data_[2];
    float* pointers_[2] = {nullptr, nullptr};
};

// The first sample of frames [from, to) whose bits differ, if any.
testing::AssertionResult sameSamples(const StereoBuffer& actual, const StereoBuffer& expected, int from, int to,
                                     const char* what);
// The first sample of frames [0, frames) that is NaN or infinite, if any.
testing::AssertionResult finiteSamples(const StereoBuffer& buffer, int frames, const char* what);

std::uint32_t bitsOf(float value) noexcept;

}  // namespace velmora::conformance
