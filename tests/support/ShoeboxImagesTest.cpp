#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <numeric>

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
