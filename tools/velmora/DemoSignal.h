// The demo's test signal, made in code: a sustained A minor seventh chord
// of sines, slightly different in each channel, with a short burst of
// white noise in the middle, so both smooth and noisy material go through
// the effects. Deterministic: the same samples on every run.
#pragma once

#include <vector>

#include "BlockRunner.h"

namespace velmora::tool {

struct DemoSignal {
    int sampleRate = 44100;
    std::vector<float> left, right;
};

DemoSignal makeDemoSignal(double seconds, int sampleRate);

// Plays a DemoSignal (or any pair of channel buffers) into a BlockRunner.
class MemorySource : public AudioSource {
public:
    explicit MemorySource(const DemoSignal& signal) : signal_(signal) {}
    int read(float* left, float* right, int frames) override;

private:
    const DemoSignal& signal_;
    std::size_t position_ = 0;
};

}  // namespace velmora::tool
