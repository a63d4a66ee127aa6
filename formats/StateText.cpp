#include "StateText.h"

#include <charconv>
#include <cstring>

namespace state_text {

bool append(char* text, std::size_t& length, std::string_view key, float value) noexcept {
    char number[32];
    const std::to_chars_result written = std::to_chars(number, number + sizeof(number), value);
    if (written.ec != std::errc()) return false;
    const auto digits = std::size_t(written.ptr - number);
    if (length + key.size() + digits + 2 > kCapacity) return false;
    char* at = text + length;
    std::memcpy(at, key.data(), key.size());
    at[key.size()] = ' ';
    std::memcpy(at + key.size() + 1, number, digits);
    at[key.size() + 1 + digits] = '\n';
    length += key.size() + digits + 2;
    return true;
}

namespace {

// One line "key number" (without its newline) into `entry`.
bool parseLine(std::string_view line, Entry& entry) noexcept {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t space = line.find(' ');
    if (space == 0 || space == std::string_view::npos) return false;
    entry.key = line.substr(0, space);
    const char* first = line.data() + space + 1;
    const char* last = line.data() + line.size();
    const std::from_chars_result read = std::from_chars(first, last, entry.value);
    return read.ec == std::errc() && read.ptr == last;
}

}  // namespace

long parse(std::string_view text, Entry* entries, std::size_t capacity) noexcept {
    if (text.substr(0, kHeader.size()) != kHeader) return -1;
    text.remove_prefix(kHeader.size());
    // A host may hand back the state with zero bytes after it.
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    std::size_t count = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty()) continue;
        Entry entry;
        if (!parseLine(line, entry)) return -1;
        if (count < capacity) entries[count++] = entry;
    }
    return long(count);
}

}  // namespace state_text
