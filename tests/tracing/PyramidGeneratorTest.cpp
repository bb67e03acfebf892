#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/UiFixture.h"
#include "tracing/Pyramid.h"
#include "tracing/PyramidGenerator.h"

namespace {
std::vector<PyramidSeed> allSeeds(std::uint32_t level, int* largestStack = nullptr) {
    PyramidGenerator generator;
    generator.start(Coord(1, 2, 3), level, false);
    std::vector<PyramidSeed> seeds;
    int largest = generator.count();
    while (generator.count() > 0) {
        seeds.push_back(generator.next());
        largest = std::max(largest, generator.count());
    }
    generator.finish();
    if (largestStack) *largestStack = largest;
    return seeds;
}

bool sameDirection(const Vector& a, const Vector& b) { return nearlyEqual(a, b); }
}  // namespace

TEST(PyramidGeneratorTest, LevelZeroGivesTheOctahedronTopFirst) {
    const auto seeds = allSeeds(0);
    ASSERT_EQ(seeds.size(), 8u);
    // Faces (i, z) are pushed (0,-1) ... (3,+1) and come out in the reverse order.
    const double c[] = {1, 0, -1, 0, 1}, s[] = {0, 1, 0, -1, 0};
    for (int k = 0; k < 8; ++k) {
        const int i = 3 - k / 2;
        const double z = k % 2 == 0 ? 1 : -1;
        EXPECT_TRUE(sameDirection(seeds[k].section.edge0, Vector(c[i], s[i], 0))) << k;
        EXPECT_TRUE(sameDirection(seeds[k].section.edge1, Vector(c[i + 1], s[i + 1], 0))) << k;
        EXPECT_TRUE(sameDirection(seeds[k].section.edge2, Vector(0, 0, z))) << k;
        EXPECT_EQ(seeds[k].level, 0u);
    }
    // The last seed is the first face pushed, (0, -1), around (1, 1, -1) / sqrt(3).
    const double r = 1 / std::sqrt(3.0);
    EXPECT_NEAR(seeds[7].section.axis.x, r, 1e-15);
    EXPECT_NEAR(seeds[7].section.axis.z, -r, 1e-15);
    // Every pyramid starts from the point just beside the source.
    EXPECT_TRUE(nearlyEqual(seeds[0].apex, Coord(1.0001, 2.0002, 3.0003)));
}

TEST(PyramidGeneratorTest, HalvingPutsTheNewVertexFirst) {
    const auto seeds = allSeeds(1);
    ASSERT_EQ(seeds.size(), 16u);
    // Face (3, +1) = (0,-1,0) (1,0,0) (0,0,1): M = the midpoint of (1,0,0) and (0,0,1).
    // The second child (M, V2, V0) comes out before the first (M, V0, V1).
    const double h = 1 / std::sqrt(2.0);
    const Vector m(h, 0, h);
    EXPECT_TRUE(sameDirection(seeds[0].section.edge0, m));
    EXPECT_TRUE(sameDirection(seeds[0].section.edge1, Vector(0, 0, 1)));
    EXPECT_TRUE(sameDirection(seeds[0].section.edge2, Vector(0, -1, 0)));
    EXPECT_TRUE(sameDirection(seeds[1].section.edge0, m));
    EXPECT_TRUE(sameDirection(seeds[1].section.edge1, Vector(0, -1, 0)));
    EXPECT_TRUE(sameDirection(seeds[1].section.edge2, Vector(1, 0, 0)));
    for (const PyramidSeed& seed : seeds) EXPECT_EQ(seed.level, 1u);
}

TEST(PyramidGeneratorTest, CountAndStackBound) {
    for (std::uint32_t level : {2u, 5u}) {
        int largest = 0;
        const auto seeds = allSeeds(level, &largest);
        EXPECT_EQ(seeds.size(), 8u << level);
        EXPECT_LE(largest, static_cast<int>(level) + 8);
        for (const PyramidSeed& seed : seeds) ASSERT_EQ(seed.level, level);
    }
    EXPECT_TRUE(allSeeds(UINT32_MAX).empty());
    EXPECT_EQ(PyramidGenerator::pyramidCount(UINT32_MAX), 1u);
    EXPECT_EQ(PyramidGenerator::pyramidCount(4), 128u);
    EXPECT_EQ(PyramidGenerator::pyramidCount(28), 8u << 28);
    EXPECT_EQ(PyramidGenerator::pyramidCount(29), 0u) << "8 << 29 does not fit 32 bits";
}

TEST(PyramidGeneratorTest, SectionsCoverTheSphereAtLevel3) {
    const auto seeds = allSeeds(3);
    std::mt19937 random(2024);
    std::normal_distribution<double> gauss;
    // A direction lies in a section when the ray along it meets the section's plane inside the triangle.
    for (int round = 0; round < 3000; ++round) {
        const Versor d(gauss(random), gauss(random), gauss(random));
        int holders = 0;
        for (const PyramidSeed& seed : seeds) {
            Pyramid p(seed, BandEnergies{});
            holders += p.contains(p.apex + 5.0 * d) ? 1 : 0;
        }
        // Neighbouring sections overlap only by the containment tolerance, so a
        // direction near a shared edge may belong to two or three of them.
        ASSERT_GE(holders, 1) << d.x << ' ' << d.y << ' ' << d.z;
        ASSERT_LE(holders, 6);
    }
}

class BalloonTest : public UiFixture {};

TEST_F(BalloonTest, LevelZeroFile) {
    PyramidGenerator generator;
    generator.start(Coord(0, 0, 0), 0, true);
    while (generator.count() > 0) generator.next();
    generator.finish();
    const std::string text = readFile("ball.ray");
    EXPECT_EQ(text.substr(0, 51), "EntityList\n Face 0 0 3  0 -10 0  10 0 0  0 0 10\n Fa");
    EXPECT_EQ(text.find("-0 "), std::string::npos) << "no negative zero";
    EXPECT_EQ(text.substr(text.size() - 4), "End\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10);
}

TEST_F(BalloonTest, NoPyramidsGiveAnEmptyList) {
    PyramidGenerator generator;
    generator.start(Coord(0, 0, 0), UINT32_MAX, true);
    EXPECT_EQ(generator.count(), 0);
    generator.finish();
    EXPECT_EQ(readFile("ball.ray"), "EntityList\nEnd\n");
}

TEST(PyramidTest, ANewPyramidStartsClean) {
    PyramidSeed seed;
    seed.apex = Coord(1, 1, 1);
    seed.section.set(Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, -1));
    BandEnergies energy{};
    energy[4] = 2.5f;
    const Pyramid p(seed, energy);
    EXPECT_EQ(p.order, 0);
    EXPECT_EQ(p.pathLength, 0);
    EXPECT_EQ(p.lastLeg, 1e12);
    EXPECT_EQ(p.lastFace, nullptr);
    EXPECT_EQ(p.historyCount, 0u);
    EXPECT_EQ(p.energy[4], 2.5f);
    EXPECT_TRUE(nearlyEqual(p.ray.origin, seed.apex));
    EXPECT_TRUE(nearlyEqual(p.ray.direction(), seed.section.axis));

    Pyramid scattered = p;
    scattered.scattered.fill(0.5f);
    const Pyramid copy = scattered.clone();
    EXPECT_EQ(copy.scattered[3], 0.0f);
    EXPECT_EQ(copy.energy[4], 2.5f);
}

TEST(PyramidTest, ContainmentAtTheBoundaries) {
    PyramidSeed seed;
    seed.apex = Coord(0, 0, 0);
    seed.section.set(Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
    const Pyramid p(seed, BandEnergies{});
    EXPECT_TRUE(p.contains(Coord(1, 1, 1)));
    EXPECT_TRUE(p.contains(Coord(5, 0.001, 0.001)));
    EXPECT_FALSE(p.contains(Coord(1, -0.01, 1))) << "a negative component against a positive axis";
    EXPECT_FALSE(p.contains(Coord(-1, -1, -1)));
    // On a face of the pyramid (z = 0): the triangle areas add up exactly, within the 1e-6 of area.
    EXPECT_TRUE(p.contains(Coord(1, 1, 0)));
    // Just outside that face: the extra area is far above 1e-6.
    EXPECT_FALSE(p.contains(Coord(1, 1, -0.01)));
    EXPECT_FALSE(p.contains(Coord(2, 2, -1)));
}

TEST(PyramidTest, SpecularReflectionMirrorsApexAndDirections) {
    PyramidSeed seed;
    seed.apex = Coord(1, 2, 3);
    seed.section.set(Vector(1, 0.1, -1), Vector(1, -0.1, -1), Vector(1.1, 0, -1));
    Pyramid p(seed, BandEnergies{});
    p.reflect(Plane(Versor(0, 0, 1), 0));  // the floor z = 0
    EXPECT_TRUE(nearlyEqual(p.apex, Coord(1, 2, -3)));
    EXPECT_GT(p.section.axis.z, 0);
    EXPECT_NEAR(p.section.axis.x, seed.section.axis.x, 1e-15);
    EXPECT_NEAR(p.section.axis.z, -seed.section.axis.z, 1e-15);

    p.hitPoint = Coord(2, 2, 0);
    p.retroReflect();
    EXPECT_TRUE(nearlyEqual(p.apex, Coord(3, 2, 3)));  // mirrored through the hit point
    EXPECT_NEAR(p.section.axis.z, seed.section.axis.z, 1e-15);
}
