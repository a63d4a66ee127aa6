// Loads the framework's test plug-in through the host library and reads
// back what it reported.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestProtocol.h"
#include "VstHost.h"

inline std::string pluginPath(const std::string& name) { return std::string(VELMORA_PLUGIN_DIR) + "/" + name + ".so"; }

class TestPluginTest : public ::testing::Test {
protected:
    using HostCall = velmora::host::HostCall;

    explicit TestPluginTest(velmora::host::InstanceOptions options = {})
        : plugin(velmora::host::PluginInstance::load(pluginPath("VelmoraTestPlugin"), options)) {
        seen = plugin->hostCalls().size();
    }

    // Host calls made since the last call of newCalls().
    std::vector<HostCall> newCalls() {
        std::vector<HostCall> all = plugin->hostCalls();
        std::vector<HostCall> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
        seen = all.size();
        return fresh;
    }

    // The events the plug-in reported since the last look, in order.
    std::vector<std::int32_t> newEvents() {
        std::vector<std::int32_t> events;
        for (const HostCall& call : newCalls())
            if (call.opcode == testplugin::kReport) events.push_back(call.index);
        return events;
    }

    // The one host call made since the last look, which must be the report
    // of `event`; its value, ptr and opt carry the event's argument.
    HostCall report(std::int32_t event) {
        const std::vector<HostCall> calls = newCalls();
        if (calls.size() != 1 || calls[0].opcode != testplugin::kReport || calls[0].index != event) {
            ADD_FAILURE() << "expected only the report of event " << event << ", got " << calls.size() << " calls";
            return HostCall{};
        }
        return calls[0];
    }

    void command(std::int32_t c) { plugin->setParameter(testplugin::kCommandIndex, static_cast<float>(c)); }

    // The text an opcode wrote into a buffer filled with a sentinel byte;
    // fails unless exactly the text and one zero byte were written.
    std::string written(std::int32_t opcode, std::int32_t index, std::size_t limit = 9) {
        char buffer[64];
        std::memset(buffer, kSentinel, sizeof buffer);
        plugin->dispatch(opcode, index, 0, buffer);
        const void* zero = std::memchr(buffer, '\0', limit);
        if (zero == nullptr) {
            ADD_FAILURE() << "no zero byte within " << limit << " bytes";
            return std::string(buffer, limit);
        }
        const std::size_t length = static_cast<const char*>(zero) - buffer;
        for (std::size_t i = length + 1; i < sizeof buffer; ++i)
            if (buffer[i] != kSentinel) ADD_FAILURE() << "byte " << i << " was written";
        return std::string(buffer, length);
    }

    static constexpr char kSentinel = '\x5A';
    std::unique_ptr<velmora::host::PluginInstance> plugin;
    std::size_t seen = 0;
};
