// A progress bar on stderr for renders that take a while. It draws only
// when stderr is a terminal and output is not quiet, and only once the
// work has run for a moment, so short renders and scripts see nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace velmora::tool {

class Progress {
public:
    Progress(std::string label, std::int64_t totalFrames);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::int64_t framesDone);
    // Clears the bar's line, if one was drawn.
    void finish();

private:
    void draw(std::int64_t framesDone);

    std::string label_;
    std::int64_t total_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace velmora::tool
