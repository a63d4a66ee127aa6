// Shared pieces of the plug-in benchmarks: stereo buffers, the plain
// baseline loop, registration of processReplacing cases for a loaded
// plug-in, and a main that runs everything and prints a ratio table.
//
// Every case reports the counter `per_frame`: the time per stereo frame
// (shown as e.g. "1.35ns"). Cases are named "<case>/<block size>";
// "plain/<block size>" is the baseline: both channels multiplied by a
// per-frame gain from a table ("plain-scalar", the same loop without
// vectorisation).
// After the run, runBenchmarksAndReport() prints each case beside the plain
// loop of the same block size, measured in the same process.
//
// The executable has one main(); it lives in GaterBench.cpp and only calls
// runBenchmarksAndReport(). Other bench files register their cases from a
// static initialiser with registerPluginCases().
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "VstHost.h"

namespace velmora::bench {

inline const std::vector<std::int32_t>& blockSizes() {
    static const std::vector<std::int32_t> sizes = {32, 256, 1024, 4096};
    return sizes;
}

inline constexpr float benchSampleRate = 44100.0f;

// Two input and two output channels of one block; the inputs hold noise
// in -1..1 so that no sample is denormal or zero.
struct StereoBuffers {
    explicit StereoBuffers(std::int32_t frames)
        : inL(frames), inR(frames), outL(frames), outR(frames) {
        std::mt19937 random(12345);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        for (std::int32_t i = 0; i < frames; ++i) {
            inL[i] = noise(random);
            inR[i] = noise(random);
        }
        inputs[0] = inL.data();
        inputs[1] = inR.data();
        outputs[0] = outL.data();
        outputs[1] = outR.data();
    }
    std::vector<float> inL, inR, outL, outR;
    float* inputs[2];
    float* outputs[2];
};

// Seconds per stereo frame, averaged over all iterations.
inline benchmark::Counter timePerFrame(std::int32_t frames) {
    return benchmark::Counter(double(frames),
                              benchmark::Counter::kIsIterationInvariantRate |
                                  benchmark::Counter::kInvert);
}

// The baseline: what any gain effect must do at least. The compiler
// vectorises it; plainGainLoopScalar is the same loop kept to one frame at a
// time, as a per-frame oscillator must run.
inline void plainGainLoop(const float* inL, const float* inR, float* outL, float* outR,
                          const float* gains, std::int32_t frames) {
    for (std::int32_t i = 0; i < frames; ++i) {
        outL[i] = inL[i] * gains[i];
        outR[i] = inR[i] * gains[i];
    }
}

#if defined(__GNUC__) && !defined(__clang__)
__attribute__((noinline, optimize("no-tree-vectorize")))
#endif
inline void plainGainLoopScalar(const float* inL, const float* inR, float* outL, float* outR,
                                const float* gains, std::int32_t frames) {
#if defined(__clang__)
#pragma clang loop vectorize(disable) interleave(disable)
#endif
    for (std::int32_t i = 0; i < frames; ++i) {
        outL[i] = inL[i] * gains[i];
        outR[i] = inR[i] * gains[i];
    }
}

using GainLoop = void (*)(const float*, const float*, float*, float*, const float*, std::int32_t);

inline void registerGainLoop(const std::string& caseName, GainLoop loop) {
    for (std::int32_t frames : blockSizes()) {
        benchmark::RegisterBenchmark(
            (caseName + "/" + std::to_string(frames)).c_str(), [frames, loop](benchmark::State& state) {
                StereoBuffers buffers(frames);
                std::vector<float> gains(frames);
                for (std::int32_t i = 0; i < frames; ++i) gains[i] = float(i % 100) / 100.0f;
                for (auto _ : state) {
                    loop(buffers.inL.data(), buffers.inR.data(), buffers.outL.data(),
                         buffers.outR.data(), gains.data(), frames);
                    benchmark::ClobberMemory();
                }
                state.counters["per_frame"] = timePerFrame(frames);
            });
    }
}

using PluginSetup = std::function<void(host::PluginInstance&)>;

// Registers "<caseName>/<block size>" for every block size: the plug-in file
// (a name inside the plug-in directory) is loaded through the host library,
// `setup` sets its parameters, and each iteration calls the record's
// processReplacing on one block, as a host does.
inline void registerPluginCases(const std::string& caseName, const std::string& fileName,
                                PluginSetup setup = {}) {
    const std::string path = std::string(VELMORA_PLUGIN_DIR) + "/" + fileName;
    for (std::int32_t frames : blockSizes()) {
        benchmark::RegisterBenchmark(
            (caseName + "/" + std::to_string(frames)).c_str(),
            [path, setup, frames](benchmark::State& state) {
                std::unique_ptr<host::PluginInstance> instance;
                try {
                    instance = host::PluginInstance::load(path);
                } catch (const std::exception& error) {
                    state.SkipWithError(error.what());
                    for (auto _ : state) {
                    }
                    return;
                }
                instance->setSampleRate(benchSampleRate);
                instance->setBlockSize(frames);
                if (setup) setup(*instance);
                instance->resume();
                StereoBuffers buffers(frames);
                AEffect* effect = instance->effect();
                for (auto _ : state) {
                    effect->processReplacing(effect, buffers.inputs, buffers.outputs, frames);
                    benchmark::ClobberMemory();
                }
                state.counters["per_frame"] = timePerFrame(frames);
            });
    }
}

// Console output as usual, and the per-frame time of each run kept for the
// ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(bool color)
        : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            auto counter = run.counters.find("per_frame");
            if (counter != run.counters.end()) {
                results.emplace_back(run.benchmark_name(), counter->second.value);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Each plug-in case beside the two plain loops of its block size.
    void printRatios() const {
        std::printf("\n%-26s %9s %9s %9s %8s %8s\n", "case", "ns/frame", "plain", "scalar",
                    "ratio", "/scalar");
        for (const auto& [name, seconds] : results) {
            std::size_t slash = name.rfind('/');
            if (slash == std::string::npos || name.compare(0, 5, "plain") == 0) continue;
            const double plain = find("plain" + name.substr(slash));
            const double scalar = find("plain-scalar" + name.substr(slash));
            if (!(plain > 0.0 && scalar > 0.0)) continue;
            std::printf("%-26s %9.3f %9.3f %9.3f %7.2fx %7.2fx\n", name.c_str(), seconds * 1e9,
                        plain * 1e9, scalar * 1e9, seconds / plain, seconds / scalar);
        }
    }

private:
    double find(const std::string& name) const {
        for (const auto& [candidate, seconds] : results) {
            if (candidate == name) return seconds;
        }
        return 0.0;
    }

    std::vector<std::pair<std::string, double>> results;  // seconds per frame, in run order
};

// The executable's main: registers the plain loops, runs every case (with
// the usual benchmark flags) and prints the ratio table.
inline int runBenchmarksAndReport(int argc, char** argv) {
    registerGainLoop("plain", plainGainLoop);
    registerGainLoop("plain-scalar", plainGainLoopScalar);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter(isatty(fileno(stdout)) != 0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}

}  // namespace velmora::bench
