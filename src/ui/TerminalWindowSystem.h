#pragma once
#include <map>
#include <string>
#include <vector>

#include "ui/WindowTable.h"

/// The window system for users: dialogs become a live panel on stderr (plain
/// lines when stderr is no terminal), message boxes print "Caption: text",
/// questions are asked y/n on the terminal, and SIGINT/SIGTERM are the quit
/// request.
///
/// Without a terminal a question takes the answer that loses nothing (Yes:
/// save the partial results, cancel on request) and a Ctrl-C cancels at once.
/// On a terminal the first Ctrl-C presses the status box's Cancel, which asks
/// before it stops.
class TerminalWindowSystem : public WindowTable {
public:
    /// Installs the signal handlers and looks at what stderr and stdin are.
    TerminalWindowSystem();

    void destroyWindow(WindowHandle window) override;
    bool messageBox(WindowHandle owner, std::string_view text, std::string_view caption, BoxKind kind) override;
    void beep(Beep kind) override;
    bool pumpMessages() override;
    [[noreturn]] void exitProcess(int status) override;

protected:
    void changed(WindowHandle window) override;

private:
    void redraw();
    void erasePanel();
    void drawPanel(const std::vector<std::string>& lines);
    void printPlain(const WindowState& state);
    bool askYesNo();

    bool terminal_;
    bool interactive_;
    bool dirty_ = false;
    int panelLines_ = 0;
    std::map<std::string, std::string> printed_;
    std::size_t printedMessages_ = 0;
};
