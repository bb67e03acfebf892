#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <tuple>

#include "support/TracingFixture.h"
#include "tracing/PyramidLog.h"
#include "tracing/PyramidTracer.h"

// One leg of a pyramid (the receivers it serves, with what energy and when, and its advance to its hit), and the trace
// loop: how far a pyramid goes, what its hits, escapes and clones add up to. Pyramids start along +x from the origin.
class TracerTest : public TracingFixture {
protected:
    // Traces p and commits its log; packed, when given, gets the log as it stood before the commit.
    TraceStatistics trace(const Model& in, std::string* packed = nullptr) {
        TraceStatistics statistics;
        PyramidLog log;
        PyramidTracer(in, log).trace(p);
        if (packed) log.pack(*packed);
        log.commit(statistics);
        return statistics;
    }
    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
};

// From (0, 0, 10) down at 45° onto the floor z = 0 (edges 0.3 rad off the axis), the central ray hits (10, 0, 0) after
// L = 10·√2; the image source is (0, 0, -10), the reflected axis (1, 0, 1) / √2. Receiver 2 lies 7° off the reflected
// axis below the floor, 3 on its plane, 4 5° off it above the floor but nearer the image than L, 5 outside both legs.
TEST_F(TracerTest, ALegServesTheReceiversInsideItBeyondTheFaceAlongThePathTravelled) {
    const auto fromImage = [](double degrees, double length) {  // from the image at an angle from the vertical
        std::ostringstream out;
        const double a = degrees * std::numbers::pi / 180;
        out << std::setprecision(17) << " Receiver " << length * std::sin(a) << " 0 " << length * std::cos(a) - 10
            << " 0 0 0\n";
        return out.str();
    };
    load(" Face 0 1 4 -50 -50 0 50 -50 0 50 50 0 -50 50 0\n Receiver 14 0.2 4.1 0 0 0\n" + fromImage(52, 15) +
         " Receiver 10.5 0.3 0 0 0 0\n" + fromImage(40, 13.5) + " Receiver 10 8 5 0 0 0\n");
    p = aimed(Coord(0, 0, 10), Vector(1, 0, -1), 0.3);
    Face* monopermeable = nullptr;
    ASSERT_EQ(model.traceLeg(p, monopermeable), 1);
    ASSERT_EQ(p.lastFace, model.faceNumbered(1));
    // The first leg serves 2, 3 and 4 whatever their side of the floor (it does not obstruct), not 1 (22° off its
    // axis) nor 5; receiver 3 over |(10.5, 0.3, -10)|, as the direct wave.
    expectArrivals(3, {{std::sqrt(110.25 + 0.09 + 100), 1}});
    EXPECT_TRUE(arrivals(1).empty() && arrivals(5).empty() && microphones().at(3)->response.hasDirect);
    p.reflect(p.lastFace->plane);
    p.startLegAtHitPoint();
    microphones().clearAll();
    for (int i : {2, 3, 4}) {
        ASSERT_TRUE(p.contains(microphones().at(i)->axis.origin)) << i;
        ASSERT_EQ(distance(p.apex, microphones().at(i)->axis.origin) < p.pathLength, i == 4) << i;
    }
    // The reflected leg serves receiver 1 only, along the hit point: L + |(4, 0.2, 4.1)|, not the 19.871 m from the
    // image, with 1 - 0.2 of the energy and not as the direct wave.
    EXPECT_EQ(model.traceLeg(p, monopermeable), 0);
    expectArrivals(1, {{10 * std::sqrt(2.0) + std::sqrt(16 + 0.04 + 16.81), 0.8}});
    for (int i : {2, 3, 4, 5}) EXPECT_TRUE(arrivals(i).empty()) << i;
    EXPECT_FALSE(microphones().at(1)->response.hasDirect);
}

// A face at x = 3 between the apex and a receiver at (6, 0.2, 0.1), another before it. Each row: the faces, the share
// the receiver behind hears, the face hit at x = path, the share of its energy the pyramid keeps, the monopermeable face
// passed (a 10 dB obstructing one, passed by the central ray, which hits a curtain at x = 10, costs its loss beyond it).
TEST_F(TracerTest, FacesCrossedHideReceiversByTheirTransmissionLoss) {
    const std::tuple<std::string, double, std::uint32_t, double, double, std::uint32_t> cases[] = {
        {" Face 1 4 4 3 -5 -5 3 5 -5 3 5 5 3 -5 5\n", 0, 1, 3, 0.9, 0},    // opaque, obstructing
        {" Face 0 4 4 3 -5 -5 3 5 -5 3 5 5 3 -5 5\n", 1, 1, 3, 0.9, 0},    // opaque, not obstructing
        {" Face 1 2 4 3 -5 -5 3 5 -5 3 5 5 3 -5 5\n", 0.1, 1, 3, 0.7, 0},  // 10 dB, obstructing
        {" Face 3 2 4 3 -2 -2 3 2 -2 3 2 2 3 -2 2\n Face 0 3 4 10 -5 -5 10 5 -5 10 5 5 10 -5 5\n", 0.1, 2, 10, 0.05, 1},
    };
    for (const auto& [faces, behind, hit, path, keep, passed] : cases) {
        SCOPED_TRACE(faces);
        Model room;
        load(room, faces + " Receiver 6 0.2 0.1 7 0 0\n Receiver 1.5 0.05 0.05 2 0 0\n");
        p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
        Face* monopermeable = nullptr;
        ASSERT_EQ(room.traceLeg(p, monopermeable), 1);
        EXPECT_EQ(monopermeable, passed ? room.faceNumbered(passed) : nullptr);
        expectArrivals(1, behind ? std::vector{std::pair{std::sqrt(36.05), behind}} : std::vector<std::pair<double, double>>{});
        expectArrivals(2, {{std::sqrt(2.255), 1}});
        EXPECT_TRUE(p.order == 1 && p.lastFace == room.faceNumbered(hit) && p.historyCount == 1 && p.history[0].face == hit);
        EXPECT_TRUE(p.lastLeg == path && p.pathLength == path && p.pathLengthSquares == path * path);
        EXPECT_TRUE(nearlyEqual(p.history[0].point, p.hitPoint) && std::fabs(p.hitPoint.x - path) < 1e-12);
        for (int b = 0; b < bandCount; ++b) EXPECT_NEAR(p.energy[b], rising()[b] * keep, 1e-6 * rising()[b]) << b;
    }
}

TEST_F(TracerTest, HistoryNFollowsNReflectionsAndKeepsTheFirstSixteen) {
    parameters.History = 17;
    parameters.Time = 1;
    // Plaster mirrors at x = 0 and 10: from (2, 0, 0) along +x a pyramid crosses 8 m, then 10 m at a time.
    load(" Face 0 1 4 0 -5 -5 0 5 -5 0 5 5 0 -5 5\n Face 0 1 4 10 -5 -5 10 5 -5 10 5 5 10 -5 5\n Receiver 5 0.05 0.05 6 0 0\n");
    p = aimed(Coord(2, 0, 0), Vector(1, 0, 0));
    const TraceStatistics statistics = trace(model);
    // It stops at the hit that ends leg 18: 18 reflections, 8 + 10·17 m. The direct sound comes over |(3, 0.05, 0.05)|,
    // order k over 8 + 10·(k - 1) m and |(±5, 0.05, 0.05)| with 0.8^k (17 float roundings of 2^-24 and α's: < 1e-5).
    EXPECT_TRUE(p.order == 18 && statistics.reflectionCount == 18 && statistics.escapedCount + statistics.edgeHitCount == 0);
    EXPECT_NEAR(statistics.pathSum, 178, 1e-9);
    EXPECT_NEAR(statistics.pathSquareSum, 64 + 1700, 1e-9);
    std::vector<std::pair<double, double>> wanted{{std::hypot(3, std::sqrt(0.005)), 1}};
    for (int k = 1; k < 18; ++k) wanted.emplace_back(8 + 10.0 * (k - 1) + std::hypot(5, std::sqrt(0.005)), std::pow(0.8, k));
    expectArrivals(1, wanted, 1e-5);
    // Entry i is hit i + 1: odd hits on face 2 at x = 10, even ones on face 1 at x = 0.
    ASSERT_EQ(p.historyCount, 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(p.history[i].face == 2u - i % 2 && std::fabs(p.history[i].point.x - 10 * (1 - i % 2)) < 1e-9) << i;
    // In time mode (History -1), of the hits at 8, 18, 28, 38 m, 28 m / c ends at the third, a hair more at the fourth.
    parameters.History = -1;
    for (const auto& [time, order] : {std::pair{28.0 / 340, 3}, {std::nextafter(28.0 / 340, 1.0), 4}}) {
        parameters.Time = time;
        p = aimed(Coord(2, 0, 0), Vector(1, 0, 0));
        trace(model);
        EXPECT_TRUE(p.order == order && p.pathLength == 8.0 + 10 * (order - 1)) << time;
    }
}

TEST_F(TracerTest, AnEdgeOrCornerHitCountsTheExtraFacesAndSendsThePyramidBack) {
    // The floor z = 0 (plaster, first in the model) and a curtain x = 10 meet along x = 10; y = 5 closes a corner.
    const std::string edge = " Face 0 1 4 0 -5 0 10 -5 0 10 5 0 0 5 0\n Face 0 3 4 10 -5 0 10 5 0 10 5 3 10 -5 3\n";
    parameters.History = 3;
    Model corner;
    load(corner, edge + " Face 0 3 4 0 5 0 10 5 0 10 5 3 0 5 3\n");
    p = aimed(Coord(5, 0, 5), Vector(1, 1, -1));
    EXPECT_EQ(trace(corner).edgeHitCount, 2u);
    EXPECT_TRUE(nearlyEqual(p.apex, Coord(15, 10, -5)));
    load(edge + " Receiver 7 0.05 3.05 0 0 0\n");
    p = aimed(Coord(5, 0, 5), Vector(1, 0, -1));
    const TraceStatistics statistics = trace(model);
    // Turned back about the hit (10, 0, 0): the apex to (15, 0, -5), the axis to (-1, 0, 1) / √2, and the next leg
    // leaves the model the way it came. The receiver hears the direct sound over |(2, 0.05, -1.95)|, then the pyramid
    // over 5·√2 + |(-3, 0.05, 3.05)| with what both faces left: 0.8 · 0.5.
    EXPECT_TRUE(statistics.edgeHitCount == 1 && statistics.escapedCount == 1 && p.order == 1);
    EXPECT_TRUE(nearlyEqual(p.apex, Coord(15, 0, -5)) && nearlyEqual(p.section.axis, Versor(-1, 0, 1)));
    expectArrivals(1, {{std::sqrt(4 + 0.0025 + 3.8025), 1}, {5 * std::sqrt(2.0) + std::sqrt(9 + 0.0025 + 9.3025), 0.4}});
}

// Obstructing panels at x = ±4 (10 dB, or opaque: no clones), beyond them deflectors x - y = 10 and x + y = -10 that
// turn a ray along the x axis out of the model. The pyramid bounces between the panels (4 m, then 8 m a leg); each leg
// allowed to clone sends a clone through its panel, 6 m on to a deflector, where it escapes: the clone of leg k has
// order k and 8k + 2 m. With History 20 the pyramid ends at the 21st hit, 164 m. The queue has 16 slots, the pyramid's
// own among them: clones fill the other 15, then no more are made.
TEST_F(TracerTest, CloneLevelDecidesWhichLegsCloneAndTheQueueTakesFifteen) {
    parameters.History = 20;
    for (const auto& [material, cloneLevel, m] : {std::tuple{2, -1, 0}, {2, 4, 5}, {2, 100, 15}, {4, 100, 0}}) {
        Model deflected;
        const std::string flags = " Face 1 " + std::to_string(material) + " 4 ";
        load(deflected, flags + "4 -5 -5 4 5 -5 4 5 5 4 -5 5\n" + flags + "-4 -5 -5 -4 5 -5 -4 5 5 -4 -5 5\n"
                                " Face 0 3 4 7 -3 -5 13 3 -5 13 3 5 7 -3 5\n Face 0 3 4 -7 -3 -5 -13 3 -5 -13 3 5 -7 -3 5\n");
        parameters.CloneLevel = cloneLevel;
        p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
        const TraceStatistics statistics = trace(deflected);
        // Orders: 21 + (1 + ... + m); paths: 164 + Σ (8k + 2); an escape a clone.
        EXPECT_TRUE(p.order == 21 && statistics.reflectionCount == 21 + m * (m + 1) / 2 &&
                    statistics.escapedCount == static_cast<std::uint32_t>(m)) << material << ' ' << cloneLevel;
        EXPECT_NEAR(statistics.pathSum, 164 + 4.0 * m * (m + 1) + 2.0 * m, 1e-9) << material << ' ' << cloneLevel;
    }
}

TEST_F(TracerTest, AMonopermeableFaceThePyramidPassesSpawnsAReflectionClone) {
    // A monopermeable plaster face at x = 3, a curtain at x = 10, the receiver before the face. The pyramid passes the
    // face, hits the curtain (10 m) and, having passed one, reflects off the face (7 m): order 2, 17 m. The clone, from
    // the energy before the leg, reflects where the first leg crossed the face (order 1, 3 m), then escapes.
    parameters.History = 1;
    parameters.CloneLevel = 0;
    load(" Face 2 1 4 3 -2 -2 3 2 -2 3 2 2 3 -2 2\n Face 0 3 4 10 -5 -5 10 5 -5 10 5 5 10 -5 5\n Receiver 1 0.05 0.02 2 0 0\n");
    const TraceStatistics statistics = trace(model);
    EXPECT_TRUE(p.order == 2 && statistics.reflectionCount == 3 && statistics.escapedCount == 1);
    EXPECT_NEAR(statistics.pathSum, 20, 1e-9);
    const double aside = std::sqrt(0.0029);
    expectArrivals(1, {{std::hypot(1, aside), 1}, {3 + std::hypot(2, aside), 0.8}, {10 + std::hypot(9, aside), 0.5}});
}

// The index of the receivers' positions passes over only receivers that no leg would serve: 300 pyramids of
// several widths through a closed 10 x 8 x 4 m room hold 160 receivers' responses (enough for the tree of their
// positions) exactly as the loop over all.
TEST_F(TracerTest, TheReceiversTheIndexPassesOverAreThoseNoLegServes) {
    std::ostringstream body;
    body << box(10, 8, 4);
    for (int k = 0; k < 160; ++k) body << " Receiver " << 1 + k % 8 << ' ' << 1 + k / 8 % 5 * 1.5 << ' ' << 0.5 + k / 40 << " 0 0 1\n";
    load(body.str());
    parameters.History = -1;  // to Time
    // Every pyramid's log as it stands before its commit, the same with or without the index: the same arrivals, and
    // the receivers a leg serves in the loop's order, the highest number first.
    auto logs = [&] {
        microphones().clearAll();
        std::string all;
        std::mt19937 random(3);
        std::normal_distribution<double> n;
        for (int k = 0; k < 300; ++k) {
            p = aimed({3, 4, 1.5}, Vector(n(random), n(random), n(random)), 0.1 + 0.005 * (k % 80));
            trace(model, &all);
        }
        return all;
    };
    const std::string everyReceiver = logs();
    for (int i = 1; i <= 160; ++i) EXPECT_GT(arrivals(i).size(), 500u) << "receiver " << i;
    model.indexReceivers();
    EXPECT_TRUE(logs() == everyReceiver);
}
