#include "ui/WindowSystem.h"

#include <chrono>
#include <ctime>

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

std::uint32_t WindowSystem::clockMs() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::string WindowSystem::localTime() const {
    const std::time_t now = std::time(nullptr);
    char text[64];
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
    return text;
}
