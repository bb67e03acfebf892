#include "support/DecayTimes.h"

#include <cmath>
#include <cstddef>
#include <limits>

std::vector<double> schroederDecay(const std::vector<double>& energy) {
    std::vector<double> remaining(energy.size());
    double sum = 0;
    for (std::size_t k = energy.size(); k-- > 0;) remaining[k] = sum += energy[k];
    if (!(sum > 0)) return {};
    // A tail of zero energy has no level: −inf falls below every end of a fit, as it should.
    for (double& e : remaining) e = 10 * std::log10(e / sum);
    return remaining;
}

double decayTime(const std::vector<double>& decayDb, double precision, double startDb, double endDb) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    std::size_t first = 0;
    while (first < decayDb.size() && decayDb[first] > startDb) ++first;
    std::size_t end = first;
    while (end < decayDb.size() && decayDb[end] >= endDb) ++end;
    if (end == decayDb.size() || end - first < 2) return none;
    // Least squares over the class starts t_k = k · precision: the backward integral at class k is the energy
    // from the start of that class on.
    double n = 0, st = 0, sl = 0, stt = 0, stl = 0;
    for (std::size_t k = first; k < end; ++k) {
        const double t = static_cast<double>(k) * precision, level = decayDb[k];
        n += 1;
        st += t;
        sl += level;
        stt += t * t;
        stl += t * level;
    }
    const double slope = (n * stl - st * sl) / (n * stt - st * st);
    return slope < 0 ? -60 / slope : none;
}

DecayTimes decayTimes(const std::vector<double>& energy, double precision) {
    const std::vector<double> decay = schroederDecay(energy);
    return {decayTime(decay, precision, 0, -10), decayTime(decay, precision, -5, -25),
            decayTime(decay, precision, -5, -35)};
}
