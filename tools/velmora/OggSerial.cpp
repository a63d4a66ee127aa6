#include "OggSerial.h"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ToolError.h"

namespace velmora::tool {

namespace {

constexpr std::size_t headerSize = 27;             // up to the segment count
constexpr std::uint32_t fixedSerial = 0x566C6D72;  // "Vlmr"

// The Ogg page checksum: CRC-32 with polynomial 0x04C11DB7, not reflected,
// starting from 0.
std::uint32_t pageChecksum(const unsigned char* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int b = 0; b < 8; ++b) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}

void putLittle32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

void fixOggSerial(int fd, const char* name) {
    auto fail = [&] {
        return ToolError(std::string("cannot finish '") + name + "': rewriting its Ogg page headers failed");
    };
    std::vector<unsigned char> page;
    off_t at = 0;
    for (;;) {
        page.resize(headerSize + 255);
        const ssize_t got = pread(fd, page.data(), headerSize, at);
        if (got == 0) return;
        if (got != static_cast<ssize_t>(headerSize) || std::memcmp(page.data(), "OggS", 4) != 0) throw fail();
        const std::size_t segments = page[26];
        if (pread(fd, page.data() + headerSize, segments, at + headerSize) != static_cast<ssize_t>(segments))
            throw fail();
        std::size_t body = 0;
        for (std::size_t s = 0; s < segments; ++s) body += page[headerSize + s];
        const std::size_t size = headerSize + segments + body;
        page.resize(size);
        const off_t bodyAt = at + static_cast<off_t>(headerSize + segments);
        if (pread(fd, page.data() + headerSize + segments, body, bodyAt) != static_cast<ssize_t>(body)) throw fail();
        putLittle32(page.data() + 14, fixedSerial);
        putLittle32(page.data() + 22, 0);
        putLittle32(page.data() + 22, pageChecksum(page.data(), size));
        if (pwrite(fd, page.data(), headerSize, at) != static_cast<ssize_t>(headerSize)) throw fail();
        at += static_cast<off_t>(size);
    }
}

}  // namespace velmora::tool
