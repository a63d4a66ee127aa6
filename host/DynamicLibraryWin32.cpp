// The dynamic loader on Windows: LoadLibraryExW and GetProcAddress.
#include "DynamicLibrary.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace velmora::host::dynlib {

namespace {

// The system's text for an error code, on one line, with the code itself.
std::string errorText(DWORD code) {
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length != 0 && buffer != nullptr ? std::string(buffer, length) : "unknown error";
    if (buffer != nullptr) LocalFree(buffer);
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    char number[32];
    std::snprintf(number, sizeof number, " (error %lu)", static_cast<unsigned long>(code));
    return text + number;
}

}  // namespace

void* load(const std::string& path, std::string& error) {
    // An absolute path: Windows would search its DLL folders for a bare
    // name, and a relative one is resolved differently from case to case.
    // LOAD_WITH_ALTERED_SEARCH_PATH finds the file's own dependencies
    // next to it.
    const std::filesystem::path named(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
    std::error_code failed;
    std::filesystem::path file = std::filesystem::absolute(named, failed);
    if (failed) file = named;

    // No dialog box about a broken file or a missing DLL: the error comes
    // back to the caller instead.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD code = GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (module == nullptr) error = errorText(code);
    return reinterpret_cast<void*>(module);
}

void unload(void* handle) noexcept {
    if (handle != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(handle));
}

void* ownSymbol(void* handle, const char* name) noexcept {
    // GetProcAddress looks only at the export table of this module.
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

}  // namespace velmora::host::dynlib
