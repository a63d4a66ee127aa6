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

BlockRunner::BlockRunner(const std::vector<host::PluginInstance*>& chain, int blockSize) : blockSize_(blockSize) {
    if (blockSize < 1 || blockSize > maxBlockSize)
        throw ToolError("block size " + std::to_string(blockSize) + " is outside 1.." + std::to_string(maxBlockSize));
    for (host::PluginInstance* plugin : chain) stages_.push_back(makeStage(*plugin));
}

BlockRunner::Stage BlockRunner::makeStage(host::PluginInstance& plugin) const {
    const int inputs = plugin.numInputs();
    const int outputs = plugin.numOutputs();
    if (inputs > maxChannels || outputs > maxChannels)
        throw ToolError("the plug-in claims " + std::to_string(std::max(inputs, outputs)) +
                        " channels; velmora handles at most " + std::to_string(maxChannels));
    Stage stage{&plugin, plugin.canReplacing() && plugin.effect()->processReplacing != nullptr, {}, {}, {}, {}};
    // At least a stereo pair each way, so the plug-in always gets valid
    // pointers; extra inputs get silence, extra outputs are ignored.
    stage.inputs.assign(std::max(inputs, 2), std::vector<float>(blockSize_, 0.0f));
    stage.outputs.assign(std::max(outputs, 2), std::vector<float>(blockSize_, 0.0f));
    for (auto& b : stage.inputs) stage.inputPointers.push_back(b.data());
    for (auto& b : stage.outputs) stage.outputPointers.push_back(b.data());
    return stage;
}

void BlockRunner::prepare(float sampleRate) {
    for (Stage& stage : stages_) {
        stage.plugin->setSampleRate(sampleRate);
        stage.plugin->setBlockSize(blockSize_);
    }
}

void BlockRunner::start() {
    // On, off, on: switching off restarts effects that reset only there (a
    // tremolo's cycle, say), so the settings just made hold from the first
    // sample; and an effect is never switched off before it was on.
    for (Stage& stage : stages_) {
        stage.plugin->resume();
        stage.plugin->suspend();
        stage.plugin->resume();
    }
}

void BlockRunner::stop() {
    for (Stage& stage : stages_) stage.plugin->suspend();
}

void BlockRunner::processStage(Stage& stage, int frames) {
    // A plug-in with a single input gets the mix of the pair.
    if (stage.plugin->numInputs() == 1) {
        float* l = stage.inputs[0].data();
        const float* r = stage.inputs[1].data();
        for (int i = 0; i < frames; ++i) l[i] = static_cast<float>((double(l[i]) + double(r[i])) * 0.5);
    }
    for (std::size_t c = 2; c < stage.inputs.size(); ++c) std::fill_n(stage.inputs[c].begin(), frames, 0.0f);
    // Zeroed outputs: `process` adds into them, and a replacing plug-in
    // that skips a channel leaves silence rather than stale samples.
    for (auto& b : stage.outputs) std::fill_n(b.begin(), frames, 0.0f);
    if (stage.replacing)
        stage.plugin->processReplacing(stage.inputPointers.data(), stage.outputPointers.data(), frames);
    else
        stage.plugin->process(stage.inputPointers.data(), stage.outputPointers.data(), frames);
}

void BlockRunner::processBlock(int frames) {
    for (std::size_t k = 0; k < stages_.size(); ++k) {
        if (k > 0)
            for (int c = 0; c < 2; ++c)
                std::copy_n(stages_[k - 1].outputs[c].begin(), frames, stages_[k].inputs[c].begin());
        processStage(stages_[k], frames);
    }
}

std::int64_t BlockRunner::run(AudioSource& source, AudioSink& sink, std::int64_t tailFrames, Progress* progress) {
    std::int64_t written = 0;
    Stage& first = stages_.front();
    const Stage& last = stages_.back();
    auto emit = [&](int frames) {
        processBlock(frames);
        sink.write(last.outputs[0].data(), last.outputs[1].data(), frames);
        written += frames;
        if (progress != nullptr) progress->update(written);
        checkTestFault(written);
    };
    for (;;) {
        const int frames = source.read(first.inputs[0].data(), first.inputs[1].data(), blockSize_);
        if (frames <= 0) break;
        emit(frames);
    }
    while (tailFrames > 0) {
        const int frames = static_cast<int>(std::min<std::int64_t>(tailFrames, blockSize_));
        std::fill_n(first.inputs[0].begin(), frames, 0.0f);
        std::fill_n(first.inputs[1].begin(), frames, 0.0f);
        emit(frames);
        tailFrames -= frames;
    }
    return written;
}

}  // namespace velmora::tool
