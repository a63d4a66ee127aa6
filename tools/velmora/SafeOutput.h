// An output file that appears only when it is complete. The data goes to a
// temporary file beside OUTPUT (".NAME.velmora-XXXXXX", so the rename stays
// on one file system); commit() renames it onto OUTPUT. Every other way out
// (an exception, the destructor, SIGINT/SIGTERM/SIGHUP/SIGPIPE) removes the
// temporary file, so a failed or interrupted write leaves OUTPUT as it was.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace velmora::tool {

// Installs the signal handlers that remove a pending temporary file. Call
// once at start-up.
void installOutputCleanupHandlers();

// Refuses OUTPUT when it exists (unless `overwrite`), is a directory or is
// the same file as `input` (when given). Cheap checks made before any work.
void checkOutputPath(const std::filesystem::path& output, bool overwrite, const std::filesystem::path* input = nullptr);

class SafeOutput {
public:
    // Creates the temporary file (mode 0666 less the umask, like a plain
    // new file). Throws ToolError when it cannot.
    SafeOutput(std::filesystem::path output, bool overwrite);
    ~SafeOutput();
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;

    // The temporary file's descriptor; owned by this object.
    int fd() const noexcept { return fd_; }
    const std::filesystem::path& output() const noexcept { return output_; }

    // Writes all bytes at the current position; throws ToolError on failure.
    void writeAll(const void* data, std::size_t size);

    // Flushes the temporary file to disk and renames it onto OUTPUT.
    // Without `overwrite`, an OUTPUT that appeared meanwhile is not replaced.
    void commit();

private:
    void discard() noexcept;

    std::filesystem::path output_;
    std::filesystem::path temp_;
    bool overwrite_;
    int fd_ = -1;
};

}  // namespace velmora::tool
