#include "ParameterText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

std::string_view trimmed(std::string_view text) noexcept {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool sameLetters(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The number part of the text: the name of a choice, or digits.
std::size_t formatNumber(const ParameterInfo& info, double presented, char* text, std::size_t size) noexcept {
    if (info.kind == ParameterKind::kChoice) {
        const char* name = info.choices[std::int32_t(presented)];
        const std::size_t length = std::min(std::strlen(name), size);
        std::copy(name, name + length, text);
        return length;
    }
    const std::to_chars_result written = info.kind == ParameterKind::kInteger
                                             ? std::to_chars(text, text + size, std::int32_t(presented))
                                             : std::to_chars(text, text + size, presented, std::chars_format::fixed, 2);
    return written.ec == std::errc() ? std::size_t(written.ptr - text) : 0;
}

}  // namespace

void formatValue(const ParameterInfo& info, double plain, char* text, std::size_t size) noexcept {
    // NaN is shown as the range's start, like any value below it.
    const double presented = presentedValue(info, std::isnan(plain) ? info.minimum : plain);
    std::size_t length = formatNumber(info, presented, text, size - 1);
    const std::size_t unit = std::strlen(info.unit);
    if (unit != 0 && length + 1 + unit <= size - 1) {
        text[length] = ' ';
        std::memcpy(text + length + 1, info.unit, unit);
        length += 1 + unit;
    }
    text[length] = '\0';
}

bool parseValue(const ParameterInfo& info, std::string_view text, double& plain) noexcept {
    text = trimmed(text);
    for (std::int32_t i = 0; i < info.choiceCount; ++i) {
        if (sameLetters(text, info.choices[i])) {
            plain = double(i);
            return true;
        }
    }
    double number = 0.0;
    const std::from_chars_result read = std::from_chars(text.data(), text.data() + text.size(), number);
    if (read.ec != std::errc() || read.ptr == text.data()) return false;
    const std::string_view rest = trimmed(text.substr(std::size_t(read.ptr - text.data())));
    if (!rest.empty() && !sameLetters(rest, info.unit)) return false;
    plain = number;
    return true;
}
