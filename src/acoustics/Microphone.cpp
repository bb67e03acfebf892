#include "acoustics/Microphone.h"

#include <cmath>

bool Microphone::addArrival(const BandEnergies& energies, unsigned order, const Vector& direction, double time) {
    if (!response.add(energies, order, time)) return false;

    const double early = time - response.directDelay;
    // Written as "not within" so that a NaN time stays out of the early sums.
    if (!(early <= 0.08)) return true;
    if ((direction.x == 0 && direction.y == 0) || (axis.x == 0 && axis.y == 0)) return true;

    // Only the horizontal angle counts: a lateral reflection is one that
    // reaches the ears from the side, whatever its elevation.
    const Versor arrival(direction.x, direction.y, 0);
    const Versor facing(axis.x, axis.y, 0);
    const double c = dot(arrival, facing);
    // Straight ahead or behind is not lateral at all; the early energy
    // excludes these arrivals too, so that the ratios stay comparable.
    if (!(c > -1 && c < 1)) return true;
    const float s = static_cast<float>(std::sqrt(1 - c * c));
    const float s2 = s * s;

    const bool fromFiveMs = early >= 0.005;
    const bool fromTwentyFiveMs = fromFiveMs && early >= 0.025;
    for (int b = 0; b < bandCount; ++b) {
        lateral[b] += energies[b];
        if (!fromFiveMs) continue;
        lateral[bandCount + b] += s * energies[b];
        lateral[3 * bandCount + b] += s2 * energies[b];
        if (fromTwentyFiveMs) lateral[2 * bandCount + b] += s2 * energies[b];
    }
    return true;
}
