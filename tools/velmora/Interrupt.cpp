#include "Interrupt.h"

#include <unistd.h>

#include <cstring>

namespace velmora::tool {

namespace {

// The handler may only touch these, and only with async-signal-safe calls.
char pendingPath[4096];
char interruptedLine[4096 + 64];
volatile std::sig_atomic_t pendingActive = 0;
volatile std::sig_atomic_t progressShown = 0;

const int interruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void writeText(const char* text) {
    std::size_t size = std::strlen(text);
    while (size > 0) {
        const ssize_t n = write(STDERR_FILENO, text, size);
        if (n <= 0) return;
        text += n;
        size -= static_cast<std::size_t>(n);
    }
}

extern "C" void removePendingAndDie(int signalNumber) {
    if (pendingActive) {
        unlink(pendingPath);
        // A closed pipe is no interruption by the user, and stderr may be that pipe.
        if (signalNumber != SIGPIPE) {
            if (progressShown) writeText("\r\033[K");
            writeText(interruptedLine);
        }
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void copyBounded(char* to, std::size_t capacity, const std::string& text) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(to, text.data(), n);
    to[n] = '\0';
}

}  // namespace

void installInterruptHandlers() {
    struct sigaction action{};
    action.sa_handler = removePendingAndDie;
    sigemptyset(&action.sa_mask);
    for (int s : interruptSignals) sigaddset(&action.sa_mask, s);
    for (int s : interruptSignals) sigaction(s, &action, nullptr);
}

void registerPendingFile(const std::string& tempPath, const std::string& outputName) {
    copyBounded(pendingPath, sizeof pendingPath, tempPath);
    copyBounded(interruptedLine, sizeof interruptedLine,
                "velmora: interrupted; nothing was written to " + outputName + "\n");
    pendingActive = 1;
}

void clearPendingFile() { pendingActive = 0; }

void setProgressShown(bool shown) { progressShown = shown ? 1 : 0; }

SignalBlock::SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : interruptSignals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &old_);
}

SignalBlock::~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

}  // namespace velmora::tool
