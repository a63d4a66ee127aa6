#include "Console.h"

#include <cctype>
#include <cstdio>

namespace velmora::tool {

namespace {
bool quietFlag = false;
bool logToStderr = false;
}  // namespace

void setQuiet(bool quiet) { quietFlag = quiet; }

bool isQuiet() { return quietFlag; }

void setLogToStderr(bool toStderr) { logToStderr = toStderr; }

void say(const std::string& line) {
    if (quietFlag) return;
    std::FILE* stream = logToStderr ? stderr : stdout;
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
}

void warn(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "velmora: warning: %s\n", text.c_str());
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

std::string textKey(const std::string& text) {
    std::string key;
    for (unsigned char c : text)
        if (!std::isspace(c)) key.push_back(static_cast<char>(std::tolower(c)));
    return key;
}

std::string enclosed(const std::string& text, char mark) {
    std::string result(1, mark);
    result += text;
    result += mark;
    return result;
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

std::string counted(long long n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

}  // namespace velmora::tool
