// DPF's format wrapper (the one file that holds it, DistrhoPluginMain.cpp,
// which includes the wrapper of the format chosen by
// DISTRHO_PLUGIN_TARGET_*), compiled as part of each plug-in.
//
// On Windows the entry points are exported by the format's module
// definition file alone, so that the DLL exports exactly those: DPF would
// also mark its DllMain for export.
#include "src/DistrhoDefines.h"

#ifdef _WIN32
#undef DISTRHO_PLUGIN_EXPORT
#define DISTRHO_PLUGIN_EXPORT extern "C"
#endif

#include "DistrhoPluginMain.cpp"
