// Float samples turned into the integers of a 16-, 24- or 32-bit file.
// 16 and 24 bits get TPDF dither (the difference of two uniform random
// values, one step of the output's resolution either way) from a fixed
// seed, so that identical renders give identical files; a sample that the
// depth holds exactly (silence, an unprocessed 16-bit sample) is kept as it
// is. Samples beyond full scale are clipped and counted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::tool {

enum class SampleDepth { pcm16, pcm24, pcm32, float32 };

// 16, 24, 32, or 32 for float.
int bitsOf(SampleDepth depth);

class SampleQuantizer {
public:
    explicit SampleQuantizer(SampleDepth depth);

    // Writes each sample as an integer aligned to the top of 32 bits, the
    // form libsndfile's int functions take for every depth.
    void quantize(const float* in, int* out, std::size_t count);

    // Samples seen so far that were beyond full scale (or not numbers).
    std::int64_t clipped() const noexcept { return clipped_; }

private:
    double triangular();

    int shift_;
    double scale_;
    bool dither_;
    std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
    std::int64_t clipped_ = 0;
};

}  // namespace velmora::tool
