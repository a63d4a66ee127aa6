#include "Console.h"

#include <cstdio>

namespace velmora::tool {

namespace {
bool quietFlag = false;
}

void setQuiet(bool quiet) { quietFlag = quiet; }

bool isQuiet() { return quietFlag; }

void say(const std::string& line) {
    if (quietFlag) return;
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = '?';
    }
    return out;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace velmora::tool
