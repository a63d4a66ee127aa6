// VELMORA_EXPORT marks a plug-in file's entry points: C names, visible
// outside the file. Which names a file exports is decided by its format's
// list in exports/ (a version script on Linux, a module definition file on
// Windows): exactly the entry points the format needs.
#pragma once

#if defined(_WIN32)
#define VELMORA_EXPORT extern "C"
#else
#define VELMORA_EXPORT extern "C" __attribute__((visibility("default")))
#endif
