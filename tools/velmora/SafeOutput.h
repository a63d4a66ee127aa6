// An output file that appears only when it is complete. The data goes to a
// temporary file beside OUTPUT (".NAME.velmora-XXXXXX", so the rename stays
// on one file system); commit() puts it in place. Every other way out (an
// exception, the destructor, an interrupt signal) removes the temporary
// file, so a failed or interrupted write leaves OUTPUT as it was.
//
// Replacing an existing OUTPUT (--force):
// - a symbolic link is followed: the file it points to is replaced, and
//   the link stays;
// - the new file gets the old one's permission bits (and its owner and
//   group where the user may set them);
// - a file with several hard links is rewritten in place once the render
//   is complete, so every link sees the new data; that copy runs with the
//   interrupt signals blocked, but a crash or power loss during it would
//   leave the file half written. Other files are replaced by a rename,
//   which is atomic.
// A temporary file that a killed render left behind (its owner's lock is
// gone) is removed by the next write of the same OUTPUT.
//
// OUTPUT "-" is standard output: the data goes to an unnamed temporary file
// in $TMPDIR and is copied to standard output on commit.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace velmora::tool {

// Refuses OUTPUT when it exists (unless `overwrite`), is a directory or is
// the same file as `input` (when given). Cheap checks made before any work.
void checkOutputPath(const std::filesystem::path& output, bool overwrite, const std::filesystem::path* input = nullptr);

class SafeOutput {
public:
    // Creates the temporary file. Throws ToolError when it cannot.
    SafeOutput(std::filesystem::path output, bool overwrite);
    ~SafeOutput();
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;

    // The temporary file's descriptor; owned by this object.
    int fd() const noexcept { return fd_; }
    const std::filesystem::path& output() const noexcept { return output_; }

    // Writes all bytes at the current position; throws ToolError on failure.
    void writeAll(const void* data, std::size_t size);

    // Flushes the temporary file to disk and puts it in place.
    // Without `overwrite`, an OUTPUT that appeared meanwhile is not replaced.
    void commit();

private:
    void createTemporary(const std::filesystem::path& dir, const std::string& base);
    void matchExistingFile();
    void commitToStandardOutput();
    void commitInPlace();
    void commitByRename();
    void discard() noexcept;

    std::filesystem::path output_;  // as given, for messages
    std::filesystem::path target_;  // the file to replace: OUTPUT with its links followed
    std::filesystem::path temp_;
    bool overwrite_;
    bool toStdout_;
    bool inPlace_ = false;
    int fd_ = -1;
};

}  // namespace velmora::tool
