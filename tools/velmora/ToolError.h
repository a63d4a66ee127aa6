// The error every velmora command throws for a failure the user should see:
// main turns it into one line "velmora: error: ..." and a non-zero exit.
#pragma once

#include <stdexcept>

namespace velmora::tool {

class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace velmora::tool
