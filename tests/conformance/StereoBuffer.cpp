#include "StereoBuffer.h"

#include <cmath>
#include <cstring>

namespace velmora::conformance {

namespace {

constexpr std::uint32_t kGuardBits = 0x7FE5A5A5u;  // quiet NaNs that no plug-in computes
constexpr std::uint32_t kUnwrittenBits = 0x7FC0DEADu;

float fromBits(std::uint32_t bits) noexcept {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

std::uint32_t bitsOf(float value) noexcept {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

StereoBuffer::StereoBuffer(int frames) : frames_(frames) {
    for (auto& channel : data_)
        channel.assign(static_cast<std::size_t>(frames + 2 * kGuardFrames), fromBits(kGuardBits));
    fill(0.0f);
}

float** StereoBuffer::pointers() noexcept {
    pointers_[0] = channel(0);
    pointers_[1] = channel(1);
    return pointers_;
}

void StereoBuffer::fillNoise(Random& random, float amplitude) {
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < frames_; ++i) channel(c)[i] = random.uniform(-amplitude, amplitude);
    }
}

void StereoBuffer::fill(float value) {
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < frames_; ++i) channel(c)[i] = value;
    }
}

void StereoBuffer::fillUnwritten() { fill(fromBits(kUnwrittenBits)); }

testing::AssertionResult StereoBuffer::guardsIntact(const char* what) const {
    for (int c = 0; c < 2; ++c) {
        const std::vector<float>& samples = data_[c];
        for (int g = 0; g < kGuardFrames; ++g) {
            const std::size_t before = static_cast<std::size_t>(g);
            const std::size_t after = static_cast<std::size_t>(kGuardFrames + frames_ + g);
            if (bitsOf(samples[before]) != kGuardBits) {
                return testing::AssertionFailure()
                       << what << ": channel " << c << " written " << (kGuardFrames - g) << " frames before its start";
            }
            if (bitsOf(samples[after]) != kGuardBits) {
                return testing::AssertionFailure() << what << ": channel " << c << " written at frame " << (frames_ + g)
                                                   << ", past its " << frames_ << " frames";
            }
        }
    }
    return testing::AssertionSuccess();
}

bool StereoBuffer::identical(const StereoBuffer& other) const {
    for (int c = 0; c < 2; ++c) {
        if (data_[c].size() != other.data_[c].size() ||
            std::memcmp(data_[c].data(), other.data_[c].data(), data_[c].size() * sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

testing::AssertionResult sameSamples(const StereoBuffer& actual, const StereoBuffer& expected, int from, int to,
                                     const char* what) {
    for (int c = 0; c < 2; ++c) {
        for (int i = from; i < to; ++i) {
            const float a = actual.channel(c)[i];
            const float e = expected.channel(c)[i];
            if (bitsOf(a) != bitsOf(e)) {
                return testing::AssertionFailure()
                       << what << ": channel " << c << " frame " << i << " is " << testing::PrintToString(a)
                       << ", expected " << testing::PrintToString(e);
            }
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult finiteSamples(const StereoBuffer& buffer, int frames, const char* what) {
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < frames; ++i) {
            const float value = buffer.channel(c)[i];
            if (!std::isfinite(value)) {
                return testing::AssertionFailure()
                       << what << ": channel " << c << " frame " << i << " of " << frames << " is "
                       << (bitsOf(value) == kUnwrittenBits ? std::string("left unwritten")
                                                           : testing::PrintToString(value));
            }
        }
    }
    return testing::AssertionSuccess();
}

}  // namespace velmora::conformance
