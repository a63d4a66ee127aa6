#include "SampleQuantizer.h"

#include <algorithm>
#include <cmath>

namespace velmora::tool {

int bitsOf(SampleDepth depth) {
    switch (depth) {
        case SampleDepth::pcm16: return 16;
        case SampleDepth::pcm24: return 24;
        default: return 32;
    }
}

SampleQuantizer::SampleQuantizer(SampleDepth depth)
    : shift_(32 - bitsOf(depth)),
      scale_(std::ldexp(1.0, bitsOf(depth) - 1)),
      dither_(depth == SampleDepth::pcm16 || depth == SampleDepth::pcm24) {}

// xorshift64*: a fixed sequence, the same for every file.
double SampleQuantizer::triangular() {
    auto uniform = [this] {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<double>((state_ * 0x2545F4914F6CDD1Dull) >> 11) * 0x1p-53;
    };
    const double a = uniform();
    return a - uniform();
}

void SampleQuantizer::quantize(const float* in, int* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const float x = in[i];
        if (!(std::fabs(x) <= 1.0f)) ++clipped_;
        double v = std::isnan(x) ? 0.0 : static_cast<double>(x) * scale_;
        if (dither_ && v != std::floor(v)) v += triangular();
        const double q = std::clamp(std::floor(v + 0.5), -scale_, scale_ - 1.0);
        out[i] = static_cast<int>(static_cast<std::int64_t>(q) * (std::int64_t{1} << shift_));
    }
}

}  // namespace velmora::tool
