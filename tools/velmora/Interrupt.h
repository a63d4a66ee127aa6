// What happens when velmora is interrupted (Ctrl-C, SIGTERM, SIGHUP, a
// closed pipe) while it writes a file: the signal handler removes the
// pending temporary file, clears the progress bar's line, says that
// nothing was written, and ends the process by the same signal.
#pragma once

#include <csignal>
#include <string>

namespace velmora::tool {

// Installs the handlers. Call once at start-up.
void installInterruptHandlers();

// Registers the temporary file being written and the name of the output it
// stands for (used in the message); replaces any earlier registration.
// Call with the interrupt signals blocked (see SignalBlock).
void registerPendingFile(const std::string& tempPath, const std::string& outputName);
void clearPendingFile();

// Whether a progress bar is on stderr's current line, to be cleared first.
void setProgressShown(bool shown);

// Blocks the interrupt signals for its lifetime, so that a signal never
// sees a half-registered file or a half-copied output.
class SignalBlock {
public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t old_;
};

}  // namespace velmora::tool
