#include "ui/Messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "ui/LogFile.h"
#include "ui/RunMonitor.h"
#include "ui/WindowSystem.h"

namespace {
std::string vformat(const char* format, va_list arguments) {
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    return text;
}

bool box(Beep beep, BoxKind kind, const char* caption, const std::string& text) {
    WindowSystem& ws = windowSystem();
    ws.beep(beep);
    return ws.messageBox(ws.focusWindow(), text, caption, kind);
}

// During a run a report goes to the message list and the log; outside one it
// needs a box, since nobody would see it otherwise.
bool report(const std::string& text, const char* prefix, Beep beep) {
    RunMonitor* monitor = activeMonitor();
    if (!monitor) {
        box(beep, BoxKind::Warning, "Warning", text);
        return false;
    }
    monitor->addMessage(text);
    LogFile::writeLine(prefix, text);
    windowSystem().beep(beep);
    return windowSystem().pumpMessages();
}
}  // namespace

#define FORMAT_ARGUMENTS(text)          \
    va_list arguments;                  \
    va_start(arguments, format);        \
    const std::string text = vformat(format, arguments); \
    va_end(arguments)

std::string formatText(const char* format, ...) {
    FORMAT_ARGUMENTS(text);
    return text;
}

void fatalError(const char* format, ...) {
    FORMAT_ARGUMENTS(text);
    box(Beep::Stop, BoxKind::Error, "Error", text);
    windowSystem().exitProcess(1);
    // exitProcess does not return; this only tells the compiler so.
    std::abort();
}

bool showError(const char* format, ...) {
    FORMAT_ARGUMENTS(text);
    box(Beep::Stop, BoxKind::Error, "Error", text);
    return false;
}

bool showWarning(const char* format, ...) {
    FORMAT_ARGUMENTS(text);
    box(Beep::Exclamation, BoxKind::Warning, "Warning", text);
    return false;
}

bool confirm(const char* format, ...) {
    FORMAT_ARGUMENTS(text);
    return box(Beep::Question, BoxKind::Question, "Confirmation", text);
}

void reportWarning(const char* format, ...) {
    FORMAT_ARGUMENTS(text);
    report(text, "!", Beep::Question);
}

bool reportError(const char* format, ...) {
    FORMAT_ARGUMENTS(text);
    return report(text, "?", Beep::Stop);
}

void showStatus(const char* format, ...) {
    RunMonitor* monitor = activeMonitor();
    if (!monitor) return;
    FORMAT_ARGUMENTS(text);
    monitor->setStatus(text);
    windowSystem().pumpMessages();
}

bool pumpMessages() { return windowSystem().pumpMessages(); }
