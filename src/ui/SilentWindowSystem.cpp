#include "ui/SilentWindowSystem.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

bool SilentWindowSystem::messageBox(WindowHandle, std::string_view, std::string_view, BoxKind) {
    // Nobody sees this process: a question is answered with what changes nothing.
    return false;
}

std::uint32_t SilentWindowSystem::clockMs() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::string SilentWindowSystem::localTime() const {
    const std::time_t now = std::time(nullptr);
    char text[64];
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
    return text;
}

void SilentWindowSystem::exitProcess(int status) { std::_Exit(status); }
