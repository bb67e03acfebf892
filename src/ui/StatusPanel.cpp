#include "ui/StatusPanel.h"

#include <algorithm>

#include "ui/DialogTemplate.h"

namespace {
std::string textOf(const WindowState& state, int id) {
    const auto item = state.controls.find(id);
    return item == state.controls.end() ? std::string() : item->second.text;
}

bool checked(const WindowState& state, int id) {
    const auto item = state.controls.find(id);
    return item != state.controls.end() && item->second.checked;
}

const ControlState* controlOf(const WindowState& state, int id) {
    const auto item = state.controls.find(id);
    return item == state.controls.end() ? nullptr : &item->second;
}
}  // namespace

std::string progressBar(const ControlState& bar, int width) {
    const double span = bar.high > bar.low ? static_cast<double>(bar.high - bar.low) : 0.0;
    double share = span > 0 ? (static_cast<double>(bar.position) - bar.low) / span : 0.0;
    share = std::clamp(share, 0.0, 1.0);
    const int filled = static_cast<int>(share * width);
    std::string line(1, '[');
    line.append(static_cast<std::size_t>(filled), '#').append(static_cast<std::size_t>(width - filled), '-').append("] ");
    line += std::to_string(static_cast<int>(share * 100)) + "%";
    return line;
}

std::string parameterLine(const WindowState& s) {
    using namespace StatusItem;
    return "Level " + textOf(s, level) + "  History " + textOf(s, history) + "  Time " + textOf(s, time) +
           "  Resolution " + textOf(s, resolution) + "  Humidity " + textOf(s, humidity) + "  Temperature " +
           textOf(s, temperature) + "  Diffraction " + textOf(s, diffraction) + "  Randomize " +
           textOf(s, randomize) + "  Active CPUs " + textOf(s, activeCpus);
}

std::string optionLine(const WindowState& s) {
    using namespace StatusItem;
    const std::pair<int, const char*> options[] = {{diffusion, "Diffusion"},
                                                   {saveDiffuseHits, "Save Diffuse Hits"},
                                                   {alwaysObstructing, "All obstructing"},
                                                   {saveAll, "Save Separate Sources"},
                                                   {saveHits, "Save Hits"},
                                                   {saveEscaped, "Save Escaped Rays"}};
    std::string on;
    for (const auto& [id, name] : options)
        if (checked(s, id)) on += std::string(on.empty() ? "" : ", ") + name;
    return "Advanced: " + (on.empty() ? std::string("none") : on);
}

std::string sourceLine(const WindowState& s) {
    return "Source file: " + textOf(s, StatusItem::speakerFile) + "  " + textOf(s, StatusItem::sourceNumber);
}

std::string progressLine(const WindowState& s) {
    using namespace StatusItem;
    return "Pyramids " + textOf(s, pyramidsDone) + " of " + textOf(s, pyramidTotal) + "  Escapes " +
           textOf(s, escapes) + "  Edges " + textOf(s, edges) + "  Time " + textOf(s, elapsed) + " of " +
           textOf(s, estimated) + "  Total " + textOf(s, totalElapsed) + " of " + textOf(s, totalEstimated);
}

std::vector<std::string> panelLines(const WindowState& s, std::size_t messageLines) {
    std::vector<std::string> lines{s.caption};
    if (s.templateName == "WaitBox") {
        lines.push_back(textOf(s, WaitItem::fileName));
        if (const ControlState* bar = controlOf(s, WaitItem::progress)) lines.push_back(progressBar(*bar, 40));
        return lines;
    }
    // Two lines for the parameters, so that the panel fits an 80-column terminal.
    const std::string parameters = parameterLine(s);
    const std::size_t cut = parameters.find("  Temperature");
    lines.push_back(parameters.substr(0, cut));
    if (cut != std::string::npos) lines.push_back(parameters.substr(cut + 2));
    lines.push_back(optionLine(s));
    lines.push_back(sourceLine(s));
    lines.push_back(progressLine(s));
    if (const ControlState* bar = controlOf(s, StatusItem::progress)) lines.push_back(progressBar(*bar, 40));
    lines.push_back("Status: " + textOf(s, StatusItem::status));
    if (const ControlState* list = controlOf(s, StatusItem::messages); list && !list->lines.empty()) {
        lines.push_back("Messages (" + std::to_string(list->lines.size()) + "):");
        const std::size_t first = list->lines.size() > messageLines ? list->lines.size() - messageLines : 0;
        for (std::size_t i = first; i < list->lines.size(); ++i) lines.push_back("  " + list->lines[i]);
    }
    return lines;
}
