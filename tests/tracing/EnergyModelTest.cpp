#include <array>
#include <cfloat>
#include <thread>

#include "support/TracingFixture.h"
#include "tracing/Diffraction.h"
#include "tracing/EnergyModel.h"
#include "tracing/PyramidGenerator.h"
#include "tracing/RandomGenerator.h"

namespace {
using Expected = std::array<double, bandCount>;
constexpr double pi = std::numbers::pi;

void expectBands(const BandEnergies& actual, const Expected& wanted, const std::string& what = "") {  // single precision
    for (int b = 0; b < bandCount; ++b)
        EXPECT_NEAR(actual[b], wanted[b], 1e-6 * std::fabs(wanted[b]) + 1e-30) << what << ", band " << b;
}

BandEnergies tenths(double scale) {  // scale·1, scale·2, ... scale·10: a band read from the wrong index shows
    BandEnergies e;
    for (int b = 0; b < bandCount; ++b) e[b] = static_cast<float>(scale * (b + 1));
    return e;
}

Pyramid downward() {  // its axis exactly (0, 0, -1) from (0.3, 0.2, 6), its hit point on the plane z = 1
    PyramidSeed seed;
    seed.apex = Coord(0.3, 0.2, 6);
    const double h = 0.05 * std::sqrt(3.0);
    seed.section.set(Vector(0.1, 0, -1), Vector(-0.05, h, -1), Vector(-0.05, -h, -1));
    Pyramid p(seed, tenths(1));
    p.hitPoint = Coord(0.3, 0.2, 1);
    return p;
}
}  // namespace

// Material 1 absorbs only; 2 has transmission losses, 999.9 and 1000 dB in bands 3 and 4; 3 a scattering per band.
class EnergyModelTest : public TracingFixture {
protected:
    void SetUp() override {
        TracingFixture::SetUp();
        writeFile("room.material", "1 A, 0 0.1 0.25 0.5 0.75 0.9 1 1.5 0.05 0.2\n2 T, " + bands(0) +
                                       ", 10 20 3 999.9 1000 30 0.001 15 40 5\n3 S, " + bands(0) + ", " + bands(999.9) +
                                       ", 0.05 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9\n");
    }
};

TEST_F(EnergyModelTest, FacesAbsorbTransmitAndScatterBandByBand) {
    const auto after = [](void (*apply)(BandEnergies&, unsigned), unsigned material, BandEnergies e = tenths(1)) {
        apply(e, material);
        return e;
    };
    // α of 1 and 1.5 silence the band rather than turn it negative.
    expectBands(after(applyAbsorption, 1), {1, 2 * 0.9, 3 * 0.75, 4 * 0.5, 5 * 0.25, 6 * 0.1, 0, 0, 9 * 0.95, 8});
    // Divided by 10^(TL/10) (3 dB → 1.9952623, 0.001 → 1.0002303, 15 → 31.622777, 5 → 3.1622777): a monopermeable
    // face passes bands of 999.9 dB and more whole; an obstruction blocks them, and bands not above 0.
    const Expected passed{0.1, 0.02, 3 / 1.9952623, 4, 5, 0.006, 7 / 1.0002303, 8 / 31.622777, 9e-4, 10 / 3.1622777};
    expectBands(after(applyMonopermeable, 2), passed, "monopermeable");
    BandEnergies odd = tenths(1);
    odd[0] = 0, odd[1] = -2, odd[2] = std::nanf("");
    expectBands(after(applyObstruction, 2, odd), {0, 0, 0, 0, 0, 0.006, passed[6], passed[7], 9e-4, passed[9]});
    // The scattered share x becomes x + (1 − x)·s', Diffusion on only. Near an edge (bit 4 of the mode), bands whose
    // half wavelength 320 / (2f) (5.0794, 2.5397, 1.28, 0.64, 0.32 ... m) exceeds the distance have s' = 1 − (1 − s)·
    // 0.32 / h: 1 − 0.95·0.063, 1 − 0.9·0.126, 0.8, 0.65; band 4's equals it, and the raising stops there.
    const Expected material{0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9};
    const auto scattered = [](int mode, double edgeDistance, float before = 0) {
        parameters.DiffusionMode = mode;
        Pyramid p = downward();
        p.scattered.fill(before);
        updateScattering(p, 3, edgeDistance);
        return p.scattered;
    };
    expectBands(scattered(7, 0.32, 0.5), {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}, "diffusion off");
    parameters.Diffusion = true;
    parameters.SoundSpeed = 320;
    expectBands(scattered(4, 0.32), {0.94015, 0.8866, 0.8, 0.65, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9}, "near an edge");
    expectBands(scattered(4, 0), {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, "on the edge");
    expectBands(scattered(4, 1e12), material, "a face without edges");
    expectBands(scattered(3, 0.32), material, "without bit 4");
    expectBands(scattered(3, 1e12, 0.5), {0.525, 0.55, 0.6, 0.65, 0.7, 0.75, 0.8, 0.85, 0.9, 0.95}, "accumulated");
}

TEST_F(EnergyModelTest, ArrivalsAreSplitAsTheDiffusionModeSaysAndStayFiniteAtTheApex) {
    // Over d1 = 3 and d2 = 4 (R = 7, m[b] = 0.01·(b + 1)), s = 0.1·(b + 1) scattered: the specular part (1 − s)(b + 1)
    // / (4π·49) when inside and bit 1; the diffuse part s·(b + 1) / ((N·16 + 2·9)·2π) when bit 2, N pyramids a source
    // (8 at level 0, 32 at 2, 1 at -1, 0 from 29); both attenuated over R.
    const std::tuple<int, bool, std::uint32_t, double, double> cases[] = {  // mode, inside, level, specular, N·16 + 18
        {7, true, 0, 1, 146}, {7, false, 0, 0, 146}, {3, true, 0, 1, 146}, {3, false, 0, 0, 146}, {1, true, 0, 1, 0},
        {1, false, 0, 0, 0},  {5, true, 0, 1, 0},    {2, true, 0, 0, 146}, {2, false, 0, 0, 146}, {6, true, 0, 0, 146},
        {0, true, 0, 0, 0},   {4, true, 0, 0, 0},    {2, true, 2, 0, 530}, {2, true, noLevel, 0, 34}, {2, true, 29, 0, 18}};
    for (const auto& [mode, inside, level, specular, diffuse] : cases) {
        parameters.DiffusionMode = mode;
        parameters.Level = level;
        Expected wanted;
        for (int b = 0; b < bandCount; ++b) {
            const double s = 0.1 * (b + 1);
            const double part = specular * (1 - s) / (4 * pi * 49) + (diffuse ? s / (diffuse * 2 * pi) : 0);
            wanted[b] = std::exp(-0.07 * (b + 1)) * (b + 1) * part;
        }
        expectBands(splitArrival(tenths(1), tenths(0.1), inside, 3, 4), wanted, "mode " + std::to_string(mode) +
                    (inside ? " inside" : " outside") + " level " + std::to_string(level));
    }
    // Distances below 1e-6 m (0, negative, not a number) count as 1e-6 m, 2e-6 m as it is; split, the diffuse
    // denominator is raised to (1e-6 m)² as well; the largest float energy stays finite at the apex.
    const double atFloor = 1 / (4 * pi * 1e-12);
    for (const auto& [R, share] : {std::pair{0.0, 1.0}, {5e-7, 1}, {-1, 1}, {std::nan(""), 1}, {2e-6, 0.25}})
        EXPECT_NEAR(arrivalEnergy(tenths(1), R)[0], share * atFloor, atFloor * 1e-6) << R;
    parameters.DiffusionMode = 3;
    parameters.Level = 0;
    EXPECT_NEAR(splitArrival(tenths(1), tenths(0.5), true, 0, 0)[0], 1.5 * atFloor, 1.5 * atFloor * 1e-6);
    EXPECT_TRUE(std::isfinite(arrivalEnergy(tenths(FLT_MAX / 10), 0)[9]));
    // Kurze-Anderson: no detour, or a shorter path, gives nothing; a vanishing one 1/√10 (tanh(√x)² / x → 1); one of
    // 2 m at 8 kHz, where x = 4π·2·f / c > 140 and tanh(√x) = 1 to double precision, 1 / (√10·x).
    parameters.setTemperature(20);
    EXPECT_EQ(barrierAttenuation(tenths(1), 10, 5, 5), BandEnergies{});
    EXPECT_EQ(barrierAttenuation(tenths(1), 10, 4, 5), BandEnergies{});
    EXPECT_NEAR(barrierAttenuation(tenths(1), 10, 5, 5 + 1e-9)[0], 1 / std::sqrt(10.0), 1e-6);
    const double x = 4 * pi * 2 * bandFrequencies[8] / parameters.SoundSpeed;
    EXPECT_NEAR(barrierAttenuation(tenths(1), 10, 6, 6)[8], 9 / (std::sqrt(10.0) * x), 9e-6 / x);
}

TEST(RandomizedReflectionTest, ReflectsInTheFacePlaneTiltedByThreeDrawsOfTheClassicRandSequence) {
    // A new thread draws rand()'s values from seed 1: (214013 + 2531011) >> 16 = 41, then 18467, 6334, 26500 (state
    // ·214013 + 2531011 modulo 2^32, bits 16 to 30). On z = 1, a = 0.2·n·v = -0.2 tilts n by a·(1 − (draw % 10^4) / 5000).
    Pyramid p = downward();
    int next = 0;
    std::thread([&] {
        randomizedReflection(p, Plane(Z_AXIS, -1));
        next = threadRandom().next();
    }).join();
    EXPECT_EQ(next, 26500) << "three values drawn";
    const Versor n(-0.19836, 0.13868, 1.05336);
    const Vector axis = Vector(0, 0, -1) - 2 * dot(Vector(0, 0, -1), n) * n;
    EXPECT_TRUE(nearlyEqual(p.section.axis, axis) && nearlyEqual(p.ray.direction(), axis));
    EXPECT_TRUE(nearlyEqual(p.ray.origin, p.hitPoint) && nearlyEqual(p.apex, Coord(0.3, 0.2, 6) - 10 * dot(Z_AXIS, n) * n));
    // By hand: |n|² = 1.168146, z = -1 + 2·1.109567 / 1.168146 = 0.8997 (not 1), x = 2·(-0.19836)·1.05336 / 1.168146.
    EXPECT_TRUE(std::fabs(p.ray.direction().z - 0.8997) < 1e-4 && std::fabs(p.ray.direction().x + 0.3577) < 1e-4);
}

// The balloon file shows every section as a face on a sphere of radius 10, at level 1 derived by hand: the octahedron
// faces (i, z), edges (cos 90°i, sin 90°i, 0), (cos 90°(i + 1), sin 90°(i + 1), 0), (0, 0, z), pushed for i = 0..3,
// z = -1, +1, come out in reverse, each halved into (M, V2, V0), returned first, and (M, V0, V1), M the unit midpoint
// of V1 and V2 (7.07107 = 10 / √2 to six digits), with no "-0".
TEST_F(EnergyModelTest, ASourceRadiatesEightPyramidsShiftedByTheLevelHalvingTheOctahedronDepthFirst) {
    // 8 << level in 32 bits: from level 29 the 8 has left them; Level -1 (all bits set) is one pyramid.
    for (const auto& [level, count] : {std::pair{0u, 8u}, {4, 128}, {28, 0x80000000u}, {29, 0}, {35, 0}, {noLevel, 1}})
        EXPECT_TRUE(pyramidsPerSource(level) == count && PyramidGenerator::pyramidCount(level) == count) << level;
    for (std::uint32_t level : {1u, 5u, noLevel}) {
        PyramidGenerator generator;
        generator.start(Coord(1, 2, 3), level, true);
        std::uint32_t count = 0;
        for (; generator.count() > 0; ++count) {
            const PyramidSeed& seed = generator.next();
            EXPECT_TRUE(seed.level == level && nearlyEqual(seed.apex, Coord(1.0001, 2.0002, 3.0003))) << "beside the source";
        }
        generator.finish();
        EXPECT_EQ(count, level == noLevel ? 0 : 8u << level);
        if (level == 1) { EXPECT_EQ(readFile("ball.ray"), readFile(TOLVENO_TEST_DATA "/tracing/golden/balloon-level1.ray")); }
    }
    EXPECT_EQ(readFile("ball.ray"), "EntityList\nEnd\n");
}
