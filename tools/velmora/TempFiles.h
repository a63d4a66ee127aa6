// Unnamed temporary files, for the standard streams: standard input is
// read into one before libsndfile opens it (libsndfile needs to seek), and
// a render to standard output is written to one and copied out once
// complete.
#pragma once

namespace velmora::tool {

// Creates a file in $TMPDIR (else /tmp) and removes its name at once, so
// nothing is left behind however the process ends. Throws ToolError.
int unnamedTemporaryFile();

// Copies everything from the start of `from` to the current position of
// `to`; false with errno set on failure.
bool copyContents(int from, int to);

// Standard input copied into an unnamed temporary file, positioned at its
// start. Throws ToolError when standard input is a terminal or unreadable.
int spoolStandardInput();

}  // namespace velmora::tool
