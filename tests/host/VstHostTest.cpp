// The host library on fixture plug-ins: how it reports bad files, how it
// keeps each instance's callback calls apart, and what happens after close.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "VstHost.h"

using velmora::host::HostCall;
using velmora::host::HostError;
using velmora::host::InstanceOptions;
using velmora::host::PluginInstance;
using velmora::host::PluginLibrary;

namespace {

const std::string kFixtures = VELMORA_FIXTURE_DIR;
const std::string kGain = kFixtures + "/fixture_gain.so";

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const HostError& error) {
        return error.what();
    }
    return "(no error)";
}

std::string loadError(const std::string& path, InstanceOptions options = {}) {
    return errorOf([&] { PluginInstance::load(path, options); });
}

int liveInstances(const PluginLibrary& library) {
    auto count = reinterpret_cast<int (*)()>(library.symbol("fixtureLiveInstances"));
    return count != nullptr ? count() : -1;
}

}  // namespace

TEST(PluginLoading, EveryBadFileIsReportedOnOneLineNamingTheFile) {
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {kFixtures + "/missing.so", "file not found"},
        {kFixtures + "/fixture_text.so", "not a loadable shared library"},
        {kFixtures, "is a directory"},
        {kFixtures + "/fixture_no_entry.so", "no entry point"},
        {kFixtures + "/fixture_null_entry.so", "returned no effect"},
        {kFixtures + "/fixture_bad_magic.so", "bad magic 0x4E6F7065"},
    };
    for (const auto& c : cases) {
        const std::string message = loadError(c.path);
        EXPECT_EQ(message.rfind(c.path + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

TEST(PluginLoading, EntryPointIsMainOrElseVSTPluginMain) {
    EXPECT_EQ(PluginLibrary::open(kGain)->entryName(), "main");
    auto library = PluginLibrary::open(kFixtures + "/fixture_gain_plugin_main.so");
    EXPECT_EQ(library->entryName(), "VSTPluginMain");
    EXPECT_EQ(PluginInstance::create(library)->numParams(), 2);
}

TEST(PluginLoading, BareFileNameMeansTheFileInTheCurrentDirectory) {
    ASSERT_EQ(chdir(kFixtures.c_str()), 0);
    EXPECT_EQ(PluginInstance::load("fixture_gain.so")->uniqueIdText(), "VfGn");
    // Found on the library search path, but not here.
    EXPECT_NE(loadError("libc.so.6").find("file not found"), std::string::npos);
}

TEST(PluginLoading, VersionAnswerZeroGetsNoEffect) {
    InstanceOptions options;
    options.versionAnswer = 0;
    EXPECT_NE(loadError(kGain, options).find("returned no effect"), std::string::npos);
}

TEST(HostCallback, EachInstanceRecordsItsOwnCalls) {
    auto library = PluginLibrary::open(kGain);
    InstanceOptions connected;
    connected.pinConnectedAnswer = 7;
    auto a = PluginInstance::create(library, connected);
    auto b = PluginInstance::create(library);
    auto other = PluginInstance::load(kFixtures + "/fixture_gain_plugin_main.so");

    // The fixture answers effOpen with the host's answer about input 0.
    EXPECT_EQ(a->dispatch(effOpen), 7);

    const std::vector<HostCall> callsOfA = a->hostCalls();
    ASSERT_EQ(callsOfA.size(), 2u);
    EXPECT_EQ(callsOfA[0].opcode, audioMasterVersion);
    EXPECT_EQ(callsOfA[1].opcode, audioMasterPinConnected);
    EXPECT_EQ(callsOfA[1].index, 0);
    EXPECT_EQ(callsOfA[1].value, 0);
    EXPECT_EQ(callsOfA[1].ptr, nullptr);
    EXPECT_EQ(callsOfA[1].opt, 0.0f);
    ASSERT_EQ(b->hostCalls().size(), 1u);
    EXPECT_EQ(b->hostCalls()[0].opcode, audioMasterVersion);
    EXPECT_EQ(other->hostCalls().size(), 1u);

    EXPECT_EQ(b->dispatch(effOpen), 0);
    EXPECT_EQ(b->hostCalls().size(), 2u);
    EXPECT_EQ(a->hostCalls().size(), 2u);
    EXPECT_EQ(other->hostCalls().size(), 1u);
}

TEST(HostCallback, InstancesCreatedOnSeveralThreadsAtOnceKeepTheirOwnCalls) {
    auto library = PluginLibrary::open(kGain);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 50;
    std::vector<std::string> faults(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < kPerThread; ++n) {
                InstanceOptions options;
                options.pinConnectedAnswer = t * 1000 + n;
                auto instance = PluginInstance::create(library, options);
                if (instance->dispatch(effOpen) != options.pinConnectedAnswer || instance->hostCalls().size() != 2u) {
                    faults[t] = "instance ";
                    faults[t] += std::to_string(n);
                    faults[t] += " got another instance's answer or calls";
                    return;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& fault : faults) EXPECT_EQ(fault, "");
}

TEST(InstanceLifetime, CloseAnswersOneAndEveryLaterCallThrows) {
    auto library = PluginLibrary::open(kGain);
    auto instance = PluginInstance::create(library);
    EXPECT_EQ(liveInstances(*library), 1);
    EXPECT_EQ(instance->close(), 1);
    EXPECT_EQ(liveInstances(*library), 0);
    EXPECT_FALSE(instance->isOpen());
    EXPECT_EQ(instance->effect(), nullptr);

    float sample = 0.0f;
    const std::function<void()> lateCalls[] = {
        [&] { instance->dispatch(effGetProgram); },
        [&] { instance->numParams(); },
        [&] { instance->parameterName(0); },
        [&] { instance->setParameter(0, 0.5f); },
        [&] { instance->getParameter(0); },
        [&] { instance->processReplacing(&sample, &sample, &sample, &sample, 1); },
        [&] { instance->process(&sample, &sample, &sample, &sample, 1); },
        [&] { instance->close(); },
    };
    for (const auto& call : lateCalls) {
        EXPECT_NE(errorOf(call).find("the instance is closed"), std::string::npos);
    }
}

TEST(InstanceLifetime, DestroyingAnOpenInstanceClosesIt) {
    auto library = PluginLibrary::open(kGain);
    auto first = PluginInstance::create(library);
    auto second = PluginInstance::create(library);
    EXPECT_EQ(liveInstances(*library), 2);
    first.reset();
    EXPECT_EQ(liveInstances(*library), 1);
    second->close();
    second.reset();  // already closed: nothing more is sent
    EXPECT_EQ(liveInstances(*library), 0);
}

TEST(Helpers, TextsComeBackUpToTheirZeroByte) {
    auto instance = PluginInstance::load(kGain);
    EXPECT_EQ(instance->uniqueId(), 0x5666476E);
    EXPECT_EQ(instance->uniqueIdText(), "VfGn");
    EXPECT_EQ(instance->parameterName(1), "Rate");
    EXPECT_EQ(instance->parameterLabel(0), "%");
    EXPECT_EQ(instance->parameterDisplay(0), "      80");
    EXPECT_EQ(instance->parameterName(5), "");
    EXPECT_EQ(instance->programName(), "Gentle");
    instance->setProgram(2);
    EXPECT_EQ(instance->program(), 2);
    instance->setProgramName("Mine");
    EXPECT_EQ(instance->programName(), "Mine");
}

TEST(Helpers, StereoProcessingPassesLeftAndRightInOrder) {
    auto instance = PluginInstance::load(kGain);
    instance->setProgram(3);  // level 1, slowest sweep
    instance->resume();       // the sweep starts at gain 0.5
    float inL = 1.0f, inR = 2.0f, outL = 0.0f, outR = 0.0f;
    instance->processReplacing(&inL, &inR, &outL, &outR, 1);
    EXPECT_EQ(outL, 0.5f);
    EXPECT_EQ(outR, 1.0f);

    instance->resume();
    outL = 10.0f;
    outR = 20.0f;
    instance->process(&inL, &inR, &outL, &outR, 1);
    EXPECT_EQ(outL, 10.5f);
    EXPECT_EQ(outR, 21.0f);
}
