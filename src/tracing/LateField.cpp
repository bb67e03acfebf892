#include "tracing/LateField.h"

#include <algorithm>
#include <cmath>

#include "run/RunParameters.h"

void LateField::clear() {
    const auto count = static_cast<std::size_t>(std::ceil(parameters.Time / binWidth));
    bins.assign(std::max<std::size_t>(count, 1), {});
}

void LateField::addLeg(double start, double end, const BandEnergies& energy, double share) {
    if (bins.empty()) clear();
    const double binLength = binWidth * parameters.SoundSpeed;
    end = std::min(end, binLength * static_cast<double>(bins.size()));
    if (!(start < end)) return;
    for (auto j = static_cast<std::size_t>(start / binLength); j < bins.size(); ++j) {
        const double from = std::max(start, binLength * static_cast<double>(j));
        const double to = std::min(end, binLength * static_cast<double>(j + 1));
        if (from >= end) break;
        for (int b = 0; b < bandCount; ++b) {
            const double m = parameters.airAbsorption[b];
            // The integral of exp(−m s) from `from` to `to`; its limit, the length, for air without loss.
            const double length = m > 0 ? (std::exp(-m * from) - std::exp(-m * to)) / m : to - from;
            bins[j][b] += energy[b] * share * length;
        }
    }
}
