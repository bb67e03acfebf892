#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <numeric>

#include "support/DecayTimes.h"
#include "support/ShoeboxImages.h"

namespace {
constexpr double c = 343.2;

BandValues rising(double step) {  // step, 2 step, ... 10 step: a band read from the wrong index shows
    BandValues v{};
    for (int b = 0; b < bandCount; ++b) v[static_cast<std::size_t>(b)] = step * (b + 1);
    return v;
}

BandValues uniform(double value) {
    BandValues v{};
    v.fill(value);
    return v;
}

double total(const std::vector<double>& energy, std::size_t from, std::size_t to) {
    return std::accumulate(energy.begin() + static_cast<std::ptrdiff_t>(from), energy.begin() + static_cast<std::ptrdiff_t>(to), 0.0);
}
}  // namespace

// A 6 m cube with source (2.1, 3.3, 2.6) and receiver (3.2, 2.9, 3.1): the direct sound and the six mirrors in
// one wall, offsets worked out by hand (the mirror of s in the wall at 0 is −s, in the wall at 6 m 12 − s). Every
// path with two reflections is longer than 7.7 m, so nothing else arrives within 7 m.
TEST(ShoeboxImages, DirectSoundAndFirstOrderImagesExactly) {
    const ShoeboxCase room{.size = {6, 6, 6}, .source = {2.1, 3.3, 2.6}, .receiver = {3.2, 2.9, 3.1},
                           .absorption = rising(0.05), .airAbsorption = rising(0.01), .soundSpeed = c,
                           .precision = 1e-5, .time = 7.0 / c};
    struct Path {
        double dx, dy, dz;
        int reflections;
    };
    const Path paths[] = {{-1.1, 0.4, -0.5, 0}, {-5.3, 0.4, -0.5, 1}, {6.7, 0.4, -0.5, 1}, {-1.1, -6.2, -0.5, 1},
                          {-1.1, 5.8, -0.5, 1}, {-1.1, 0.4, -5.7, 1}, {-1.1, 0.4, 6.3, 1}};
    const EnergyResponse response = shoeboxResponse(room);
    ASSERT_EQ(response.rows.size(), 2040u);
    for (int b = 0; b < bandCount; ++b) {
        const std::size_t band = static_cast<std::size_t>(b);
        const std::vector<double> energy = response.band(b);
        double expectedTotal = 0;
        for (const Path& p : paths) {
            const double d = std::hypot(p.dx, p.dy, p.dz);
            const double e = std::pow(1 - room.absorption[band], p.reflections) * std::exp(-room.airAbsorption[band] * d) /
                             (4 * std::numbers::pi * d * d);
            const auto k = static_cast<std::size_t>(d / c / room.precision);
            EXPECT_NEAR(energy[k], e, 1e-9 * e) << "band " << b << ", path of " << d << " m";
            expectedTotal += e;
        }
        EXPECT_NEAR(total(energy, 0, energy.size()), expectedTotal, 1e-9 * expectedTotal) << "band " << b;
    }
}

// Without losses the image sources fill space with one image per room volume V (a cell of 8V holds the eight
// mirror combinations), each bringing 1/(4π d²): a shell of thickness c Δt brings c Δt / V whatever its radius.
// The images counted in the shell from 0.3 to 0.6 s (about 10⁵) differ from the shell's volume over V by about
// the square root of their number, 0.3 %; 1 % is three times that. A missing or doubled layer of cells, or a
// mirror combination left out, is off by far more.
TEST(ShoeboxImages, LosslessRoomKeepsAConstantEnergyDensity) {
    const ShoeboxCase room{.size = {10, 8, 4}, .source = {2.3, 3.1, 1.5}, .receiver = {6.4, 5.2, 1.2},
                           .absorption = uniform(0), .airAbsorption = uniform(0), .soundSpeed = c,
                           .precision = 0.01, .time = 0.6};
    const std::vector<double> energy = shoeboxResponse(room).band(4);
    EXPECT_NEAR(total(energy, 30, 60), c * 0.3 / 320, 0.01 * c * 0.3 / 320);
}

// A decay of 60 dB in 0.8 s, sampled to −300 dB: its backward integral is the same geometric series, so every fit
// is a straight line of that slope, whichever part of the curve it takes.
TEST(DecayTimes, ExponentialDecayGivesItsOwnTimeInEveryRange) {
    const double precision = 0.001, t60 = 0.8;
    std::vector<double> energy(4000);
    for (std::size_t k = 0; k < energy.size(); ++k) energy[k] = std::pow(10.0, -6 * static_cast<double>(k) * precision / t60);
    const DecayTimes times = decayTimes(energy, precision);
    EXPECT_NEAR(times.edt, t60, 1e-6);
    EXPECT_NEAR(times.t20, t60, 1e-6);
    EXPECT_NEAR(times.t30, t60, 1e-6);
}

namespace {
// The decay a specular box tends to far from the source: the images fill space evenly (one per volume V) and an
// image at distance d in direction u lies beyond d (|ux|/Lx + |uy|/Ly + |uz|/Lz) walls, so the energy of the class
// at t is c Δt / V times the mean over directions of (1 − α)^(that count) at d = c t. Eyring's formula takes the
// count's mean instead, S/(4V) per metre, and so decays faster: the mean of the exponentials exceeds the
// exponential of the mean (Jensen), and it is dominated late by the directions that meet the fewest walls.
std::vector<double> directionalAverageDecay(const ShoeboxCase& room, int band) {
    const double kept = std::log(1 - room.absorption[static_cast<std::size_t>(band)]);
    std::vector<double> wallsPerMetre;
    for (int i = 0; i < 100; ++i) {  // directions uniform in solid angle: uz uniform in [−1, 1], φ in [0, 2π)
        const double uz = -1 + (i + 0.5) / 50, across = std::sqrt(1 - uz * uz);
        for (int j = 0; j < 200; ++j) {
            const double phi = (j + 0.5) * std::numbers::pi / 100;
            wallsPerMetre.push_back(std::fabs(across * std::cos(phi)) / room.size[0] +
                                    std::fabs(across * std::sin(phi)) / room.size[1] + std::fabs(uz) / room.size[2]);
        }
    }
    std::vector<double> energy(static_cast<std::size_t>(std::round(room.time / room.precision)));
    for (std::size_t k = 0; k < energy.size(); ++k) {
        const double d = room.soundSpeed * (static_cast<double>(k) + 0.5) * room.precision;
        for (double q : wallsPerMetre) energy[k] += std::exp(kept * q * d);
    }
    return energy;
}
}  // namespace

// The reverberation time of a box with α = 0.3 on every wall, no air: the images' T30 (0.66 s in this room) lies
// 40 % above Eyring's 0.161 V / (−S ln(1 − α)) = 0.475 s, and close to the directional average above, which leaves
// out only that the nearest images are few and discrete: they make the first decibels of the backward integral,
// where the fit begins, and moved T30 by 1.5 % for α from 0.1 to 0.3 in this room; 3 % allows for that.
TEST(ShoeboxImages, ReverberationTimeOfAUniformBoxFollowsTheDirectionalAverage) {
    const ShoeboxCase room{.size = {10, 8, 4}, .source = {2.3, 3.1, 1.5}, .receiver = {6.4, 5.2, 1.2},
                           .absorption = uniform(0.3), .airAbsorption = uniform(0), .soundSpeed = c,
                           .precision = 0.001, .time = 1.0};
    const double images = decayTimes(shoeboxResponse(room).band(4), room.precision).t30;
    const double average = decayTimes(directionalAverageDecay(room, 4), room.precision).t30;
    const double eyring = 0.161 * 320 / (-304 * std::log(1 - 0.3));
    EXPECT_GT(images, 1.2 * eyring);
    EXPECT_NEAR(images, average, 0.03 * average);
}
