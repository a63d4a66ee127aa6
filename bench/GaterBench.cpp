// processReplacing of the loaded VelmoraGater beside the plain loop.
//   VelmoraGater/<n>:       the default program (16 steps, 120 BPM, edge 10 %)
//   VelmoraGater-ramps/<n>: 360 BPM and edge 100 %, every frame on a ramp
//                           (one division per frame, a step every 1838 frames)
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
    return true;
}();

}  // namespace

int main(int argc, char** argv) {
    return velmora::bench::runBenchmarksAndReport(argc, argv);
}
