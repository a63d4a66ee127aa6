// A failure injected on purpose, for the end-to-end tests only: they prove
// that a render that fails or is killed half-way leaves neither OUTPUT nor
// its temporary file behind.
//
// VELMORA_TEST_FAULT=error@N   fail with an error once N frames are written
// VELMORA_TEST_FAULT=signal@N  send SIGTERM to ourselves once N frames are written
//
// Unset (the normal case), it does nothing.
#pragma once

#include <cstdint>

namespace velmora::tool {

// Called after each block that reached the output file.
void checkTestFault(std::int64_t framesWritten);

}  // namespace velmora::tool
