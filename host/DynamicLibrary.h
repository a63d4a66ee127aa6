// The operating system's dynamic loader, as the host library uses it:
// dlopen and dlsym on Linux, LoadLibrary and GetProcAddress on Windows.
// Kept apart so that VstHost.cpp has no platform code.
#pragma once

#include <string>

namespace velmora::host::dynlib {

// Loads the file at `path` with all its symbols bound now and none of them
// made visible to other libraries. A path without a directory names a file
// in the current directory, never one on the library search path. Returns
// null on failure and puts the loader's reason, on one line, into `error`.
void* load(const std::string& path, std::string& error);

// Unloads a handle that load() returned.
void unload(void* handle) noexcept;

// Address of `name` when the loaded file itself exports it, or null; a
// symbol that only one of the libraries it depends on exports does not count.
void* ownSymbol(void* handle, const char* name) noexcept;

}  // namespace velmora::host::dynlib
