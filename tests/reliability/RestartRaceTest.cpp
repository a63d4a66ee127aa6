// A host thread restarting the sequence (suspend, resume) and changing the
// tempo while the audio thread processes short blocks: every processing
// call must return. A restart that lands in the middle of a block can leave
// the position between two whole samples; the block path must still move
// on. A stuck audio thread cannot be stopped from here, so the watchdog
// reports the failure and ends the test program.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "Session.h"

namespace velmora::reliability {
namespace {

class RestartRace : public testing::TestWithParam<std::string> {};

TEST_P(RestartRace, ProcessingReturnsWhileAHostThreadRestartsAndRetimes) {
    auto instance = PluginInstance::load(pluginPath(GetParam()));
    instance->setSampleRate(44100.0f);
    instance->resume();
    AEffect* effect = instance->effect();
    constexpr std::int32_t kTempo = 1;  // Tempo is parameter 1 in both plug-ins
    std::atomic<bool> audioDone{false};
    // As many restarts as the host thread makes in a second or two.
    constexpr int kRestarts = 1000000;
    std::atomic<int> restarts{0};

    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::thread audio([&] {
        std::mt19937 random(3);
        std::uniform_int_distribution<int> length(1, 64);
        std::vector<float> inL(64, 0.5f), inR(64, 0.5f), outL(64), outR(64);
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        while (restarts.load() < kRestarts) {
            effect->processReplacing(effect, inputs, outputs, length(random));
        }
        audioDone = true;
        finished.set_value();
    });

    std::mt19937 random(5);
    std::uniform_real_distribution<float> tempo(0.0f, 1.0f);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!audioDone && std::chrono::steady_clock::now() < deadline) {
        // Tempos and sample rates whose step or cycle lengths are no whole
        // number of samples.
        effect->setParameter(effect, kTempo, tempo(random));
        if (restarts % 16 == 0) effect->dispatcher(effect, 10, 0, 0, nullptr, 22050.0f + 170000.0f * tempo(random));
        effect->dispatcher(effect, 12, 0, restarts % 2, nullptr, 0.0f);  // suspend, resume
        ++restarts;
    }
    restarts = kRestarts;  // the audio thread may stop

    if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        std::fprintf(stderr, "%s: the audio thread is stuck in processReplacing\n", GetParam().c_str());
        std::fflush(stderr);
        std::_Exit(1);
    }
    audio.join();
}

INSTANTIATE_TEST_SUITE_P(Plugins, RestartRace, testing::ValuesIn(pluginNames()), nameOfParam);

}  // namespace
}  // namespace velmora::reliability
