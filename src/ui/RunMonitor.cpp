#include "ui/RunMonitor.h"

#include <cstdio>

#include "run/RunParameters.h"
#include "ui/DialogTemplate.h"
#include "ui/Format.h"
#include "ui/LogFile.h"
#include "ui/Messages.h"

namespace {
RunMonitor* active = nullptr;

std::string printed(const char* format, long long value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
}  // namespace

RunMonitor* activeMonitor() { return active; }

RunMonitor::RunMonitor() {
    WindowSystem& ws = windowSystem();
    statusBox = std::make_unique<TCount_win>("StatusBox", ws.activeWindow());
    active = this;
    if (LogFile::open()) {
        const std::string now = ws.localTime();
        LogFile::writeLine("", "");
        LogFile::writeLine("- Start", now);
        LogFile::writeLine("- Model", parameters.modelFile.str());
        LogFile::writeLine("- Defaults", parameters.settingsFile.str());
    }
    running = true;
}

RunMonitor::~RunMonitor() {
    running = false;
    active = nullptr;
    statusBox.reset();
    if (LogFile::isOpen()) {
        LogFile::writeLine("- Stop", windowSystem().localTime());
        LogFile::close();
    }
}

void RunMonitor::createStatusBox() {
    using namespace StatusItem;
    WindowSystem& ws = windowSystem();
    statusBox->create();
    ws.setBigIcon(statusBox->window(), "TTRACE");
    ws.setCaption(statusBox->window(), std::string(programTitle) + " - " + parameters.modelFile.fileNamePart());
    const RunParameters& p = parameters;
    statusBox->setItemText(level, printed("%llu", p.Level));
    statusBox->setItemText(history, printed("%lld", p.History));
    statusBox->setItemNumber(StatusItem::time, p.Time);
    statusBox->setItemNumber(resolution, p.Precision);
    statusBox->setItemNumber(humidity, p.Humidity);
    statusBox->setItemNumber(temperature, p.Temperature);
    statusBox->setItemText(diffraction, printed("%lld", p.Diffraction));
    statusBox->setItemText(randomize, printed("%lld", p.RandomizeAfter));
    statusBox->setItemText(activeCpus, printed("%lld", p.OpenMP));
    const WindowHandle box = statusBox->window();
    ws.checkItem(box, diffusion, p.Diffusion);
    ws.checkItem(box, saveDiffuseHits, p.SaveDiffuseHits);
    ws.checkItem(box, alwaysObstructing, p.AlwaysObstructing);
    ws.checkItem(box, saveAll, p.SaveAll);
    ws.checkItem(box, saveHits, p.HitLevel >= 0);
    ws.checkItem(box, saveEscaped, p.SaveEscaped);
}

void RunMonitor::showSource(std::string_view loudspeakerName, int index, int count) {
    statusBox->setItemText(StatusItem::speakerFile, loudspeakerName);
    char text[64];
    std::snprintf(text, sizeof text, "%s (%d of %d)", letterCode(static_cast<std::uint32_t>(index + 1)).c_str(),
                  index + 1, count);
    statusBox->setItemText(StatusItem::sourceNumber, text);
    sourceIndex = index;
    sourceCount = count;
}

void RunMonitor::startSource(std::uint32_t total) {
    WindowSystem& ws = windowSystem();
    pyramidTotal = total;
    elapsedSeconds = 0;
    // Start on a fresh tick, so that the first second of a source is a whole one.
    const std::uint32_t before = ws.clockMs();
    while (ws.clockMs() == before) {
    }
    sourceStart = ws.clockMs();
    if (runStart == 0) runStart = sourceStart;
}

bool RunMonitor::update(std::uint32_t done, std::uint32_t escaped, std::uint32_t edges) {
    // Seven of eight calls within a source return at once: the box is not worth more.
    if (done < pyramidTotal && done % 8 != 0) return !running;
    const std::uint32_t now = windowSystem().clockMs();
    elapsedSeconds = static_cast<double>((now - sourceStart) / 1000);
    if (elapsedSeconds != static_cast<double>(lastElapsed_) || done == pyramidTotal) refresh(now, done, escaped, edges);
    if (pumpMessages()) running = false;
    return !running;
}

void RunMonitor::refresh(std::uint32_t now, std::uint32_t done, std::uint32_t escaped, std::uint32_t edges) {
    using namespace StatusItem;
    statusBox->setItemText(pyramidsDone, printed("%llu", done));
    if (escaped != lastEscaped_) {
        statusBox->setItemText(escapes, printed("%lld", static_cast<std::int32_t>(escaped)));
        lastEscaped_ = escaped;
    }
    if (edges != lastEdges_) {
        statusBox->setItemText(StatusItem::edges, printed("%lld", static_cast<std::int32_t>(edges)));
        lastEdges_ = edges;
    }
    statusBox->setItemText(elapsed, formatDuration(elapsedSeconds));
    // Before the first pyramid is done there is nothing to scale: the estimate shows zero.
    statusBox->setItemText(estimated, formatDuration(done ? pyramidTotal * elapsedSeconds / done : 0));
    const double runSeconds = (now - runStart) / 1000.0;
    statusBox->setItemText(totalElapsed, formatDuration(runSeconds));
    const std::uint32_t allPyramids = static_cast<std::uint32_t>(sourceCount) * pyramidTotal;
    const std::uint32_t pyramidsDone = static_cast<std::uint32_t>(sourceIndex) * pyramidTotal + done;
    statusBox->setItemText(totalEstimated, formatDuration(pyramidsDone ? allPyramids * runSeconds / pyramidsDone : 0));
    showProgress(done);
    lastElapsed_ = static_cast<std::int64_t>(elapsedSeconds);
}

void RunMonitor::showProgress(std::uint32_t done) {
    WindowSystem& ws = windowSystem();
    const WindowHandle box = statusBox->window();
    // Past 256 sources a bar of pyramids would hardly move: it counts sources instead.
    const bool bySource = sourceCount > 256;
    if (lastElapsed_ <= 0) {
        const std::uint32_t high = bySource ? static_cast<std::uint32_t>(sourceCount)
                                            : static_cast<std::uint32_t>(sourceCount) * pyramidTotal;
        ws.setProgressRange(box, StatusItem::progress, 0, high);
    }
    ws.setProgressPosition(box, StatusItem::progress,
                           bySource ? static_cast<std::uint32_t>(sourceIndex)
                                    : static_cast<std::uint32_t>(sourceIndex) * pyramidTotal + done);
}

std::string RunMonitor::totalElapsedText() { return statusBox->keepItemText(StatusItem::totalElapsed); }

void RunMonitor::addMessage(std::string_view text) {
    if (!statusBox->exists()) return;
    WindowSystem& ws = windowSystem();
    const int line = ws.addListLine(statusBox->window(), StatusItem::messages, text);
    if (messageCount_++ == 0) ws.selectListLine(statusBox->window(), StatusItem::messages, line);
}

void RunMonitor::setStatus(std::string_view text) { statusBox->setItemText(StatusItem::status, text); }
