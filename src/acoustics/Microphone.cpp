#include "acoustics/Microphone.h"

#include <cmath>

bool Microphone::addArrival(const BandEnergies& energies, unsigned order, const Vector& direction, double time) {
    bool taken;
    double directTime;
    // The direct delay is taken under the same lock as the addition: another
    // thread may be adding this microphone's direct wave, which moves it.
    {
        const std::lock_guard<std::mutex> guard(lock_);
        taken = response.add(energies, order, time);
        directTime = response.directDelay;
    }
    if (!taken) return false;

    const double early = time - directTime;
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

    // The products are formed before taking the lock, so that it is held only for the sums.
    const bool fromFiveMs = early >= 0.005;
    const bool fromTwentyFiveMs = fromFiveMs && early >= 0.025;
    BandEnergies sine{}, square{};
    for (int b = 0; b < bandCount; ++b) {
        sine[b] = s * energies[b];
        square[b] = s2 * energies[b];
    }
    {
        const std::lock_guard<std::mutex> guard(lock_);
        for (int b = 0; b < bandCount; ++b) {
            lateral[b] += energies[b];
            if (fromFiveMs) {
                lateral[bandCount + b] += sine[b];
                lateral[3 * bandCount + b] += square[b];
                if (fromTwentyFiveMs) lateral[2 * bandCount + b] += square[b];
            }
        }
    }
    return true;
}
