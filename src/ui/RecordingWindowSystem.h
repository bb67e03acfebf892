#pragma once
#include <deque>
#include <string>
#include <vector>

#include "ui/WindowTable.h"

/// Thrown by the recording window system where a real one would end the process.
struct ProcessExit {
    int status;
};

/// A message box as the user would have seen it, with the answer given.
struct RecordedBox {
    std::string caption;
    std::string text;
    BoxKind kind;
    bool answer;
};

/// A window system for tests: records every box, beep and call, answers
/// questions from a queue, delivers posted messages when pumped, and keeps a
/// clock that tests set.
class RecordingWindowSystem : public WindowTable {
public:
    bool messageBox(WindowHandle owner, std::string_view text, std::string_view caption, BoxKind kind) override;
    void beep(Beep kind) override;
    bool pumpMessages() override;
    std::uint32_t clockMs() const override;
    std::string localTime() const override { return localTimeText; }
    [[noreturn]] void exitProcess(int status) override;

    /// Queues a quit request for the next pumping.
    void postQuit() { posted.push_back(0); }
    /// Queues a command (a button press) to the top window for the next pumping.
    void postCommand(int id) { posted.push_back(id); }
    /// The text of a control of the top window ("" when absent).
    std::string text(int id) const;

    std::vector<RecordedBox> boxes;
    std::vector<Beep> beeps;
    /// Answers to Yes/No boxes, taken from the front; defaultAnswer when empty.
    std::deque<bool> answers;
    bool defaultAnswer = true;
    std::deque<int> posted;
    int pumpCount = 0;
    /// The clock; each reading advances it by clockStep milliseconds.
    mutable std::uint32_t now = 1000;
    std::uint32_t clockStep = 1;
    std::string localTimeText = "Sun Dec  6 02:15:16 2026\n";
};
