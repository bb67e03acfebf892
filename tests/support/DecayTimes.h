#pragma once
#include <cmath>
#include <vector>

#include "results/EnergyDecay.h"

/// T30 of an energy response whose classes are `width` s wide, by the product's own ISO 3382-1 evaluation from
/// time 0 (the slope does not depend on where time zero lies); NaN when the decay does not reach −35 dB.
inline double t30Of(const std::vector<double>& energy, double width) {
    const auto fit = EnergyDecay(energy, width, 0).fit(-5, -35);
    return fit ? fit->reverberationTime() : NAN;
}
