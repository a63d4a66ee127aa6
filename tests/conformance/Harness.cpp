#include "Harness.h"

#include <algorithm>

namespace velmora::conformance {

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kWorkDivisor = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int kWorkDivisor = 4;
#else
constexpr int kWorkDivisor = 1;
#endif
#else
constexpr int kWorkDivisor = 1;
#endif

}  // namespace

int scaled(int count) { return std::max(1, count / kWorkDivisor); }

const char* modeName(Mode mode) { return mode == Mode::Replacing ? "processReplacing" : "process"; }

std::vector<Mode> modesOf(const PluginInstance& instance) {
    std::vector<Mode> modes{Mode::Accumulating};
    if (instance.canReplacing() && instance.effect()->processReplacing != nullptr) modes.push_back(Mode::Replacing);
    return modes;
}

Mode preferredMode(const PluginInstance& instance) { return modesOf(instance).back(); }

void runBlock(PluginInstance& instance, Mode mode, float** inputs, float** outputs, std::int32_t frames) {
    if (mode == Mode::Replacing) {
        instance.processReplacing(inputs, outputs, frames);
    } else {
        instance.process(inputs, outputs, frames);
    }
}

std::unique_ptr<PluginInstance> startInstance(const std::shared_ptr<PluginLibrary>& library, float sampleRate,
                                              std::int32_t blockSize) {
    auto instance = PluginInstance::create(library);
    instance->open();
    instance->setSampleRate(sampleRate);
    instance->setBlockSize(blockSize);
    instance->resume();
    return instance;
}

testing::AssertionResult finishInstance(PluginInstance& instance) {
    instance.suspend();
    const VstIntPtr answer = instance.close();
    if (answer != 1) return testing::AssertionFailure() << "effClose answered " << answer << ", not 1";
    return testing::AssertionSuccess();
}

float randomSetting(Random& random) {
    if (random.chance(0.1)) return random.chance(0.5) ? 0.0f : 1.0f;
    return random.uniform(0.0f, 1.0f);
}

std::vector<float> randomSettings(Random& random, int count) {
    std::vector<float> settings;
    for (int i = 0; i < count; ++i) settings.push_back(randomSetting(random));
    return settings;
}

void applySettings(PluginInstance& instance, const std::vector<float>& settings) {
    for (std::size_t i = 0; i < settings.size(); ++i) instance.setParameter(static_cast<std::int32_t>(i), settings[i]);
}

std::vector<float> audibleSettings(const std::shared_ptr<PluginLibrary>& library, Random& random) {
    std::vector<float> settings;
    for (int attempt = 0; attempt < 8; ++attempt) {
        auto instance = startInstance(library);
        settings = randomSettings(random, instance->numParams());
        applySettings(*instance, settings);
        ScriptPlayer player(random.next(), preferredMode(*instance));
        for (int block = 0; block < 4; ++block) player.playBlock(*instance);
        for (const auto& channel : player.recording().channel) {
            for (float sample : channel) {
                if (sample != 0.0f) return settings;
            }
        }
    }
    return settings;
}

testing::AssertionResult processNoise(PluginInstance& instance, Random& random, int frames, int maxBlock) {
    const std::vector<Mode> modes = modesOf(instance);
    StereoBuffer input(maxBlock);
    StereoBuffer output(maxBlock);
    for (int done = 0; done < frames;) {
        const int count = std::min(frames - done, static_cast<int>(random.between(1, maxBlock)));
        const Mode mode = modes[static_cast<std::size_t>(random.index(static_cast<int>(modes.size())))];
        input.fillNoise(random, 1.0f);
        const StereoBuffer inputCopy = input;
        if (mode == Mode::Replacing) {
            output.fillUnwritten();
        } else {
            output.fillNoise(random, 0.5f);
        }
        runBlock(instance, mode, input.pointers(), output.pointers(), count);

        const std::string what = std::string(modeName(mode)) + " of " + std::to_string(count) + " frames";
        if (!input.identical(inputCopy)) return testing::AssertionFailure() << what << " changed its input";
        if (auto intact = output.guardsIntact(what.c_str()); !intact) return intact;
        if (auto finite = finiteSamples(output, count, what.c_str()); !finite) return finite;
        done += count;
    }
    return testing::AssertionSuccess();
}

Random randomFor(const Options& options, const char* check) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char* c = check; *c != '\0'; ++c) hash = (hash ^ static_cast<unsigned char>(*c)) * 0x100000001B3ull;
    return Random(options.seed ^ hash);
}

std::string traceOf(const std::string& path, const Options& options) {
    return "plug-in " + path + ", seed " + std::to_string(options.seed);
}

testing::AssertionResult fitsIn(const std::string& text, std::size_t limit, const std::string& what) {
    if (text.size() <= limit) return testing::AssertionSuccess();
    return testing::AssertionFailure() << what << " is \"" << text << "\": " << text.size() << " characters, at most "
                                       << limit << " allowed";
}

testing::AssertionResult parameterTextsFit(PluginInstance& instance, const std::string& when) {
    for (std::int32_t i = 0; i < instance.numParams(); ++i) {
        const std::string which = when + ": parameter " + std::to_string(i);
        if (auto fits = fitsIn(instance.parameterName(i), 8, which + " name"); !fits) return fits;
        if (auto fits = fitsIn(instance.parameterLabel(i), 8, which + " label"); !fits) return fits;
        if (auto fits = fitsIn(instance.parameterDisplay(i), 8, which + " display"); !fits) return fits;
    }
    return testing::AssertionSuccess();
}

void Recording::append(const StereoBuffer& output, int frames) {
    for (int c = 0; c < 2; ++c) channel[c].insert(channel[c].end(), output.channel(c), output.channel(c) + frames);
}

testing::AssertionResult sameRecording(const Recording& actual, const Recording& expected, const char* what) {
    for (int c = 0; c < 2; ++c) {
        if (actual.channel[c].size() != expected.channel[c].size()) {
            return testing::AssertionFailure() << what << ": " << actual.channel[c].size() << " frames recorded, "
                                               << expected.channel[c].size() << " expected";
        }
        for (std::size_t i = 0; i < actual.channel[c].size(); ++i) {
            if (bitsOf(actual.channel[c][i]) != bitsOf(expected.channel[c][i])) {
                return testing::AssertionFailure()
                       << what << ": channel " << c << " frame " << i << " is "
                       << testing::PrintToString(actual.channel[c][i]) << ", one instance alone gives "
                       << testing::PrintToString(expected.channel[c][i]);
            }
        }
    }
    return testing::AssertionSuccess();
}

ScriptPlayer::ScriptPlayer(std::uint64_t seed, Mode mode) : random_(seed), mode_(mode), input_(1024), output_(1024) {}

void ScriptPlayer::playBlock(PluginInstance& instance) {
    const int count = static_cast<int>(random_.between(1, 1024));
    input_.fillNoise(random_, 1.0f);
    if (mode_ == Mode::Replacing) {
        output_.fillUnwritten();
    } else {
        output_.fill(0.0f);
    }
    runBlock(instance, mode_, input_.pointers(), output_.pointers(), count);
    if (fault_.empty()) {
        if (auto intact = output_.guardsIntact(modeName(mode_)); !intact) fault_ = intact.message();
        if (auto intact = input_.guardsIntact("input"); !intact) fault_ = intact.message();
    }
    recording_.append(output_, count);
}

}  // namespace velmora::conformance
