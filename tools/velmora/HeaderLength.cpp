#include "HeaderLength.h"

#include <unistd.h>

#include <cstring>

namespace velmora::tool {

namespace {

constexpr int maxChunks = 1000;

bool readAt(int fd, std::int64_t offset, unsigned char* bytes, std::size_t size) {
    return pread(fd, bytes, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

std::uint32_t little32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint32_t big32(const unsigned char* p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// Finds the chunk `id` after the 12-byte file header of a RIFF (little-endian
// sizes) or IFF (big-endian) file: the offset of its data and its size.
bool findChunk(int fd, const char* id, bool bigEndian, std::int64_t& dataAt, std::uint32_t& size) {
    std::int64_t at = 12;
    unsigned char chunk[8];
    for (int i = 0; i < maxChunks && readAt(fd, at, chunk, 8); ++i) {
        size = bigEndian ? big32(chunk + 4) : little32(chunk + 4);
        if (std::memcmp(chunk, id, 4) == 0) {
            dataAt = at + 8;
            return true;
        }
        at += 8 + std::int64_t{size} + (size & 1);
    }
    return false;
}

// RIFF: the data chunk's byte count over the fmt chunk's block size.
std::int64_t wavFrames(int fd) {
    std::int64_t at = 0;
    std::uint32_t size = 0;
    unsigned char fmt[14];
    if (!findChunk(fd, "fmt ", false, at, size) || size < sizeof fmt || !readAt(fd, at, fmt, sizeof fmt)) return -1;
    const std::uint32_t blockAlign = fmt[12] | fmt[13] << 8;
    if (!findChunk(fd, "data", false, at, size) || blockAlign == 0 || size == 0 || size == 0xFFFFFFFFu) return -1;
    return size / blockAlign;
}

// AIFF and AIFF-C: the frame count of the COMM chunk.
std::int64_t aiffFrames(int fd) {
    std::int64_t at = 0;
    std::uint32_t size = 0;
    unsigned char comm[6];
    if (!findChunk(fd, "COMM", true, at, size) || !readAt(fd, at, comm, sizeof comm)) return -1;
    return big32(comm + 2);
}

}  // namespace

std::int64_t headerFrames(int fd) {
    unsigned char head[12];
    if (!readAt(fd, 0, head, sizeof head)) return -1;
    if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) return wavFrames(fd);
    if (std::memcmp(head, "FORM", 4) == 0 &&
        (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0))
        return aiffFrames(fd);
    return -1;
}

}  // namespace velmora::tool
