#include "ui/Format.h"

#include <cmath>
#include <cstdio>

std::string formatDuration(double seconds) {
    // An estimate made before any work was done (or a clock that ran
    // backwards) is no duration: it shows as zero rather than as garbage.
    // Durations beyond a billion hours are clamped for the same reason.
    if (!(seconds >= 0)) seconds = 0;
    if (seconds > 3.6e12) seconds = 3.6e12;
    const long t = static_cast<long>(std::floor(seconds + 0.5));
    char text[64];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", t / 3600, t % 3600 / 60, t % 60);
    return text;
}

std::string formatNumber(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%.8lf", value);
    std::string s(text);
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    return s;
}

std::string letterCode(std::uint32_t n) {
    std::string code;
    while (n > 0) {
        --n;
        code.insert(code.begin(), static_cast<char>('A' + n % 26));
        n /= 26;
    }
    return code;
}
