#include "ui/RecordingWindowSystem.h"

#include "ui/TDialog.h"

bool RecordingWindowSystem::messageBox(WindowHandle, std::string_view text, std::string_view caption, BoxKind kind) {
    bool answer = true;
    if (kind == BoxKind::Question) {
        answer = answers.empty() ? defaultAnswer : answers.front();
        if (!answers.empty()) answers.pop_front();
    }
    boxes.push_back({std::string(caption), std::string(text), kind, answer});
    return answer;
}

void RecordingWindowSystem::beep(Beep kind) { beeps.push_back(kind); }

bool RecordingWindowSystem::pumpMessages() {
    ++pumpCount;
    bool quit = false;
    while (!posted.empty()) {
        const int message = posted.front();
        posted.pop_front();
        if (message == 0)
            quit = true;
        else
            dispatchDialogMessage(topWindow(), DialogMessage::Command, message);
    }
    return quit;
}

std::uint32_t RecordingWindowSystem::clockMs() const {
    const std::uint32_t reading = now;
    now += clockStep;
    return reading;
}

void RecordingWindowSystem::exitProcess(int status) { throw ProcessExit{status}; }

std::string RecordingWindowSystem::text(int id) const { return itemText(topWindow(), id, std::string::npos); }
