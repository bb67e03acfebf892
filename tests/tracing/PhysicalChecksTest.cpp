#include <algorithm>
#include <array>

#include "support/TracingFixture.h"
#include "tracing/PyramidGenerator.h"

// The tracer against closed forms of room acoustics, in a closed 10 x 8 x 3 m room traced by the run sequence. The
// walls do not obstruct (in a convex room no face stands between two points); wall w (0 to 5, the plane of axis w / 2
// at 0 for even w, at the room's size for odd w) has α = 0.05·(w + 1), so that each reflection shows its wall.
class ShoeboxTest : public TracingFixture {
protected:
    TraceStatistics runRoom(const std::string& settings) {
        std::string library;
        for (int w = 0; w < 6; ++w) library += std::to_string(w + 1) + " Wall, " + bands(0.05 * (w + 1)) + "\n";
        return run(box(10, 8, 3, 0, {1, 2, 3, 4, 5, 6}) +
                       " Source 3.1 2.3 1.7 4.1 2.3 1.7 0 omni.spk\n Receiver 6.7 5.2 1.1 5.7 5.2 1.1\n",
                   library, "Humidity=50\nTemperature=20\nHitLevel=-1\nCloneLevel=-1\nRandomizeAfter=-1\nLevel=8\n" + settings);
    }
    static double component(const Vector& v, int a) { return a == 0 ? v.x : a == 1 ? v.y : v.z; }
    static double planeOf(int w) { return w % 2 == 0 ? 0 : std::array{10.0, 8.0, 3.0}[w / 2]; }
    static Coord mirrored(Coord q, int w) {
        (w < 2 ? q.x : w < 4 ? q.y : q.z) = 2 * planeOf(w) - component(q, w / 2);
        return q;
    }
};

// With History 1 every pyramid delivers its direct sound, is reflected once and delivers from the image of the source.
// An omnidirectional source (no loudspeaker file) gives each pyramid 1e11 a band: the receiver should hear
// 1e11·(1 - α_w)·exp(-m·d) / (4πd²) from each image I_w over d = |I_w - R|, and the direct sound with α = 0. The
// method departs from that in three known ways, which give the windows:
// 1. Every pyramid starts from the source displaced by δ = (1e-4, 2e-4, 3e-4): each distance changes by |δ|.
// 2. The path runs along the central ray to its hit H and on to R: a + b instead of c = |I - R|, with a = |I - H|,
//    b = |H - R|. With φ the angle at I between the axis and R, b² = a² + c² - 2ac·cos φ, so the excess a + b - c
//    grows with a, at most h / cos(ψ + φ): h the apex's distance from the wall, ψ the angle between the wall's normal
//    and I-R. A point inside a pyramid lies within asin(radius / |centroid|) of its axis, which bounds φ.
// 3. A pyramid straddling a wall's edge reflects whole off the wall its axis hits, and a receiver on the boundary of
//    two pyramids is served by both: the positions are chosen so that neither happens (seven arrivals).
TEST_F(ShoeboxTest, FirstReflectionsArriveFromTheImageSources) {
    runRoom("History=1\nTime=0.1\nPrecision=0.00001\n");
    const Coord source(3.1, 2.3, 1.7), receiver(6.7, 5.2, 1.1), apex = source + Vector(1e-4, 2e-4, 3e-4);
    const double shift = distance(source, apex);
    double phi = 0;
    PyramidGenerator generator;
    generator.start(source, 8, false);
    while (generator.count() > 0) {
        const PyramidSection& section = generator.next().section;
        phi = std::max(phi, std::asin(section.radius / section.centroid.modulus()));
    }
    generator.finish();
    // The path windows [lo, hi] and energy shares of the arrivals, which fall in distinct classes.
    std::vector<std::array<double, 3>> windows{{distance(source, receiver) - shift, distance(source, receiver) + shift, 1}};
    for (int w = 0; w < 6; ++w) {
        const double h = std::fabs(component(apex, w / 2) - planeOf(w)), cA = distance(mirrored(apex, w), receiver);
        const double psi = std::acos((h + std::fabs(component(receiver, w / 2) - planeOf(w))) / cA);
        ASSERT_LT(psi + phi, std::numbers::pi / 2);
        const double a = std::min(cA, h / std::cos(psi + phi)), straight = distance(mirrored(source, w), receiver);
        const double excess = a + std::sqrt(a * a + cA * cA - 2 * a * cA * std::cos(phi)) - cA;
        windows.push_back({straight - shift, straight + shift + excess, 1 - 0.05 * (w + 1)});
    }
    std::vector<std::array<double, 3>> sorted = windows;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 1; i < sorted.size(); ++i) ASSERT_GT(classOf(sorted[i][0]), classOf(sorted[i - 1][1]));
    const auto rows = arrivals(1);
    ASSERT_EQ(rows.size(), 7u);
    BandEnergies power;
    power.fill(1e11f);
    for (const auto& [lo, hi, share] : windows) {
        const auto found = std::find_if(rows.begin(), rows.end(), [&](const auto& row) {
            return row.first >= classOf(lo) && row.first <= classOf(hi);
        });
        ASSERT_NE(found, rows.end()) << "an arrival between " << lo << " and " << hi << " m";
        // The energy falls with the path: the window's ends bound it (1e-6: single precision).
        const std::vector<double> atLo = expected(power, lo, share), atHi = expected(power, hi, share);
        for (int b = 0; b < bandCount; ++b)
            EXPECT_TRUE(found->second[b] >= atHi[b] * (1 - 1e-6) && found->second[b] <= atLo[b] * (1 + 1e-6)) << lo << ' ' << b;
    }
}

// The mean free path against Kuttruff's 4V/S. A specular reflection in a rectangular room only changes the signs of
// the direction's components, so a central ray meets walls at the rate |u_x|/L_x + |u_y|/L_y + |u_z|/L_z per metre for
// ever; over the sphere each |u_i| averages 1/2, and (1/2)(1/L_x + 1/L_y + 1/L_z) = S / 4V. Within 5%: the first leg
// (source to wall), shorter than a free path, counts once in some 50 reflections; each pyramid counts once whatever
// its solid angle, and at level 8 the 2048 axes average the rate within 0.1%.
TEST_F(ShoeboxTest, MeanFreePathIsFourVolumesOverTheSurface) {
    const TraceStatistics statistics = runRoom("History=-1\nTime=0.5\nPrecision=0.001\n");
    const double kuttruff = 4 * (10 * 8 * 3) / (2 * (10 * 8 + 10 * 3 + 8 * 3.0));  // 3.582 m
    EXPECT_NEAR(statistics.pathSum / statistics.reflectionCount, kuttruff, 0.05 * kuttruff);
    // About 0.5 s · 343 m/s / 3.6 m = 48 reflections per pyramid, and the closed room lets no pyramid escape.
    EXPECT_TRUE(statistics.reflectionCount / (8 << 8) > 40 && statistics.escapedCount == 0);
}
