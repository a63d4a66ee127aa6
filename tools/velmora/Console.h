// Normal (non-error) output of the commands. `--quiet` silences it; error
// messages go through main and are never silenced.
#pragma once

#include <string>

namespace velmora::tool {

void setQuiet(bool quiet);
bool isQuiet();

// One line on stdout, unless quiet.
void say(const std::string& line);

// Text from a plug-in, made safe to print: control bytes become '?'.
std::string printable(const std::string& text);

// Text without leading and trailing spaces (plug-in names are padded).
std::string trimmed(const std::string& text);

}  // namespace velmora::tool
