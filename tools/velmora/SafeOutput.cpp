#include "SafeOutput.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Interrupt.h"
#include "TempFiles.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

constexpr const char* tempInfix = ".velmora-";
constexpr int maxLinkDepth = 40;

std::string errnoText() { return std::strerror(errno); }

bool isStandardStream(const fs::path& path) { return path == "-"; }

mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The path with every symbolic link along its last component followed; a
// dangling link gives the path it points to.
fs::path followLinks(fs::path path) {
    for (int depth = 0; depth < maxLinkDepth; ++depth) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::error_code ec;
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    throw ToolError("'" + path.string() + "': too many levels of symbolic links");
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

// Removes the temporary files of `base` in `dir` whose writer is gone: each
// writer holds a lock on its file for as long as it runs.
void removeStaleTemporaries(const fs::path& dir, const std::string& base) {
    const std::string prefix = "." + base + tempInfix;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        const int fd = open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held, named;
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            lstat(it->path().c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            unlink(it->path().c_str());
        close(fd);
    }
}

}  // namespace

void checkOutputPath(const fs::path& output, bool overwrite, const fs::path* input) {
    if (output.empty()) throw ToolError("the output file name is empty");
    if (isStandardStream(output)) return;
    std::error_code ec;
    const auto status = fs::status(output, ec);
    if (fs::is_directory(status)) throw ToolError("'" + output.string() + "' is a directory");
    if (!fs::exists(status)) return;
    if (input != nullptr && fs::equivalent(*input, output, ec) && !ec)
        throw ToolError("OUTPUT '" + output.string() + "' is the same file as INPUT; choose another name");
    if (!overwrite) throw ToolError("'" + output.string() + "' exists; use --force to overwrite it");
}

SafeOutput::SafeOutput(fs::path output, bool overwrite)
    : output_(std::move(output)), overwrite_(overwrite), toStdout_(isStandardStream(output_)) {
    if (toStdout_) {
        SignalBlock block;
        fd_ = unnamedTemporaryFile();
        registerPendingFile("", "standard output");
        return;
    }
    target_ = overwrite_ ? followLinks(output_) : output_;
    fs::path dir = target_.parent_path();
    if (dir.empty()) dir = ".";
    // Long names are shortened so the temporary name still fits the file system.
    const std::string base = target_.filename().string().substr(0, 200);
    removeStaleTemporaries(dir, base);
    createTemporary(dir, base);
    matchExistingFile();
}

void SafeOutput::createTemporary(const fs::path& dir, const std::string& base) {
    const std::string pattern = (dir / ("." + base + tempInfix + "XXXXXX")).string();
    if (pattern.size() >= 4096) throw ToolError("the output path is too long");
    // A cleaner of stale files may remove a new file before its writer
    // locks it; the writer sees that (no links left) and tries again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        SignalBlock block;
        const int fd = mkostemp(buffer.data(), O_CLOEXEC);
        if (fd < 0) throw ToolError("cannot create a file in '" + dir.string() + "': " + errnoText());
        struct stat st;
        if (flock(fd, LOCK_EX) != 0 || fstat(fd, &st) != 0 || st.st_nlink == 0) {
            close(fd);
            continue;
        }
        fd_ = fd;
        temp_ = buffer.data();
        registerPendingFile(temp_.string(), output_.string());
        return;
    }
    throw ToolError("cannot create a file in '" + dir.string() + "'");
}

// The permissions (and owner and group, where allowed) of the file to be
// replaced, or a new file's; a file with several links is rewritten in place.
void SafeOutput::matchExistingFile() {
    struct stat st;
    mode_t mode = newFileMode();
    if (stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (fchown(fd_, st.st_uid, st.st_gid) != 0 && fchown(fd_, static_cast<uid_t>(-1), st.st_gid) != 0) {
            // Not the owner's to give away: the new file keeps ours.
        }
        mode = st.st_mode & 07777;
        inPlace_ = overwrite_ && st.st_nlink > 1;
    }
    if (fchmod(fd_, mode) != 0) {
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
    clearPendingFile();
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
    if (toStdout_) return commitToStandardOutput();
    if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        throw ToolError("cannot write '" + output_.string() + "': " + errnoText());
    if (inPlace_) return commitInPlace();
    commitByRename();
}

void SafeOutput::commitToStandardOutput() {
    SignalBlock block;
    if (!copyContents(fd_, STDOUT_FILENO)) throw ToolError("cannot write to standard output: " + errnoText());
    discard();
}

void SafeOutput::commitInPlace() {
    SignalBlock block;
    const int target = open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (target < 0) throw ToolError("cannot write '" + output_.string() + "': " + errnoText());
    const bool copied = copyContents(fd_, target) && fsync(target) == 0;
    const std::string why = errnoText();
    const bool closed = close(target) == 0;
    if (!copied || !closed) throw ToolError("cannot write '" + output_.string() + "': " + why);
    discard();
}

void SafeOutput::commitByRename() {
    SignalBlock block;
    // Renamed while still open and locked, so no cleaner takes it for stale.
    const bool renamed =
        overwrite_ ? std::rename(temp_.c_str(), target_.c_str()) == 0 : renameNoReplace(temp_, target_);
    if (!renamed) {
        const bool exists = errno == EEXIST;
        const std::string why = errnoText();
        if (exists) throw ToolError("'" + output_.string() + "' exists; use --force to overwrite it");
        throw ToolError("cannot rename the finished file onto '" + output_.string() + "': " + why);
    }
    temp_.clear();
    if (close(fd_) != 0) {
        fd_ = -1;
        throw ToolError("cannot write '" + output_.string() + "': " + errnoText());
    }
    fd_ = -1;
    clearPendingFile();
}

}  // namespace velmora::tool
