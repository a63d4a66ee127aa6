#include "TestFault.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ToolError.h"

namespace velmora::tool {

namespace {

struct Fault {
    enum Kind { none, error, signal } kind = none;
    std::int64_t atFrame = 0;
};

Fault readFault() {
    Fault fault;
    const char* text = std::getenv("VELMORA_TEST_FAULT");
    if (text == nullptr) return fault;
    const char* at = std::strchr(text, '@');
    if (at == nullptr) return fault;
    const std::string kind(text, at);
    if (kind == "error") fault.kind = Fault::error;
    if (kind == "signal") fault.kind = Fault::signal;
    fault.atFrame = std::strtoll(at + 1, nullptr, 10);
    return fault;
}

}  // namespace

void checkTestFault(std::int64_t framesWritten) {
    static const Fault fault = readFault();
    if (fault.kind == Fault::none || framesWritten < fault.atFrame) return;
    if (fault.kind == Fault::error)
        throw ToolError("test fault: failing after " + std::to_string(framesWritten) + " frames");
    std::raise(SIGTERM);
}

}  // namespace velmora::tool
