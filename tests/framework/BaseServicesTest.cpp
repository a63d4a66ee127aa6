// The record as construction leaves it, the base defaults, the setters and
// the calls into the host, observed through the test plug-in.
#include <cstdint>

#include "TestHost.h"

using namespace testplugin;

namespace {

class BaseServices : public TestPluginTest {};

TEST_F(BaseServices, ConstructionFillsTheRecord) {
    const AEffect& r = *plugin->effect();
    EXPECT_EQ(r.magic, 0x56737450);
    EXPECT_TRUE(r.dispatcher && r.process && r.processReplacing && r.setParameter && r.getParameter);
    const std::vector<std::int32_t> fields = {r.numPrograms,  r.numParams,     r.numInputs,    r.numOutputs, r.flags,
                                              r.initialDelay, r.realQualities, r.offQualities, r.uniqueID,   r.version};
    EXPECT_EQ(fields, (std::vector<std::int32_t>{3, 6, 1, 2, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(r.resvd1, 0);
    EXPECT_EQ(r.resvd2, 0);
    EXPECT_EQ(r.ioRatio, 1.0f);
    EXPECT_NE(r.object, nullptr);
    EXPECT_EQ(r.user, nullptr);
#if INTPTR_MAX != INT32_MAX
    EXPECT_EQ(r.processDoubleReplacing, nullptr);
#endif
    for (unsigned char byte : r.future) EXPECT_EQ(byte, 0);
}

TEST_F(BaseServices, AFreshObjectHasTheDefaults) {
    command(kAskSampleRate);
    EXPECT_EQ(report(kAnswer).opt, 44100.0f);
    command(kAskBlockSize);
    EXPECT_EQ(report(kAnswer).value, 1024);
    EXPECT_EQ(plugin->program(), 0);
    EXPECT_EQ(plugin->dispatch(effGetVu), 0);
    for (std::int32_t index : {-1, 0, 5, 6, 1000}) EXPECT_EQ(plugin->getParameter(index), 0.0f);
}

TEST_F(BaseServices, DefaultTextsWriteExactlyTheirBytes) {
    EXPECT_EQ(written(effGetProgramName, 0), "Default ");
    EXPECT_EQ(written(effGetParamLabel, 1), "");
    EXPECT_EQ(written(effGetParamName, 1), "");
    EXPECT_EQ(written(effGetParamDisplay, 99), "");
}

TEST_F(BaseServices, DefaultSetProgramAcceptsOnlyExistingPrograms) {
    const std::pair<std::int32_t, std::int32_t> steps[] = {{2, 2}, {3, 2}, {-1, 2}, {6, 2}, {0, 0}, {1, 1}};
    for (auto [requested, current] : steps) {
        plugin->setProgram(requested);
        EXPECT_EQ(plugin->program(), current) << "after setProgram(" << requested << ")";
    }
}

TEST_F(BaseServices, EachCapabilitySetterOwnsOneBit) {
    const std::pair<Command, std::int32_t> steps[] = {{kCanMonoOff, 0},    {kHasVuOn, 4},         {kHasClipOn, 6},
                                                      {kCanMonoOn, 14},    {kCanReplacingOn, 30}, {kHasVuOff, 26},
                                                      {kAttachEditor, 27}, {kHasClipOff, 25},     {kDetachEditor, 24},
                                                      {kCanMonoOff, 16},   {kCanReplacingOff, 0}};
    for (auto [c, flags] : steps) {
        command(c);
        EXPECT_EQ(plugin->flags(), flags) << "after command " << c;
    }
}

TEST_F(BaseServices, UniqueIdTextFormPacksTheFirstFourCharactersFirstHighest) {
    const std::pair<Command, std::uint32_t> cases[] = {{kIdFiveChars, 0x41424344}, {kIdFourChars, 0x41424344},
                                                       {kIdTwoChars, 0x41620000},  {kIdEmpty, 0},
                                                       {kIdHighChars, 0xFF7A7A80}, {kIdNumber, 0xFFFFFFFE}};
    for (auto [c, id] : cases) {
        command(c);
        EXPECT_EQ(static_cast<std::uint32_t>(plugin->uniqueId()), id) << "command " << c;
    }
}

class HostCalls : public TestPluginTest {
protected:
    HostCalls() : TestPluginTest(velmora::host::InstanceOptions{2400, 7}) {}

    void expectCall(std::int32_t opcode, std::int32_t index, VstIntPtr value, float opt = 0.0f) {
        const auto calls = newCalls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls[0].opcode, opcode);
        EXPECT_EQ(calls[0].index, index);
        EXPECT_EQ(calls[0].value, value);
        EXPECT_EQ(calls[0].ptr, nullptr);
        EXPECT_EQ(calls[0].opt, opt);
        if (calls.size() > 1) answer = calls[1].value;
    }
    VstIntPtr answer = -1;
};

TEST_F(HostCalls, EachHostCallPassesItsArgumentsAndTheHostsAnswer) {
    command(kAutomate);
    expectCall(audioMasterAutomate, 1, 0, 0.75f);
    EXPECT_EQ(plugin->getParameter(1), 0.75f) << "setParameter runs first";
    command(kAskMasterVersion);
    expectCall(audioMasterVersion, 0, 0);
    EXPECT_EQ(answer, 2400);
    command(kAskCurrentUniqueId);
    expectCall(audioMasterCurrentId, 0, 0);
    command(kMasterIdle);
    expectCall(audioMasterIdle, 0, 0);
    command(kAskInputConnected);
    expectCall(audioMasterPinConnected, 3, 0);
    EXPECT_EQ(answer, 7);
    command(kAskOutputConnected);
    expectCall(audioMasterPinConnected, 5, 1);
    EXPECT_EQ(answer, 7);
}

#if defined(__i386__) || defined(__x86_64__)
std::uint16_t x87Control() {
    std::uint16_t control;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    return control;
}
void setX87Control(std::uint16_t control) { __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(control)); }
#if defined(__x86_64__) || defined(__SSE__)
std::uint32_t mxcsr() {
    std::uint32_t status;
    __asm__ volatile("stmxcsr %0" : "=m"(status));
    return status;
}
void setMxcsr(std::uint32_t status) { __asm__ volatile("ldmxcsr %0" : : "m"(status)); }
#endif

TEST(FloatingPoint, CreatingAnEffectMasksExceptionsOnTheCallingThread) {
    auto library = velmora::host::PluginLibrary::open(pluginPath("VelmoraTestPlugin"));
    const std::uint16_t savedControl = x87Control();
    // Invalid and zero-divide unmasked, double precision, rounding upwards.
    setX87Control(0x0A7A);
#if defined(__x86_64__) || defined(__SSE__)
    const std::uint32_t savedStatus = mxcsr();
    const std::uint32_t unmasked = savedStatus & ~std::uint32_t{0x0080 | 0x0200 | 0x003F};
    setMxcsr(unmasked);
#endif
    auto plugin = velmora::host::PluginInstance::create(library);
    const std::uint16_t control = x87Control();
    setX87Control(savedControl);
    EXPECT_EQ(control, 0x0B7F) << "all masked, extended precision, rounding kept";
#if defined(__x86_64__) || defined(__SSE__)
    const std::uint32_t status = mxcsr();
    setMxcsr(savedStatus);
    EXPECT_EQ(status & ~std::uint32_t{0x3F}, unmasked | 0x1F80);
#endif
}
#endif

}  // namespace
