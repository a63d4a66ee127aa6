#include "Plot.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>

#include "ToolError.h"

namespace velmora::tool {

namespace {

constexpr int width = 900;
constexpr int marginLeft = 64;
constexpr int marginRight = 24;
constexpr int marginBottom = 48;
constexpr int plotHeight = 260;
constexpr double titleSize = 16.0;
constexpr double textSize = 11.0;
constexpr double lineGap = 4.0;

struct Rgb {
    double r, g, b;
};
constexpr Rgb seriesColours[] = {{0.12, 0.37, 0.75}, {0.85, 0.45, 0.10}, {0.20, 0.60, 0.30}};

double niceStep(double range, int targetTicks) {
    const double raw = range / targetTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    const double nice = norm < 1.5 ? 1.0 : norm < 3.0 ? 2.0 : norm < 7.0 ? 5.0 : 10.0;
    return nice * magnitude;
}

std::string tickText(double value, double step) {
    if (std::fabs(value) < step * 1e-6) value = 0.0;
    char text[32];
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

double textWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

// Greedy wrap of the comma-separated settings into lines of at most `maxWidth`.
std::vector<std::string> wrapSettings(cairo_t* cr, const std::vector<std::string>& items, double maxWidth) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string piece = items[i] + (i + 1 < items.size() ? "," : "");
        std::string candidate = line;
        if (!candidate.empty()) candidate += ' ';
        candidate += piece;
        if (!line.empty() && textWidth(cr, candidate) > maxWidth) {
            lines.push_back(line);
            line = piece;
        } else {
            line = candidate;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

struct Layout {
    std::vector<std::string> settingLines;
    double top;  // y of the plotting area
    int height;  // of the whole image
};

Layout layOut(const PlotData& plot) {
    // Measure the wrapped settings on a scratch surface first: they decide the height.
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, textSize);
    Layout layout;
    layout.settingLines = wrapSettings(cr, plot.settings, width - marginLeft - marginRight);
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    layout.top = 14.0 + titleSize + lineGap + layout.settingLines.size() * (textSize + lineGap) + 14.0;
    layout.height = static_cast<int>(std::ceil(layout.top)) + plotHeight + marginBottom;
    return layout;
}

// Where the plotting area lies and how gain and time map into it.
struct Axes {
    double left, right, top, bottom;
    double low, high, yStep;  // the gain grid: from low to high in steps of yStep
    double yLow, yHigh;       // the gain at the bottom and top edges
    double duration;
    double x(double t) const { return left + (right - left) * t / duration; }
    double y(double g) const { return bottom - (bottom - top) * (g - yLow) / (yHigh - yLow); }
};

// The gain range covers 0 to 1 and every finite point, on a grid of round steps.
Axes axesFor(const PlotData& plot, const Layout& layout) {
    Axes a{};
    a.left = marginLeft;
    a.right = width - marginRight;
    a.top = layout.top;
    a.bottom = layout.top + plotHeight;
    a.low = 0.0;
    a.high = 1.0;
    for (const auto& s : plot.series)
        for (const auto& [t, g] : s.points)
            if (std::isfinite(g)) {
                a.low = std::min(a.low, g);
                a.high = std::max(a.high, g);
            }
    a.yStep = niceStep(a.high - a.low, 5);
    a.low = std::floor(a.low / a.yStep) * a.yStep;
    a.high = std::ceil(a.high / a.yStep) * a.yStep;
    if (a.high - a.low < a.yStep) a.high = a.low + a.yStep;
    const double headroom = (a.high - a.low) * 0.04;
    a.yLow = a.low - (a.low < 0 ? headroom : 0.0);
    a.yHigh = a.high + headroom;
    a.duration = plot.duration > 0 ? plot.duration : 1.0;
    return a;
}

void setFont(cairo_t* cr, cairo_font_weight_t weight, double size) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, weight);
    cairo_set_font_size(cr, size);
}

void drawText(cairo_t* cr, double x, double y, const std::string& text) {
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text.c_str());
}

void drawLine(cairo_t* cr, double x0, double y0, double x1, double y1) {
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

// White background, the title and the wrapped settings below it.
void drawHeading(cairo_t* cr, const PlotData& plot, const Layout& layout) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    setFont(cr, CAIRO_FONT_WEIGHT_BOLD, titleSize);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    drawText(cr, marginLeft, 14.0 + titleSize, plot.title);
    setFont(cr, CAIRO_FONT_WEIGHT_NORMAL, textSize);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    double y = 14.0 + titleSize + lineGap;
    for (const auto& line : layout.settingLines) {
        y += textSize + lineGap;
        drawText(cr, marginLeft, y, line);
    }
}

// Vertical grid lines with the time below each, horizontal ones with the gain.
void drawGrid(cairo_t* cr, const Axes& a) {
    cairo_set_line_width(cr, 1.0);
    const double xStep = niceStep(a.duration, 10);
    for (int i = 0; i * xStep <= a.duration * (1 + 1e-9); ++i) {
        const double x = std::round(a.x(i * xStep)) + 0.5;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        drawLine(cr, x, a.top, x, a.bottom);
        const std::string label = tickText(i * xStep, xStep);
        cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
        drawText(cr, x - textWidth(cr, label) / 2, a.bottom + 16, label);
    }
    for (int i = 0; a.low + i * a.yStep <= a.high * (1 + 1e-9) + 1e-12; ++i) {
        const double g = a.low + i * a.yStep;
        const double y = std::round(a.y(g)) + 0.5;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        drawLine(cr, a.left, y, a.right, y);
        const std::string label = tickText(g, a.yStep);
        cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
        drawText(cr, a.left - 8 - textWidth(cr, label), y + 4, label);
    }
}

// The axis names and the frame around the plotting area.
void drawAxisNames(cairo_t* cr, const Axes& a) {
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
    const std::string xLabel = "time (s)";
    drawText(cr, (a.left + a.right) / 2 - textWidth(cr, xLabel) / 2, a.bottom + 36, xLabel);
    cairo_save(cr);
    const std::string yLabel = "gain (linear)";
    cairo_move_to(cr, 18, (a.top + a.bottom) / 2 + textWidth(cr, yLabel) / 2);
    cairo_rotate(cr, -M_PI / 2);
    cairo_show_text(cr, yLabel.c_str());
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
    cairo_rectangle(cr, a.left + 0.5, a.top + 0.5, a.right - a.left - 1, a.bottom - a.top - 1);
    cairo_stroke(cr);
}

// The curves, clipped to the plotting area; a non-finite point is a gap.
void drawCurves(cairo_t* cr, const PlotData& plot, const Axes& a) {
    cairo_save(cr);
    cairo_rectangle(cr, a.left, a.top, a.right - a.left, a.bottom - a.top);
    cairo_clip(cr);
    cairo_set_line_width(cr, 1.5);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (std::size_t k = 0; k < plot.series.size(); ++k) {
        const Rgb colour = seriesColours[k % std::size(seriesColours)];
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        bool drawing = false;
        for (const auto& [t, g] : plot.series[k].points) {
            if (!std::isfinite(g)) {
                drawing = false;
                continue;
            }
            if (drawing)
                cairo_line_to(cr, a.x(t), a.y(g));
            else
                cairo_move_to(cr, a.x(t), a.y(g));
            drawing = true;
        }
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

// The legend above the plot's right edge, when there is more than one curve.
void drawLegend(cairo_t* cr, const PlotData& plot, const Axes& a) {
    if (plot.series.size() < 2) return;
    double x = a.right - 10;
    for (std::size_t k = plot.series.size(); k-- > 0;) {
        const Rgb colour = seriesColours[k % std::size(seriesColours)];
        x -= textWidth(cr, plot.series[k].name);
        cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
        drawText(cr, x, a.top - 6, plot.series[k].name);
        x -= 22;
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        drawLine(cr, x, a.top - 10, x + 16, a.top - 10);
        x -= 14;
    }
}

void draw(cairo_t* cr, const PlotData& plot, const Layout& layout) {
    const Axes axes = axesFor(plot, layout);
    drawHeading(cr, plot, layout);
    drawGrid(cr, axes);
    drawAxisNames(cr, axes);
    drawCurves(cr, plot, axes);
    drawLegend(cr, plot, axes);
}

struct StreamState {
    const std::function<void(const unsigned char*, unsigned)>* write;
    std::exception_ptr error;
};

extern "C" cairo_status_t writeToStream(void* closure, const unsigned char* data, unsigned length) {
    auto* state = static_cast<StreamState*>(closure);
    if (state->error) return CAIRO_STATUS_WRITE_ERROR;
    try {
        (*state->write)(data, length);
        return CAIRO_STATUS_SUCCESS;
    } catch (...) {
        state->error = std::current_exception();
        return CAIRO_STATUS_WRITE_ERROR;
    }
}

void check(cairo_status_t status, const StreamState& state) {
    if (state.error) std::rethrow_exception(state.error);
    if (status != CAIRO_STATUS_SUCCESS)
        throw ToolError(std::string("cannot draw the plot: ") + cairo_status_to_string(status));
}

}  // namespace

SeriesDecimator::SeriesDecimator(std::int64_t totalFrames, int columns)
    : total_(std::max<std::int64_t>(totalFrames, 1)), columns_(std::max(columns, 1)) {}

void SeriesDecimator::add(float value) {
    const std::int64_t index = index_++;
    const int column = static_cast<int>(index * columns_ / total_);
    if (column != column_) {
        flushColumn();
        column_ = column;
    }
    // Few frames per column: keep every one.
    if (total_ <= 2 * static_cast<std::int64_t>(columns_) || !std::isfinite(value)) {
        flushColumn();
        points_.emplace_back(index, std::isfinite(value) ? value : std::numeric_limits<float>::quiet_NaN());
        return;
    }
    const std::pair<std::int64_t, float> point{index, value};
    if (empty_) {
        first_ = low_ = high_ = point;
        empty_ = false;
    }
    if (value < low_.second) low_ = point;
    if (value > high_.second) high_ = point;
    last_ = point;
}

void SeriesDecimator::flushColumn() {
    if (empty_) return;
    std::pair<std::int64_t, float> kept[] = {first_, low_, high_, last_};
    std::sort(std::begin(kept), std::end(kept));
    for (std::size_t i = 0; i < std::size(kept); ++i)
        if (i == 0 || kept[i].first != kept[i - 1].first) points_.push_back(kept[i]);
    empty_ = true;
}

std::vector<std::pair<std::int64_t, float>> SeriesDecimator::finish() {
    flushColumn();
    return std::move(points_);
}

int plotColumns() { return width - marginLeft - marginRight; }

void drawPlot(const PlotData& plot, PlotFormat format,
              const std::function<void(const unsigned char*, unsigned)>& write) {
    const Layout layout = layOut(plot);
    StreamState state{&write, nullptr};
    cairo_surface_t* surface = format == PlotFormat::svg
                                   ? cairo_svg_surface_create_for_stream(writeToStream, &state, width, layout.height)
                                   : cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, layout.height);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> owner(surface, cairo_surface_destroy);
    check(cairo_surface_status(surface), state);
    cairo_t* cr = cairo_create(surface);
    draw(cr, plot, layout);
    const cairo_status_t drawStatus = cairo_status(cr);
    cairo_destroy(cr);
    check(drawStatus, state);
    if (format == PlotFormat::png) {
        check(cairo_surface_write_to_png_stream(surface, writeToStream, &state), state);
    } else {
        cairo_surface_finish(surface);
        check(cairo_surface_status(surface), state);
    }
}

}  // namespace velmora::tool
