// The channel pointers a test host hands a plug-in for one block: two
// inputs, two outputs. The hosts keep them between calls, as a host's
// audio loop does, and point them at each block's buffers.
#pragma once

namespace velmora::host {

struct BlockChannels {
    float* inputs[2] = {};
    float* outputs[2] = {};

    void point(const float* in0, const float* in1, float* out0, float* out1) noexcept {
        inputs[0] = const_cast<float*>(in0);
        inputs[1] = const_cast<float*>(in1);
        outputs[0] = out0;
        outputs[1] = out1;
    }
};

}  // namespace velmora::host
