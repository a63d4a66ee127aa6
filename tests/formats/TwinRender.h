// Renders for the twin tests of the CLAP and VST3 plug-ins, driven
// through their own interfaces: the same two seconds of stereo noise
// through a format plug-in in unkind blocks, and through the VST 2 plug-in
// as `velmora render` drives it, with the same settings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora::formats {

inline constexpr double kRate = 44100.0;
inline constexpr std::uint32_t kAnnounced = 4096;

struct Stereo {
    std::vector<float> left, right;
};

// Two seconds of noise in -1..1, the same every time.
const Stereo& input();

// Both channels bit for bit the same.
bool sameBits(const Stereo& a, const Stereo& b);

// One block of a format plug-in: in0, in1, out0, out1, frames.
using ProcessBlock = std::function<void(const float*, const float*, float*, float*, std::uint32_t)>;

// The input through a format plug-in, in blocks as an unkind host sends
// them, over and over: empty ones, single frames, odd sizes and blocks
// larger than the announced maximum (kAnnounced).
Stereo renderInUnkindBlocks(const ProcessBlock& process);

// A VST 2 host value (0..1) for parameter `index`, set before frame
// `frame` of the input.
struct Vst2Change {
    std::int32_t index;
    float hostValue;
    std::size_t frame = 0;
};

// The input through the VST 2 plug-in `name` (in the build's plug-in
// folder) in blocks of 512, cut where a change is due.
Stereo renderVst2(const std::string& name, const std::vector<Vst2Change>& changes);

}  // namespace velmora::formats
