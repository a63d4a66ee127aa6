// TClapEntry: the entry of one effect's CLAP file (what its one export,
// clap_entry, holds), whose factory makes the effect's plug-in
// (TClapPlugin). One plug-in per file; nothing to set up or tear down.
#pragma once

#include <clap/entry.h>
#include <clap/plugin-factory.h>

#include <cstring>

#include "ClapPlugin.h"

template <class Effect>
struct TClapEntry {
    using Plugin = TClapPlugin<Effect>;

    // Any thread: one plug-in in this file.
    static std::uint32_t CLAP_ABI pluginCount(const clap_plugin_factory*) noexcept { return 1; }
    static const clap_plugin_descriptor* CLAP_ABI pluginDescriptor(const clap_plugin_factory*,
                                                                   std::uint32_t index) noexcept {
        return index == 0 ? &Plugin::descriptor : nullptr;
    }

    // Main thread. Null for another id or a host of an older CLAP.
    static const clap_plugin* CLAP_ABI createPlugin(const clap_plugin_factory*, const clap_host* host,
                                                    const char* id) noexcept {
        if (host == nullptr || id == nullptr || !clap_version_is_compatible(host->clap_version)) return nullptr;
        return std::strcmp(id, Plugin::descriptor.id) == 0 ? Plugin::create(host) : nullptr;
    }

    static constexpr clap_plugin_factory factory = {pluginCount, pluginDescriptor, createPlugin};

    // Main thread, once each: nothing to set up or tear down.
    static bool CLAP_ABI initEntry(const char*) noexcept { return true; }
    static void CLAP_ABI deinitEntry() noexcept {}

    // Any thread.
    static const void* CLAP_ABI factoryOf(const char* id) noexcept {
        return id != nullptr && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &factory : nullptr;
    }

    static constexpr clap_plugin_entry entry = {CLAP_VERSION, initEntry, deinitEntry, factoryOf};
};
