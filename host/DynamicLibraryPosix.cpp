// The dynamic loader on Linux and other POSIX systems: dlopen with
// RTLD_NOW | RTLD_LOCAL.
#include "DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace velmora::host::dynlib {

namespace {

// True when `address` lies in the file loaded as `handle`, not in one of the
// libraries it depends on (dlsym searches those too).
bool definedIn(void* handle, void* address) {
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(handle, RTLD_DI_LINKMAP, static_cast<void*>(&map)) != 0 || map == nullptr) return true;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || map->l_name == nullptr) return true;
    return std::strcmp(info.dli_fname, map->l_name) == 0;
}

std::string oneLine(const char* text) {
    std::string line = text != nullptr ? text : "unknown error";
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return line;
}

}  // namespace

void* load(const std::string& path, std::string& error) {
    // A bare file name would make dlopen search the library path instead of
    // loading the file that was named.
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    void* handle = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) error = oneLine(dlerror());
    return handle;
}

void unload(void* handle) noexcept {
    if (handle != nullptr) dlclose(handle);
}

void* ownSymbol(void* handle, const char* name) noexcept {
    dlerror();
    void* address = dlsym(handle, name);
    return address != nullptr && definedIn(handle, address) ? address : nullptr;
}

}  // namespace velmora::host::dynlib
