// The command line's chain of plug-ins: `render A IN OUT --set x=1 --then B
// --set y=2` renders through A, then B. Each `--then PLUGIN` takes the
// --set and --program options right after it; they are taken out of the
// arguments before the rest is parsed.
#pragma once

#include <string>
#include <vector>

#include "Commands.h"

namespace velmora::tool {

struct SplitArguments {
    std::vector<std::string> rest;  // what the command-line parser sees
    std::vector<ChainLink> links;   // one per --then
};

// Throws ToolError for a --then without a plug-in, a --set or --program
// without its value, or a --program that is not a whole number.
SplitArguments splitChainArguments(const std::vector<std::string>& args);

}  // namespace velmora::tool
