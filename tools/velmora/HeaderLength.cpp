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

// RIFF: the data chunk's byte count over the fmt chunk's block size.
std::int64_t wavFrames(int fd) {
    std::int64_t at = 12;
    std::uint32_t blockAlign = 0;
    unsigned char chunk[8];
    for (int i = 0; i < maxChunks && readAt(fd, at, chunk, 8); ++i) {
        const std::uint32_t size = little32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[14];
            if (!readAt(fd, at + 8, fmt, sizeof fmt)) return -1;
            blockAlign = fmt[12] | fmt[13] << 8;
        }
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (blockAlign == 0 || size == 0 || size == 0xFFFFFFFFu) return -1;
            return size / blockAlign;
        }
        at += 8 + size + (size & 1);
    }
    return -1;
}

// AIFF and AIFF-C: the frame count of the COMM chunk.
std::int64_t aiffFrames(int fd) {
    std::int64_t at = 12;
    unsigned char chunk[8];
    for (int i = 0; i < maxChunks && readAt(fd, at, chunk, 8); ++i) {
        const std::uint32_t size = big32(chunk + 4);
        if (std::memcmp(chunk, "COMM", 4) == 0) {
            unsigned char comm[6];
            if (!readAt(fd, at + 8, comm, sizeof comm)) return -1;
            return big32(comm + 2);
        }
        at += 8 + size + (size & 1);
    }
    return -1;
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
