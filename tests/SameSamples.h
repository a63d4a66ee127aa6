// Bit-for-bit comparison of samples, for the tests that hold a block path
// to the per-sample definition: equal bits, or both NaN (the payload of a
// NaN is not part of the result). -0 and +0 differ.
#pragma once

#include <cstring>
#include <vector>

namespace velmora::testing {

inline bool sameSample(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

// The first index where two runs of samples differ, or -1.
inline int firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!sameSample(a[i], b[i])) return int(i);
    }
    return -1;
}

}  // namespace velmora::testing
