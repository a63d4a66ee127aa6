// Drives one plug-in instance the way a host plays a file: sample rate and
// block size first, then the settings, then a fresh start (mains on, off
// and on again), then the audio in blocks of at most the block size, then mains off.
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
    BlockRunner(host::PluginInstance& plugin, int blockSize);

    // effSetSampleRate and effSetBlockSize.
    void prepare(float sampleRate);
    // Mains on, off, on: the plug-in starts from its first sample with the
    // settings made since prepare().
    void start();
    // Processes the whole source, then `tailFrames` frames of silence, and
    // hands every block to the sink. Returns the frames written.
    std::int64_t run(AudioSource& source, AudioSink& sink, std::int64_t tailFrames, Progress* progress);
    // Mains off.
    void stop();

private:
    void processBlock(int frames);

    host::PluginInstance& plugin_;
    int blockSize_;
    bool replacing_;
    std::vector<std::vector<float>> inputs_, outputs_;
    std::vector<float*> inputPointers_, outputPointers_;
};

}  // namespace velmora::tool
