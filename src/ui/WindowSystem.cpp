#include "ui/WindowSystem.h"

#include "ui/TerminalWindowSystem.h"

namespace {
WindowSystem* installed = nullptr;
}

WindowSystem& windowSystem() {
    if (installed) return *installed;
    static TerminalWindowSystem terminal;
    return terminal;
}

void installWindowSystem(WindowSystem* system) { installed = system; }
