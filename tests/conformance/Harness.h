// What the checks share: starting and ending instances the way a host
// does, processing through either entry, random settings, recordings of
// output streams and the text checks.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Conformance.h"
#include "Random.h"
#include "StereoBuffer.h"
#include "VstHost.h"

namespace velmora::conformance {

using host::PluginInstance;
using host::PluginLibrary;

// The block size every instance is started with, and the largest block.
constexpr int kMaxBlock = 8192;

// `count`, divided down under sanitizers (at least 1).
int scaled(int count);

enum class Mode { Replacing, Accumulating };
const char* modeName(Mode mode);
// `process` always; `processReplacing` when the record announces it.
std::vector<Mode> modesOf(const PluginInstance& instance);
// processReplacing when there is one, else `process`.
Mode preferredMode(const PluginInstance& instance);
void runBlock(PluginInstance& instance, Mode mode, float** inputs, float** outputs, std::int32_t frames);

// An instance as a host starts one: opened, sample rate and block size set,
// resumed.
std::unique_ptr<PluginInstance> startInstance(const std::shared_ptr<PluginLibrary>& library,
                                              float sampleRate = 44100.0f, std::int32_t blockSize = kMaxBlock);
// Suspends and closes; effClose has to answer 1.
testing::AssertionResult finishInstance(PluginInstance& instance);

// One value per parameter inside 0..1, now and then exactly 0 or 1.
float randomSetting(Random& random);
std::vector<float> randomSettings(Random& random, int count);
void applySettings(PluginInstance& instance, const std::vector<float>& settings);
// Random settings under which the effect is not silent, so that comparing
// outputs means something; after a few silent draws, the last one.
std::vector<float> audibleSettings(const std::shared_ptr<PluginLibrary>& library, Random& random);

// Processes `frames` frames of noise in blocks of 1..maxBlock frames, each
// through an entry chosen at random, checking every block: guards intact,
// out-of-place input untouched, output finite.
testing::AssertionResult processNoise(PluginInstance& instance, Random& random, int frames, int maxBlock = 1024);

// A check's own random stream and the trace line its messages carry.
Random randomFor(const Options& options, const char* check);
std::string traceOf(const std::string& path, const Options& options);

testing::AssertionResult fitsIn(const std::string& text, std::size_t limit, const std::string& what);
// Name, label and display of every parameter within 8 characters.
testing::AssertionResult parameterTextsFit(PluginInstance& instance, const std::string& when);

// An output stream as it came out, block after block.
struct Recording {
    std::vector<float> channel[2];
    void append(const StereoBuffer& output, int frames);
};
testing::AssertionResult sameRecording(const Recording& actual, const Recording& expected, const char* what);

// Plays the same blocks into every instance that is given the same seed:
// block sizes of 1..1024 frames and noise input both come from the seed.
// Records the output and notes the first damaged guard, if any.
class ScriptPlayer {
public:
    ScriptPlayer(std::uint64_t seed, Mode mode);
    void playBlock(PluginInstance& instance);
    const Recording& recording() const noexcept { return recording_; }
    const std::string& fault() const noexcept { return fault_; }

private:
    Random random_;
    Mode mode_;
    StereoBuffer input_;
    StereoBuffer output_;
    Recording recording_;
    std::string fault_;
};

}  // namespace velmora::conformance
