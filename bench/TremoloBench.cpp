// processReplacing of the loaded VelmoraTremolo beside the plain loop, once
// per waveform, at the default 120 BPM (a cycle every 22050 frames):
//   VelmoraTremolo-square/<n>, -triangle, -sine, -sawdown, -sawup
//   VelmoraTremolo-sine-uncached/<n>, -triangle-uncached: the waveform computed
//   afresh in every cycle (the tempo nudged before every block)
// and the same with -process (accumulating) after the name.
#include "BenchCommon.h"

namespace {

[[maybe_unused]] const bool registered = [] {
    const std::pair<const char*, float> waveforms[] = {
        {"square", 0.1f}, {"triangle", 0.3f}, {"sine", 0.5f}, {"sawdown", 0.7f}, {"sawup", 0.9f}};
    for (const auto& [name, value] : waveforms) {
        velmora::bench::registerPluginCases(std::string("VelmoraTremolo-") + name, "VelmoraTremolo.so",
                                            [value = value](velmora::host::PluginInstance& tremolo) {
                                                tremolo.setParameter(0, value);
                                                tremolo.suspend();  // start a cycle with this waveform
                                            });
    }
    // The sine with a new phase step in every cycle (the tempo changes by
    // a hair before every block, 120 BPM give or take 1), so that no value
    // can be taken from an earlier cycle: the cost of computing the sine.
    // The same for the triangle: quotients of the position, computed.
    for (const auto& [name, value] : {std::pair{"sine", 0.5f}, std::pair{"triangle", 0.3f}}) {
        velmora::bench::registerPluginCases(
            std::string("VelmoraTremolo-") + name + "-uncached", "VelmoraTremolo.so",
            [value = value](velmora::host::PluginInstance& tremolo) {
                tremolo.setParameter(0, value);
                tremolo.suspend();
            },
            [](velmora::host::PluginInstance& tremolo, std::int64_t block) {
                tremolo.setParameter(1, 0.27f + float(block % 4096) * 1e-6f);
            });
    }
    return true;
}();

}  // namespace
