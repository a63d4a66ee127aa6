#include "BlockRunner.h"

#include <algorithm>
#include <string>

#include "Progress.h"
#include "TestFault.h"
#include "ToolError.h"

namespace velmora::tool {

namespace {
constexpr int maxBlockSize = 65536;
constexpr int maxChannels = 64;
}  // namespace

BlockRunner::BlockRunner(host::PluginInstance& plugin, int blockSize) : plugin_(plugin), blockSize_(blockSize) {
    if (blockSize < 1 || blockSize > maxBlockSize)
        throw ToolError("block size " + std::to_string(blockSize) + " is outside 1.." + std::to_string(maxBlockSize));
    const int inputs = plugin.numInputs();
    const int outputs = plugin.numOutputs();
    if (inputs > maxChannels || outputs > maxChannels)
        throw ToolError("the plug-in claims " + std::to_string(std::max(inputs, outputs)) +
                        " channels; velmora handles at most " + std::to_string(maxChannels));
    // At least a stereo pair each way, so the plug-in always gets valid
    // pointers; extra inputs get silence, extra outputs are ignored.
    inputs_.assign(std::max(inputs, 2), std::vector<float>(blockSize_, 0.0f));
    outputs_.assign(std::max(outputs, 2), std::vector<float>(blockSize_, 0.0f));
    for (auto& b : inputs_) inputPointers_.push_back(b.data());
    for (auto& b : outputs_) outputPointers_.push_back(b.data());
    replacing_ = plugin.canReplacing() && plugin.effect()->processReplacing != nullptr;
}

void BlockRunner::prepare(float sampleRate) {
    plugin_.setSampleRate(sampleRate);
    plugin_.setBlockSize(blockSize_);
}

void BlockRunner::start() {
    // On, off, on: switching off restarts effects that reset only there (a
    // tremolo's cycle, say), so the settings just made hold from the first
    // sample; and an effect is never switched off before it was on.
    plugin_.resume();
    plugin_.suspend();
    plugin_.resume();
}

void BlockRunner::stop() { plugin_.suspend(); }

void BlockRunner::processBlock(int frames) {
    // A plug-in with a single input gets the mix of the pair.
    if (plugin_.numInputs() == 1) {
        float* l = inputs_[0].data();
        const float* r = inputs_[1].data();
        for (int i = 0; i < frames; ++i) l[i] = static_cast<float>((double(l[i]) + double(r[i])) * 0.5);
    }
    for (std::size_t c = 2; c < inputs_.size(); ++c) std::fill_n(inputs_[c].begin(), frames, 0.0f);
    // Zeroed outputs: `process` adds into them, and a replacing plug-in
    // that skips a channel leaves silence rather than stale samples.
    for (auto& b : outputs_) std::fill_n(b.begin(), frames, 0.0f);
    if (replacing_)
        plugin_.processReplacing(inputPointers_.data(), outputPointers_.data(), frames);
    else
        plugin_.process(inputPointers_.data(), outputPointers_.data(), frames);
}

std::int64_t BlockRunner::run(AudioSource& source, AudioSink& sink, std::int64_t tailFrames, Progress* progress) {
    std::int64_t written = 0;
    auto emit = [&](int frames) {
        processBlock(frames);
        sink.write(outputs_[0].data(), outputs_[1].data(), frames);
        written += frames;
        if (progress != nullptr) progress->update(written);
        checkTestFault(written);
    };
    for (;;) {
        const int frames = source.read(inputs_[0].data(), inputs_[1].data(), blockSize_);
        if (frames <= 0) break;
        emit(frames);
    }
    while (tailFrames > 0) {
        const int frames = static_cast<int>(std::min<std::int64_t>(tailFrames, blockSize_));
        std::fill_n(inputs_[0].begin(), frames, 0.0f);
        std::fill_n(inputs_[1].begin(), frames, 0.0f);
        emit(frames);
        tailFrames -= frames;
    }
    return written;
}

}  // namespace velmora::tool
