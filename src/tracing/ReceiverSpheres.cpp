#include "tracing/ReceiverSpheres.h"

#include <algorithm>
#include <cmath>

#include "run/RunParameters.h"

void ReceiverSpheres::clear() {
    const auto count = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(parameters.Time / binWidth)));
    bins.assign(centres.size(), std::vector<std::array<double, bandCount>>(count, std::array<double, bandCount>{}));
}

bool ReceiverSpheres::chord(std::size_t i, const Coord& a, const Coord& b, double& enter, double& leave) const {
    const Vector ab = b - a;
    const double length = ab.modulus();
    if (!(length > 0)) return false;
    const Vector u = (1 / length) * ab, toCentre = centres[i] - a;
    const double along = dot(toCentre, u), across = toCentre.squaredModulus() - along * along;
    if (across >= radius * radius) return false;
    const double half = std::sqrt(radius * radius - across);
    enter = std::max(0.0, along - half);
    leave = std::min(length, along + half);
    return enter < leave;
}

void ReceiverSpheres::add(std::size_t i, double from, double to, const BandEnergies& energy, double share) {
    auto& sums = bins[i];
    // The chord is at most two metres: its air attenuation and its bin are taken at its middle.
    const double middle = 0.5 * (from + to);
    const auto j = static_cast<std::size_t>(middle / (binWidth * parameters.SoundSpeed));
    if (j >= sums.size() || !(volumes[i] > 0)) return;
    for (int b = 0; b < bandCount; ++b)
        sums[j][b] += energy[b] * share * (to - from) * std::exp(-parameters.airAbsorption[b] * middle) / volumes[i];
}
