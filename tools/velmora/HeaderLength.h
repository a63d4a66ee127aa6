// The length that a WAV or AIFF file's header announces. libsndfile gives
// the frames that are really there, so a file cut short reads as a shorter
// file; comparing the two shows the cut.
#pragma once

#include <cstdint>

namespace velmora::tool {

// Frames announced by the header of the WAV (RIFF) or AIFF file open on
// `fd`, read with pread (the file position is untouched); -1 for other
// containers and for headers that announce no length (streamed WAV).
std::int64_t headerFrames(int fd);

}  // namespace velmora::tool
