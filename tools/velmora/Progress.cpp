#include "Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "Console.h"

namespace velmora::tool {

namespace {
constexpr auto firstDrawAfter = std::chrono::milliseconds(300);
constexpr auto redrawEvery = std::chrono::milliseconds(100);
constexpr int barWidth = 40;
}  // namespace

Progress::Progress(std::string label, std::int64_t totalFrames)
    : label_(std::move(label)),
      total_(totalFrames),
      enabled_(totalFrames > 0 && !isQuiet() && isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

Progress::~Progress() { finish(); }

void Progress::update(std::int64_t framesDone) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < firstDrawAfter || (drawn_ && now - lastDraw_ < redrawEvery)) return;
    lastDraw_ = now;
    draw(framesDone);
}

void Progress::draw(std::int64_t framesDone) {
    const double share = std::clamp(static_cast<double>(framesDone) / static_cast<double>(total_), 0.0, 1.0);
    const int filled = static_cast<int>(share * barWidth);
    char bar[barWidth + 1];
    for (int i = 0; i < barWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[barWidth] = '\0';
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar, static_cast<int>(share * 100.0));
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size()) + barWidth + 8, "");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace velmora::tool
