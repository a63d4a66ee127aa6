// The small pieces the VST3 wrapper is built from: how a host holds one
// interface of an object, the plug-in's class id, and the UTF-16 strings
// of the interface.
//
// An interface pointer, as a VST3 host holds it, points at a pointer to
// the interface's function table; every function gets that interface
// pointer back as `self`. Here each interface pointer is a TVst3Slot: the
// table, then the object that owns it.
#pragma once

#include <travesty/base.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

template <class Owner>
struct TVst3Slot {
    const void* table;
    Owner* owner;

    static Owner& of(void* self) noexcept { return *static_cast<TVst3Slot*>(self)->owner; }
};

// Calls `function` of the interface `object` (a plug-in's or a host's):
// each function is given the interface pointer itself as `self`.
template <class Interface, class Function, class... Arguments>
auto vst3Call(Interface** object, Function Interface::* function, Arguments&&... arguments) {
    return (v3_cpp_obj(object)->*function)(static_cast<void*>(object), std::forward<Arguments>(arguments)...);
}

// The class id of the plug-in whose VST 2 identifier is `uniqueId` ("KvGt"):
// " FPD", "salc", the identifier's four characters backwards, four zero
// bytes. These 16 bytes are what hosts and saved songs know the VST3
// plug-ins by (VelmoraGater: 2046504473616C637447764B00000000); they never
// change.
inline void vst3ClassId(const char (&uniqueId)[5], v3_tuid id) noexcept {
    const std::uint8_t bytes[16] = {' ',
                                    'F',
                                    'P',
                                    'D',
                                    's',
                                    'a',
                                    'l',
                                    'c',
                                    std::uint8_t(uniqueId[3]),
                                    std::uint8_t(uniqueId[2]),
                                    std::uint8_t(uniqueId[1]),
                                    std::uint8_t(uniqueId[0]),
                                    0,
                                    0,
                                    0,
                                    0};
    std::memcpy(id, bytes, sizeof(bytes));
}

// `text` (ASCII) as a zero-terminated UTF-16 string of at most `capacity`
// units, cut if longer.
inline void toUtf16(std::string_view text, std::int16_t* out, std::size_t capacity) noexcept {
    const std::size_t length = std::min(text.size(), capacity - 1);
    for (std::size_t i = 0; i < length; ++i) out[i] = std::int16_t(std::uint8_t(text[i]));
    out[length] = 0;
}

// A zero-terminated UTF-16 string of ASCII characters into `out`
// (`capacity` >= 1); false when it holds another character or is longer.
inline bool fromUtf16(const std::int16_t* text, char* out, std::size_t capacity) noexcept {
    for (std::size_t i = 0; i < capacity; ++i) {
        if (text[i] < 0 || text[i] > 127) return false;
        out[i] = char(text[i]);
        if (text[i] == 0) return true;
    }
    return false;
}
