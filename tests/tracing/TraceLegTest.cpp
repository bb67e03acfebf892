#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <numbers>
#include <sstream>

#include "support/TracingFixture.h"

// One leg of a pyramid: which receivers it serves, with what energy and when,
// and how it is advanced to the face its central ray hits.
using TraceLegTest = TracingFixture;

TEST_F(TraceLegTest, InAnEmptyModelThePyramidEscapesAndServesTheReceiversInsideIt) {
    // Seen from the apex (1, 2, 3), looking along +x with the edges 0.17 rad off the axis:
    // receiver 1 lies 4.1° off the axis (inside), receiver 2 31° off (outside), receiver 3 behind.
    load(" Receiver 6 2.3 3.2 7 2.3 3.2\n Receiver 6 5 3 7 5 3\n Receiver -4 2 3 -5 2 3\n");
    Pyramid p = aimed(Coord(1, 2, 3), Vector(1, 0, 0));
    Face* monopermeable = nullptr;
    EXPECT_EQ(model.traceLeg(p, monopermeable), 0);
    EXPECT_EQ(monopermeable, nullptr);

    // Not advanced: no reflection, no path, no history, the energy it set out with.
    EXPECT_EQ(p.order, 0);
    EXPECT_EQ(p.pathLength, 0);
    EXPECT_EQ(p.historyCount, 0u);
    EXPECT_EQ(p.lastFace, nullptr);
    EXPECT_EQ(p.energy, rising());

    // The direct sound over R = |(5, 0.3, 0.2)| = √25.13 m, at R / c.
    const double R = std::sqrt(25.13);
    const auto rows = arrivals(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, classOf(R));
    expectRow(rows[0].second, expected(rising(), R), "direct sound");
    EXPECT_TRUE(microphones().at(1)->response.hasDirect) << "taken as the direct wave (order 0)";
    EXPECT_TRUE(arrivals(2).empty());
    EXPECT_TRUE(arrivals(3).empty());
}

// A pyramid from (0, 0, 10) heading down at 45° onto the floor z = 0: the
// central ray hits (10, 0, 0) after L = 10·√2; the image source is (0, 0, -10)
// and the reflected axis (1, 0, 1) / √2. The edges are 0.3 rad off the axis.
class FloorReflectionTest : public TracingFixture {
protected:
    void SetUp() override {
        TracingFixture::SetUp();
        load(" Face 0 1 4 -50 -50 0 50 -50 0 50 50 0 -50 50 0\n" +
             std::string(" Receiver 14 0.2 4.1 0 0 0\n") +  // 1: above the floor, near the reflected axis
             receiverAt(fromImage(52, 15)) +                   // 2: below the floor, inside the reflected pyramid
             " Receiver 10.5 0.3 0 0 0 0\n" +                  // 3: on the floor's plane
             receiverAt(fromImage(40, 13.5)));                  // 4: above the floor, nearer than L to the image
        p = aimed(Coord(0, 0, 10), Vector(1, 0, -1), 0.3);
        Face* monopermeable = nullptr;
        ASSERT_EQ(model.traceLeg(p, monopermeable), 1);
        ASSERT_EQ(p.lastFace, model.faceAt(0));
        // What the tracer does next: mirror the pyramid in the face and start from the hit point.
        p.reflect(p.lastFace->plane);
        p.startLegAtHitPoint();
        // Only what the reflected leg delivers is looked at.
        microphones().clearAll();
    }

    /// The point at a distance from the image (0, 0, -10) along a ray in the xz plane at an angle
    /// (degrees) from the vertical; the reflected axis is at 45°.
    static Coord fromImage(double degrees, double length) {
        const double a = degrees * std::numbers::pi / 180;
        return Coord(length * std::sin(a), 0, -10 + length * std::cos(a));
    }

    static std::string receiverAt(const Coord& q) {
        std::ostringstream out;
        out << std::setprecision(17) << " Receiver " << q.x << ' ' << q.y << ' ' << q.z << " 0 0 0\n";
        return out.str();
    }

    // Receiver 2: 15 m from the image, 7° off the axis: z = -10 + 15·cos 52° = -0.77, below the floor.
    // Receiver 4: 13.5 m from the image, 5° off the axis on the steep side: z = -10 + 13.5·cos 40° = 0.34
    // above the floor, but 13.5 m < L.
    const double L = 10 * std::sqrt(2.0);
    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
};

TEST_F(FloorReflectionTest, TheLegArrivesAlongThePathTravelled) {
    Face* monopermeable = nullptr;
    EXPECT_EQ(model.traceLeg(p, monopermeable), 0);
    // The path runs to the hit point and on to the receiver: L + |(14, 0.2, 4.1) - (10, 0, 0)|,
    // not the 19.871 m from the image; the energy left the floor with 1 - 0.2 of it.
    const double R = L + std::sqrt(16 + 0.04 + 16.81);
    const auto rows = arrivals(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, classOf(R));
    expectRow(rows[0].second, expected(rising(), R, 0.8), "first reflection");
    EXPECT_FALSE(microphones().at(1)->response.hasDirect) << "a reflection is no direct wave";
}

TEST_F(FloorReflectionTest, OnlyReceiversStrictlyBeyondTheFaceAreServed) {
    // Receivers 2 and 3 lie inside the reflected pyramid and not nearer than L to the
    // image source: only the side of the floor keeps them out.
    for (int i : {2, 3}) {
        const Coord& receiver = microphones().at(i)->axis.origin;
        ASSERT_TRUE(p.contains(receiver)) << i;
        ASSERT_GE(distance(p.apex, receiver), p.pathLength) << i;
    }
    Face* monopermeable = nullptr;
    model.traceLeg(p, monopermeable);
    EXPECT_TRUE(arrivals(2).empty()) << "on the image source's side";
    EXPECT_TRUE(arrivals(3).empty()) << "on the plane of the face";
}

TEST_F(FloorReflectionTest, AReceiverNearerThanThePathTravelledIsNotServed) {
    // Receiver 4 is inside the reflected pyramid and above the floor, but nearer to the
    // image than the path already travelled: along the unfolded path it comes before the floor.
    const Coord& receiver = microphones().at(4)->axis.origin;
    ASSERT_TRUE(p.contains(receiver));
    ASSERT_LT(distance(p.apex, receiver), p.pathLength);
    Face* monopermeable = nullptr;
    model.traceLeg(p, monopermeable);
    EXPECT_TRUE(arrivals(4).empty());
}

// A panel in the plane x = 3 between the apex (0, 0, 0) and a receiver at
// (6, 0.2, 0.1); another receiver before it at (1.5, 0.05, 0.05).
namespace {
struct PanelCase {
    const char* name;
    int flags;
    int material;
    double passed;  // the share of the direct sound that reaches the receiver behind
    float alpha;    // the panel's absorption
};
}  // namespace

class PanelTest : public TracingFixture, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(PanelTest, ObstructingFacesHideReceiversByTheirTransmissionLoss) {
    const PanelCase& c = GetParam();
    load(" Face " + std::to_string(c.flags) + ' ' + std::to_string(c.material) +
         " 4 3 -5 -5 3 5 -5 3 5 5 3 -5 5\n Receiver 6 0.2 0.1 7 0 0\n Receiver 1.5 0.05 0.05 2 0 0\n");
    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
    Face* monopermeable = nullptr;
    ASSERT_EQ(model.traceLeg(p, monopermeable), 1);

    const double behind = std::sqrt(36.05), before = std::sqrt(2.255);
    const auto rows = arrivals(1);
    if (c.passed == 0) {
        EXPECT_TRUE(rows.empty());
    } else {
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].first, classOf(behind));
        expectRow(rows[0].second, expected(rising(), behind, c.passed), "behind the panel");
    }
    const auto near = arrivals(2);
    ASSERT_EQ(near.size(), 1u);
    expectRow(near[0].second, expected(rising(), before), "before the panel");

    // The pyramid is advanced to the panel, 3 m away, and has lost the panel's absorption.
    EXPECT_EQ(p.order, 1);
    EXPECT_DOUBLE_EQ(p.lastLeg, 3);
    EXPECT_DOUBLE_EQ(p.pathLength, 3);
    EXPECT_DOUBLE_EQ(p.pathLengthSquares, 9);
    EXPECT_EQ(p.lastFace, numbered(1));
    EXPECT_NEAR(p.hitPoint.x, 3, 1e-12);
    ASSERT_EQ(p.historyCount, 1u);
    EXPECT_EQ(p.history[0].face, 1u);
    EXPECT_NEAR(p.history[0].point.x, 3, 1e-12);
    for (int b = 0; b < bandCount; ++b)
        EXPECT_NEAR(p.energy[b], rising()[b] * (1 - c.alpha), 1e-6 * rising()[b]) << b;
}

INSTANTIATE_TEST_SUITE_P(Panels, PanelTest,
                         ::testing::Values(
                             // Obstructing and 999.9 dB in every band: nothing passes.
                             PanelCase{"Opaque", FaceFlag::obstructing, 4, 0, 0.1f},
                             // The same material on a face that does not obstruct: it never hides.
                             PanelCase{"NotObstructing", 0, 4, 1, 0.1f},
                             // 10 dB: a tenth passes.
                             PanelCase{"TenDecibels", FaceFlag::obstructing, 2, 0.1, 0.3f}),
                         [](const ::testing::TestParamInfo<PanelCase>& info) { return std::string(info.param.name); });

TEST_F(TraceLegTest, PassingAnObstructingMonopermeableFaceCostsItsTransmissionLoss) {
    // A monopermeable, obstructing panel of 10 dB at x = 3 and a soft wall at x = 10.
    load(" Face 3 2 4 3 -2 -2 3 2 -2 3 2 2 3 -2 2\n Face 0 3 4 10 -5 -5 10 5 -5 10 5 5 10 -5 5\n"
         " Receiver 6 0.2 0.1 7 0 0\n Receiver 1.5 0.05 0.05 2 0 0\n");
    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
    Face* monopermeable = nullptr;
    ASSERT_EQ(model.traceLeg(p, monopermeable), 1);
    EXPECT_EQ(monopermeable, numbered(1));
    EXPECT_TRUE(p.monopermeablePassed);
    EXPECT_EQ(p.lastFace, numbered(2));
    EXPECT_DOUBLE_EQ(p.pathLength, 10);

    // Beyond the panel the receiver is not hidden by it (the passed face is no obstruction)
    // but hears it through its 10 dB; before it, the receiver hears the source whole.
    const auto behind = arrivals(1);
    ASSERT_EQ(behind.size(), 1u);
    expectRow(behind[0].second, expected(rising(), std::sqrt(36.05), 0.1), "beyond the panel");
    const auto before = arrivals(2);
    ASSERT_EQ(before.size(), 1u);
    expectRow(before[0].second, expected(rising(), std::sqrt(2.255)), "before the panel");

    // The pyramid carries on with a tenth, then loses half at the soft wall.
    for (int b = 0; b < bandCount; ++b) EXPECT_NEAR(p.energy[b], rising()[b] * 0.05, 1e-6 * rising()[b]) << b;
}

TEST_F(TraceLegTest, AnEdgeHitIsAbsorbedByEveryFaceMet) {
    // The floor (α 0.2, 100 m², first in the model) and the wall x = 10 (α 0.5, 30 m²) meet at the
    // edge the central ray from (5, 0, 5) along (1, 0, -1) strikes.
    load(" Face 0 1 4 0 -5 0 10 -5 0 10 5 0 0 5 0\n Face 0 3 4 10 -5 0 10 5 0 10 5 3 10 -5 3\n");
    ASSERT_EQ(model.faceAt(0)->number, 1u);
    Pyramid p = aimed(Coord(5, 0, 5), Vector(1, 0, -1));
    Face* monopermeable = nullptr;
    ASSERT_EQ(model.traceLeg(p, monopermeable), 2);
    for (int b = 0; b < bandCount; ++b) EXPECT_NEAR(p.energy[b], rising()[b] * 0.4, 1e-6 * rising()[b]) << b;
    EXPECT_EQ(p.lastFace, numbered(1)) << "the first face held";
    EXPECT_EQ(p.order, 1);
    EXPECT_NEAR(p.pathLength, 5 * std::sqrt(2.0), 1e-12);
    ASSERT_EQ(p.historyCount, 1u);
    EXPECT_EQ(p.history[0].face, 1u);
}

TEST_F(TraceLegTest, TheHistoryKeepsTheFirstSixteenReflections) {
    // Two mirrors, x = 0 (face 1) and x = 10 (face 2); from (2, 0, 0) along +x the central ray
    // hits face 2 first, then the two in turn, 10 m apart.
    load(" Face 0 1 4 0 -5 -5 0 5 -5 0 5 5 0 -5 5\n Face 0 1 4 10 -5 -5 10 5 -5 10 5 5 10 -5 5\n");
    Pyramid p = aimed(Coord(2, 0, 0), Vector(1, 0, 0));
    double keep = 1;
    for (int k = 1; k <= 20; ++k) {
        Face* monopermeable = nullptr;
        ASSERT_EQ(model.traceLeg(p, monopermeable), 1) << k;
        keep *= 0.8;
        EXPECT_EQ(p.order, k);
        EXPECT_EQ(p.historyCount, static_cast<std::uint32_t>(std::min(k, 16))) << k;
        EXPECT_NEAR(p.pathLength, 8 + 10.0 * (k - 1), 1e-9) << k;
        EXPECT_NEAR(p.energy[9], 10000 * keep, 1e-5 * 10000 * keep) << k;
        p.reflect(p.lastFace->plane);
        p.startLegAtHitPoint();
    }
    // Entry i is hit i + 1: odd hits on face 2 at x = 10, even hits on face 1 at x = 0.
    for (int i = 0; i < 16; ++i) {
        const bool odd = (i + 1) % 2 == 1;
        EXPECT_EQ(p.history[i].face, odd ? 2u : 1u) << i;
        EXPECT_NEAR(p.history[i].point.x, odd ? 10 : 0, 1e-9) << i;
    }
}
