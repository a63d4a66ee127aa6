// A host thread changing parameters, programs and texts while the audio
// thread processes, on each plug-in. Run under ThreadSanitizer it must
// report nothing; in every build the output must stay what gains of 0..1
// can give.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "Effects.h"
#include "VstHost.h"

namespace velmora::testing {
namespace {

template <class Effect>
class EffectThreads : public ::testing::Test {};
TYPED_TEST_SUITE(EffectThreads, BothEffects);

TYPED_TEST(EffectThreads, HostThreadEditsWhileAudioThreadProcesses) {
    auto plugin = host::PluginInstance::load(pluginPath<TypeParam>());
    plugin->setSampleRate(44100.0f);
    plugin->resume();
    AEffect* effect = plugin->effect();
    std::atomic<bool> audioDone{false};
    std::atomic<int> hostCalls{0};
    bool outputInRange = true;

    std::thread audio([&] {
        constexpr int frames = 256;
        std::vector<float> inL(frames, 1.0f), inR(frames, -0.5f), outL(frames), outR(frames);
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        for (int block = 0; block < 20000 || hostCalls < 200000; ++block) {
            if (block % 2) {
                effect->processReplacing(effect, inputs, outputs, frames);
            } else {
                std::fill(outL.begin(), outL.end(), 0.0f);
                std::fill(outR.begin(), outR.end(), 0.0f);
                effect->process(effect, inputs, outputs, frames);
            }
            for (int i = 0; i < frames; ++i) {
                if (!(outL[i] >= 0.0f && outL[i] <= 1.0f && outR[i] == -0.5f * outL[i])) outputInRange = false;
            }
        }
        audioDone = true;
    });

    // Parameter indexes and programs one or two past either end too.
    const int parameters = TypeParam::Description::parameterCount;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> index(-2, parameters + 1), program(-1, 16), action(0, 9);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    char text[256];
    while (!audioDone) {
        ++hostCalls;
        switch (action(random)) {
            case 0: effect->dispatcher(effect, 2, 0, program(random), nullptr, 0.0f); break;  // effSetProgram
            case 1: effect->dispatcher(effect, 4, 0, 0, const_cast<char*>("Thread test"), 0.0f); break;
            case 2: effect->dispatcher(effect, 5, 0, 0, text, 0.0f); break;  // effGetProgramName
            case 3: effect->dispatcher(effect, 6 + random() % 3, index(random), 0, text, 0.0f); break;
            case 4: effect->dispatcher(effect, 12, 0, random() % 2, nullptr, 0.0f); break;  // suspend/resume
            case 5: effect->dispatcher(effect, 10, 0, 0, nullptr, 8000.0f + value(random) * 184000.0f); break;
            case 6: effect->getParameter(effect, index(random)); break;
            default: effect->setParameter(effect, index(random), value(random)); break;
        }
    }
    audio.join();
    EXPECT_TRUE(outputInRange);
}

}  // namespace
}  // namespace velmora::testing
