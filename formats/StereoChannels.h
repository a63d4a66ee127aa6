// StereoChannels: the channels of a host's block, two inputs and two
// outputs (any of them may be the same buffer).
#pragma once

struct StereoChannels {
    const float* in0 = nullptr;
    const float* in1 = nullptr;
    float* out0 = nullptr;
    float* out1 = nullptr;
};
