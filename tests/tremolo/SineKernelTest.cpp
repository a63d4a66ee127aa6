// The tremolo's sine kernel against the platform's sine, frame by frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "SineKernel.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::int64_t kPositions = 1000000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr std::int64_t kPositions = 1000000;
#else
constexpr std::int64_t kPositions = 10000000;
#endif
#else
constexpr std::int64_t kPositions = 10000000;
#endif

// Every position of whole cycles, run through a kernel variant in
// stretches as the oscillator does (one quarter, at most a chunk at a
// time), against float((sin(p × step) + 1) / 2) with std::sin.
void expectEveryPositionMatchesThePlatformSine(sinekernel::Variant variant) {
    // Sample rates and rates (Hz) from the tempo range and the extremes.
    const float sampleRates[] = {11025.0f, 22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f};
    const float rates[] = {0.5f, 0.75f, 1.0f, 2.0f, 3.3f, 6.0f, 100.0f, 0.1f};
    std::int64_t compared = 0, mismatches = 0, straddling = 0;
    // Room for the last group of 8 that the vector variants write whole,
    // and guard values behind it.
    std::vector<float> values(sinekernel::roundUpToGroup(sinekernel::kChunk) + 8, -7.0f);
    for (int round = 0; compared < kPositions; ++round) {
        const float sampleRate = sampleRates[round % std::size(sampleRates)];
        const float rate =
            rates[(round / std::size(sampleRates)) % std::size(rates)] * (1.0f + 0.01f * float(round / 56));
        const float period = float(double(sampleRate) / double(rate));
        const double step = float(6.283185307 / double(period));
        for (double p = 0.0; p < double(period) && compared < kPositions;) {
            std::int32_t quarter = 0;
            const std::int32_t frames = sinekernel::quarterFrames(p, step, sinekernel::kChunk, quarter);
            ASSERT_GT(frames, 0) << "position " << p << " of " << period;
            sinekernel::sineValuesBy(variant, values.data(), p, step, quarter, frames);
            for (std::int32_t i = 0; i < frames; ++i, ++compared) {
                const double x = (p + i) * step;
                const float want = float((std::sin(x) + 1.0) / 2.0);
                if (std::memcmp(&want, &values[i], sizeof want) != 0) ++mismatches;
                // How often the kernel had to ask std::sin: rare, or it is slow.
                const double s = std::sin(x);
                if (float(((s - sinekernel::kBound) + 1.0) * 0.5) != float(((s + sinekernel::kBound) + 1.0) * 0.5)) {
                    ++straddling;
                }
            }
            p += frames;
        }
    }
    EXPECT_EQ(mismatches, 0) << "of " << compared;
    EXPECT_LT(straddling, compared / 500) << "of " << compared;
    for (std::size_t i = values.size() - 8; i < values.size(); ++i) EXPECT_EQ(values[i], -7.0f) << "guard " << i;
}

TEST(SineKernel, PlainVariantMatchesThePlatformSineAtEveryPosition) {
    expectEveryPositionMatchesThePlatformSine(sinekernel::Variant::kPlain);
}

TEST(SineKernel, FusedFourWideVariantMatchesThePlatformSineAtEveryPosition) {
    if (sinekernel::fastestVariant() == sinekernel::Variant::kPlain) {
        GTEST_SKIP() << "this processor has no 256-bit fused multiply-add";
    }
    expectEveryPositionMatchesThePlatformSine(sinekernel::Variant::kFused4);
}

TEST(SineKernel, FusedEightWideVariantMatchesThePlatformSineAtEveryPosition) {
    if (sinekernel::fastestVariant() != sinekernel::Variant::kFused8) {
        GTEST_SKIP() << "this processor has no 512-bit vectors";
    }
    expectEveryPositionMatchesThePlatformSine(sinekernel::Variant::kFused8);
}

}  // namespace
