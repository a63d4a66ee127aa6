// Line plots of gain over time, drawn with cairo as PNG or SVG.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace velmora::tool {

// Reduces a long series to a few points per pixel column (the first, the
// lowest, the highest and the last value of each column, in time order),
// so sharp edges survive and the plot file stays small. Non-finite values
// become gaps (NaN points).
class SeriesDecimator {
public:
    SeriesDecimator(std::int64_t totalFrames, int columns);
    void add(float value);
    // Frame index and value of each kept point; call once, after the last add.
    std::vector<std::pair<std::int64_t, float>> finish();

private:
    void flushColumn();

    std::int64_t total_;
    int columns_;
    std::int64_t index_ = 0;
    int column_ = 0;
    bool empty_ = true;
    std::pair<std::int64_t, float> first_, last_, low_, high_;
    std::vector<std::pair<std::int64_t, float>> points_;
};

struct PlotSeries {
    std::string name;
    std::vector<std::pair<double, double>> points;  // (seconds, gain); NaN gain is a gap
};

struct PlotData {
    std::string title;
    std::vector<std::string> settings;  // wrapped below the title
    double duration = 1.0;              // seconds on the x axis
    std::vector<PlotSeries> series;
};

enum class PlotFormat { png, svg };

// Pixel columns of the plotting area, for SeriesDecimator.
int plotColumns();

// Draws the plot and hands the encoded file to `write` in pieces. Throws
// ToolError when cairo reports an error.
void drawPlot(const PlotData& plot, PlotFormat format,
              const std::function<void(const unsigned char*, unsigned)>& write);

}  // namespace velmora::tool
