#include "results/SvgPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double width = 720, height = 360;
constexpr double left = 64, right = 150, top = 34, bottom = 48;
constexpr double plotWidth = width - left - right, plotHeight = height - top - bottom;

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// A tick step of 1, 2 or 5 times a power of ten giving about six ticks over the span.
double tickStep(double span) {
    const double raw = span / 6;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * power) return factor * power;
    return 10 * power;
}

std::string tickLabel(double value, double step) {
    char text[32];
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
    std::snprintf(text, sizeof text, "%.*f", decimals, std::abs(value) < step / 1e6 ? 0.0 : value);
    return text;
}

}  // namespace

const char* bandColour(int band) {
    static const char* colours[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};
    return colours[static_cast<unsigned>(band) % 10];
}

std::string escapeHtml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            // Results files name the degree sign with the Latin-1 byte 0xB0; the page is UTF-8.
            case '\xB0':
                out += "&#176;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

SvgPlot::SvgPlot(std::string title, std::string xLabel, std::string yLabel)
    : title_(std::move(title)), xLabel_(std::move(xLabel)), yLabel_(std::move(yLabel)) {}

void SvgPlot::setYRange(double low, double high) { y_ = {low, high, true}; }
void SvgPlot::setXRange(double low, double high) { x_ = {low, high, true}; }

SvgPlot::Range SvgPlot::spanned(bool xAxis) const {
    const Range& fixed = xAxis ? x_ : y_;
    if (fixed.fixed) return fixed;
    double low = INFINITY, high = -INFINITY;
    for (const Series& s : series_)
        for (const auto& [x, y] : s.points) {
            const double v = xAxis ? x : y;
            if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
        }
    if (!(low <= high)) return {0, 1, false};
    // A single value gets a span around it, and the axis a margin so that markers are not cut by the frame.
    const double pad = high > low ? (high - low) * 0.05 : std::max(std::abs(low) * 0.1, 1.0);
    return {low - pad, high + pad, false};
}

std::string SvgPlot::axes(const Range& x, const Range& y) const {
    std::string out = "<rect x=\"" + number(left) + "\" y=\"" + number(top) + "\" width=\"" + number(plotWidth) +
                      "\" height=\"" + number(plotHeight) + "\" fill=\"none\" stroke=\"#444\"/>\n";
    const auto ticks = [&](const Range& r, bool xAxis) {
        const double step = tickStep(r.high - r.low);
        for (double v = std::ceil(r.low / step) * step; v <= r.high + step * 1e-9; v += step) {
            const double fraction = (v - r.low) / (r.high - r.low);
            const double px = xAxis ? left + fraction * plotWidth : left;
            const double py = xAxis ? top + plotHeight : top + plotHeight - fraction * plotHeight;
            out += xAxis ? "<line x1=\"" + number(px) + "\" y1=\"" + number(top) + "\" x2=\"" + number(px) +
                               "\" y2=\"" + number(py + 5) + "\" class=\"grid\"/>"
                         : "<line x1=\"" + number(px - 5) + "\" y1=\"" + number(py) + "\" x2=\"" +
                               number(left + plotWidth) + "\" y2=\"" + number(py) + "\" class=\"grid\"/>";
            out += xAxis ? "<text x=\"" + number(px) + "\" y=\"" + number(py + 18) + "\" text-anchor=\"middle\">"
                         : "<text x=\"" + number(px - 8) + "\" y=\"" + number(py + 4) + "\" text-anchor=\"end\">";
            out += tickLabel(v, step) + "</text>\n";
        }
    };
    ticks(x, true);
    ticks(y, false);
    out += "<text x=\"" + number(left + plotWidth / 2) + "\" y=\"" + number(height - 8) +
           "\" text-anchor=\"middle\" class=\"label\">" + escapeHtml(xLabel_) + "</text>\n";
    out += "<text transform=\"translate(16," + number(top + plotHeight / 2) +
           ") rotate(-90)\" text-anchor=\"middle\" class=\"label\">" + escapeHtml(yLabel_) + "</text>\n";
    out += "<text x=\"" + number(left) + "\" y=\"20\" class=\"title\">" + escapeHtml(title_) + "</text>\n";
    return out;
}

std::string SvgPlot::seriesPath(const Series& series, const Range& x, const Range& y) const {
    const auto px = [&](double v) { return left + (v - x.low) / (x.high - x.low) * plotWidth; };
    const auto py = [&](double v) {
        return top + plotHeight - (std::clamp(v, y.low, y.high) - y.low) / (y.high - y.low) * plotHeight;
    };
    std::string d;
    bool pen = false;
    for (const auto& [vx, vy] : series.points) {
        if (!std::isfinite(vx) || !std::isfinite(vy) || vx < x.low || vx > x.high) {
            pen = false;
            continue;
        }
        // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) of a literal + a string made in place.
        const std::string sx = number(px(vx)), sy = number(py(vy));
        if (series.style == Style::stems)
            d.append("M").append(sx).append(" ").append(number(py(y.low))).append("V").append(sy);
        else if (series.style == Style::markers)
            d.append("M").append(number(px(vx) - 5)).append(" ").append(sy).append("h10M").append(sx).append(" ")
                .append(number(py(vy) - 5)).append("v10");
        else
            d.append(pen ? "L" : "M").append(sx).append(" ").append(sy);
        pen = true;
    }
    const bool markers = series.style == Style::markers;
    return "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + series.colour + "\" stroke-width=\"" +
           (markers ? "2" : "1.4") + "\"" + (series.style == Style::dashed ? " stroke-dasharray=\"6 4\"" : "") + "/>";
}

std::string SvgPlot::legend() const {
    std::string out;
    double row = top + 8;
    for (std::size_t i = 0; i < series_.size(); ++i) {
        const Series& s = series_[i];
        if (!s.inLegend) continue;
        out += "<g class=\"key\" data-series=\"" + escapeHtml(s.name) + "\"><line x1=\"" + number(width - right + 12) +
               "\" y1=\"" + number(row) + "\" x2=\"" + number(width - right + 36) + "\" y2=\"" + number(row) +
               "\" stroke=\"" + s.colour + "\" stroke-width=\"3\"/><text x=\"" + number(width - right + 42) +
               "\" y=\"" + number(row + 4) + "\">" + escapeHtml(s.name) + "</text></g>\n";
        row += 18;
    }
    return out;
}

std::string SvgPlot::svg() const {
    Range x = spanned(true), y = spanned(false);
    // An empty or inverted span (a response of a single class) would divide by zero and never end its ticks.
    for (Range* r : {&x, &y})
        if (!(r->high > r->low) || !std::isfinite(r->high - r->low)) *r = {0, 1, false};
    std::string out = "<svg class=\"plot\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) +
                      "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(width) + ' ' + number(height) +
                      "\" role=\"img\" aria-label=\"" + escapeHtml(title_) + "\">\n";
    out += axes(x, y);
    for (const Series& s : series_)
        out += "<g class=\"series\" data-series=\"" + escapeHtml(s.name) + "\">" + seriesPath(s, x, y) + "</g>\n";
    out += legend();
    return out + "</svg>\n";
}
