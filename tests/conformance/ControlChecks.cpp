// The battery's checks of everything besides the audio itself: the record,
// parameter values, programs, texts and the host mistakes a plug-in has to
// shrug off.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

#include "Harness.h"

namespace velmora::conformance {

namespace {

const std::vector<float>& hostileValues() {
    using Limits = std::numeric_limits<float>;
    static const std::vector<float> values = {
        Limits::quiet_NaN(),
        -Limits::quiet_NaN(),
        Limits::signaling_NaN(),
        Limits::infinity(),
        -Limits::infinity(),
        Limits::max(),
        -Limits::max(),
        1e30f,
        -1e30f,
        1e7f,
        -1e6f,
        65536.0f,
        2.0f,
        -1.0f,
        1.0000001f,
        -0.0f,
        Limits::denorm_min(),
        -Limits::denorm_min(),
        Limits::min(),
        1e-20f,
    };
    return values;
}

// Hostile now and then, wild or sane otherwise.
float unsafeValue(Random& random) {
    const double pick = random.unit();
    if (pick < 0.6)
        return hostileValues()[static_cast<std::size_t>(random.index(static_cast<int>(hostileValues().size())))];
    if (pick < 0.8) return random.uniform(-10.0f, 10.0f);
    return randomSetting(random);
}

// Processes one short block through a random entry, checking only that no
// buffer is damaged: with unsafe settings the output itself may be anything.
testing::AssertionResult processUnchecked(PluginInstance& instance, Random& random, StereoBuffer& input,
                                          StereoBuffer& output) {
    const std::vector<Mode> modes = modesOf(instance);
    const Mode mode = modes[static_cast<std::size_t>(random.index(static_cast<int>(modes.size())))];
    input.fillNoise(random, 1.0f);
    const StereoBuffer inputCopy = input;
    output.fill(0.0f);
    runBlock(instance, mode, input.pointers(), output.pointers(), output.frames());
    if (!input.identical(inputCopy)) return testing::AssertionFailure() << modeName(mode) << " changed its input";
    return output.guardsIntact(modeName(mode));
}

}  // namespace

void checkRecord(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    auto library = PluginLibrary::open(path);
    {
        auto scanned = PluginInstance::create(library);
        EXPECT_EQ(scanned->close(), 1) << "effClose straight after creation";
    }
    auto instance = PluginInstance::create(library);
    const AEffect& record = *instance->effect();
    EXPECT_EQ(record.numInputs, 2) << "inputs";
    EXPECT_EQ(record.numOutputs, 2) << "outputs";
    EXPECT_GE(record.numParams, 0) << "parameters";
    EXPECT_GE(record.numPrograms, 0) << "programs";
    EXPECT_TRUE(record.dispatcher != nullptr) << "no dispatcher";
    EXPECT_TRUE(record.process != nullptr) << "no process";
    EXPECT_TRUE(record.setParameter != nullptr) << "no setParameter";
    EXPECT_TRUE(record.getParameter != nullptr) << "no getParameter";
    if ((record.flags & effFlagsCanReplacing) != 0) {
        EXPECT_TRUE(record.processReplacing != nullptr) << "announces processReplacing but has none";
    }
    instance->open();
    EXPECT_TRUE(finishInstance(*instance));
}

void checkHostileParameterValues(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "HostileParameterValues");
    auto library = PluginLibrary::open(path);
    auto instance = startInstance(library);
    const std::int32_t params = instance->numParams();
    const std::int32_t programs = instance->numPrograms();
    StereoBuffer input(32);
    StereoBuffer output(32);
    for (int round = 0; round < scaled(8000); ++round) {
        const bool valid = params > 0 && random.chance(0.8);
        const std::int32_t index =
            valid ? random.index(params) : (random.chance(0.5) ? -1 - random.index(2) : params + random.index(2));
        const float value = unsafeValue(random);
        instance->setParameter(index, value);
        static_cast<void>(instance->getParameter(index));
        if (valid) {
            ASSERT_TRUE(
                fitsIn(instance->parameterDisplay(index), 8,
                       "display of parameter " + std::to_string(index) + " set to " + testing::PrintToString(value)));
        }
        // A program change pushes the unsafe values stored in a program
        // back through the parameter setters.
        if (programs > 0 && random.chance(0.02)) instance->setProgram(random.index(programs));
        ASSERT_TRUE(processUnchecked(*instance, random, input, output));
        if (round % 256 == 255) {
            ASSERT_TRUE(parameterTextsFit(*instance, "after unsafe values"));
        }
    }
    ASSERT_TRUE(finishInstance(*instance));
}

void checkRecoveryAfterHostileValues(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "RecoveryAfterHostileValues");
    auto library = PluginLibrary::open(path);
    auto instance = startInstance(library);
    const std::int32_t params = instance->numParams();
    if (params == 0) GTEST_SKIP() << "no parameters";
    StereoBuffer input(32);
    StereoBuffer output(32);
    for (int round = 0; round < scaled(500); ++round) {
        instance->setParameter(random.index(params), unsafeValue(random));
        ASSERT_TRUE(processUnchecked(*instance, random, input, output));
    }
    applySettings(*instance, randomSettings(random, params));

    // Whatever the effect made of the unsafe values, twenty seconds on (at
    // the slowest settings a cycle takes up to a few seconds) it has taken
    // up the sane ones again and its output has been finite for a while.
    constexpr int kRate = 44100;
    constexpr int kBlock = 4096;
    const Mode mode = preferredMode(*instance);
    StereoBuffer block(kBlock);
    StereoBuffer noise(kBlock);
    long long lastNonFinite = -1;
    long long done = 0;
    while (done < 20LL * kRate) {
        noise.fillNoise(random, 1.0f);
        block.fill(0.0f);
        runBlock(*instance, mode, noise.pointers(), block.pointers(), kBlock);
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < kBlock; ++i) {
                if (!std::isfinite(block.channel(c)[i])) lastNonFinite = std::max(lastNonFinite, done + i);
            }
        }
        done += kBlock;
    }
    ASSERT_LT(lastNonFinite, done - 2 * kRate)
        << "output is not finite at frame " << lastNonFinite << ", " << static_cast<double>(lastNonFinite) / kRate
        << " s after every parameter was put back inside 0..1";
    ASSERT_TRUE(finishInstance(*instance));
}

void checkProgramChanges(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "ProgramChanges");
    auto library = PluginLibrary::open(path);
    auto instance = startInstance(library);
    const std::int32_t params = instance->numParams();
    const std::int32_t programs = instance->numPrograms();
    const VstIntPtr outOfRange[] = {-1, -2, programs, programs + 1, programs + 100, INT32_MIN, INT32_MAX};
    for (int round = 0; round < scaled(2000); ++round) {
        const std::int32_t before = instance->program();
        if (programs > 0 && random.chance(0.6)) {
            const std::int32_t program = random.index(programs);
            instance->dispatch(effSetProgram, 0, program);
            ASSERT_EQ(instance->program(), program) << "effSetProgram " << program << " was not taken";
        } else if (sizeof(VstIntPtr) == 4 || random.chance(0.8)) {
            const VstIntPtr value = outOfRange[random.index(7)];
            instance->dispatch(effSetProgram, 0, value);
            if (programs > 0) {
                ASSERT_EQ(instance->program(), before) << "effSetProgram " << value << " was not ignored";
            }
        } else {
            // Wider than 32 bits: whatever becomes of it, the current program
            // stays one of the effect's.
            const VstIntPtr value = static_cast<VstIntPtr>((static_cast<std::uint64_t>(random.between(1, 255)) << 32) |
                                                           static_cast<std::uint64_t>(random.index(programs + 2)));
            instance->dispatch(effSetProgram, 0, value);
            if (programs > 0) {
                ASSERT_GE(instance->program(), 0) << "after effSetProgram " << value;
                ASSERT_LT(instance->program(), programs) << "after effSetProgram " << value;
            }
        }
        ASSERT_TRUE(fitsIn(instance->programName(), 24, "name of program " + std::to_string(instance->program())));
        if (params > 0 && random.chance(0.2)) instance->setParameter(random.index(params), randomSetting(random));
        ASSERT_TRUE(processNoise(*instance, random, 32, 32));
    }
    ASSERT_TRUE(finishInstance(*instance));
}

void checkHostMistakes(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "HostMistakes");
    auto library = PluginLibrary::open(path);
    auto instance = startInstance(library);
    const std::int32_t params = instance->numParams();
    const std::vector<Mode> modes = modesOf(*instance);

    {
        SCOPED_TRACE("null buffers");
        StereoBuffer buffer(64);
        float* nullChannels[2] = {nullptr, nullptr};
        for (Mode mode : modes) {
            runBlock(*instance, mode, nullptr, nullptr, 64);
            runBlock(*instance, mode, nullptr, buffer.pointers(), 64);
            runBlock(*instance, mode, buffer.pointers(), nullptr, 64);
            runBlock(*instance, mode, nullChannels, buffer.pointers(), 64);
            runBlock(*instance, mode, buffer.pointers(), nullChannels, 64);
        }
        ASSERT_TRUE(buffer.guardsIntact("buffer given with null ones"));
    }
    {
        SCOPED_TRACE("parameter indexes outside the list");
        applySettings(*instance, randomSettings(random, params));
        std::vector<std::uint32_t> before;
        for (std::int32_t i = 0; i < params; ++i) before.push_back(bitsOf(instance->getParameter(i)));
        for (std::int32_t bad : {-1, -1000, params, params + 1, INT32_MIN, INT32_MAX}) {
            instance->setParameter(bad, 0.5f);
            instance->setParameter(bad, std::numeric_limits<float>::quiet_NaN());
            EXPECT_EQ(instance->getParameter(bad), 0.0f) << "getParameter " << bad;
            EXPECT_EQ(instance->parameterName(bad), "") << "name of parameter " << bad;
            EXPECT_EQ(instance->parameterLabel(bad), "") << "label of parameter " << bad;
            EXPECT_EQ(instance->parameterDisplay(bad), "") << "display of parameter " << bad;
        }
        for (std::int32_t i = 0; i < params; ++i) {
            EXPECT_EQ(bitsOf(instance->getParameter(i)), before[static_cast<std::size_t>(i)])
                << "parameter " << i << " changed by setting parameters outside the list";
        }
    }
    {
        SCOPED_TRACE("null text buffers");
        for (std::int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            if (params > 0) instance->dispatch(opcode, 0, 0, nullptr);
            instance->dispatch(opcode, params, 0, nullptr);
        }
        instance->dispatch(effGetProgramName, 0, 0, nullptr);
        instance->dispatch(effSetProgramName, 0, 0, nullptr);
        ASSERT_TRUE(fitsIn(instance->programName(), 24, "program name"));
    }
    {
        using Limits = std::numeric_limits<float>;
        for (float rate : {0.0f, -44100.0f, Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity(), 1e30f,
                           Limits::denorm_min()}) {
            const std::string when = "at sample rate " + testing::PrintToString(rate);
            SCOPED_TRACE(when);
            instance->suspend();
            instance->setSampleRate(rate);
            instance->resume();
            ASSERT_TRUE(parameterTextsFit(*instance, when));
            StereoBuffer input(256);
            StereoBuffer output(256);
            for (int block = 0; block < 4; ++block) ASSERT_TRUE(processUnchecked(*instance, random, input, output));
        }
        SCOPED_TRACE("back at 44100 Hz");
        instance->suspend();
        instance->setSampleRate(44100.0f);
        instance->resume();
        ASSERT_TRUE(processNoise(*instance, random, scaled(44100)));
    }
    for (std::int32_t size : {0, -1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE("at block size " + std::to_string(size));
        instance->suspend();
        instance->setBlockSize(size);
        instance->resume();
        ASSERT_TRUE(processNoise(*instance, random, 1024, 256));
    }
    {
        SCOPED_TRACE("opcodes the effect has no use for");
        instance->suspend();
        instance->setBlockSize(kMaxBlock);
        instance->resume();
        std::vector<char> scratch(4096);
        auto send = [&](std::int32_t opcode) {
            std::fill(scratch.begin(), scratch.end(), '\0');
            instance->dispatch(opcode, 0, 0, scratch.data());
        };
        for (std::int32_t opcode = 16; opcode < 256; ++opcode) {
            const bool editorCall = opcode == effEditIdle;
            if (!editorCall || (instance->flags() & effFlagsHasEditor) == 0) send(opcode);
        }
        // Beyond the interface's opcodes, including ones whose low byte
        // reads as effClose: the instance lives on.
        for (std::int32_t opcode : {256, 257, 268, 0x101 + 0x100, 0x7FFFFFFF, -1, -255, INT32_MIN}) send(opcode);
        ASSERT_TRUE(processNoise(*instance, random, 1024));
    }
    ASSERT_TRUE(finishInstance(*instance));
}

void checkTexts(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "Texts");
    auto library = PluginLibrary::open(path);
    auto instance = startInstance(library);
    const std::int32_t params = instance->numParams();
    const std::int32_t programs = instance->numPrograms();

    for (std::int32_t program = 0; program < programs; ++program) {
        instance->setProgram(program);
        ASSERT_TRUE(fitsIn(instance->programName(), 24, "name of program " + std::to_string(program)));
        ASSERT_TRUE(parameterTextsFit(*instance, "program " + std::to_string(program)));
    }
    if (programs > 0) instance->setProgram(0);
    for (std::int32_t i = 0; i < params; ++i) {
        std::vector<float> values = {0.0f, 0.001f, 0.25f, 0.5f, 0.75f, 0.999f, 1.0f};
        for (int n = 0; n < 8; ++n) values.push_back(random.uniform(0.0f, 1.0f));
        for (float value : values) {
            instance->setParameter(i, value);
            ASSERT_TRUE(fitsIn(instance->parameterDisplay(i), 8,
                               "display of parameter " + std::to_string(i) + " at " + testing::PrintToString(value)));
        }
    }
    if (programs == 0) return;

    // Naming a program names that one only; a long name keeps its first 24
    // characters.
    const std::string otherName = programs > 1 ? (instance->setProgram(1), instance->programName()) : "";
    instance->setProgram(0);
    instance->setProgramName("Bright");
    EXPECT_EQ(instance->programName(), "Bright");
    const std::string longName = "A program name far longer than any host shows";
    instance->setProgramName(longName);
    EXPECT_EQ(instance->programName(), longName.substr(0, 24));
    if (programs > 1) {
        instance->setProgram(1);
        EXPECT_EQ(instance->programName(), otherName) << "naming program 0 renamed program 1";
    }
    ASSERT_TRUE(finishInstance(*instance));
}

}  // namespace velmora::conformance
