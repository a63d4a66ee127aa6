#include "TwinRender.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "VstHost.h"

namespace velmora::formats {

namespace {

Stereo noise(std::size_t frames) {
    std::mt19937 random(99);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    Stereo s{std::vector<float>(frames), std::vector<float>(frames)};
    for (std::size_t i = 0; i < frames; ++i) {
        s.left[i] = uniform(random);
        s.right[i] = uniform(random);
    }
    return s;
}

}  // namespace

const Stereo& input() {
    static const Stereo s = noise(2 * 44100);
    return s;
}

bool sameBits(const Stereo& a, const Stereo& b) {
    return a.left.size() == b.left.size() && a.right.size() == b.right.size() &&
           std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)) == 0 &&
           std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)) == 0;
}

Stereo renderInUnkindBlocks(const ProcessBlock& process) {
    constexpr std::uint32_t kBlocks[] = {0, 1, 17, 64, 0, 1000, 4096, 8192, 3, 512};
    const Stereo& in = input();
    Stereo out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
    for (std::size_t done = 0, block = 0; done < in.left.size(); ++block) {
        const auto frames = std::uint32_t(std::min<std::size_t>(kBlocks[block % 10], in.left.size() - done));
        process(&in.left[done], &in.right[done], &out.left[done], &out.right[done], frames);
        done += frames;
    }
    return out;
}

Stereo renderVst2(const std::string& name, const std::vector<Vst2Change>& changes) {
    auto instance = host::PluginInstance::load(std::string(VELMORA_PLUGIN_DIR) + "/" + name + ".so");
    instance->open();
    instance->setSampleRate(float(kRate));
    instance->setBlockSize(512);
    for (const Vst2Change& c : changes) {
        if (c.frame == 0) instance->setParameter(c.index, c.hostValue);
    }
    instance->resume();
    instance->suspend();
    instance->resume();
    const Stereo& in = input();
    Stereo out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
    for (std::size_t done = 0; done < in.left.size();) {
        std::size_t end = std::min<std::size_t>(done + 512, in.left.size());
        for (const Vst2Change& c : changes) {
            if (c.frame > done && c.frame < end) end = c.frame;
        }
        instance->processReplacing(const_cast<float*>(&in.left[done]), const_cast<float*>(&in.right[done]),
                                   &out.left[done], &out.right[done], std::int32_t(end - done));
        done = end;
        for (const Vst2Change& c : changes) {
            if (c.frame == done) instance->setParameter(c.index, c.hostValue);
        }
    }
    return out;
}

}  // namespace velmora::formats
