// processReplacing of the loaded VelmoraTremolo beside the plain loop, once
// per waveform, at the default 120 BPM (a cycle every 22050 frames):
//   VelmoraTremolo-square/<n>, -triangle, -sine, -sawdown, -sawup
// The sine case calls one sine per frame; the others only compare and divide.
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
    return true;
}();

}  // namespace
