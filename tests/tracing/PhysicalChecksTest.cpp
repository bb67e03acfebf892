#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "acoustics/MicrophoneList.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "tracing/PyramidGenerator.h"

// The tracer checked against closed forms of room acoustics, in a closed
// rectangular room 10 x 8 x 3 m traced by the run sequence itself.
//
// The six walls do not obstruct: inside a convex room no face stands between
// two points, so the obstruction search could find nothing anyway, and an
// obstructing wall would only add the blocking of a leg that starts on a
// second face after an edge hit. Each wall has its own material, so that each
// reflection shows which wall it came from.
class ShoeboxTest : public UiFixture {
protected:
    static constexpr double size[3] = {10, 8, 3};

    /// Writes the room, its materials and the settings, and runs it.
    void run(const std::string& settings) {
        std::ostringstream room;
        room << "EntityList\n"
                " Face 0 1 4 0 0 0 0 8 0 0 8 3 0 0 3\n"         // x = 0
                " Face 0 2 4 10 0 0 10 8 0 10 8 3 10 0 3\n"     // x = 10
                " Face 0 3 4 0 0 0 10 0 0 10 0 3 0 0 3\n"       // y = 0
                " Face 0 4 4 0 8 0 10 8 0 10 8 3 0 8 3\n"       // y = 8
                " Face 0 5 4 0 0 0 10 0 0 10 8 0 0 8 0\n"       // z = 0
                " Face 0 6 4 0 0 3 10 0 3 10 8 3 0 8 3\n"       // z = 3
             << " Source " << source.x << ' ' << source.y << ' ' << source.z << ' ' << source.x + 1 << ' ' << source.y
             << ' ' << source.z << " 0 omni.spk\n"
             << " Receiver " << receiver.x << ' ' << receiver.y << ' ' << receiver.z << ' ' << receiver.x - 1 << ' '
             << receiver.y << ' ' << receiver.z << "\nEnd\n";
        writeFile("room.ray", room.str());
        std::ostringstream library;
        for (int wall = 1; wall <= 6; ++wall) {
            library << wall << " Wall" << wall << ",";
            for (int b = 0; b < bandCount; ++b) library << ' ' << alpha(wall - 1);
            library << '\n';
        }
        writeFile("room.material", library.str());
        writeFile("room.ini", "[Parameters]\nHumidity=50\nTemperature=20\nSaveAll=0\nDiffraction=0\nHitLevel=-1\n"
                              "SaveEscaped=0\nDiffusion=0\nDiffusionMode=7\nCloneLevel=-1\n"
                              "OpenMP=1\n" +
                                  settings);
        ASSERT_TRUE(parameters.parse("room"));
        manager = std::make_unique<RayManager>();
        ASSERT_TRUE(manager->ready);
        manager->run();
    }

    /// The absorption of wall w (0 to 5, in the order of the file): 0.05, 0.10, ... 0.30.
    static double alpha(int w) { return 0.05 * (w + 1); }

    /// The plane of wall w: axis w / 2 at 0 (even w) or at the room's size (odd w).
    static int axisOf(int w) { return w / 2; }
    static double planeOf(int w) { return w % 2 == 0 ? 0 : size[w / 2]; }

    /// The mirror image of a point in the plane of wall w.
    static Coord mirrored(const Coord& q, int w) {
        Coord image = q;
        double* c[3] = {&image.x, &image.y, &image.z};
        *c[axisOf(w)] = 2 * planeOf(w) - *c[axisOf(w)];
        return image;
    }

    static double component(const Vector& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

    Coord source{3.1, 2.3, 1.7};
    Coord receiver{6.7, 5.2, 1.1};
    std::unique_ptr<RayManager> manager;
};

// The first reflections of the room, against the image sources.
//
// With History 1 every pyramid delivers its direct sound, is reflected once
// and delivers from the image of the source in that wall; then it stops. An
// omnidirectional source (its loudspeaker file does not exist: 110 dB = 1e11 in
// every band, whatever the direction) makes the energy each pyramid carries
// the same, 1e11. The receiver should then hear seven arrivals: the direct
// sound over |S - R| and one from each image I_w over |I_w - R|, each carrying
// 1e11 · (1 - α_w) · exp(-m·d) / (4π d²).
//
// The method departs from that in three known ways, from which the
// tolerances below follow:
//
// 1. Every pyramid starts from the source displaced by δ = (1e-4, 2e-4, 3e-4).
//    Mirroring keeps lengths, so each image distance changes by at most |δ|.
// 2. A receiver is served by the pyramid that contains it, and the path is
//    measured along the central ray to its hit point H and on to the
//    receiver: a + b with a = |A - H| = |I - H|, b = |H - R|, instead of the
//    straight c = |I - R|. By the triangle inequality a + b ≥ c. With φ the
//    angle at I between the axis and the direction to R, b² = a² + c² -
//    2ac·cos φ, so the excess e(a) = a + b - c grows with a; and a is at most
//    h / cos(ψ + φ), h being the apex's distance from the wall and ψ the angle
//    between the wall's normal and the direction from I to R.
//    φ itself is bounded by the containment test: a point inside lies within
//    `radius` of the section's centroid, hence within asin(radius / |centroid|)
//    of the axis; the largest of these over the pyramids of the level bounds φ
//    (a mirrored pyramid keeps its angles).
// 3. Pyramids that straddle a wall's edge reflect whole off the wall their
//    axis hits, and a receiver on the boundary of two pyramids is served by
//    both. The positions are chosen so that neither happens, and the test
//    checks that on the pyramids of the level before it relies on it: each
//    of the seven directions (to R, and to R mirrored in each wall) lies in
//    exactly one pyramid, whose axis meets that wall well inside its edges.
TEST_F(ShoeboxTest, FirstReflectionsArriveFromTheImageSources) {
    const std::uint32_t level = 8;
    const double precision = 1e-5;
    ASSERT_NO_FATAL_FAILURE(run("Level=8\nHistory=1\nTime=0.1\nPrecision=0.00001\nRandomizeAfter=-1\n"));
    const double c = parameters.SoundSpeed;
    const Vector displacement(1e-4, 2e-4, 3e-4);
    const double shift = displacement.modulus();
    const Coord apex = source + displacement;

    // The pyramids of the level: their widest angle, and which of them hold the seven directions.
    double widest = 0;
    std::array<int, 7> holders{};
    std::array<int, 7> wallMet{};
    std::array<double, 7> edgeMargin{};
    edgeMargin.fill(1e12);
    PyramidGenerator generator;
    generator.start(source, level, false);
    BandEnergies unit{};
    unit.fill(1);
    while (generator.count() > 0) {
        const PyramidSeed& seed = generator.next();
        widest = std::max(widest, std::asin(seed.section.radius / seed.section.centroid.modulus()));
        const Pyramid pyramid(seed, unit);
        for (int k = 0; k < 7; ++k) {
            const Coord target = k == 0 ? receiver : mirrored(receiver, k - 1);
            if (!pyramid.contains(target)) continue;
            ++holders[k];
            // The wall the axis meets first, and how far inside its edges.
            const Versor& axis = seed.section.axis;
            double nearest = 1e12;
            for (int w = 0; w < 6; ++w) {
                const double t = (planeOf(w) - component(apex, axisOf(w))) / component(axis, axisOf(w));
                if (t > 0 && t < nearest) {
                    nearest = t;
                    wallMet[k] = w + 1;
                    const Coord hit = apex + t * axis;
                    edgeMargin[k] = 1e12;
                    for (int a = 0; a < 3; ++a)
                        if (a != axisOf(w))
                            edgeMargin[k] = std::min({edgeMargin[k], component(hit, a), size[a] - component(hit, a)});
                }
            }
        }
    }
    generator.finish();
    const double phi = widest;
    ASSERT_GT(phi, 0);
    for (int k = 0; k < 7; ++k) {
        ASSERT_EQ(holders[k], 1) << "direction " << k << " must lie inside exactly one pyramid";
        if (k > 0) {
            ASSERT_EQ(wallMet[k], k) << "the pyramid holding image " << k << " must reflect off wall " << k;
            // Far from the edges compared with the crack tolerance (1 mm) of the walls.
            ASSERT_GT(edgeMargin[k], 0.05) << k;
        }
    }

    // The expected arrivals: path windows [lo, hi] and the energy share of each.
    struct Arrival {
        double lo, hi, share;
    };
    std::vector<Arrival> expected;
    expected.push_back({distance(source, receiver) - shift, distance(source, receiver) + shift, 1});
    for (int w = 0; w < 6; ++w) {
        const Coord image = mirrored(source, w);
        const double straight = distance(image, receiver);
        // The excess of the path through the central ray's hit point, for the displaced apex.
        const int a = axisOf(w);
        const double h = std::fabs(component(apex, a) - planeOf(w));
        const double hR = std::fabs(component(receiver, a) - planeOf(w));
        const double cA = distance(mirrored(apex, w), receiver);
        const double psi = std::acos((h + hR) / cA);
        ASSERT_LT(psi + phi, std::numbers::pi / 2);
        const double aMax = std::min(cA, h / std::cos(psi + phi));
        const double excess = aMax + std::sqrt(aMax * aMax + cA * cA - 2 * aMax * cA * std::cos(phi)) - cA;
        expected.push_back({straight - shift, straight + shift + excess, 1 - alpha(w)});
    }
    // The windows must not overlap, or arrivals could not be told apart.
    std::vector<Arrival> sorted = expected;
    std::sort(sorted.begin(), sorted.end(), [](const Arrival& x, const Arrival& y) { return x.lo < y.lo; });
    for (std::size_t i = 1; i < sorted.size(); ++i)
        ASSERT_GT(std::floor(sorted[i].lo / c / precision), std::floor(sorted[i - 1].hi / c / precision));

    // Seven rows, each in the time window of its arrival, with the energy of a path in that window.
    const ImpulseResponse& response = microphones().at(1)->response;
    std::vector<std::uint32_t> rows;
    for (std::uint32_t k = 0; k <= response.classCount; ++k)
        if (response.row(k)[0] != 0) rows.push_back(k);
    ASSERT_EQ(rows.size(), 7u);
    const float power = 1e11f;
    for (int i = 0; i < 7; ++i) {
        const Arrival& wanted = expected[i];
        const auto first = static_cast<std::uint32_t>(std::floor(wanted.lo / c / precision));
        const auto last = static_cast<std::uint32_t>(std::floor(wanted.hi / c / precision));
        const auto found = std::find_if(rows.begin(), rows.end(), [&](std::uint32_t k) { return k >= first && k <= last; });
        ASSERT_NE(found, rows.end()) << "arrival " << i << " between " << wanted.lo << " and " << wanted.hi << " m";
        const BandEnergies& row = response.row(*found);
        for (int b = 0; b < bandCount; ++b) {
            const double m = parameters.airAbsorption[b];
            // The energy falls with the path: the window's ends bound it (1e-6: single precision).
            const auto at = [&](double R) { return power * wanted.share * std::exp(-m * R) / (4 * std::numbers::pi * R * R); };
            EXPECT_GE(row[b], at(wanted.hi) * (1 - 1e-6)) << "arrival " << i << ", band " << b;
            EXPECT_LE(row[b], at(wanted.lo) * (1 + 1e-6)) << "arrival " << i << ", band " << b;
        }
    }
}

// The mean free path of the room against Kuttruff's 4V/S.
//
// In a rectangular room a specular reflection only changes the signs of the
// direction's components, so a central ray keeps its |u_x|, |u_y|, |u_z| for
// ever and meets walls at the rate |u_x|/L_x + |u_y|/L_y + |u_z|/L_z per
// metre. Traced for a long time, pyramids all travel about the same length;
// the run's statistic, total path over total reflections, is then the inverse
// of that rate averaged over the directions. Over the whole sphere each |u_i|
// averages 1/2, and (1/2)(1/L_x + 1/L_y + 1/L_z) = S / 4V: the statistic of a
// shoebox tends to 4V/S even without a diffuse field, as long as the
// directions are spread evenly and the reflections are specular.
//
// Two things keep it from 4V/S exactly, both well within 5%:
// - the first leg of each pyramid runs from the source to its first wall,
//   which is on average shorter than a free path; over some 50 reflections in
//   0.5 s that lowers the mean by a fraction of 1/50;
// - each pyramid counts once whatever its solid angle, and its axis stands for
//   all its directions; at level 8 the 2048 axes average the rate to within
//   0.1% of the sphere's mean.
TEST_F(ShoeboxTest, MeanFreePathIsFourVolumesOverTheSurface) {
    ASSERT_NO_FATAL_FAILURE(run("Level=8\nHistory=-1\nTime=0.5\nPrecision=0.001\nRandomizeAfter=-1\n"));
    const double volume = 10 * 8 * 3;
    const double surface = 2 * (10 * 8 + 10 * 3 + 8 * 3);
    const double kuttruff = 4 * volume / surface;  // 3.582 m
    ASSERT_GT(manager->statistics.reflectionCount, 0);
    // As the results file derives it.
    const double meanFreePath = manager->statistics.pathSum / manager->statistics.reflectionCount;
    EXPECT_NEAR(meanFreePath, kuttruff, 0.05 * kuttruff);
    // About 0.5 s · 343 m/s / 3.6 m = 48 reflections per pyramid, enough for the first leg to matter little.
    EXPECT_GT(manager->statistics.reflectionCount / (8 << 8), 40);
    // The room is closed: no pyramid leaves it.
    EXPECT_EQ(manager->statistics.escapedCount, 0u);
}
