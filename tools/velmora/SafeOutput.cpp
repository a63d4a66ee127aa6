#include "SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

// The pending temporary file, for the signal handler. Only one output is
// written at a time. The handler may only touch these two.
char pendingPath[4096];
volatile std::sig_atomic_t pendingActive = 0;

extern "C" void removePendingAndDie(int signalNumber) {
    if (pendingActive) unlink(pendingPath);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

const int cleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Blocks the cleanup signals while the pending path changes, so a signal
// never sees a half-registered file.
class SignalBlock {
public:
    SignalBlock() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : cleanupSignals) sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

private:
    sigset_t old_;
};

std::string errnoText() { return std::strerror(errno); }

mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Renames without replacing an existing target; falls back to link+unlink
// where the file system lacks the no-replace rename.
bool renameNoReplace(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    // No hard links either: check, then rename.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

void installOutputCleanupHandlers() {
    struct sigaction action{};
    action.sa_handler = removePendingAndDie;
    sigemptyset(&action.sa_mask);
    for (int s : cleanupSignals) sigaddset(&action.sa_mask, s);
    for (int s : cleanupSignals) sigaction(s, &action, nullptr);
}

void checkOutputPath(const fs::path& output, bool overwrite, const fs::path* input) {
    if (output.empty()) throw ToolError("the output file name is empty");
    std::error_code ec;
    const auto status = fs::status(output, ec);
    if (fs::is_directory(status)) throw ToolError("'" + output.string() + "' is a directory");
    if (!fs::exists(status)) return;
    if (input != nullptr && fs::equivalent(*input, output, ec) && !ec)
        throw ToolError("OUTPUT '" + output.string() + "' is the same file as INPUT; choose another name");
    if (!overwrite) throw ToolError("'" + output.string() + "' exists; use --force to overwrite it");
}

SafeOutput::SafeOutput(fs::path output, bool overwrite) : output_(std::move(output)), overwrite_(overwrite) {
    fs::path dir = output_.parent_path();
    if (dir.empty()) dir = ".";
    // Long names are shortened so the temporary name still fits the file system.
    std::string base = output_.filename().string().substr(0, 200);
    std::string pattern = (dir / ("." + base + ".velmora-XXXXXX")).string();
    if (pattern.size() >= sizeof pendingPath) throw ToolError("the output path is too long");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    {
        SignalBlock block;
        fd_ = mkostemp(buffer.data(), O_CLOEXEC);
        if (fd_ < 0) throw ToolError("cannot create a file in '" + dir.string() + "': " + errnoText());
        temp_ = buffer.data();
        std::memcpy(pendingPath, buffer.data(), buffer.size());
        pendingActive = 1;
    }
    if (fchmod(fd_, newFileMode()) != 0) {
        const std::string why = errnoText();
        discard();
        throw ToolError("cannot set the mode of '" + temp_.string() + "': " + why);
    }
}

SafeOutput::~SafeOutput() { discard(); }

void SafeOutput::discard() noexcept {
    SignalBlock block;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    pendingActive = 0;
}

void SafeOutput::writeAll(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ToolError("cannot write '" + output_.string() + "': " + errnoText());
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void SafeOutput::commit() {
    if (fd_ < 0) throw ToolError("internal error: output committed twice");
    if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        throw ToolError("cannot write '" + output_.string() + "': " + errnoText());
    }
    if (close(fd_) != 0) {
        fd_ = -1;
        throw ToolError("cannot write '" + output_.string() + "': " + errnoText());
    }
    fd_ = -1;
    SignalBlock block;
    const bool renamed =
        overwrite_ ? std::rename(temp_.c_str(), output_.c_str()) == 0 : renameNoReplace(temp_, output_);
    if (!renamed) {
        const bool exists = errno == EEXIST;
        const std::string why = errnoText();
        if (exists) throw ToolError("'" + output_.string() + "' exists; use --force to overwrite it");
        throw ToolError("cannot rename the finished file onto '" + output_.string() + "': " + why);
    }
    temp_.clear();
    pendingActive = 0;
}

}  // namespace velmora::tool
