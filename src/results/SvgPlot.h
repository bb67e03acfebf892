#pragma once
#include <string>
#include <vector>

/// A line plot drawn as inline SVG: linear axes with ticks and their units, named series and a legend.
///
/// The page shows it without any script; a click on a legend entry hides or shows its series where scripts run.
class SvgPlot {
public:
    /// How a series is drawn.
    enum class Style { line, dashed, stems, markers };

    /// A named set of points (x, y) in the plot's units.
    struct Series {
        std::string name;
        std::string colour;
        std::vector<std::pair<double, double>> points;
        Style style = Style::line;
        /// Series left out of the legend (a fit drawn in its band's colour).
        bool inLegend = true;
    };

    /// An empty plot; the labels name the quantity and unit of each axis, e.g. "time (ms)".
    SvgPlot(std::string title, std::string xLabel, std::string yLabel);

    /// Adds a series, drawn over those added before it and listed after them in the legend.
    void add(Series series) { series_.push_back(std::move(series)); }
    /// Fixes the y range (points outside it are clipped); otherwise it spans the points.
    void setYRange(double low, double high);
    /// Fixes the x range; otherwise it spans the points.
    void setXRange(double low, double high);
    /// The <svg> element.
    std::string svg() const;

private:
    struct Range {
        double low = 0, high = 1;
        bool fixed = false;
    };
    Range spanned(bool xAxis) const;
    std::string axes(const Range& x, const Range& y) const;
    std::string seriesPath(const Series& series, const Range& x, const Range& y) const;
    std::string legend() const;

    std::string title_, xLabel_, yLabel_;
    std::vector<Series> series_;
    Range x_, y_;
};

/// The colour of band b (0 to 9) in every plot of the report.
const char* bandColour(int band);
/// Text with &, <, > and " replaced by their character references.
std::string escapeHtml(const std::string& text);
