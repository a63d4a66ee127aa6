// The entry of one effect's CLAP file: its one export, clap_entry, whose
// factory makes the effect's plug-in. The build compiles this file once
// per effect, naming the effect's identity (GaterFormats, TremoloFormats)
// in VELMORA_EFFECT and its header in VELMORA_EFFECT_HEADER.
#include <clap/entry.h>
#include <clap/plugin-factory.h>

#include <cstring>

#include "ClapPlugin.h"
#include "Export.h"
#include VELMORA_EFFECT_HEADER

namespace {

using Plugin = TClapPlugin<VELMORA_EFFECT>;

// Any thread: one plug-in in this file.
std::uint32_t CLAP_ABI pluginCount(const clap_plugin_factory*) noexcept { return 1; }
const clap_plugin_descriptor* CLAP_ABI pluginDescriptor(const clap_plugin_factory*, std::uint32_t index) noexcept {
    return index == 0 ? &Plugin::descriptor : nullptr;
}

// Main thread. Null for another id or a host of an older CLAP.
const clap_plugin* CLAP_ABI createPlugin(const clap_plugin_factory*, const clap_host* host, const char* id) noexcept {
    if (host == nullptr || id == nullptr || !clap_version_is_compatible(host->clap_version)) return nullptr;
    return std::strcmp(id, Plugin::descriptor.id) == 0 ? Plugin::create(host) : nullptr;
}

constexpr clap_plugin_factory factory = {pluginCount, pluginDescriptor, createPlugin};

// Main thread, once each: nothing to set up or tear down.
bool CLAP_ABI initEntry(const char*) noexcept { return true; }
void CLAP_ABI deinitEntry() noexcept {}

// Any thread.
const void* CLAP_ABI factoryOf(const char* id) noexcept {
    return id != nullptr && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &factory : nullptr;
}

}  // namespace

VELMORA_EXPORT const clap_plugin_entry clap_entry = {CLAP_VERSION, initEntry, deinitEntry, factoryOf};
