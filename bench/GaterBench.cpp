// processReplacing of the loaded VelmoraGater beside the plain loop.
//   VelmoraGater/<n>:       the default program (16 steps, 120 BPM, edge 10 %)
//   VelmoraGater-ramps/<n>: 360 BPM and edge 100 %, every frame on a ramp
//                           (a step every 1838 frames)
//   VelmoraGater-mixed/<n>: 200 BPM, edge 30 %, 12 steps of differing gains
//   VelmoraGater-ramps-uncached/<n>: the ramps with the tempo nudged before
//                           every block, so that every step is computed
// and the same with -process (accumulating) after the name.
// This file also holds the benchmark executable's main().
#include "BenchCommon.h"

namespace {

[[maybe_unused]] const bool registered = [] {
    velmora::bench::registerPluginCases("VelmoraGater", "VelmoraGater.so");
    velmora::bench::registerPluginCases("VelmoraGater-ramps", "VelmoraGater.so",
                                        [](velmora::host::PluginInstance& gater) {
                                            gater.setParameter(1, 1.0f);  // Tempo 360 BPM
                                            gater.setParameter(2, 1.0f);  // Edge 100 %
                                        });
    velmora::bench::registerPluginCases("VelmoraGater-mixed", "VelmoraGater.so",
                                        [](velmora::host::PluginInstance& gater) {
                                            gater.setParameter(0, 11.0f / 15.0f);    // 12 steps
                                            gater.setParameter(1, 170.0f / 330.0f);  // 200 BPM
                                            gater.setParameter(2, 0.3f);             // Edge 30 %
                                            for (int step = 0; step < 16; ++step) {
                                                gater.setParameter(3 + step, float(step % 5) / 4.0f);
                                            }
                                        });
    velmora::bench::registerPluginCases(
        "VelmoraGater-ramps-uncached", "VelmoraGater.so",
        [](velmora::host::PluginInstance& gater) { gater.setParameter(2, 1.0f); },
        [](velmora::host::PluginInstance& gater, std::int64_t block) {
            gater.setParameter(1, 1.0f - float(block % 4096) * 1e-6f);
        });
    return true;
}();

}  // namespace

int main(int argc, char** argv) { return velmora::bench::runBenchmarksAndReport(argc, argv); }
