// The exports of an effect's VST3 module: GetPluginFactory (the factory of
// Vst3Factory.h), and ModuleEntry/ModuleExit on Linux or InitDll/ExitDll on
// Windows. The build compiles this file once per effect, naming the
// effect's identity (GaterFormats, TremoloFormats) in VELMORA_EFFECT and its
// header in VELMORA_EFFECT_HEADER.
#include "Export.h"
#include "Vst3Factory.h"
#include VELMORA_EFFECT_HEADER

// Main thread: the factory, valid as long as the module is loaded.
VELMORA_EXPORT const void* GetPluginFactory() noexcept { return TVst3Factory<VELMORA_EFFECT>::instance(); }

// Main thread, once after loading and once before unloading: nothing to
// set up or tear down.
#if defined(_WIN32)
VELMORA_EXPORT bool InitDll() noexcept { return true; }
VELMORA_EXPORT bool ExitDll() noexcept { return true; }
#else
VELMORA_EXPORT bool ModuleEntry(void*) noexcept { return true; }
VELMORA_EXPORT bool ModuleExit() noexcept { return true; }
#endif
