// libsndfile starts every Ogg stream with a random serial number, so two
// renders of the same audio differ. This gives a finished Ogg file one
// fixed serial number and recomputes each page's checksum.
#pragma once

namespace velmora::tool {

// Rewrites the pages of the Ogg file open on `fd` in place. Throws
// ToolError when the file cannot be read or written, or is not Ogg.
void fixOggSerial(int fd, const char* name);

}  // namespace velmora::tool
