// A progress bar on stderr for renders that take a while. It draws only
// when stderr is a terminal and output is not quiet, and only once the
// work has run for a moment, so short renders and scripts see nothing.
// The line fits the terminal's width and shows the time spent, the speed
// as a multiple of real time and the time left:
//   rendering song.wav [##########..........]  50%  0:04  42.0x  0:04 left
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace velmora::tool {

class Progress {
public:
    // `sampleRate` turns frames into seconds of audio for the speed.
    Progress(std::string label, std::int64_t totalFrames, int sampleRate);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::int64_t framesDone);
    // Clears the bar's line, if one was drawn.
    void finish();

private:
    void draw(std::int64_t framesDone, double elapsedSeconds);

    std::string label_;
    std::int64_t total_;
    int sampleRate_;
    bool enabled_;
    bool drawn_ = false;
    std::int64_t nextCheck_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// "0:07", "1:02:03": seconds as a clock reading.
std::string clockText(double seconds);

// The line of the bar for a terminal of `columns` columns, at most
// columns - 3 long: a full line wraps on some terminals, and the terminal's
// own "^C" must fit after it.
std::string progressLine(const std::string& label, double share, double elapsed, double speed, int columns);

}  // namespace velmora::tool
