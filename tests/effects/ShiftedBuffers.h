// A check for the block tests of both gain effects: buffers that overlap a
// few frames apart. The per-sample definition takes one frame at a time
// (both inputs read, then both outputs written), so an output that starts a
// few frames after an input reads back what earlier frames wrote. Loops
// that take several frames at once must not change that. Hosts pass the
// same or separate buffers; a plug-in must still get this right.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "EdgeValues.h"
#include "EffectModel.h"
#include "Effects.h"
#include "../SameSamples.h"
#include "VstHost.h"

namespace velmora::testing {

// Where the four channels start in one shared array.
struct Layout {
    const char* name;
    std::int32_t in0, in1, out0, out1;
};

// Each layout places the channels of a block of up to `room` frames; the
// outputs start 1 to 9 frames after or before an input or the other
// output, and two layouts are the safe ones hosts use.
inline std::vector<Layout> shiftedLayouts(std::int32_t room) {
    const std::int32_t a = 16, b = a + room + 32, c = b + room + 32;
    std::vector<Layout> layouts = {{"separate", a, b, c, c + room + 32}, {"in place", a, b, a, b}};
    for (std::int32_t k = 1; k <= 9; ++k) {
        layouts.push_back({"outputs a few frames after the inputs", a, b, a + k, b + k});
        layouts.push_back({"first output a few frames after the first input", a, b, a + k, c});
        layouts.push_back({"second output a few frames after the second input", a, b, c, b + k});
        layouts.push_back({"outputs a few frames before the inputs", a, b, a - k, b - k});
        layouts.push_back({"first output a few frames after the second input", a, b, b + k, c});
        layouts.push_back({"second output a few frames after the first input", a, b, c, a + k});
        layouts.push_back({"second output a few frames after the first output", a, b, c, c + k});
        layouts.push_back({"first output a few frames after the second output", a, b, c + k, c});
    }
    return layouts;
}

// For every layout, both modes: a fresh instance and a fresh model, given
// the settings and then suspended, play a run of blocks of varied sizes on
// one shared array each (the same samples in both); after every block the
// two arrays must hold the same bits.
template <class Effect>
void checkShiftedBuffers(const std::vector<Setting>& settings) {
    const std::int32_t sizes[] = {32, 37, 8, 300, 64, 5, 1024, 33, 16, 129};
    const std::int32_t room = 1024;
    std::mt19937 random(7);
    for (const Layout& layout : shiftedLayouts(room)) {
        for (const bool accumulate : {false, true}) {
            auto plugin = host::PluginInstance::load(pluginPath<Effect>());
            EffectModel<Effect> model;
            for (const auto& [index, value] : settings) {
                plugin->setParameter(index, value);
                model.setParameter(index, value);
            }
            plugin->suspend();  // start a period with these settings
            model.suspend();
            std::vector<float> played(std::size_t(4 * room + 256)), wanted;
            for (int block = 0; block < 60; ++block) {
                const std::int32_t frames = sizes[block % std::size(sizes)];
                for (float& x : played) x = sample(random);
                wanted = played;
                float* p = played.data();
                float* w = wanted.data();
                if (accumulate)
                    plugin->process(p + layout.in0, p + layout.in1, p + layout.out0, p + layout.out1, frames);
                else
                    plugin->processReplacing(p + layout.in0, p + layout.in1, p + layout.out0, p + layout.out1, frames);
                model.processFrames(w + layout.in0, w + layout.in1, w + layout.out0, w + layout.out1, frames,
                                    accumulate);
                const int at = firstDifference(played, wanted);
                ASSERT_EQ(at, -1) << layout.name << " (" << layout.out0 - layout.in0 << ", " << layout.out1 - layout.in1
                                  << "), " << (accumulate ? "process" : "processReplacing") << ", block " << block
                                  << " of " << frames << " frames: element " << at << " is " << played[at]
                                  << " instead of " << wanted[at];
            }
        }
    }
}

}  // namespace velmora::testing
