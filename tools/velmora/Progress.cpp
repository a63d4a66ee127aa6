#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Console.h"
#include "Interrupt.h"

namespace velmora::tool {

namespace {

constexpr auto firstDrawAfter = std::chrono::milliseconds(300);
constexpr auto redrawEvery = std::chrono::milliseconds(100);
// The clock is read once per this many frames, not once per block.
constexpr std::int64_t framesPerCheck = 4096;
constexpr int minBarWidth = 10;
constexpr int maxBarWidth = 40;

int terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        char* end = nullptr;
        const long n = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && n > 0 && n < 100000) return int(n);
    }
    return 80;
}

}  // namespace

std::string clockText(double seconds) {
    const long total = std::lround(std::max(0.0, std::min(seconds, 359999.0)));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string progressLine(const std::string& label, double share, double elapsed, double speed, int columns) {
    char numbers[96];
    const double left = speed > 0.0 && share > 0.0 ? elapsed * (1.0 - share) / share : 0.0;
    std::snprintf(numbers, sizeof numbers, " %3d%%  %s  %.1fx  %s left", static_cast<int>(share * 100.0),
                  clockText(elapsed).c_str(), speed, clockText(left).c_str());
    const int room = columns - 3 - static_cast<int>(std::string(numbers).size()) - 3;  // " [" and "]"
    const int barWidth = std::clamp(room - static_cast<int>(label.size()), minBarWidth, maxBarWidth);
    const int labelRoom = std::max(0, room - barWidth);
    std::string line = label.size() <= static_cast<std::size_t>(labelRoom) ? label : label.substr(0, labelRoom);
    const int filled = static_cast<int>(share * barWidth);
    line += " [" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]" + numbers;
    return line.substr(0, static_cast<std::size_t>(std::max(columns - 3, 0)));
}

Progress::Progress(std::string label, std::int64_t totalFrames, int sampleRate)
    : label_(std::move(label)),
      total_(totalFrames),
      sampleRate_(sampleRate),
      enabled_(totalFrames > 0 && sampleRate > 0 && !isQuiet() && isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

Progress::~Progress() { finish(); }

void Progress::update(std::int64_t framesDone) {
    if (!enabled_ || framesDone < nextCheck_) return;
    nextCheck_ = framesDone + framesPerCheck;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < firstDrawAfter || (drawn_ && now - lastDraw_ < redrawEvery)) return;
    lastDraw_ = now;
    draw(framesDone, std::chrono::duration<double>(now - start_).count());
}

void Progress::draw(std::int64_t framesDone, double elapsedSeconds) {
    const double share = std::clamp(static_cast<double>(framesDone) / static_cast<double>(total_), 0.0, 1.0);
    const double speed = static_cast<double>(framesDone) / sampleRate_ / std::max(elapsedSeconds, 1e-9);
    const std::string line = progressLine(label_, share, elapsedSeconds, speed, terminalColumns());
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
    setProgressShown(true);
}

void Progress::finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
    setProgressShown(false);
}

}  // namespace velmora::tool
