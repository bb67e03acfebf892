#include "acoustics/Bands.h"

#include <cmath>
#include <cstdio>

const std::array<double, bandCount>& aWeighting() {
    // The A-weighting curve of IEC 61672 at the octave-band centres, in dB.
    static const std::array<double, bandCount> factors = [] {
        const double decibels[bandCount] = {-39.4, -26.2, -16.1, -8.6, -3.2, 0, 1.2, 1.0, -1.1, -6.6};
        std::array<double, bandCount> f{};
        for (int k = 0; k < bandCount; ++k) f[k] = std::pow(10.0, decibels[k] / 10);
        return f;
    }();
    return factors;
}

std::string bandLabel(int index) {
    if (index < 0 || index > 11) return "0";
    if (index == 10) return "L";
    if (index == 11) return "A";
    const double f = bandFrequencies[index];
    char text[32];
    if (f < 1000)
        std::snprintf(text, sizeof text, "%lg", f);
    else
        std::snprintf(text, sizeof text, "%lgK", f / 1000);
    return text;
}
