#include "TempFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ToolError.h"

namespace velmora::tool {

namespace {

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies from the current position of `from` to its end.
bool copyRest(int from, int to) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!writeAll(to, buffer.data(), static_cast<std::size_t>(n))) return false;
    }
}

}  // namespace

int unnamedTemporaryFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/velmora-XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) throw ToolError("cannot create a temporary file in '" + pattern + "': " + std::strerror(errno));
    unlink(pattern.c_str());
    return fd;
}

bool copyContents(int from, int to) { return lseek(from, 0, SEEK_SET) == 0 && copyRest(from, to); }

int spoolStandardInput() {
    if (isatty(STDIN_FILENO) == 1) throw ToolError("standard input is a terminal; pipe an audio file into velmora");
    const int fd = unnamedTemporaryFile();
    if (!copyRest(STDIN_FILENO, fd) || lseek(fd, 0, SEEK_SET) != 0) {
        const std::string why = std::strerror(errno);
        close(fd);
        throw ToolError("cannot read standard input: " + why);
    }
    return fd;
}

}  // namespace velmora::tool
