#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "results/SvgPlot.h"

namespace {
// The path a single series draws in a plot spanning 0 to 10 on both axes.
std::string pathOf(SvgPlot::Style style, std::vector<std::pair<double, double>> points) {
    SvgPlot plot("title", "x (s)", "y (dB)");
    plot.setXRange(0, 10);
    plot.setYRange(0, 10);
    plot.add({"series", "#123456", std::move(points), style});
    const std::string svg = plot.svg();
    const std::size_t at = svg.find("<path d=\"") + 9;
    return svg.substr(at, svg.find('"', at) - at);
}
}  // namespace

// The plot's area runs from x 64 to 570 and from y 312 (its bottom) up to 34: a larger value is drawn higher on the
// screen, values beyond the y range are held at its edge, and points beyond the x range or not finite lift the pen.
TEST(SvgPlotTest, PointsLandInThePlotAreaLargerValuesHigher) {
    const double nan = std::nan("");
    const struct {
        SvgPlot::Style style;
        std::vector<std::pair<double, double>> points;
        const char* path;
    } cases[] = {
        {SvgPlot::Style::line, {{0, 0}, {10, 10}}, "M64.0 312.0L570.0 34.0"},
        {SvgPlot::Style::line, {{5, 5}, {5, 20}, {5, -3}}, "M317.0 173.0L317.0 34.0L317.0 312.0"},
        {SvgPlot::Style::line, {{0, 0}, {11, 5}, {10, 10}, {nan, 1}, {0, 10}}, "M64.0 312.0M570.0 34.0M64.0 34.0"},
        {SvgPlot::Style::stems, {{5, 10}}, "M317.0 312.0V34.0"},
        {SvgPlot::Style::markers, {{0, 10}}, "M59.0 34.0h10M64.0 29.0v10"},
    };
    for (const auto& c : cases) EXPECT_EQ(pathOf(c.style, c.points), c.path) << c.path;
}
