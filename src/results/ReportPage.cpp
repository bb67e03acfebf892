#include "results/ReportPage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "results/SvgPlot.h"

namespace {

// Usual ranges of ISO 3382-1 (Table A.1, for concert halls and auditoria; EDT's range serves T20 and T30 too), and
// for STI the lower end of IEC 60268-16's "fair" rating.
struct UsualRange {
    const char* name;
    double low, high;
};
constexpr UsualRange usualRanges[] = {{"EDT", 1, 3},  {"T20", 1, 3},      {"T30", 1, 3},
                                      {"C80", -5, 5}, {"D50", 0.3, 0.7},  {"Ts", 60, 260},
                                      {"G", -2, 10},  {"LF", 0.05, 0.35}, {"STI", 0.45, 1}};
constexpr const char* bandParameterNames[] = {"EDT", "T20", "T30", "C50", "C80", "D50", "Ts", "G", "LF", "LFC", "LE"};
// The receivers whose plots the page holds: a thousand receivers' would make a page of a hundred megabytes.
constexpr std::size_t plottedReceivers = 100;
// Points per curve at most: about one per pixel of a plot's width.
constexpr std::size_t pointsPerCurve = 500;

const UsualRange* usualRange(const std::string& name) {
    for (const UsualRange& range : usualRanges)
        if (name == range.name) return &range;
    return nullptr;
}

// A value as the tables show it: to the digits a reader compares (the CSV keeps six significant ones).
std::string shown(double value, const std::string& unit) {
    if (std::isinf(value)) return value > 0 ? "+&#8734;" : "&#8722;&#8734;";
    const int decimals = unit == "dB" || unit == "ms" ? 1 : 2;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string cell(const ParameterRow* row) {
    if (!row) return "<td></td>";
    const ParameterValue& v = row->value;
    if (!v.value) return "<td class=\"none\" title=\"" + escapeHtml(v.note) + "\">&#8212;</td>";
    const UsualRange* range = usualRange(v.name);
    const bool unusual = range && (*v.value < range->low || *v.value > range->high);
    return unusual ? "<td class=\"out\" title=\"outside the usual range " + valueText(range->low) + " to " +
                         valueText(range->high) + "\">" + shown(*v.value, v.unit) + "</td>"
                   : "<td>" + shown(*v.value, v.unit) + "</td>";
}

double distanceToNearestSource(const ResultsContents& contents, const Microphone& microphone) {
    double nearest = INFINITY;
    for (const ResultsSource& source : contents.sources) {
        const Coord& p = microphone.axis.origin;
        nearest =
            std::min(nearest, std::hypot(p.x - source.position.x, p.y - source.position.y, p.z - source.position.z));
    }
    return nearest;
}

void writeHead(std::ostream& out, const std::string& title) {
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << escapeHtml(title)
        << "</title>\n<style>\n"
           "body{font-family:sans-serif;margin:1.5em;color:#222}table{border-collapse:collapse;margin:.5em 0 1.2em}\n"
           "td,th{border:1px solid #bbb;padding:2px 7px;text-align:right}th{background:#eee}\n"
           "td.out{background:#ffd9b3;font-weight:bold}td.none{color:#999;text-align:center}\n"
           "svg.plot{font-size:12px;margin:.4em 1em .4em 0}svg .grid{stroke:#ddd}svg .title{font-weight:bold}\n"
           "svg .key{cursor:pointer}svg .hidden{display:none}svg .key.off{opacity:.35}\n"
           "</style>\n</head>\n<body>\n<h1>"
        << escapeHtml(title) << "</h1>\n";
}

void writeRun(std::ostream& out, const ResultsContents& contents) {
    out << "<h2>Model, sources and settings</h2>\n<p>Model: "
        << escapeHtml(contents.modelName.empty() ? "(a job's sum)" : contents.modelName) << "; "
        << contents.receivers.size() << " receivers.</p>\n<table><tr><th>source</th><th>position (m)</th>";
    for (int b = 0; b < bandCount; ++b) out << "<th>Lw " << bandName(b) << " Hz (dB)</th>";
    out << "</tr>\n";
    for (const ResultsSource& s : contents.sources) {
        out << "<tr><td>" << escapeHtml(s.name) << "</td><td>" << valueText(s.position.x) << ", "
            << valueText(s.position.y) << ", " << valueText(s.position.z) << "</td>";
        for (double level : s.powerDb) out << "<td>" << valueText(level) << "</td>";
        out << "</tr>\n";
    }
    out << "</table>\n<table><tr><th>setting</th><th>value</th></tr>\n";
    for (const auto& [key, value] : contents.settings)
        out << "<tr><td>" << escapeHtml(key) << "</td><td>" << escapeHtml(value) << "</td></tr>\n";
    out << "</table>\n";
}

void writeTables(std::ostream& out, const ResultsContents& contents, const ParameterTable& table) {
    out << "<h2>Parameters</h2>\n<p>Marked: outside the usual range (ISO 3382-1 Table A.1; STI below 0.45). "
           "&#8212;: no value (hover for the reason).</p>\n";
    for (const char* name : bandParameterNames) {
        const ParameterRow* any = table.find(contents.receiverNumbers.front(), 0, name);
        out << "<h3>" << name
            << (any && !any->value.unit.empty() && any->value.unit != "1" ? " (" + any->value.unit + ")" : "")
            << "</h3>\n<table><tr><th>receiver</th>";
        for (int b = 0; b < bandCount; ++b) out << "<th>" << bandName(b) << " Hz</th>";
        out << "</tr>\n";
        for (int n : contents.receiverNumbers) {
            out << "<tr><th>" << n << "</th>";
            for (int b = 0; b < bandCount; ++b) out << cell(table.find(n, b, name));
            out << "</tr>\n";
        }
        out << "</table>\n";
    }
    out << "<h3>STI</h3>\n<table><tr><th>receiver</th><th>STI</th></tr>\n";
    for (int n : contents.receiverNumbers)
        out << "<tr><th>" << n << "</th>" << cell(table.find(n, -1, "STI")) << "</tr>\n";
    out << "</table>\n";
}

SvgPlot echogram(const Microphone& microphone, int receiver) {
    const ImpulseResponse& response = microphone.response;
    SvgPlot plot("Receiver " + std::to_string(receiver) + ": echogram, all bands", "time (ms)",
                 "energy (dB re strongest class)");
    std::vector<double> sums(response.classCount);
    for (std::uint32_t k = 0; k < response.classCount; ++k)
        for (float e : response.row(k)) sums[k] += e;
    const double strongest = sums.empty() ? 0 : *std::max_element(sums.begin(), sums.end());
    SvgPlot::Series series{"sum of bands", "#1f4e9a", {}, SvgPlot::Style::stems};
    // Stems of more classes than pixels would overlap: each stem stands for the strongest class of its group.
    const std::size_t group = sums.size() / pointsPerCurve + 1;
    for (std::size_t k = 0; k < sums.size(); k += group) {
        const double peak = *std::max_element(sums.begin() + k, sums.begin() + std::min(sums.size(), k + group));
        if (peak > 0) series.points.emplace_back(1000 * k * response.precision(), 10 * std::log10(peak / strongest));
    }
    plot.add(std::move(series));
    plot.setXRange(0, 1000 * response.classCount * response.precision());
    plot.setYRange(-60, 0);
    return plot;
}

SvgPlot decayCurves(const std::vector<EnergyDecay>& decays, int receiver) {
    SvgPlot plot("Receiver " + std::to_string(receiver) + ": decay curves (Schroeder), dashed: T30 fit",
                 "time after the direct sound (ms)", "level (dB)");
    double last = 0;
    for (int b = 0; b < bandCount; ++b) {
        const std::string name = bandName(b) + " Hz";
        SvgPlot::Series curve{name, bandColour(b), {}, SvgPlot::Style::line};
        const std::vector<DecayPoint> points = decays[b].curve();
        // A smooth curve keeps its shape with every n-th point, and its last.
        const std::size_t step = points.size() / pointsPerCurve + 1;
        for (std::size_t i = 0; i < points.size(); i += step)
            curve.points.emplace_back(1000 * points[i].time, points[i].level);
        if (!points.empty() && (points.size() - 1) % step != 0)
            curve.points.emplace_back(1000 * points.back().time, points.back().level);
        if (!curve.points.empty()) last = std::max(last, curve.points.back().first);
        plot.add(std::move(curve));
    }
    for (int b = 0; b < bandCount; ++b) {
        const std::optional<DecayFit> fit = decays[b].fit(-5, -35);
        if (!fit) continue;
        // The fitted line from time zero to where it reaches −60 dB or the plot ends.
        const double end = std::min((-60 - fit->intercept) / fit->slope, last / 1000);
        plot.add({bandName(b) + " Hz",
                  bandColour(b),
                  {{0, fit->intercept}, {1000 * end, fit->intercept + fit->slope * end}},
                  SvgPlot::Style::dashed,
                  false});
    }
    plot.setXRange(0, std::max(last, 1.0));
    plot.setYRange(-60, 0);
    return plot;
}

void writeReceivers(std::ostream& out, const ResultsContents& contents) {
    out << "<h2>Receivers</h2>\n";
    if (contents.receivers.size() > plottedReceivers)
        out << "<p>The plots of the first " << plottedReceivers << " of " << contents.receivers.size()
            << " receivers; the tables above and the CSV hold every receiver.</p>\n";
    for (std::size_t i = 0; i < std::min(contents.receivers.size(), plottedReceivers); ++i) {
        const Microphone& m = *contents.receivers[i];
        const int n = contents.receiverNumbers[i];
        out << "<h3>Receiver " << n << " at " << valueText(m.axis.origin.x) << ", " << valueText(m.axis.origin.y)
            << ", " << valueText(m.axis.origin.z) << " m";
        if (!contents.sources.empty())
            out << ", " << valueText(distanceToNearestSource(contents, m)) << " m from the nearest source";
        out << "</h3>\n" << echogram(m, n).svg() << decayCurves(receiverDecays(m), n).svg();
    }
}

// Values of 500 Hz and 1 kHz (or the STI) against distance, receivers in order of distance.
SvgPlot againstDistance(const ResultsContents& contents, const ParameterTable& table, const std::string& name) {
    const ParameterRow* any = table.find(contents.receiverNumbers.front(), name == "STI" ? -1 : 4, name);
    const std::string unit = any && any->value.unit != "1" ? " (" + any->value.unit + ")" : "";
    SvgPlot plot(name + " against distance", "distance from the nearest source (m)", name + unit);
    const std::vector<int> bands = name == "STI" ? std::vector<int>{-1} : std::vector<int>{4, 5};
    for (int b : bands) {
        SvgPlot::Series series{
            b < 0 ? "STI" : bandName(b) + " Hz", b < 0 ? "#1f4e9a" : bandColour(b), {}, SvgPlot::Style::markers};
        for (std::size_t i = 0; i < contents.receivers.size(); ++i) {
            const ParameterRow* row = table.find(contents.receiverNumbers[i], b, name);
            if (row && row->value.value)
                series.points.emplace_back(distanceToNearestSource(contents, *contents.receivers[i]),
                                           *row->value.value);
        }
        std::sort(series.points.begin(), series.points.end());
        plot.add(std::move(series));
    }
    return plot;
}

void writeDistances(std::ostream& out, const ResultsContents& contents, const ParameterTable& table) {
    if (contents.receivers.size() < 2 || contents.sources.empty()) return;
    out << "<h2>Parameters against distance</h2>\n";
    for (const char* name : {"T30", "EDT", "C80", "D50", "G", "STI"})
        out << againstDistance(contents, table, name).svg();
}

// Clicking a legend entry hides or shows the series of that name in its plot.
void writeScript(std::ostream& out) {
    out << "<script>\n"
           "document.querySelectorAll('svg.plot .key').forEach(function (key) {\n"
           "  key.addEventListener('click', function () {\n"
           "    var name = key.getAttribute('data-series');\n"
           "    key.classList.toggle('off');\n"
           "    key.ownerSVGElement.querySelectorAll('.series').forEach(function (s) {\n"
           "      if (s.getAttribute('data-series') === name) s.classList.toggle('hidden');\n"
           "    });\n"
           "  });\n"
           "});\n"
           "</script>\n";
}

}  // namespace

void writeReportPage(std::ostream& out, const std::string& title, const ResultsContents& contents,
                     const ParameterTable& table) {
    writeHead(out, title);
    writeRun(out, contents);
    writeTables(out, contents, table);
    writeReceivers(out, contents);
    writeDistances(out, contents, table);
    writeScript(out);
    out << "</body>\n</html>\n";
}
