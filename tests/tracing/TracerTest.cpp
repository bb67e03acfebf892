#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "support/TracingFixture.h"
#include "tracing/PyramidTracer.h"
#include "tracing/TraceStatistics.h"

// The trace loop: how far a pyramid is followed, what its edge hits, escapes
// and clones add to the statistics, and what its clones deliver.
class TracerTest : public TracingFixture {
protected:
    void trace(Pyramid& p) { PyramidTracer(model, statistics).trace(p); }

    TraceStatistics statistics;
};

/// Two mirrors of plaster (α 0.2) at x = 0 and x = 10: a corridor that a pyramid from (2, 0, 0)
/// along +x crosses first over 8 m, then over 10 m at a time.
namespace {
const char* const corridor =
    " Face 0 1 4 0 -5 -5 0 5 -5 0 5 5 0 -5 5\n Face 0 1 4 10 -5 -5 10 5 -5 10 5 5 10 -5 5\n";
}  // namespace

class TracerHistoryTest : public TracerTest, public ::testing::WithParamInterface<int> {};

TEST_P(TracerHistoryTest, HistoryNFollowsNReflectionsAndStopsAtTheNextHit) {
    const int n = GetParam();
    parameters.History = n;
    load(std::string(corridor) + " Receiver 5 0.05 0.05 6 0 0\n");
    Pyramid p = aimed(Coord(2, 0, 0), Vector(1, 0, 0));
    trace(p);

    // The pyramid stops at the hit that ends leg n + 1: n + 1 reflections counted, 8 + 10·n m travelled.
    EXPECT_EQ(p.order, n + 1);
    EXPECT_EQ(statistics.reflectionCount, n + 1);
    EXPECT_NEAR(statistics.pathSum, 8 + 10.0 * n, 1e-9);
    EXPECT_NEAR(statistics.pathSquareSum, 64 + 100.0 * n, 1e-9);
    EXPECT_EQ(statistics.escapedCount, 0u);
    EXPECT_EQ(statistics.edgeHitCount, 0u);

    // Leg k + 1 delivers the arrival of order k: the direct sound over |(3, 0.05, 0.05)|, then after k
    // reflections 8 + 10·(k - 1) m to the last hit point (x = 10 or 0) and |(±5, 0.05, 0.05)| from it.
    const double aside = std::sqrt(0.005);
    const auto rows = arrivals(1);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(n + 1));
    double keep = 1;
    for (int k = 0; k <= n; ++k) {
        const double R = k == 0 ? std::hypot(3, aside) : 8 + 10.0 * (k - 1) + std::hypot(5, aside);
        EXPECT_EQ(rows[k].first, classOf(R)) << "order " << k;
        expectRow(rows[k].second, expected(rising(), R, keep), "order " + std::to_string(k));
        keep *= 0.8;
    }
}

INSTANTIATE_TEST_SUITE_P(Orders, TracerHistoryTest, ::testing::Values(0, 1, 2, 3));

TEST_F(TracerTest, InTimeModeThePyramidStopsAtTheFirstHitReachingTheTime) {
    parameters.History = -1;
    load(corridor);
    // The hits come at 8, 18, 28, 38 m. A time of exactly 28 m / c ends the pyramid at the third
    // hit; a hair more lets it on to the fourth.
    parameters.Time = 28.0 / parameters.SoundSpeed;
    Pyramid p = aimed(Coord(2, 0, 0), Vector(1, 0, 0));
    trace(p);
    EXPECT_EQ(p.order, 3);
    EXPECT_EQ(p.pathLength, 28.0);

    parameters.Time = std::nextafter(28.0 / parameters.SoundSpeed, 1.0);
    Pyramid later = aimed(Coord(2, 0, 0), Vector(1, 0, 0));
    trace(later);
    EXPECT_EQ(later.order, 4);
    EXPECT_EQ(later.pathLength, 38.0);
    EXPECT_EQ(statistics.reflectionCount, 7);
}

TEST_F(TracerTest, APyramidInAnEmptyModelEscapesAtOnce) {
    parameters.History = 5;
    load(" Receiver 5 0.1 0.1 6 0 0\n");
    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
    trace(p);
    EXPECT_EQ(statistics.escapedCount, 1u);
    EXPECT_EQ(statistics.reflectionCount, 0);
    EXPECT_EQ(statistics.pathSum, 0);
    // The receiver inside still hears the direct sound.
    const auto rows = arrivals(1);
    ASSERT_EQ(rows.size(), 1u);
    expectRow(rows[0].second, expected(rising(), std::sqrt(25.02)), "direct sound");
}

// The floor z = 0 (plaster, 100 m², first in the model) and the wall x = 10
// (curtain, α 0.5) meet along the line x = 10, z = 0; a third face y = 5
// closes a corner at (10, 5, 0).
namespace {
const char* const edge = " Face 0 1 4 0 -5 0 10 -5 0 10 5 0 0 5 0\n Face 0 3 4 10 -5 0 10 5 0 10 5 3 10 -5 3\n";
const char* const corner = " Face 0 3 4 0 5 0 10 5 0 10 5 3 0 5 3\n";
}  // namespace

TEST_F(TracerTest, AnEdgeHitCountsTheExtraFaceAndSendsThePyramidBack) {
    parameters.History = 3;
    load(std::string(edge) + " Receiver 7 0.05 3.05 0 0 0\n");
    Pyramid p = aimed(Coord(5, 0, 5), Vector(1, 0, -1));
    trace(p);
    EXPECT_EQ(statistics.edgeHitCount, 1u);
    // Turned back on itself about the hit (10, 0, 0): the apex goes to (5, 0, 5) + 2·(5, 0, -5), the
    // axis to (-1, 0, 1) / √2, and the next leg leaves the model the way it came.
    EXPECT_EQ(statistics.escapedCount, 1u);
    EXPECT_EQ(p.order, 1);
    EXPECT_NEAR(p.apex.x, 15, 1e-9);
    EXPECT_NEAR(p.apex.y, 0, 1e-9);
    EXPECT_NEAR(p.apex.z, -5, 1e-9);
    EXPECT_NEAR(p.section.axis.x, -std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(p.section.axis.z, std::sqrt(0.5), 1e-12);

    // The receiver hears the direct sound over |(2, 0.05, -1.95)| and the returning pyramid over
    // 5·√2 + |(-3, 0.05, 3.05)|, with what both faces left of the energy: 0.8 · 0.5.
    const auto rows = arrivals(1);
    ASSERT_EQ(rows.size(), 2u);
    const double direct = std::sqrt(4 + 0.0025 + 3.8025);
    const double back = 5 * std::sqrt(2.0) + std::sqrt(9 + 0.0025 + 9.3025);
    EXPECT_EQ(rows[0].first, classOf(direct));
    expectRow(rows[0].second, expected(rising(), direct), "direct sound");
    EXPECT_EQ(rows[1].first, classOf(back));
    expectRow(rows[1].second, expected(rising(), back, 0.4), "from the edge");
}

TEST_F(TracerTest, ACornerHitCountsTwoExtraFaces) {
    parameters.History = 3;
    load(std::string(edge) + corner);
    // From (5, 0, 5) along (1, 1, -1) the central ray meets all three planes at (10, 5, 0).
    Pyramid p = aimed(Coord(5, 0, 5), Vector(1, 1, -1));
    trace(p);
    EXPECT_EQ(statistics.edgeHitCount, 2u);
    EXPECT_EQ(statistics.escapedCount, 1u);
    EXPECT_NEAR(p.apex.x, 15, 1e-9);
    EXPECT_NEAR(p.apex.y, 10, 1e-9);
    EXPECT_NEAR(p.apex.z, -5, 1e-9);
}

// Two plaster faces a gap g apart, the pyramid starting in the middle: legs of
// g / 2, then g, g, g... The last four legs add up to g / 2 + 3g after the
// fourth hit, 4g after every later one.
namespace {
struct GapCase {
    const char* name;
    double gap;
    int history;
    int order;          // where the pyramid ends
    std::uint32_t stuck;  // edge hits counted for it
    double path;        // in gaps
};
}  // namespace

class TracerStuckTest : public TracerTest, public ::testing::WithParamInterface<GapCase> {};

TEST_P(TracerStuckTest, APyramidWhoseLastFourLegsAddUpToACentimetreAtMostIsStopped) {
    const GapCase& c = GetParam();
    parameters.History = c.history;
    std::ostringstream faces;
    faces << " Face 0 1 4 0 -5 -5 0 5 -5 0 5 5 0 -5 5\n Face 0 1 4 " << c.gap << " -5 -5 " << c.gap << " 5 -5 "
          << c.gap << " 5 5 " << c.gap << " -5 5\n";
    load(faces.str());
    Pyramid p = aimed(Coord(c.gap / 2, 0, 0), Vector(1, 0, 0));
    trace(p);
    EXPECT_EQ(p.order, c.order);
    EXPECT_EQ(statistics.edgeHitCount, c.stuck);
    EXPECT_EQ(statistics.escapedCount, 0u);
    EXPECT_EQ(statistics.reflectionCount, c.order);
    EXPECT_NEAR(statistics.pathSum, c.path * c.gap, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, TracerStuckTest,
    ::testing::Values(
        // 3.5 · 2.7 mm = 9.45 mm after the fourth hit: stuck there, counted once.
        GapCase{"Stuck", 0.0027, 9, 4, 1, 3.5},
        // 3.5 · 3 mm = 10.5 mm, then 12 mm: never stuck; History 9 ends it at the tenth hit.
        GapCase{"Free", 0.003, 9, 10, 0, 9.5},
        // With History 3 the fourth hit ends the pyramid before the stuck test is made.
        GapCase{"EndedFirst", 0.0027, 3, 4, 0, 3.5}),
    [](const ::testing::TestParamInfo<GapCase>& info) { return std::string(info.param.name); });

// Thin panels (10 dB, α 0.3, obstructing) at x = 4 and x = -4, curtains (α 0.5)
// at x = 10 and x = -10; the pyramid starts at the origin along +x and a
// receiver waits at (7, 0.1, 0.05) between the panel and the curtain.
//
// With History 2 the pyramid hits x = 4 (4 m), x = -4 (8 m) and x = 4 (8 m):
// order 3, 20 m, squares 16 + 64 + 64 = 144. With CloneLevel 0 its first leg
// also makes a transmission clone: from (4, 0, 0) on through the panel to the
// curtain at x = 10, order 1, 4 + 6 = 10 m (squares 16 + 36), energy as before
// the leg less the curtain's half, apex mirrored to (20, 0, 0). The clone
// then hits the back of the panel (6 m) and the curtain again (6 m): order 3,
// 22 m, squares 52 + 36 + 36 = 124. Its legs have order 1 or more, so it
// makes no clone of its own.
namespace {
struct CloneCase {
    int cloneLevel;
    double reflections;
    double path;
    double squares;
    std::size_t arrivals;
};
}  // namespace

class CloneLevelTest : public TracerTest, public ::testing::WithParamInterface<CloneCase> {};

TEST_P(CloneLevelTest, CloneLevelDecidesWhichLegsMayClone) {
    const CloneCase& c = GetParam();
    parameters.History = 2;
    parameters.CloneLevel = c.cloneLevel;
    load(" Face 1 2 4 4 -5 -5 4 5 -5 4 5 5 4 -5 5\n Face 1 2 4 -4 -5 -5 -4 5 -5 -4 5 5 -4 -5 5\n"
         " Face 0 3 4 10 -5 -5 10 5 -5 10 5 5 10 -5 5\n Face 0 3 4 -10 -5 -5 -10 5 -5 -10 5 5 -10 -5 5\n"
         " Receiver 7 0.1 0.05 8 0 0\n");
    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
    trace(p);
    EXPECT_EQ(p.order, 3);
    EXPECT_EQ(statistics.reflectionCount, c.reflections);
    EXPECT_NEAR(statistics.pathSum, c.path, 1e-9);
    EXPECT_NEAR(statistics.pathSquareSum, c.squares, 1e-9);
    EXPECT_EQ(statistics.escapedCount, 0u);

    // |(0.1, 0.05)| off the axis, the receiver's distances from the points on the axis.
    const double aside = std::sqrt(0.0125);
    struct Arrival {
        double R;
        double share;
        const char* what;
    };
    std::vector<Arrival> wanted = {
        // The direct sound through the panel: a tenth.
        {std::hypot(7, aside), 0.1, "direct sound through the panel"},
        // The pyramid's third leg, from (-4, 0, 0) after 12 m, through the panel again:
        // 0.7 · 0.7 of the energy, and a tenth of that.
        {12 + std::hypot(11, aside), 0.049, "second reflection through the panel"},
    };
    if (c.cloneLevel >= 0) {
        // The clone's first leg, from the curtain after 10 m, with half the energy.
        wanted.push_back({10 + std::hypot(3, aside), 0.5, "clone off the curtain"});
        // Its second, from the back of the panel after 16 m: 0.5 · 0.7.
        wanted.push_back({16 + std::hypot(3, aside), 0.35, "clone off the panel"});
    }
    std::sort(wanted.begin(), wanted.end(), [](const Arrival& a, const Arrival& b) { return a.R < b.R; });
    const auto rows = arrivals(1);
    ASSERT_EQ(rows.size(), c.arrivals);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        EXPECT_EQ(rows[i].first, classOf(wanted[i].R)) << wanted[i].what;
        expectRow(rows[i].second, expected(rising(), wanted[i].R, wanted[i].share), wanted[i].what);
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, CloneLevelTest,
                         ::testing::Values(CloneCase{-1, 3, 20, 144, 2}, CloneCase{0, 6, 42, 268, 4}));

// Thin panels at x = ±4 as above; beyond them, deflectors in the planes
// x - y = 10 and x + y = -10 that turn a ray along the x axis into +y, out of
// the model. The pyramid bounces between the panels (4 m, then 8 m a leg) and
// every leg allowed to clone sends a transmission clone through the panel it
// hit, 6 m on to a deflector, from where the clone escapes at once and makes
// no clone of its own. The clone of leg k has order k and 4 + 8·(k - 1) + 6 =
// 8k + 2 m. With History 20 the pyramid ends at the 21st hit: 4 + 20·8 = 164 m.
//
// The queue has 16 slots, the pyramid itself in slot 0: clones fill slots 1 to
// 15, and then the slot to write is the pyramid's own, so no more are made.
namespace {
struct QueueCase {
    const char* name;
    int cloneLevel;
    int clones;
};
}  // namespace

class CloneQueueTest : public TracerTest, public ::testing::WithParamInterface<QueueCase> {};

TEST_P(CloneQueueTest, ClonesWaitInAQueueOfSixteenSlots) {
    const QueueCase& c = GetParam();
    parameters.History = 20;
    parameters.CloneLevel = c.cloneLevel;
    load(" Face 1 2 4 4 -5 -5 4 5 -5 4 5 5 4 -5 5\n Face 1 2 4 -4 -5 -5 -4 5 -5 -4 5 5 -4 -5 5\n"
         " Face 0 3 4 7 -3 -5 13 3 -5 13 3 5 7 -3 5\n Face 0 3 4 -7 -3 -5 -13 3 -5 -13 3 5 -7 -3 5\n");
    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
    trace(p);
    EXPECT_EQ(p.order, 21);
    const int m = c.clones;
    // Orders: 21 + (1 + ... + m); paths: 164 + Σ (8k + 2) = 164 + 4·m·(m + 1) + 2m.
    EXPECT_EQ(statistics.reflectionCount, 21 + m * (m + 1) / 2);
    EXPECT_NEAR(statistics.pathSum, 164 + 4.0 * m * (m + 1) + 2.0 * m, 1e-9);
    EXPECT_EQ(statistics.escapedCount, static_cast<std::uint32_t>(m));
    EXPECT_EQ(statistics.edgeHitCount, 0u);
}

INSTANTIATE_TEST_SUITE_P(Clones, CloneQueueTest,
                         ::testing::Values(
                             // Legs 1 to 5 start with order 0 to 4: five clones.
                             QueueCase{"UpToLevelFour", 4, 5},
                             // Every leg may clone; the queue takes fifteen.
                             QueueCase{"AsManyAsTheQueueTakes", 100, 15}),
                         [](const ::testing::TestParamInfo<QueueCase>& info) { return std::string(info.param.name); });

TEST_F(TracerTest, AMonopermeableFaceThePyramidPassesSpawnsAReflectionClone) {
    // A monopermeable plaster face (α 0.2) at x = 3, a curtain at x = 10; the receiver at (1, 0.05, 0.02)
    // between the source and the monopermeable face.
    parameters.History = 1;
    parameters.CloneLevel = 0;
    load(" Face 2 1 4 3 -2 -2 3 2 -2 3 2 2 3 -2 2\n Face 0 3 4 10 -5 -5 10 5 -5 10 5 5 10 -5 5\n"
         " Receiver 1 0.05 0.02 2 0 0\n");
    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
    trace(p);
    // The pyramid passes the face, hits the curtain (10 m), comes back and, having passed one,
    // reflects off the monopermeable face (7 m): order 2, 17 m. The clone is reflected where the
    // first leg crossed the face: order 1 and 3 m; it leaves the model on its first leg.
    EXPECT_EQ(p.order, 2);
    EXPECT_TRUE(p.monopermeablePassed);
    EXPECT_EQ(statistics.reflectionCount, 3);
    EXPECT_NEAR(statistics.pathSum, 20, 1e-9);
    EXPECT_EQ(statistics.escapedCount, 1u);

    const double aside = std::sqrt(0.0029);
    const double direct = std::hypot(1, aside);
    const double clone = 3 + std::hypot(2, aside);  // back from the face at x = 3 with 0.8 of the energy
    const double back = 10 + std::hypot(9, aside);   // from the curtain with half; the face does not obstruct
    const auto rows = arrivals(1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].first, classOf(direct));
    expectRow(rows[0].second, expected(rising(), direct), "direct sound");
    EXPECT_EQ(rows[1].first, classOf(clone));
    expectRow(rows[1].second, expected(rising(), clone, 0.8), "reflection clone");
    EXPECT_EQ(rows[2].first, classOf(back));
    expectRow(rows[2].second, expected(rising(), back, 0.5), "curtain");
}
