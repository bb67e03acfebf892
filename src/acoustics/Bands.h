#pragma once
#include <array>
#include <string>

#include "run/RunParameters.h"

/// Energies of the ten octave bands, 31.5 Hz to 16 kHz.
using BandEnergies = std::array<float, bandCount>;

/// The A-weighting factors 10^(A/10) of the ten bands (A = -39.4 ... -6.6 dB), computed once.
const std::array<double, bandCount>& aWeighting();

/// The label of a band index: "31.5" ... "1K" ... "16K" for 0 to 9, "L" for 10 (linear sum),
/// "A" for 11 (A-weighted sum), "0" for anything else.
std::string bandLabel(int index);
