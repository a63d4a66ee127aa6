// The per-sample definition, for comparison with the block paths: both
// channels multiplied by one `tick` of the oscillator per frame, as the
// effects' processReplacing ran before they had block paths. The settings
// are those of the plug-in cases of the same name without "-tick".
//   VelmoraGater-tick, VelmoraGater-ramps-tick, VelmoraGater-mixed-tick
//   VelmoraTremolo-<waveform>-tick for the five waveforms
#include "BenchCommon.h"
#include "LFO.h"
#include "Osc.h"

namespace {

using velmora::bench::StereoBuffers;

template <class Oscillator>
void tickLoop(Oscillator& oscillator, StereoBuffers& buffers, std::int32_t frames) {
    for (std::int32_t i = 0; i < frames; ++i) {
        const float gain = oscillator.tick();
        buffers.outL[i] = buffers.inL[i] * gain;
        buffers.outR[i] = buffers.inR[i] * gain;
    }
}

template <class Oscillator, class Setup>
void registerTickCases(const std::string& caseName, Setup setup) {
    for (std::int32_t frames : velmora::bench::blockSizes()) {
        velmora::bench::withMinimum(benchmark::RegisterBenchmark(
            (caseName + "/" + std::to_string(frames)).c_str(), [setup, frames](benchmark::State& state) {
                auto oscillator = std::make_unique<Oscillator>();
                setup(*oscillator);
                oscillator->reset();
                StereoBuffers buffers(frames);
                for (auto _ : state) {
                    tickLoop(*oscillator, buffers, frames);
                    benchmark::ClobberMemory();
                }
                state.counters["per_frame"] = velmora::bench::timePerFrame(frames);
            }));
    }
}

// The gater's rate in steps per second for a Tempo in BPM (sixteenth notes).
float stepsPerSecond(double bpm) { return float(bpm / 15.0); }

[[maybe_unused]] const bool registered = [] {
    registerTickCases<TOsc>("VelmoraGater-tick", [](TOsc& osc) {
        osc.setSampleRate(velmora::bench::benchSampleRate);
        osc.setRate(stepsPerSecond(120.0));
        osc.setEdge(0.1f);
        for (int step = 1; step <= 16; ++step) osc.setStepGain(step, 1.0f);
    });
    registerTickCases<TOsc>("VelmoraGater-ramps-tick", [](TOsc& osc) {
        osc.setSampleRate(velmora::bench::benchSampleRate);
        osc.setRate(stepsPerSecond(360.0));
        osc.setEdge(1.0f);
        for (int step = 1; step <= 16; ++step) osc.setStepGain(step, 1.0f);
    });
    registerTickCases<TOsc>("VelmoraGater-mixed-tick", [](TOsc& osc) {
        osc.setSampleRate(velmora::bench::benchSampleRate);
        osc.setStepCount(12);
        osc.setRate(stepsPerSecond(200.0));
        osc.setEdge(0.3f);
        for (int step = 1; step <= 16; ++step) osc.setStepGain(step, float((step - 1) % 5) / 4.0f);
    });
    const std::pair<const char*, std::uint8_t> waveforms[] = {{"square", TLfo::kSquare},
                                                              {"triangle", TLfo::kTriangle},
                                                              {"sine", TLfo::kSine},
                                                              {"sawdown", TLfo::kSawDown},
                                                              {"sawup", TLfo::kSawUp}};
    for (const auto& [name, code] : waveforms) {
        const std::uint8_t waveform = code;
        registerTickCases<TLfo>(std::string("VelmoraTremolo-") + name + "-tick", [waveform](TLfo& lfo) {
            lfo.setSampleRate(velmora::bench::benchSampleRate);
            lfo.setRate(2.0f);
            lfo.setPulseWidth(50.0f);
            lfo.setLevel(100.0f);
            lfo.setWaveform(waveform);
        });
    }
    return true;
}();

}  // namespace
