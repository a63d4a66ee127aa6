// Normal (non-error) output of the commands. `--quiet` silences it; error
// messages go through main and are never silenced, and neither are
// warnings.
#pragma once

#include <cstddef>
#include <string>

namespace velmora::tool {

void setQuiet(bool quiet);
bool isQuiet();

// Sends say()'s lines to stderr, for when stdout carries audio.
void setLogToStderr(bool toStderr);

// One line on stdout (or stderr, see above), unless quiet.
void say(const std::string& line);

// "velmora: warning: TEXT" on stderr, quiet or not.
void warn(const std::string& text);

// Text from a plug-in, made safe to print: control bytes become '?'.
std::string printable(const std::string& text);

// Text without leading and trailing spaces (plug-in names are padded).
std::string trimmed(const std::string& text);

// Lower case without spaces: the form in which names, words and units
// typed by the user are compared with the plug-in's ("Step 1" = "step1").
std::string textKey(const std::string& text);

// The text between two `mark` characters: 'KvGt', "Init".
std::string enclosed(const std::string& text, char mark);

// The text followed by spaces up to `width` characters, for tables.
std::string padded(const std::string& text, std::size_t width);

// "1 frame", "2 frames".
std::string counted(long long n, const std::string& noun);

}  // namespace velmora::tool
