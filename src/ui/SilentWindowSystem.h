#pragma once
#include "ui/WindowTable.h"

/// The window system of a process that traces for another: it shows nothing, prints nothing, answers every
/// question No and installs no signal handlers, so that one process alone talks to the user.
class SilentWindowSystem : public WindowTable {
public:
    bool messageBox(WindowHandle owner, std::string_view text, std::string_view caption, BoxKind kind) override;
    void beep(Beep) override {}
    bool pumpMessages() override { return false; }
    [[noreturn]] void exitProcess(int status) override;
};
