// The saved state of an effect in the CLAP and VST3 formats (the host
// keeps it with the song), as plain text:
//
//     velmora-state 1
//     program 0
//     steps 16
//     tempo 120
//     ...
//
// The first line names the format and its version. Then one line per
// value: a key, a space and a number written so that reading it back gives
// the same float (the shortest such form, '.' as the decimal point whatever
// the locale). The keys are "program" and the parameters' symbols (the LV2
// port symbols); they never change. A reader takes the keys it knows and
// skips the others, so a later version's state loads here and an earlier
// one leaves what it lacks at the defaults.
//
// Main thread only: text work.
#pragma once

#include <cstddef>
#include <string_view>

namespace state_text {

inline constexpr std::string_view kHeader = "velmora-state 1\n";
// Room for the header and 64 lines of a 31-character key and a number.
inline constexpr std::size_t kCapacity = 4096;

// Appends the line "key value\n" to text[0 .. length), which has room for
// kCapacity characters, and moves `length` past it. False, with nothing
// appended, when it does not fit.
bool append(char* text, std::size_t& length, std::string_view key, float value) noexcept;

struct Entry {
    std::string_view key;
    double value = 0.0;
};

// The entries of `text` after its header, in order, into `entries` (at
// most `capacity`; the rest are not read). Returns how many, or -1 when
// the header is not ours or a line is not "key number".
long parse(std::string_view text, Entry* entries, std::size_t capacity) noexcept;

// A state from a host's stream into `text`: `read(buffer, size)` reads up
// to `size` characters and returns how many (0 at the end, below 0 on an
// error). Returns the length, or -1 when the stream fails or holds more
// than a state can (one character more than kCapacity is asked for).
template <class Read>
long readAll(char (&text)[kCapacity + 1], Read read) noexcept {
    std::size_t length = 0;
    while (length < sizeof(text)) {
        const long long count = read(text + length, sizeof(text) - length);
        if (count == 0) break;
        if (count < 0 || (unsigned long long)count > sizeof(text) - length) return -1;
        length += std::size_t(count);
    }
    return length > kCapacity ? -1 : long(length);
}

// text[0 .. length) to a host's stream: `write(buffer, size)` writes up to
// `size` characters and returns how many (0 or below when it cannot).
template <class Write>
bool writeAll(const char* text, std::size_t length, Write write) noexcept {
    for (std::size_t done = 0; done < length;) {
        const long long count = write(text + done, length - done);
        if (count <= 0 || (unsigned long long)count > length - done) return false;
        done += std::size_t(count);
    }
    return true;
}

}  // namespace state_text
