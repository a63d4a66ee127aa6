// Subnormal input against normal input, at 1024 frames a block:
//   <plug-in>-normal/1024:    noise in -1..1
//   <plug-in>-subnormal/1024: the same noise scaled by 2^-130, so that every
//                             sample (but zeros) is a subnormal float
//   plain-subnormal/1024:     the plain loop on that subnormal input, the
//                             processor's own cost of such numbers
// for VelmoraGater (default program) and VelmoraTremolo (sine). Run only
// these with --benchmark_filter='normal'.
#include <cmath>

#include "BenchCommon.h"

namespace {

using velmora::bench::StereoBuffers;
using velmora::bench::timePerFrame;

constexpr std::int32_t kFrames = 1024;

void makeSubnormal(StereoBuffers& buffers) {
    for (std::int32_t i = 0; i < kFrames; ++i) {
        buffers.inL[i] = std::ldexp(buffers.inL[i], -130);
        buffers.inR[i] = std::ldexp(buffers.inR[i], -130);
    }
}

void registerInputCase(const std::string& name, const std::string& fileName, float waveform, bool subnormal) {
    const std::string path = std::string(VELMORA_PLUGIN_DIR) + "/" + fileName;
    benchmark::RegisterBenchmark((name + "/" + std::to_string(kFrames)).c_str(),
                                 [path, waveform, subnormal](benchmark::State& state) {
                                     std::unique_ptr<velmora::host::PluginInstance> instance;
                                     try {
                                         instance = velmora::host::PluginInstance::load(path);
                                     } catch (const std::exception& error) {
                                         state.SkipWithError(error.what());
                                         for (auto _ : state) {
                                         }
                                         return;
                                     }
                                     instance->setSampleRate(velmora::bench::benchSampleRate);
                                     instance->setBlockSize(kFrames);
                                     if (waveform >= 0.0f) instance->setParameter(0, waveform);
                                     instance->suspend();
                                     instance->resume();
                                     StereoBuffers buffers(kFrames);
                                     if (subnormal) makeSubnormal(buffers);
                                     AEffect* effect = instance->effect();
                                     for (auto _ : state) {
                                         effect->processReplacing(effect, buffers.inputs, buffers.outputs, kFrames);
                                         benchmark::ClobberMemory();
                                     }
                                     state.counters["per_frame"] = timePerFrame(kFrames);
                                 });
}

[[maybe_unused]] const bool registered = [] {
    for (bool subnormal : {false, true}) {
        const std::string kind = subnormal ? "-subnormal" : "-normal";
        registerInputCase("VelmoraGater" + kind, "VelmoraGater.so", -1.0f, subnormal);
        registerInputCase("VelmoraTremolo" + kind, "VelmoraTremolo.so", 0.5f, subnormal);
    }
    benchmark::RegisterBenchmark(("plain-subnormal/" + std::to_string(kFrames)).c_str(), [](benchmark::State& state) {
        StereoBuffers buffers(kFrames);
        makeSubnormal(buffers);
        std::vector<float> gains(kFrames);
        for (std::int32_t i = 0; i < kFrames; ++i) gains[i] = float(i % 100) / 100.0f;
        for (auto _ : state) {
            velmora::bench::plainGainLoopScalar(buffers.inL.data(), buffers.inR.data(), buffers.outL.data(),
                                                buffers.outR.data(), gains.data(), kFrames);
            benchmark::ClobberMemory();
        }
        state.counters["per_frame"] = timePerFrame(kFrames);
    });
    return true;
}();

}  // namespace
