#include "ui/TerminalWindowSystem.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>

#include "ui/DialogTemplate.h"
#include "ui/StatusPanel.h"
#include "ui/TDialog.h"

namespace {
std::atomic<int> interrupts{0};
std::atomic<bool> terminateRequested{false};

extern "C" void onSignal(int signal) {
    if (signal == SIGTERM)
        terminateRequested = true;
    else
        ++interrupts;
}

void installHandlers() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a Ctrl-C during a y/n question interrupts the read.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::size_t terminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

constexpr std::size_t panelMessages = 6;
}  // namespace

TerminalWindowSystem::TerminalWindowSystem()
    : terminal_(isatty(STDERR_FILENO) != 0), interactive_(terminal_ && isatty(STDIN_FILENO) != 0) {
    installHandlers();
}

void TerminalWindowSystem::changed(WindowHandle) { dirty_ = true; }

void TerminalWindowSystem::destroyWindow(WindowHandle window) {
    // The last state of a closing box stays on screen, above whatever follows.
    if (dirty_) redraw();
    panelLines_ = 0;
    WindowTable::destroyWindow(window);
    dirty_ = false;
}

void TerminalWindowSystem::erasePanel() {
    if (panelLines_ > 0) std::fprintf(stderr, "\x1b[%dA\r\x1b[J", panelLines_);
    panelLines_ = 0;
}

void TerminalWindowSystem::drawPanel(const std::vector<std::string>& lines) {
    erasePanel();
    // Lines are cut to the terminal's width: a wrapped line would throw off
    // the count used to move back up for the next redraw.
    const std::size_t width = terminalWidth() - 1;
    for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.substr(0, width).c_str());
    panelLines_ = static_cast<int>(lines.size());
    std::fflush(stderr);
}

void TerminalWindowSystem::printPlain(const WindowState& state) {
    std::vector<std::pair<std::string, std::string>> lines;
    if (state.templateName == "WaitBox") {
        lines = {{"caption", state.caption}, {"file", itemText(topWindow(), WaitItem::fileName, 4096)}};
    } else {
        lines = {{"caption", state.caption},
                 {"parameters", parameterLine(state)},
                 {"options", optionLine(state)},
                 {"source", sourceLine(state)},
                 {"progress", progressLine(state)},
                 {"status", "Status: " + state.controls.at(StatusItem::status).text}};
        const auto& messages = state.controls.at(StatusItem::messages).lines;
        for (; printedMessages_ < messages.size(); ++printedMessages_)
            std::fprintf(stderr, "Message: %s\n", messages[printedMessages_].c_str());
    }
    for (const auto& [key, line] : lines) {
        std::string& last = printed_[key];
        if (last != line) std::fprintf(stderr, "%s\n", line.c_str());
        last = line;
    }
    std::fflush(stderr);
}

void TerminalWindowSystem::redraw() {
    dirty_ = false;
    const WindowState* state = window(topWindow());
    if (!state) return;
    if (terminal_)
        drawPanel(panelLines(*state, panelMessages));
    else
        printPlain(*state);
}

bool TerminalWindowSystem::pumpMessages() {
    if (terminateRequested) return true;
    if (interrupts > 0) {
        interrupts = 0;
        // On a terminal a Ctrl-C is the Cancel button of the box, which asks first.
        if (!interactive_ || !currentDialog()) return true;
        dispatchDialogMessage(topWindow(), DialogMessage::Command, IDCANCEL);
        if (terminateRequested) return true;
    }
    if (dirty_) redraw();
    return false;
}

bool TerminalWindowSystem::askYesNo() {
    for (;;) {
        std::fprintf(stderr, " [y/n] ");
        std::fflush(stderr);
        char answer[64];
        errno = 0;
        if (!std::fgets(answer, sizeof answer, stdin)) {
            // A second Ctrl-C at the question, or the end of input, insists: yes.
            std::clearerr(stdin);
            std::fprintf(stderr, "\n");
            interrupts = 0;
            return true;
        }
        if (answer[0] == 'y' || answer[0] == 'Y') return true;
        if (answer[0] == 'n' || answer[0] == 'N') return false;
    }
}

bool TerminalWindowSystem::messageBox(WindowHandle, std::string_view text, std::string_view caption, BoxKind kind) {
    erasePanel();
    std::fprintf(stderr, "%.*s: %.*s", static_cast<int>(caption.size()), caption.data(), static_cast<int>(text.size()),
                 text.data());
    bool answer = true;
    if (kind != BoxKind::Question) {
        if (text.empty() || text.back() != '\n') std::fprintf(stderr, "\n");
    } else if (interactive_) {
        answer = askYesNo();
    } else {
        // Nobody can answer: take the answer that loses nothing.
        std::fprintf(stderr, " [y/n] y (no terminal)\n");
    }
    std::fflush(stderr);
    dirty_ = true;
    return answer;
}

void TerminalWindowSystem::beep(Beep) {
    if (terminal_) std::fputc('\a', stderr);
}

void TerminalWindowSystem::exitProcess(int status) {
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(status);
}
