#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <thread>

#include "model/MaterialLibrary.h"
#include "run/RunParameters.h"
#include "support/UiFixture.h"
#include "tracing/EnergyModel.h"
#include "tracing/Pyramid.h"
#include "tracing/RandomGenerator.h"

namespace {
using Expected = std::array<double, bandCount>;

constexpr double pi = 3.141592653589793;

// Checks every band against a value derived by hand, to a relative 1e-6 (single-precision energies).
void expectBands(const BandEnergies& actual, const Expected& expected) {
    for (int b = 0; b < bandCount; ++b)
        EXPECT_NEAR(actual[b], expected[b], 1e-6 * std::fabs(expected[b]) + 1e-30) << "band " << b;
}

// Energies 1, 2, ..., 10: a distinct value per band, so a band read from the wrong index shows.
BandEnergies rising() {
    BandEnergies e;
    for (int b = 0; b < bandCount; ++b) e[b] = static_cast<float>(b + 1);
    return e;
}

void expectVector(const Vector& actual, const Vector& expected, const char* what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-9) << what;
}

Vector mirrored(const Vector& v, const Versor& n) { return v - 2 * dot(v, n) * n; }

// A pyramid whose three edges have equal length around (0, 0, -1), so that its axis
// is exactly (0, 0, -1); its apex at (0.3, 0.2, 6) and its hit point on the plane z = 1 below.
Pyramid downwardPyramid() {
    PyramidSeed seed;
    seed.apex = Coord(0.3, 0.2, 6);
    const double s = 0.1;
    const double h = s * std::sqrt(3.0) / 2;
    seed.section.set(Vector(s, 0, -1), Vector(-s / 2, h, -1), Vector(-s / 2, -h, -1));
    Pyramid p(seed, rising());
    p.hitPoint = Coord(0.3, 0.2, 1);
    return p;
}
}  // namespace

TEST(RandomGeneratorTest, YieldsTheClassicRandSequence) {
    RandomGenerator random;
    // Seed 1: state = 1·214013 + 2531011 = 2745024; 2745024 >> 16 = 41.
    EXPECT_EQ(random.next(), 41);
    // state = 2745024·214013 + 2531011 = 587473352323, which wraps modulo 2^32 to
    // 3357800067; >> 16 = 51235, and the 15-bit mask drops 32768: 18467.
    EXPECT_EQ(random.next(), 18467);
    // The next two of the well-known rand() sequence from seed 1.
    EXPECT_EQ(random.next(), 6334);
    EXPECT_EQ(random.next(), 26500);

    random.reseed(1);
    EXPECT_EQ(random.next(), 41);
    // Seed 0: state = 2531011; 2531011 >> 16 = 38.
    random.reseed(0);
    EXPECT_EQ(random.next(), 38);

    random.reseed(12345);
    for (int i = 0; i < 100000; ++i) {
        const int value = random.next();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, RandomGenerator::maxValue);
    }
}

TEST(RandomGeneratorTest, EachThreadHasItsOwnGeneratorStartingAtSeedOne) {
    threadRandom().reseed(0);
    EXPECT_EQ(threadRandom().next(), 38);
    int first = -1;
    int second = -1;
    std::thread worker([&] {
        first = threadRandom().next();
        second = threadRandom().next();
    });
    worker.join();
    // The worker's sequence starts at seed 1, whatever this thread did before...
    EXPECT_EQ(first, 41);
    EXPECT_EQ(second, 18467);
    // ...and its draws did not advance this thread's generator (seed 0, second value).
    RandomGenerator reference(0);
    reference.next();
    EXPECT_EQ(threadRandom().next(), reference.next());
}

TEST(PyramidsPerSourceTest, EightShiftedByTheLevelInThirtyTwoBits) {
    EXPECT_EQ(pyramidsPerSource(0), 8u);
    EXPECT_EQ(pyramidsPerSource(1), 16u);
    EXPECT_EQ(pyramidsPerSource(4), 128u);
    EXPECT_EQ(pyramidsPerSource(28), 0x80000000u);
    // From 29 on the 8 has left the 32 bits, and a shift by 32 or more stays 0.
    EXPECT_EQ(pyramidsPerSource(29), 0u);
    EXPECT_EQ(pyramidsPerSource(31), 0u);
    EXPECT_EQ(pyramidsPerSource(32), 0u);
    EXPECT_EQ(pyramidsPerSource(35), 0u);
    EXPECT_EQ(pyramidsPerSource(0xFFFFFFFEu), 0u);
    // Level -1 (all bits set) is one pyramid.
    EXPECT_EQ(pyramidsPerSource(0xFFFFFFFFu), 1u);
}

class EnergyModelTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.modelFile.assign("room.ray");
        writeFile("tolveno.mat",
                  // 1: absorption only.
                  "1,0 0.1 0.25 0.5 0.75 0.9 1 1.5 0.05 0.2\n"
                  // 2: transmission losses, 999.9 and 1000 dB in bands 3 and 4.
                  "2,0,10 20 3 999.9 1000 30 0.001 15 40 5\n"
                  // 3: a distinct scattering per band.
                  "3,0,999.9,0.05 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9\n");
    }
};

TEST_F(EnergyModelTest, AbsorptionKeepsOneMinusAlphaAndSilencesFullAbsorbers) {
    BandEnergies e = rising();
    applyAbsorption(e, 1);
    // (b + 1)·(1 − α[b]); α of 1 and 1.5 give 0, not a negative energy.
    expectBands(e, {1 * 1.0, 2 * 0.9, 3 * 0.75, 4 * 0.5, 5 * 0.25, 6 * 0.1, 0, 0, 9 * 0.95, 10 * 0.8});

    // A second reflection multiplies again; the silenced bands stay silent.
    applyAbsorption(e, 1);
    expectBands(e, {1.0, 2 * 0.81, 3 * 0.5625, 4 * 0.25, 5 * 0.0625, 6 * 0.01, 0, 0, 9 * 0.9025, 10 * 0.64});

    // A material the library does not define absorbs nothing.
    BandEnergies undefined = rising();
    applyAbsorption(undefined, 7);
    expectBands(undefined, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
}

TEST_F(EnergyModelTest, ObstructionBlocksUntransmittedBandsWhereMonopermeablePassesThemWhole) {
    // Divisors 10^(TL/10): 10 dB → 10, 20 → 100, 3 → 1.9952623, 30 → 1000,
    // 0.001 → 1.0002303, 15 → 31.622777, 40 → 10000, 5 → 3.1622777.
    BandEnergies obstructed = rising();
    applyObstruction(obstructed, 2);
    expectBands(obstructed, {0.1, 0.02, 3 / 1.9952623, 0, 0, 0.006, 7 / 1.0002303, 8 / 31.622777, 9e-4, 10 / 3.1622777});

    // Bands 3 (999.9 dB exactly) and 4 (1000 dB) pass unchanged; the others as above.
    BandEnergies passed = rising();
    applyMonopermeable(passed, 2);
    expectBands(passed, {0.1, 0.02, 3 / 1.9952623, 4, 5, 0.006, 7 / 1.0002303, 8 / 31.622777, 9e-4, 10 / 3.1622777});
}

TEST_F(EnergyModelTest, ObstructionSilencesBandsWithoutEnergy) {
    BandEnergies e = rising();
    e[0] = 0;
    e[1] = -2;
    e[2] = std::numeric_limits<float>::quiet_NaN();
    applyObstruction(e, 2);
    // Bands 0 to 2 are not above 0 and become 0; the rest as in the test above.
    expectBands(e, {0, 0, 0, 0, 0, 0.006, 7 / 1.0002303, 8 / 31.622777, 9e-4, 10 / 3.1622777});
}

TEST_F(EnergyModelTest, ScatteringRisesTowardsOneForBandsWhoseHalfWavelengthExceedsTheEdgeDistance) {
    parameters.Diffusion = true;
    parameters.DiffusionMode = DiffusionBit::edgeScattering;
    parameters.SoundSpeed = 320;
    // Half wavelengths 320 / (2f): 5.0794, 2.5397, 1.28, 0.64, 0.32, 0.16, ... m.
    Pyramid p = downwardPyramid();
    updateScattering(p, 3, 0.32);
    // s' = 1 − (1 − s)·0.32/h: band 0: 0.32/(320/63) = 0.063 → 1 − 0.95·0.063 = 0.94015;
    // band 1: 0.32·126/320 = 0.126 → 1 − 0.9·0.126 = 0.8866; band 2: 1 − 0.8·0.25 = 0.8;
    // band 3: 1 − 0.7·0.5 = 0.65. Band 4's half wavelength equals the distance: the raising
    // stops there (beyond it the formula would even lower the scattering).
    expectBands(p.scattered, {0.94015, 0.8866, 0.8, 0.65, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9});

    // A hit on the edge itself makes every band fully scattering.
    Pyramid onEdge = downwardPyramid();
    updateScattering(onEdge, 3, 0);
    expectBands(onEdge.scattered, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1});

    // A face without edges (1e12) keeps the material's scattering.
    Pyramid noEdges = downwardPyramid();
    updateScattering(noEdges, 3, 1e12);
    expectBands(noEdges.scattered, {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9});

    // Without bit 4 (the other two bits set) the edge changes nothing.
    parameters.DiffusionMode = DiffusionBit::specular | DiffusionBit::diffuse;
    Pyramid plain = downwardPyramid();
    updateScattering(plain, 3, 0.32);
    expectBands(plain.scattered, {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9});
}

TEST_F(EnergyModelTest, ScatteredShareAccumulatesOnlyWhileDiffusionIsOn) {
    parameters.DiffusionMode = 7;
    Pyramid p = downwardPyramid();
    p.scattered.fill(0.5f);
    updateScattering(p, 3, 1e12);
    expectBands(p.scattered, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5});

    parameters.Diffusion = true;
    updateScattering(p, 3, 1e12);
    // 0.5 + 0.5·s.
    expectBands(p.scattered, {0.525, 0.55, 0.6, 0.65, 0.7, 0.75, 0.8, 0.85, 0.9, 0.95});
    updateScattering(p, 3, 1e12);
    // x + (1 − x)·s again: band 0: 0.525 + 0.475·0.05 = 0.54875; band 9: 0.95 + 0.05·0.9 = 0.995.
    EXPECT_NEAR(p.scattered[0], 0.54875, 1e-6);
    EXPECT_NEAR(p.scattered[4], 0.7 + 0.3 * 0.4, 1e-6);
    EXPECT_NEAR(p.scattered[9], 0.995, 1e-6);
}

TEST_F(EnergyModelTest, ArrivalEnergySpreadsSphericallyAndIsAttenuatedByAir) {
    // Without air: 1/(4πR²); at 2 m, 1/(16π) = 0.019894368.
    BandEnergies one;
    one.fill(1);
    const BandEnergies atTwo = arrivalEnergy(one, 2);
    EXPECT_NEAR(atTwo[0], 0.019894368, 1e-9);
    EXPECT_NEAR(atTwo[9], 0.019894368, 1e-9);
    // Inverse square: at 4 m a quarter of that.
    EXPECT_NEAR(arrivalEnergy(one, 4)[5], 0.019894368 / 4, 1e-9);

    // m[b] = 0.01·(b + 1) per metre, R = 10 m: (b + 1)·exp(−0.1·(b + 1)) / (400π).
    for (int b = 0; b < bandCount; ++b) parameters.airAbsorption[b] = 0.01 * (b + 1);
    Expected expected;
    for (int b = 0; b < bandCount; ++b) expected[b] = (b + 1) * std::exp(-0.1 * (b + 1)) / (400 * pi);
    expectBands(arrivalEnergy(rising(), 10), expected);
}

TEST_F(EnergyModelTest, ArrivalAtTheApexIsFinite) {
    BandEnergies one;
    one.fill(1);
    // Distances below 1e-6 m (0, negative, not a number) count as 1e-6 m: 1/(4π·1e-12).
    const double atFloor = 1 / (4 * pi * 1e-12);
    for (double R : {0.0, 5e-7, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        const BandEnergies e = arrivalEnergy(one, R);
        EXPECT_NEAR(e[0], atFloor, atFloor * 1e-6) << R;
        EXPECT_NEAR(e[9], atFloor, atFloor * 1e-6) << R;
    }
    // Just above the floor the distance is taken as it is: at 2e-6 m a quarter.
    EXPECT_NEAR(arrivalEnergy(one, 2e-6)[0], atFloor / 4, atFloor * 1e-6);

    // Even the largest float energy stays finite.
    BandEnergies loud;
    loud.fill(FLT_MAX);
    for (float band : arrivalEnergy(loud, 0)) EXPECT_TRUE(std::isfinite(band));
}

TEST_F(EnergyModelTest, SplitArrivalDeliversThePartsTheModeSelects) {
    // Level 0: N = 8; d1 = 3, d2 = 4, R = 7; no air. Energy b + 1, scattered 0.1·b.
    BandEnergies scattered;
    for (int b = 0; b < bandCount; ++b) scattered[b] = 0.1f * static_cast<float>(b);
    Expected specular;  // (1 − 0.1b)(b + 1) / (4π·49)
    Expected diffuse;   // 0.1b·(b + 1) / ((8·16 + 2·9)·2π) = 0.1b·(b + 1) / (146·2π)
    Expected both;
    const Expected zero{};
    for (int b = 0; b < bandCount; ++b) {
        specular[b] = (1 - 0.1 * b) * (b + 1) / (4 * pi * 49);
        diffuse[b] = 0.1 * b * (b + 1) / (146 * 2 * pi);
        both[b] = specular[b] + diffuse[b];
    }
    struct Case {
        int mode;
        bool inside;
        const Expected& expected;
    };
    const Case cases[] = {
        {7, true, both},      {7, false, diffuse},  {3, true, both},     {3, false, diffuse},
        {1, true, specular},  {1, false, zero},     {5, true, specular}, {2, true, diffuse},
        {2, false, diffuse},  {6, true, diffuse},   {0, true, zero},     {4, true, zero},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << (c.inside ? " inside" : " outside"));
        parameters.DiffusionMode = c.mode;
        expectBands(splitArrival(rising(), scattered, c.inside, 3, 4), c.expected);
    }
}

TEST_F(EnergyModelTest, SplitArrivalAttenuatesBothPartsOverTheWholePath) {
    parameters.DiffusionMode = 3;
    for (int b = 0; b < bandCount; ++b) parameters.airAbsorption[b] = 0.01 * (b + 1);
    BandEnergies scattered;
    scattered.fill(0.25f);
    // Each part times exp(−m[b]·7), R = 3 + 4, not d2 alone.
    Expected expected;
    for (int b = 0; b < bandCount; ++b)
        expected[b] = std::exp(-0.07 * (b + 1)) * (b + 1) * (0.75 / (4 * pi * 49) + 0.25 / (146 * 2 * pi));
    expectBands(splitArrival(rising(), scattered, true, 3, 4), expected);
}

TEST_F(EnergyModelTest, DiffusePartSharesThePyramidsOfTheSource) {
    parameters.DiffusionMode = DiffusionBit::diffuse;
    BandEnergies one;
    one.fill(1);
    BandEnergies scattered;
    scattered.fill(0.5f);
    // 0.5 / ((N·d2² + 2·d1²)·2π) with d1 = 3, d2 = 4: N·16 + 18.
    struct Case {
        std::uint32_t level;
        double denominator;
    };
    const Case cases[] = {
        {2, 32 * 16 + 18},   // N = 32
        {0xFFFFFFFFu, 34},   // Level -1: N = 1
        {29, 18},            // N = 0: the 8 shifted out of 32 bits
        {40, 18},            // N = 0 as well
    };
    for (const Case& c : cases) {
        parameters.Level = c.level;
        const double expected = 0.5 / (c.denominator * 2 * pi);
        const BandEnergies e = splitArrival(one, scattered, true, 3, 4);
        EXPECT_NEAR(e[0], expected, expected * 1e-6) << c.level;
        EXPECT_NEAR(e[9], expected, expected * 1e-6) << c.level;
    }
}

TEST_F(EnergyModelTest, SplitArrivalWithZeroDistancesIsFinite) {
    parameters.DiffusionMode = 3;
    BandEnergies scattered;
    scattered.fill(0.5f);
    BandEnergies one;
    one.fill(1);
    // R raised to 1e-6 m and the diffuse denominator to (1e-6 m)²:
    // 0.5/(4π·1e-12) + 0.5/(1e-12·2π).
    const double expected = 0.5 / (4 * pi * 1e-12) + 0.5 / (1e-12 * 2 * pi);
    const BandEnergies e = splitArrival(one, scattered, true, 0, 0);
    EXPECT_NEAR(e[0], expected, expected * 1e-6);
    EXPECT_NEAR(e[9], expected, expected * 1e-6);

    // No pyramids counted (N = 0) and no path before the reflection: the diffuse denominator is 0 too.
    parameters.Level = 40;
    parameters.DiffusionMode = DiffusionBit::diffuse;
    for (float band : splitArrival(one, scattered, true, 0, 4)) {
        EXPECT_TRUE(std::isfinite(band));
        EXPECT_GT(band, 0);
    }
}

TEST(RandomizedReflectionTest, ReflectsInTheFacePlaneTiltedByThreeDraws) {
    threadRandom().reseed(1);
    Pyramid p = downwardPyramid();
    const Coord apex = p.apex;
    ASSERT_EQ(p.ray.direction().z, -1.0);
    // Face plane z = 1, normal (0, 0, 1): n·v = -1, a = -0.2.
    randomizedReflection(p, Plane(Z_AXIS, -1));

    // Draws 41, 18467, 6334 → r = 0.0041, 0.8467, 0.6334; a·(1 − 2r) =
    // -0.2·0.9918 = -0.19836, -0.2·(-0.6934) = 0.13868, -0.2·(-0.2668) = 0.05336.
    const Versor n(-0.19836, 0.13868, 1.05336);
    const Vector axis = mirrored(Vector(0, 0, -1), n);
    expectVector(p.section.axis, axis, "axis");
    expectVector(p.ray.direction(), axis, "ray direction");
    expectVector(p.ray.origin, p.hitPoint, "ray origin");
    // The apex is mirrored in the tilted plane through the hit point.
    expectVector(p.apex, apex - 2 * dot(apex - p.hitPoint, n) * n, "apex");
    // Worked out by hand: |n|² = 0.039347 + 0.019232 + 1.109567 = 1.168146, so the reflected
    // z is -1 + 2·1.109567/1.168146 = 0.8997 (a plain specular reflection would give 1), and
    // x = 2·(-0.19836)·1.05336/1.168146 = -0.3577.
    EXPECT_NEAR(p.ray.direction().z, 0.8997, 1e-4);
    EXPECT_NEAR(p.ray.direction().x, -0.3577, 1e-4);
    // Exactly three values were drawn: the fourth of the sequence comes next.
    EXPECT_EQ(threadRandom().next(), 26500);
}

TEST(RandomizedReflectionTest, AGrazingRayIsNotTilted) {
    threadRandom().reseed(1);
    Pyramid p = downwardPyramid();
    const Pyramid before = p;
    // The plane y = 0.2 contains the axis (0, 0, -1): n·v = 0, so a = 0 whatever the draws.
    randomizedReflection(p, Plane(Y_AXIS, -0.2));
    expectVector(p.section.axis, before.section.axis, "axis");
    expectVector(p.apex, before.apex, "apex");
    // The edges are mirrored in y exactly: edge 1 becomes what edge 2 was.
    expectVector(p.section.edge1, before.section.edge2, "edge 1");
    expectVector(p.section.edge2, before.section.edge1, "edge 2");
    expectVector(p.section.edge0, before.section.edge0, "edge 0");
    // The three numbers are drawn all the same.
    EXPECT_EQ(threadRandom().next(), 26500);
}
