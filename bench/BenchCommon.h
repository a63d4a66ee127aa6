// Shared pieces of the plug-in benchmarks: stereo buffers, the plain
// baseline loop, registration of processReplacing cases for a loaded
// plug-in, and a main that runs everything and prints a ratio table.
//
// Every case reports the counter `per_frame`: the time per stereo frame
// (shown as e.g. "1.35ns"). Cases are named "<case>/<block size>";
// "plain/<block size>" is the baseline: both channels multiplied by a
// per-frame gain from a table ("plain-scalar", the same loop without
// vectorisation; "plain-process" and "plain-process-double", the loop
// accumulating into the outputs).
// After the run, runBenchmarksAndReport() prints each case beside the plain
// loop of the same block size, measured in the same process, and process
// beside processReplacing.
//
// The executable has one main(); it lives in GaterBench.cpp and only calls
// runBenchmarksAndReport(). Other bench files register their cases from a
// static initialiser with registerPluginCases().
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <new>
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

// Buffers start on a 64-byte boundary, as hosts commonly allocate them, so
// that every case (and the plain loop) sees the same alignment.
template <typename T>
struct AlignedAllocator {
    using value_type = T;
    AlignedAllocator() = default;
    template <typename U>
    AlignedAllocator(const AlignedAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(64))); }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete(p, std::align_val_t(64)); }
    template <typename U>
    bool operator==(const AlignedAllocator<U>&) const noexcept {
        return true;
    }
};
using SampleVector = std::vector<float, AlignedAllocator<float>>;

// Two input and two output channels of one block; the inputs hold noise
// in -1..1 so that no sample is denormal or zero.
struct StereoBuffers {
    explicit StereoBuffers(std::int32_t frames) : inL(frames), inR(frames), outL(frames), outR(frames) {
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
    SampleVector inL, inR, outL, outR;
    float* inputs[2];
    float* outputs[2];
};

// Seconds per stereo frame, averaged over all iterations.
inline benchmark::Counter timePerFrame(std::int32_t frames) {
    return benchmark::Counter(double(frames),
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The baseline: what any gain effect must do at least. The compiler
// vectorises it; plainGainLoopScalar is the same loop kept to one frame at a
// time, as a per-frame oscillator must run.
inline void plainGainLoop(const float* inL, const float* inR, float* outL, float* outR, const float* gains,
                          std::int32_t frames) {
    for (std::int32_t i = 0; i < frames; ++i) {
        outL[i] = inL[i] * gains[i];
        outR[i] = inR[i] * gains[i];
    }
}

#if defined(__GNUC__) && !defined(__clang__)
__attribute__((noinline, optimize("no-tree-vectorize")))
#endif
inline void plainGainLoopScalar(const float* inL, const float* inR, float* outL, float* outR, const float* gains,
                                std::int32_t frames) {
#if defined(__clang__)
#pragma clang loop vectorize(disable) interleave(disable)
#endif
    for (std::int32_t i = 0; i < frames; ++i) {
        outL[i] = inL[i] * gains[i];
        outR[i] = inR[i] * gains[i];
    }
}

// The same baseline accumulating, as process does: out += in × gain, in
// float (one rounding of the float product and one of the sum), and in
// double rounded once to float, the rounding the plug-ins' process keeps.
// They show what accumulating costs before any gain is computed.
inline void plainAccumulateLoop(const float* inL, const float* inR, float* outL, float* outR, const float* gains,
                                std::int32_t frames) {
    for (std::int32_t i = 0; i < frames; ++i) {
        outL[i] += inL[i] * gains[i];
        outR[i] += inR[i] * gains[i];
    }
}
inline void plainAccumulateLoopDouble(const float* inL, const float* inR, float* outL, float* outR, const float* gains,
                                      std::int32_t frames) {
    for (std::int32_t i = 0; i < frames; ++i) {
        const double g = gains[i];
        outL[i] = float(double(inL[i]) * g + double(outL[i]));
        outR[i] = float(double(inR[i]) * g + double(outR[i]));
    }
}

// With --benchmark_repetitions, each case also reports its fastest
// repetition ("min"), the figure least disturbed by other work on the
// machine; the tables use it.
inline benchmark::internal::Benchmark* withMinimum(benchmark::internal::Benchmark* case_) {
    return case_->ComputeStatistics("min", [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
    });
}

using GainLoop = void (*)(const float*, const float*, float*, float*, const float*, std::int32_t);

inline void registerGainLoop(const std::string& caseName, GainLoop loop) {
    for (std::int32_t frames : blockSizes()) {
        withMinimum(benchmark::RegisterBenchmark(
            (caseName + "/" + std::to_string(frames)).c_str(), [frames, loop](benchmark::State& state) {
                StereoBuffers buffers(frames);
                SampleVector gains(frames);
                for (std::int32_t i = 0; i < frames; ++i) gains[i] = float(i % 100) / 100.0f;
                for (auto _ : state) {
                    loop(buffers.inL.data(), buffers.inR.data(), buffers.outL.data(), buffers.outR.data(), gains.data(),
                         frames);
                    benchmark::ClobberMemory();
                }
                state.counters["per_frame"] = timePerFrame(frames);
            }));
    }
}

using PluginSetup = std::function<void(host::PluginInstance&)>;

// Registers "<caseName>/<block size>" for every block size: the plug-in file
// (a name inside the plug-in directory) is loaded through the host library,
// `setup` sets its parameters, and each iteration calls the record's
// processReplacing on one block, as a host does. "<caseName>-process/<block
// size>" does the same with the accumulating process. `beforeBlock`, if
// given, runs before every block with the block's number.
using BlockHook = std::function<void(host::PluginInstance&, std::int64_t)>;

// Other builds of the plug-ins to measure beside this one, in the same run:
// VELMORA_BENCH_COMPARE="name=DIR;name2=DIR2" registers every plug-in case
// again as "<case>@name/<block size>" with the plug-in file from DIR. The
// tables then show each such case against this build's.
inline std::vector<std::pair<std::string, std::string>> comparedBuilds() {
    std::vector<std::pair<std::string, std::string>> builds;
    const char* setting = std::getenv("VELMORA_BENCH_COMPARE");
    std::string rest = setting != nullptr ? setting : "";
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        const std::string item = rest.substr(0, end);
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
        const std::size_t equals = item.find('=');
        if (equals != std::string::npos) builds.emplace_back(item.substr(0, equals), item.substr(equals + 1));
    }
    return builds;
}

// One processReplacing (or process) case of the plug-in file at `path`.
inline void registerPluginCase(const std::string& name, const std::string& path, std::int32_t frames, bool accumulate,
                               PluginSetup setup, BlockHook beforeBlock) {
    withMinimum(benchmark::RegisterBenchmark(
        name.c_str(), [path, setup, beforeBlock, frames, accumulate](benchmark::State& state) {
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
            std::int64_t block = 0;
            for (auto _ : state) {
                if (beforeBlock) beforeBlock(*instance, block++);
                if (accumulate)
                    effect->process(effect, buffers.inputs, buffers.outputs, frames);
                else
                    effect->processReplacing(effect, buffers.inputs, buffers.outputs, frames);
                benchmark::ClobberMemory();
            }
            state.counters["per_frame"] = timePerFrame(frames);
        }));
}

inline void registerPluginCases(const std::string& caseName, const std::string& fileName, PluginSetup setup = {},
                                BlockHook beforeBlock = {}) {
    std::vector<std::pair<std::string, std::string>> builds = {{"", VELMORA_PLUGIN_DIR}};
    for (const auto& build : comparedBuilds()) builds.push_back(build);
    // The builds of one case side by side in time, so that a slow phase of
    // the machine falls on all of them alike.
    for (const bool accumulate : {false, true}) {
        for (std::int32_t frames : blockSizes()) {
            for (const auto& [build, directory] : builds) {
                const std::string suffix = build.empty() ? "" : "@" + build;
                const std::string name =
                    caseName + (accumulate ? "-process" : "") + suffix + "/" + std::to_string(frames);
                registerPluginCase(name, directory + "/" + fileName, frames, accumulate, setup, beforeBlock);
            }
        }
    }
}

// Console output as usual, and the per-frame time of each case kept for
// the tables: with repetitions the fastest one (the median where a case
// has no minimum), else the one run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(bool color) : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            if (aggregate && run.aggregate_name != "min" && run.aggregate_name != "median") continue;
            auto counter = run.counters.find("per_frame");
            if (counter == run.counters.end()) continue;
            const std::string name = run.run_name.str();
            if (!iterations.count(name) && !aggregates.count(name)) order.push_back(name);
            // A minimum wins over a median, either over a single run.
            if (!aggregate)
                iterations[name] = counter->second.value;
            else if (run.aggregate_name == "min" || !aggregates.count(name))
                aggregates[name] = counter->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Two Markdown tables: each case's ns/frame and its ratio to the plain
    // loop of the same block size; and process (accumulating) against
    // processReplacing.
    void printTables() const {
        std::vector<std::string> cases;
        for (const std::string& name : order) {
            const std::string base = name.substr(0, name.rfind('/'));
            if (base.compare(0, 5, "plain") == 0 || isProcess(base) || isCompared(base)) continue;
            if (std::find(cases.begin(), cases.end(), base) == cases.end()) cases.push_back(base);
        }
        std::printf("\nprocessReplacing, ns per frame (ratio to the plain loop)\n\n| case |");
        for (std::int32_t frames : blockSizes()) std::printf(" %d |", frames);
        std::printf("\n|---|");
        for (std::size_t i = 0; i < blockSizes().size(); ++i) std::printf("---:|");
        std::printf("\n| plain loop |");
        for (std::int32_t frames : blockSizes()) printCell(value("plain", frames), 0.0);
        for (const std::string& base : cases) {
            std::printf("\n| %s |", base.c_str());
            for (std::int32_t frames : blockSizes()) printCell(value(base, frames), value("plain", frames));
        }
        std::printf("\n\nprocess, ns per frame (ratio to processReplacing)\n\n| case |");
        for (std::int32_t frames : blockSizes()) std::printf(" %d |", frames);
        std::printf("\n|---|");
        for (std::size_t i = 0; i < blockSizes().size(); ++i) std::printf("---:|");
        std::printf("\n| plain loop accumulating, float sum (ratio to the plain loop) |");
        for (std::int32_t frames : blockSizes()) printCell(value("plain-process", frames), value("plain", frames));
        std::printf("\n| plain loop accumulating, double sum (ratio to the plain loop) |");
        for (std::int32_t frames : blockSizes()) {
            printCell(value("plain-process-double", frames), value("plain", frames));
        }
        for (const std::string& base : cases) {
            if (value(base + "-process", 1024) <= 0.0 && value(base + "-process", 32) <= 0.0) continue;
            std::printf("\n| %s |", base.c_str());
            for (std::int32_t frames : blockSizes()) printCell(value(base + "-process", frames), value(base, frames));
        }
        std::printf("\n");
        printComparisons(cases);
    }

private:
    // A third table with other builds (see comparedBuilds): each case of
    // each build, ns per frame, and its ratio to this build's.
    void printComparisons(const std::vector<std::string>& cases) const {
        for (const auto& [build, directory] : comparedBuilds()) {
            std::printf("\n%s (%s), ns per frame (ratio to this build)\n\n| case |", build.c_str(), directory.c_str());
            for (std::int32_t frames : blockSizes()) std::printf(" %d |", frames);
            std::printf("\n|---|");
            for (std::size_t i = 0; i < blockSizes().size(); ++i) std::printf("---:|");
            for (const std::string& base : cases) {
                for (const std::string mode : {"", "-process"}) {
                    bool measured = false;
                    for (std::int32_t frames : blockSizes()) measured |= value(base + mode + "@" + build, frames) > 0.0;
                    if (!measured) continue;
                    std::printf("\n| %s%s |", base.c_str(), mode.c_str());
                    for (std::int32_t frames : blockSizes()) {
                        printCell(value(base + mode + "@" + build, frames), value(base + mode, frames));
                    }
                }
            }
            std::printf("\n");
        }
    }

    static bool isCompared(const std::string& base) { return base.find('@') != std::string::npos; }

    static bool isProcess(const std::string& base) {
        const std::string suffix = "-process";
        return base.size() > suffix.size() && base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0;
    }

    static void printCell(double seconds, double reference) {
        if (!(seconds > 0.0))
            std::printf(" |");
        else if (reference > 0.0)
            std::printf(" %.3f (%.2f×) |", seconds * 1e9, seconds / reference);
        else
            std::printf(" %.3f |", seconds * 1e9);
    }

    double value(const std::string& base, std::int32_t frames) const {
        const std::string name = base + "/" + std::to_string(frames);
        if (auto m = aggregates.find(name); m != aggregates.end()) return m->second;
        if (auto i = iterations.find(name); i != iterations.end()) return i->second;
        return 0.0;
    }

    std::vector<std::string> order;            // case names in run order
    std::map<std::string, double> iterations;  // seconds per frame
    std::map<std::string, double> aggregates;  // min, else median
};

// The executable's main: registers the plain loops, runs every case (with
// the usual benchmark flags; with --benchmark_repetitions the tables take
// each case's fastest repetition) and prints the tables.
// Keeps the processor busy for about a second before the first case: the
// first cases of a run (the plain loop among them) otherwise measured up to
// 1.8 times slower than later in the same run, while the core came up to
// speed.
inline void warmUpProcessor() {
    StereoBuffers buffers(1024);
    SampleVector gains(1024, 0.5f);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < until) {
        for (int i = 0; i < 1000; ++i) {
            plainGainLoop(buffers.inL.data(), buffers.inR.data(), buffers.outL.data(), buffers.outR.data(),
                          gains.data(), 1024);
            benchmark::ClobberMemory();
        }
    }
}

inline int runBenchmarksAndReport(int argc, char** argv) {
    registerGainLoop("plain", plainGainLoop);
    registerGainLoop("plain-scalar", plainGainLoopScalar);
    registerGainLoop("plain-process", plainAccumulateLoop);
    registerGainLoop("plain-process-double", plainAccumulateLoopDouble);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter(isatty(fileno(stdout)) != 0);
    warmUpProcessor();
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printTables();
    benchmark::Shutdown();
    return 0;
}

}  // namespace velmora::bench
