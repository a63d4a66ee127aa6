// Values at the edges of float arithmetic, for the random generators of
// the block tests: both zeros, subnormals of both signs and the normals
// next to them. A block path that takes a shortcut where the per-sample
// rule multiplies (a gain of -0 taken for +0, a subnormal flushed to 0)
// shows only with these among its gains and samples.
#pragma once

#include <cstdint>
#include <iterator>
#include <random>

namespace velmora::testing {

// -0 twice (it is the zero that shortcuts lose), +0, then with both signs:
// the smallest subnormal, one in between, the largest subnormal, the
// smallest normal and the next one.
inline constexpr float kEdgeValues[] = {
    -0.0f,          0.0f,           -0.0f,           1e-45f,          -1e-45f,          1e-40f,
    -1e-40f,        1.1754942e-38f, -1.1754942e-38f, 1.17549435e-38f, -1.17549435e-38f, 1.1754945e-38f,
    -1.1754945e-38f};

// One draw in `oneIn` is an edge value, the others are uniform in from..to.
inline float valueOrEdge(std::mt19937& random, float from, float to, std::uint32_t oneIn) {
    if (random() % oneIn == 0) return kEdgeValues[random() % std::size(kEdgeValues)];
    return std::uniform_real_distribution<float>(from, to)(random);
}

// An audio sample: noise in -1..1, an edge value one time in eight.
inline float sample(std::mt19937& random) { return valueOrEdge(random, -1.0f, 1.0f, 8); }

}  // namespace velmora::testing
