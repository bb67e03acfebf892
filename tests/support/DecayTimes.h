#pragma once
#include <vector>

/// Schroeder's backward integral of an energy response (Schroeder 1965), in dB re the total energy: entry k is
/// the energy from class k to the end. Empty when the response holds no energy.
std::vector<double> schroederDecay(const std::vector<double>& energy);

/// The reverberation time of a decay curve with classes of `precision` s: the least-squares line through the
/// curve from where it first falls to startDb until it first falls below endDb, extrapolated to a 60 dB fall.
/// NaN when the curve never falls below endDb or the line does not fall.
double decayTime(const std::vector<double>& decayDb, double precision, double startDb, double endDb);

/// The decay times of ISO 3382-1 computed the simple way: the fits over 0 to −10 dB, −5 to −25 dB and −5 to −35 dB.
struct DecayTimes {
    double edt, t20, t30;
};

/// The decay times of an energy response whose classes are `precision` s wide.
DecayTimes decayTimes(const std::vector<double>& energy, double precision);
