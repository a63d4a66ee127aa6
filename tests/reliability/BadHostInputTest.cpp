// Whatever a host legally sends, in whatever order, leaves the plug-in
// working: no crash, no write outside the host's buffers, no non-finite
// sample out of finite input, and the sound back as soon as the host sends
// usable values again.
#include <array>
#include <limits>

#include "Session.h"

namespace velmora::reliability {
namespace {

using Limits = std::numeric_limits<float>;

constexpr int kBlock = 4096;

class BadHostInput : public testing::TestWithParam<std::string> {
protected:
    std::shared_ptr<PluginLibrary> library = PluginLibrary::open(pluginPath(GetParam()));

    std::unique_ptr<PluginInstance> create() { return PluginInstance::create(library); }

    // The host's usual start: open, rate, block size, resume.
    std::unique_ptr<PluginInstance> start(float rate = 44100.0f) {
        auto instance = create();
        instance->open();
        instance->setSampleRate(rate);
        instance->setBlockSize(kBlock);
        instance->resume();
        return instance;
    }

    static void changeRate(PluginInstance& instance, float rate) {
        instance.suspend();
        instance.setSampleRate(rate);
        instance.resume();
    }
};

// With every parameter inside 0..1 the gain is within -1..1: nothing that
// comes out is louder than what went in, and all of it is finite.
testing::AssertionResult finiteAndNoLouder(PluginInstance& instance, int blocks, std::uint64_t seed) {
    const Stereo output = playNoise(instance, blocks, kBlock, seed);
    Noise noise(seed);
    for (std::size_t i = 0; i < output.left.size(); ++i) {
        const float in[2] = {noise.next(), noise.next()};
        const float out[2] = {output.left[i], output.right[i]};
        for (int c = 0; c < 2; ++c) {
            if (!std::isfinite(out[c]) || std::fabs(out[c]) > std::fabs(in[c])) {
                return testing::AssertionFailure()
                       << "frame " << i << " channel " << c << ": " << in[c] << " in, " << out[c] << " out";
            }
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult textsFit(PluginInstance& instance) {
    for (std::int32_t i = 0; i < instance.numParams(); ++i) {
        for (const std::string& text :
             {instance.parameterName(i), instance.parameterLabel(i), instance.parameterDisplay(i)}) {
            if (text.size() > 8) return testing::AssertionFailure() << "parameter " << i << ": \"" << text << "\"";
        }
    }
    return testing::AssertionSuccess();
}

bool audible(const Stereo& stream) {
    for (float sample : stream.left) {
        if (sample != 0.0f) return true;
    }
    return false;
}

TEST_P(BadHostInput, ProcessingBeforeOpenRateOrResumePlaysAtTheDefault44100Hz) {
    auto untouched = create();
    auto started = start(44100.0f);
    const Stereo expected = playNoise(*started, 8, kBlock);
    const Stereo actual = playNoise(*untouched, 8, kBlock);
    EXPECT_TRUE(audible(expected));
    EXPECT_TRUE(actual == expected);
}

TEST_P(BadHostInput, SettingsMadeBeforeTheFirstResumeAreKept) {
    auto settle = [](PluginInstance& instance) {
        instance.setProgram(5);
        instance.setProgramName("Set before resume");
        for (std::int32_t i = 0; i < instance.numParams(); ++i) instance.setParameter(i, 0.3f + 0.03f * float(i));
    };
    auto early = create();
    settle(*early);
    early->open();
    early->setSampleRate(48000.0f);
    early->resume();
    auto late = start(48000.0f);
    settle(*late);
    EXPECT_EQ(early->programName(), "Set before resume");
    EXPECT_TRUE(playNoise(*early, 8, kBlock) == playNoise(*late, 8, kBlock));
}

const std::vector<float>& unusableRates() {
    static const std::vector<float> rates = {
        0.0f, -44100.0f, Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity(), Limits::denorm_min(),
        1.0f, 1e30f,     Limits::max()};
    return rates;
}

TEST_P(BadHostInput, UnusableSampleRatesGiveFiniteOutputNoLouderThanTheInput) {
    for (float rate : unusableRates()) {
        SCOPED_TRACE("sample rate " + testing::PrintToString(rate));
        auto instance = start();
        changeRate(*instance, rate);
        EXPECT_TRUE(finiteAndNoLouder(*instance, 8, 3));
        EXPECT_TRUE(textsFit(*instance));
    }
}

// The host's usual rate change (suspend, rate, resume) after a rate that
// is no rate at all gives exactly the sound of an instance that never saw it.
TEST_P(BadHostInput, TheNextRateChangeRestoresTheSoundAfterARateThatIsNoRate) {
    for (float rate :
         {0.0f, -44100.0f, Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity(), Limits::denorm_min()}) {
        SCOPED_TRACE("sample rate " + testing::PrintToString(rate));
        auto instance = start();
        changeRate(*instance, rate);
        playNoise(*instance, 4, kBlock, 5);
        changeRate(*instance, 48000.0f);
        auto fresh = start();
        changeRate(*fresh, 48000.0f);
        EXPECT_TRUE(playNoise(*instance, 8, kBlock) == playNoise(*fresh, 8, kBlock));
    }
}

// A huge rate makes one cycle longer than any session: the gain stands
// still. Once a usable rate is set, a suspend and resume restarts the
// sound as in an instance that never saw the huge rate.
TEST_P(BadHostInput, AfterAHugeRateTheSoundReturnsAtTheSuspendAfterAUsableRate) {
    for (float rate : {1e30f, Limits::max()}) {
        SCOPED_TRACE("sample rate " + testing::PrintToString(rate));
        auto instance = start();
        changeRate(*instance, rate);
        playNoise(*instance, 4, kBlock, 5);
        changeRate(*instance, 48000.0f);
        changeRate(*instance, 48000.0f);
        auto fresh = start();
        changeRate(*fresh, 48000.0f);
        changeRate(*fresh, 48000.0f);
        EXPECT_TRUE(playNoise(*instance, 8, kBlock) == playNoise(*fresh, 8, kBlock));
    }
}

// The block size a host announces is bookkeeping: blocks of any length up
// to what the host gives are processed in full, the same way.
TEST_P(BadHostInput, TheAnnouncedBlockSizeNeverLimitsOrChangesProcessing) {
    auto reference = start();
    const Stereo expected = playNoise(*reference, 4, 8192);
    for (std::int32_t size :
         {64, 0, -1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
        SCOPED_TRACE("block size " + std::to_string(size));
        auto instance = start();
        instance->suspend();
        instance->setBlockSize(size);
        instance->resume();
        EXPECT_TRUE(playNoise(*instance, 4, 8192) == expected);
    }
}

TEST_P(BadHostInput, NonFiniteParameterValuesNeverMakeTheOutputNonFiniteOrLouder) {
    auto probe = create();
    const std::int32_t params = probe->numParams();
    for (std::int32_t index = 0; index < params; ++index) {
        for (float value : {Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity()}) {
            SCOPED_TRACE("parameter " + std::to_string(index) + " set to " + testing::PrintToString(value));
            auto instance = start();
            instance->setParameter(index, value);
            // The value is kept as the host gave it.
            const float kept = instance->getParameter(index);
            EXPECT_TRUE(std::isnan(value) ? std::isnan(kept) : kept == value) << "getParameter gives " << kept;
            EXPECT_TRUE(finiteAndNoLouder(*instance, 22, 7));  // two seconds
            EXPECT_TRUE(textsFit(*instance));
        }
    }
}

// A text buffer of exactly 9 bytes (25 for a program name), with guard
// bytes before and after it.
template <std::size_t N>
class GuardedText {
public:
    static constexpr std::size_t kGuard = 16;
    GuardedText() {
        bytes_.fill(kGuardByte);
        std::memset(text(), kUnwritten, N);
    }
    char* text() { return bytes_.data() + kGuard; }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < kGuard; ++i) {
            if (bytes_[i] != kGuardByte || bytes_[kGuard + N + i] != kGuardByte) return false;
        }
        return true;
    }
    bool terminated() { return std::memchr(text(), '\0', N) != nullptr; }
    bool untouched() {
        for (std::size_t i = 0; i < N; ++i) {
            if (text()[i] != kUnwritten) return false;
        }
        return true;
    }

private:
    static constexpr char kGuardByte = static_cast<char>(0xA5);
    static constexpr char kUnwritten = static_cast<char>(0x5A);
    std::array<char, N + 2 * kGuard> bytes_;
};

TEST_P(BadHostInput, ParameterTextsStayInsideBuffersOfExactlyNineBytes) {
    auto instance = start();
    const std::int32_t params = instance->numParams();
    for (float value : {0.0f, 1.0f, 0.5f, -1.0f, 2.0f, 1e30f, -1e30f, Limits::max(), -Limits::max(),
                        Limits::denorm_min(), Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity()}) {
        for (std::int32_t i = 0; i < params; ++i) instance->setParameter(i, value);
        for (std::int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            for (std::int32_t index = -2; index < params + 2; ++index) {
                SCOPED_TRACE("opcode " + std::to_string(opcode) + ", parameter " + std::to_string(index) +
                             ", every parameter at " + testing::PrintToString(value));
                GuardedText<9> buffer;
                instance->dispatch(opcode, index, 0, buffer.text());
                ASSERT_TRUE(buffer.guardsIntact());
                if (index >= 0 && index < params) {
                    EXPECT_TRUE(buffer.terminated());
                } else {
                    EXPECT_TRUE(buffer.untouched());
                }
            }
        }
    }
}

TEST_P(BadHostInput, ProgramNamesStayInsideBuffersOfExactly25Bytes) {
    auto instance = start();
    const std::string longName = "A name of forty characters for the bank";
    for (std::int32_t program = 0; program < instance->numPrograms(); ++program) {
        SCOPED_TRACE("program " + std::to_string(program));
        instance->setProgram(program);
        GuardedText<25> before;
        instance->dispatch(effGetProgramName, 0, 0, before.text());
        EXPECT_TRUE(before.guardsIntact());
        EXPECT_TRUE(before.terminated());
        instance->setProgramName(longName);
        GuardedText<25> after;
        instance->dispatch(effGetProgramName, 0, 0, after.text());
        ASSERT_TRUE(after.guardsIntact());
        ASSERT_TRUE(after.terminated());
        EXPECT_EQ(std::string(after.text()), longName.substr(0, 24));
    }
}

// Every other opcode, the interface's and beyond it (also those whose low
// byte reads as effClose), leaves the instance alive with its settings.
TEST_P(BadHostInput, OnlyEffCloseFreesTheInstance) {
    auto instance = start();
    const std::int32_t params = instance->numParams();
    for (std::int32_t i = 0; i < params; ++i) instance->setParameter(i, 0.2f + 0.04f * float(i));
    std::vector<std::uint32_t> settings;
    for (std::int32_t i = 0; i < params; ++i) settings.push_back(bitsOf(instance->getParameter(i)));

    std::vector<std::int32_t> opcodes;
    for (std::int32_t opcode = 0; opcode < 256; ++opcode) {
        if (opcode != effClose && opcode != effSetProgram) opcodes.push_back(opcode);
    }
    for (std::int32_t opcode : {0x101, 0x201, 0x7FFFFF01, -255, std::numeric_limits<std::int32_t>::min() + 1}) {
        opcodes.push_back(opcode);
    }
    for (std::int32_t opcode : opcodes) {
        std::array<char, 256> scratch{};
        scratch[0] = 'x';  // effSetProgramName gets the text "x"
        instance->dispatch(opcode, 0, 1, scratch.data(), 44100.0f);
    }
    for (std::int32_t i = 0; i < params; ++i) {
        EXPECT_EQ(bitsOf(instance->getParameter(i)), settings[static_cast<std::size_t>(i)]) << "parameter " << i;
    }
    EXPECT_EQ(firstNonFinite(playNoise(*instance, 2, kBlock)), -1);
    EXPECT_EQ(instance->close(), 1);
}

INSTANTIATE_TEST_SUITE_P(Plugins, BadHostInput, testing::ValuesIn(pluginNames()), nameOfParam);

// A step gain that is no number (NaN, infinite) keeps the step at the last
// gain it had: it would otherwise turn the whole step into NaN or infinite
// samples in the host's mix. The value is still kept as given.
TEST(GaterBadHostInput, NonFiniteStepGainLeavesTheStepAtItsLastGain) {
    auto gater = PluginInstance::load(pluginPath("VelmoraGater"));
    gater->setParameter(0, 0.0f);  // one step
    gater->setParameter(2, 0.0f);  // hard gate: the gain itself on every frame
    gater->setParameter(3, 0.5f);
    gater->resume();
    for (float value : {Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity()}) {
        SCOPED_TRACE("step 1 gain " + testing::PrintToString(value));
        gater->setParameter(3, value);
        Stereo input(64, 1.0f);
        Stereo output(64);
        gater->processReplacing(input.left.data(), input.right.data(), output.left.data(), output.right.data(), 64);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(output.left[static_cast<std::size_t>(i)], 0.5f) << "frame " << i;
    }
}

}  // namespace
}  // namespace velmora::reliability
