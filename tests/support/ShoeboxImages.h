#pragma once
#include <array>
#include <vector>

#include "run/RunParameters.h"

/// Ten per-band values in double precision, 31.5 Hz to 16 kHz.
using BandValues = std::array<double, bandCount>;

/// A rectangular room with one source and one receiver, as the exact image-source method sees it.
struct ShoeboxCase {
    /// Lx, Ly, Lz in metres: the room spans [0, L] on each axis.
    std::array<double, 3> size{};
    /// The source position; its band energies are all 1.
    std::array<double, 3> source{};
    /// The receiver position, anywhere but at the source.
    std::array<double, 3> receiver{};
    /// Absorption coefficient α of each band, the same on all six walls.
    BandValues absorption{};
    /// Air attenuation m of each band, per metre of path, on energy (exp(−m·d)).
    BandValues airAbsorption{};
    /// Speed of sound, m/s.
    double soundSpeed = 343.2;
    /// Width of a time class, s.
    double precision = 0.001;
    /// The classes cover [0, time), s.
    double time = 1;
};

/// An energy impulse response: row k holds the energy arriving in [k · precision, (k + 1) · precision).
struct EnergyResponse {
    double precision = 0;
    std::vector<BandValues> rows;

    /// The energies of one band (0 to 9), class by class.
    std::vector<double> band(int b) const;
};

/// The exact specular response of the case, summed over every image source that arrives before `time`:
/// round(time / precision) classes, each image adding (1 − α)^reflections · exp(−m·d) / (4π d²) at t = d / c,
/// the convention of the tracer's specular arrivals. Within a class, exp(−m·d) is expanded to second order
/// about the class centre: the relative error is below (m c precision / 2)³ / 6.
EnergyResponse shoeboxResponse(const ShoeboxCase& room);
