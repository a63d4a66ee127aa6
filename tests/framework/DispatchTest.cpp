// The dispatcher's routing, the entry functions and the object's lifetime,
// driven through the host library against the test plug-in.
#include <cmath>
#include <cstdint>
#include <limits>

#include "AEffEditor.h"
#include "TestHost.h"

using namespace testplugin;
using Events = std::vector<std::int32_t>;

namespace {

class Dispatcher : public TestPluginTest {};

TEST_F(Dispatcher, EachOpcodeReachesItsOperationWithItsArguments) {
    char name[] = "My Sound";
    char buffer[64];
    EXPECT_EQ(plugin->dispatch(effOpen), 0);
    EXPECT_EQ(newEvents(), Events{kOpen});
    EXPECT_EQ(plugin->dispatch(effSetProgram, 0, 2), 0);
    EXPECT_EQ(report(kSetProgram).value, 2);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 2);
    EXPECT_EQ(newEvents(), Events{kGetProgram});
    EXPECT_EQ(plugin->dispatch(effSetProgramName, 0, 0, name), 0);
    EXPECT_EQ(report(kSetProgramName).ptr, name);
    EXPECT_EQ(plugin->dispatch(effGetProgramName, 0, 0, buffer), 0);
    EXPECT_EQ(newEvents(), Events{kGetProgramName});

    const std::pair<std::int32_t, std::int32_t> textRoutes[] = {{effGetParamLabel, kGetParameterLabel},
                                                                {effGetParamDisplay, kGetParameterDisplay},
                                                                {effGetParamName, kGetParameterName}};
    for (auto [opcode, event] : textRoutes) {
        EXPECT_EQ(plugin->dispatch(opcode, 4, 0, buffer), 0);
        EXPECT_EQ(report(event).value, 4) << "index passed through for opcode " << opcode;
    }

    EXPECT_EQ(plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(report(kSetSampleRate).opt, 48000.0f);
    EXPECT_EQ(plugin->dispatch(effSetBlockSize, 0, 512), 0);
    EXPECT_EQ(report(kSetBlockSize).value, 512);
    EXPECT_EQ(plugin->dispatch(effGetVu), 0);
    EXPECT_EQ(newEvents(), Events{kGetVu});
    EXPECT_EQ(plugin->dispatch(effIdentify), 0x4E764566);
    EXPECT_TRUE(newCalls().empty());
}

TEST_F(Dispatcher, MainsChangedSuspendsOnZeroAndResumesOnAnythingElse) {
    plugin->dispatch(effMainsChanged, 0, 0);
    plugin->dispatch(effMainsChanged, 0, 1);
    plugin->dispatch(effMainsChanged, 0, -7);
    EXPECT_EQ(newEvents(), (Events{kSuspend, kResume, kResume}));
}

TEST_F(Dispatcher, UnlistedOpcodesAnswerZeroAndReachNothing) {
    command(kAttachEditor);
    command(kVuFromParameter);
    plugin->setParameter(kVuLevel, 1.0f);
    newCalls();
    char buffer[64] = {};
    std::vector<std::int32_t> opcodes = {16,         17,  18,   20,   21,
                                         256,        257, 258,  268,  0x10001,
                                         0x7FFFFFFF, -1,  -255, -256, std::numeric_limits<std::int32_t>::min()};
    for (std::int32_t opcode = 23; opcode <= 255; ++opcode) opcodes.push_back(opcode);
    for (std::int32_t opcode : opcodes) {
        EXPECT_EQ(plugin->dispatch(opcode, 1, 1, buffer, 1.0f), 0) << "opcode " << opcode;
        EXPECT_TRUE(newCalls().empty()) << "opcode " << opcode << " reached the effect";
    }
    EXPECT_EQ(plugin->dispatch(effGetVu), 32767) << "the object survived";
}

TEST_F(Dispatcher, TextOpcodesWithANullBufferAnswerZeroAndReachNothing) {
    for (std::int32_t opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        EXPECT_EQ(plugin->dispatch(opcode, 0, 0, nullptr), 0);
        EXPECT_TRUE(newCalls().empty()) << "opcode " << opcode;
    }
}

TEST_F(Dispatcher, EditorOpcodesReachTheEditorOnlyWhenOneIsSet) {
    ERect* rect = nullptr;
    for (std::int32_t opcode : {effEditGetRect, effEditOpen, effEditClose, effEditIdle})
        EXPECT_EQ(plugin->dispatch(opcode, 0, 0, &rect), 0);
    EXPECT_TRUE(newCalls().empty());

    command(kAttachEditor);
    EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), kEditorRectAnswer);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->bottom, 100);
    EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, nullptr), 0) << "nowhere to store the rectangle";
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, &rect), kEditorOpenAnswer);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    EXPECT_EQ(plugin->dispatch(effEditIdle), 0);
    EXPECT_EQ(newEvents(), (Events{kEditorGetRect, kEditorOpen, kEditorClose, kEditorIdle}));
}

TEST_F(Dispatcher, VuIsTheLevelTimes32767RoundedTiesToEven) {
    command(kVuFromParameter);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, VstIntPtr> cases[] = {{0.5f, 16384}, {1.5f, 49150}, {-0.5f, -16384}, {1.0f, 32767},
                                                 {nan, 0},      {inf, 0},      {1.0e6f, 0},     {-1.0e6f, 0}};
    for (auto [level, answer] : cases) {
        plugin->setParameter(kVuLevel, level);
        EXPECT_EQ(plugin->dispatch(effGetVu), answer) << "level " << level;
    }
}

TEST_F(Dispatcher, ValuesBeyond32BitsAreIgnoredNotTruncated) {
    if (sizeof(VstIntPtr) < 8) GTEST_SKIP() << "a 32-bit value always fits";
    const VstIntPtr high = static_cast<VstIntPtr>(std::int64_t{1} << 32);
    EXPECT_EQ(plugin->dispatch(effSetProgram, 0, high + 1), 0);
    EXPECT_EQ(plugin->dispatch(effSetBlockSize, 0, high + 512), 0);
    EXPECT_EQ(plugin->dispatch(effSetProgram, 0, -high), 0);
    EXPECT_TRUE(newCalls().empty());
    EXPECT_EQ(plugin->program(), 0);
    plugin->dispatch(effMainsChanged, 0, high);
    EXPECT_EQ(newEvents(), (Events{kGetProgram, kResume})) << "a non-zero value resumes";
}

TEST_F(Dispatcher, ProcessAddsAndProcessReplacingReplaces) {
    float in[2] = {0.25f, -0.5f};
    float out[2] = {1.0f, 1.0f};
    plugin->process(&in[0], &in[1], &out[0], &out[1], 1);
    EXPECT_EQ(out[0], 1.25f);
    EXPECT_EQ(out[1], 0.5f);
    plugin->processReplacing(&in[0], &in[1], &out[0], &out[1], 1);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_EQ(out[1], -1.0f);
}

TEST_F(Dispatcher, ProcessEntriesIgnoreMissingBuffersAndEmptyBlocks) {
    float in[2] = {0.25f, 0.25f};
    float out[2] = {1.0f, 1.0f};
    float* inputs[2] = {&in[0], &in[1]};
    float* outputs[2] = {&out[0], &out[1]};
    plugin->processReplacing(nullptr, outputs, 1);
    plugin->processReplacing(inputs, nullptr, 1);
    plugin->process(inputs, outputs, 0);
    plugin->processReplacing(inputs, outputs, -1);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 1.0f);
}

TEST_F(Dispatcher, EntriesIgnoreARecordWithoutObject) {
    AEffect copy = *plugin->effect();
    copy.object = nullptr;
    char buffer[16] = {};
    EXPECT_EQ(copy.dispatcher(&copy, effGetProgramName, 0, 0, buffer, 0.0f), 0);
    EXPECT_EQ(copy.dispatcher(&copy, effClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(copy.dispatcher(nullptr, effIdentify, 0, 0, nullptr, 0.0f), 0);
    copy.setParameter(&copy, 0, 1.0f);
    EXPECT_EQ(copy.getParameter(&copy, 0), 0.0f);
    copy.processReplacing(nullptr, nullptr, nullptr, 1);
    EXPECT_TRUE(newCalls().empty());
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(Dispatcher, CloseAnswersOneAndDestroysTheEffectBeforeTheBase) {
    command(kAttachEditor);
    newCalls();
    EXPECT_EQ(plugin->close(), 1);
    // The editor is freed by the base destructor, so it goes last.
    EXPECT_EQ(newEvents(), (Events{kClose, kEffectDestroyed, kEditorDestroyed}));
}

// --- main ------------------------------------------------------------------------

std::vector<std::int32_t> opcodesSeen;
VstIntPtr answerVersion = 0;
bool effectPassed = false;

VstIntPtr VSTCALLBACK recordingHost(AEffect* effect, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    opcodesSeen.push_back(opcode);
    effectPassed = effectPassed || effect != nullptr;
    return opcode == audioMasterVersion ? answerVersion : 0;
}

TEST(Main, AnswersNullToAHostThatAnswersZeroToTheVersionQuery) {
    auto library = velmora::host::PluginLibrary::open(pluginPath("VelmoraTestPlugin"));
    opcodesSeen.clear();
    answerVersion = 0;
    EXPECT_EQ(library->entry()(recordingHost), nullptr);
    EXPECT_EQ(opcodesSeen, Events{audioMasterVersion}) << "the version query only: nothing constructed";
    EXPECT_FALSE(effectPassed);
    EXPECT_EQ(library->entry()(nullptr), nullptr);
}

}  // namespace
