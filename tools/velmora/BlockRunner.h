// Drives a chain of plug-in instances (often just one) the way a host plays
// a file: sample rate and block size first, then the settings, then a fresh
// start (mains on, off and on again), then the audio in blocks of at most
// the block size, each block through every plug-in in turn, then mains off.
//
// The audio comes from an AudioSource and goes to an AudioSink as pairs of
// left/right channel buffers; a mono source fills both channels itself.
#pragma once

#include <cstdint>
#include <vector>

#include "VstHost.h"

namespace velmora::tool {

class Progress;

class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Fills up to `frames` frames of both channels; returns how many (0 at the end).
    virtual int read(float* left, float* right, int frames) = 0;
};

class AudioSink {
public:
    virtual ~AudioSink() = default;
    virtual void write(const float* left, const float* right, int frames) = 0;
};

class BlockRunner {
public:
    // Throws ToolError for a block size outside 1..65536 or a plug-in that
    // claims an absurd number of channels.
    BlockRunner(const std::vector<host::PluginInstance*>& chain, int blockSize);
    BlockRunner(host::PluginInstance& plugin, int blockSize) : BlockRunner(std::vector{&plugin}, blockSize) {}

    // effSetSampleRate and effSetBlockSize, to every plug-in.
    void prepare(float sampleRate);
    // Mains on, off, on: each plug-in starts from its first sample with the
    // settings made since prepare().
    void start();
    // Processes the whole source, then `tailFrames` frames of silence, and
    // hands every block to the sink. Returns the frames written.
    std::int64_t run(AudioSource& source, AudioSink& sink, std::int64_t tailFrames, Progress* progress);
    // Mains off.
    void stop();

private:
    struct Stage {
        host::PluginInstance* plugin;
        bool replacing;
        std::vector<std::vector<float>> inputs, outputs;
        std::vector<float*> inputPointers, outputPointers;
    };
    Stage makeStage(host::PluginInstance& plugin) const;
    void processStage(Stage& stage, int frames);
    void processBlock(int frames);

    int blockSize_;
    std::vector<Stage> stages_;
};

}  // namespace velmora::tool
