#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <omp.h>
#include <sstream>
#include <string>
#include <vector>

#include "acoustics/MicrophoneList.h"
#include "foundation/TConfig.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"

// Whole runs of a small room: a 6 x 5 x 3 m box with a thin obstructing panel
// of 10 dB standing in it, two receivers, omnidirectional sources. Level 3
// (64 pyramids a source), History 3, clones on the first leg, diffusion on, so
// that every part of a leg is used; reflections stay specular, so that a run
// does not depend on the random numbers of the threads.
class TracingRunTest : public UiFixture {
protected:
    struct Outcome {
        std::vector<std::vector<BandEnergies>> rows;  // per receiver
        TraceStatistics statistics;
        std::uint16_t threads = 0;
    };

    static std::string roomWith(const std::string& sources) {
        return "EntityList\n"
               " Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n Face 0 1 4 6 0 0 6 5 0 6 5 3 6 0 3\n"
               " Face 0 2 4 0 0 0 6 0 0 6 0 3 0 0 3\n Face 0 2 4 0 5 0 6 5 0 6 5 3 0 5 3\n"
               " Face 0 3 4 0 0 0 6 0 0 6 5 0 0 5 0\n Face 0 3 4 0 0 3 6 0 3 6 5 3 0 5 3\n"
               " Face 1 4 4 3 1 0 3 3 0 3 3 2 3 1 2\n" +
               sources + " Receiver 4.7 2.2 1.3 0 0 0\n Receiver 1.9 3.6 1.6 0 0 0\nEnd\n";
    }

    Outcome run(const std::string& room, int threads, bool saveAll) {
        writeFile("room.ray", room);
        writeFile("room.material",
                  "1 Plaster, 0.05 0.05 0.05 0.05 0.05 0.05 0.05 0.05 0.05 0.05\n"
                  "2 Wood, 0.15 0.15 0.12 0.1 0.1 0.08 0.07 0.07 0.07 0.07\n"
                  "3 Tiles, 0.3 0.3 0.3 0.5 0.6 0.7 0.7 0.7 0.7 0.7\n"
                  "4 Panel, 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3, 10 10 10 10 10 10 10 10 10 10, "
                  "0.1 0.1 0.1 0.2 0.2 0.3 0.3 0.4 0.4 0.5\n");
        writeFile("room.ini", "[Parameters]\nLevel=3\nHistory=3\nTime=0.2\nPrecision=0.001\nHumidity=50\n"
                              "Temperature=20\nDiffraction=0\nHitLevel=-1\nRandomizeAfter=-1\nSaveEscaped=0\n"
                              "Diffusion=1\nDiffusionMode=7\nCloneLevel=0\nOpenMP=" +
                                  std::to_string(threads) + "\nSaveAll=" + (saveAll ? "1" : "0") + "\n");
        parameters = RunParameters{};
        TConfig::resetDefaultName();
        Outcome outcome;
        EXPECT_TRUE(parameters.parse("room"));
        RayManager manager;
        EXPECT_TRUE(manager.ready);
        if (!manager.ready) return outcome;
        outcome.threads = parameters.OpenMP;
        manager.run();
        for (unsigned i = 1; i <= microphones().receiverCount(); ++i) outcome.rows.push_back(microphones().at(i)->response.rows);
        outcome.statistics = manager.statistics;
        outcome.statistics.escapedRays = nullptr;
        return outcome;
    }

    /// The largest relative difference the order of summation can make to a row.
    ///
    /// A row is a sum of at most n positive single-precision terms, and any order of adding them
    /// stays within (n - 1)·u of the exact sum (u = 2^-24); two orders differ by at most twice that.
    /// Each pyramid travels History + 1 = 4 legs at most, makes at most one clone (only on its first
    /// leg) that does the same, and each leg offers a receiver one arrival: n ≤ 64 · 2 · 4 per source.
    static double summationTolerance(int sources) { return 2 * (sources * 64 * 2 * 4) * std::ldexp(1.0, -24); }

    static void expectSameRows(const Outcome& a, const Outcome& b, double tolerance) {
        ASSERT_EQ(a.rows.size(), b.rows.size());
        for (std::size_t m = 0; m < a.rows.size(); ++m) {
            ASSERT_EQ(a.rows[m].size(), b.rows[m].size());
            for (std::size_t k = 0; k < a.rows[m].size(); ++k)
                for (int band = 0; band < bandCount; ++band) {
                    const double x = a.rows[m][k][band], y = b.rows[m][k][band];
                    ASSERT_NEAR(x, y, tolerance * std::max(x, y))
                        << "receiver " << m + 1 << ", class " << k << ", band " << band;
                }
        }
    }

    /// Every row finite and not negative, and something heard by every receiver.
    static void expectSound(const Outcome& outcome) {
        for (std::size_t m = 0; m < outcome.rows.size(); ++m) {
            double total = 0;
            for (const BandEnergies& row : outcome.rows[m])
                for (float e : row) {
                    ASSERT_TRUE(std::isfinite(e)) << "receiver " << m + 1;
                    ASSERT_GE(e, 0) << "receiver " << m + 1;
                    total += e;
                }
            EXPECT_GT(total, 0) << "receiver " << m + 1;
        }
    }

    const std::string first = " Source 1.5 1.2 1.4 2.5 1.2 1.4 0 omni.spk\n";
    const std::string second = " Source 4.6 3.7 1.9 3.6 3.7 1.9 0 omni.spk\n";
};

TEST_F(TracingRunTest, OneOrTwoThreadsGiveTheSameImpulseResponses) {
    const Outcome one = run(roomWith(first), 1, false);
    const Outcome two = run(roomWith(first), 2, false);
    ASSERT_EQ(one.threads, 1);
    // Two threads whenever the machine has two processors (the count is lowered to the processors).
    EXPECT_EQ(two.threads, std::min(2, omp_get_num_procs()));
    ASSERT_EQ(one.rows.size(), 2u);
    expectSound(one);
    expectSound(two);
    expectSameRows(one, two, summationTolerance(1));
    // The same pyramids and clones were traced: the counts agree exactly, the path sums up to the
    // order of their double additions.
    EXPECT_EQ(one.statistics.reflectionCount, two.statistics.reflectionCount);
    EXPECT_NEAR(one.statistics.pathSum, two.statistics.pathSum, 1e-12 * one.statistics.pathSum);
    EXPECT_NEAR(one.statistics.pathSquareSum, two.statistics.pathSquareSum, 1e-12 * one.statistics.pathSquareSum);
    EXPECT_EQ(one.statistics.escapedCount, two.statistics.escapedCount);
    EXPECT_EQ(one.statistics.edgeHitCount, two.statistics.edgeHitCount);
}

TEST_F(TracingRunTest, WithoutSaveAllTheResultsOfAllSourcesAccumulate) {
    const Outcome alone1 = run(roomWith(first), 1, false);
    const Outcome alone2 = run(roomWith(second), 1, false);
    const Outcome both = run(roomWith(first + second), 1, false);
    expectSound(both);

    // Each receiver holds what each source alone gave it, the direct sound of both included.
    Outcome sum = alone1;
    for (std::size_t m = 0; m < sum.rows.size(); ++m)
        for (std::size_t k = 0; k < sum.rows[m].size(); ++k)
            for (int band = 0; band < bandCount; ++band) sum.rows[m][k][band] += alone2.rows[m][k][band];
    expectSameRows(both, sum, summationTolerance(2));

    // So do the path statistics (the reflections are whole numbers, exact in a double).
    EXPECT_EQ(both.statistics.reflectionCount, alone1.statistics.reflectionCount + alone2.statistics.reflectionCount);
    EXPECT_NEAR(both.statistics.pathSum, alone1.statistics.pathSum + alone2.statistics.pathSum,
                1e-12 * both.statistics.pathSum);
}

TEST_F(TracingRunTest, WithSaveAllEachSourceStartsAfresh) {
    const Outcome alone2 = run(roomWith(second), 1, false);
    const Outcome each = run(roomWith(first + second), 1, true);
    // After the run the receivers and the sums hold the last source only, computed in the same order.
    ASSERT_EQ(each.rows.size(), alone2.rows.size());
    for (std::size_t m = 0; m < each.rows.size(); ++m) EXPECT_EQ(each.rows[m], alone2.rows[m]) << "receiver " << m + 1;
    EXPECT_EQ(each.statistics.reflectionCount, alone2.statistics.reflectionCount);
    EXPECT_EQ(each.statistics.pathSum, alone2.statistics.pathSum);
}

// A run that could not end by itself is refused before the first pyramid, with the limit it broke.
TEST_F(TracingRunTest, AbsurdLimitsAreRefusedBeforeTracing) {
    const std::pair<const char*, const char*> cases[] = {
        {"/L29", "Error: Level 29 is too high: the highest level is 28"},
        {"/T1e9", "Error: Time 1e+09 s is too long: the longest is 100 s"},
        {"/T1e308", "Error: Time 1e+308 s is too long: the longest is 100 s"},
        {"/H100001", "Error: History 100001 is too high: the highest is 100000"},
    };
    writeFile("room.ray", roomWith(" Source 1 1 1 2 1 1 0 omni.spk\n"));
    for (const auto& [flag, message] : cases) {
        parameters = RunParameters{};
        ui.boxes.clear();
        ASSERT_TRUE(parameters.parse(std::string("room /L2 /T0.1 /H-1 ") + flag));
        RayManager manager;
        ASSERT_TRUE(manager.ready);
        manager.run();
        EXPECT_EQ(boxTexts(), std::vector<std::string>{message}) << flag;
        EXPECT_FALSE(std::filesystem::exists("room.___")) << flag;
    }
}

// A room whose floor and ceiling are laid in coplanar obstructing tiles hears
// what the same room with whole faces hears, turned or not: a leg that starts
// on one tile, within the crack tolerance of its neighbour, is not blocked by
// that neighbour, which lies in the plane it leaves.
TEST_F(TracingRunTest, ATiledRoomHearsWhatTheWholeRoomHears) {
    const auto roomText = [](int tiles, double angle) {
        const Versor axis(1, 2, 3);
        std::ostringstream s;
        s.precision(17);
        const auto point = [&](double x, double y, double z) {
            const Coord p = rotate(Vector(x, y, z), axis, angle);
            s << ' ' << p.x << ' ' << p.y << ' ' << p.z;
        };
        const auto quad = [&](const Coord (&v)[4]) {
            s << " Face 1 1 4";
            for (const Coord& c : v) point(c.x, c.y, c.z);
            s << '\n';
        };
        const double X = 6, Y = 5, Z = 3;
        for (int i = 0; i < tiles; ++i)
            for (int j = 0; j < tiles; ++j) {
                const double x0 = X * i / tiles, x1 = X * (i + 1) / tiles, y0 = Y * j / tiles, y1 = Y * (j + 1) / tiles;
                quad({{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}});
                quad({{x0, y0, Z}, {x0, y1, Z}, {x1, y1, Z}, {x1, y0, Z}});
            }
        quad({{0, 0, 0}, {0, Y, 0}, {0, Y, Z}, {0, 0, Z}});
        quad({{X, 0, 0}, {X, 0, Z}, {X, Y, Z}, {X, Y, 0}});
        quad({{0, 0, 0}, {0, 0, Z}, {X, 0, Z}, {X, 0, 0}});
        quad({{0, Y, 0}, {X, Y, 0}, {X, Y, Z}, {0, Y, Z}});
        s << " Source";
        point(1.5, 1.2, 1.4);
        point(2.5, 1.2, 1.4);
        s << " 0 omni.spk\n";
        for (const Coord& r : {Coord(4.7, 2.2, 1.3), Coord(1.9, 3.6, 1.6), Coord(3.1, 0.7, 2.2)}) {
            s << " Receiver";
            point(r.x, r.y, r.z);
            s << " 0 0 0\n";
        }
        return "EntityList\n" + s.str() + "End\n";
    };
    const auto totals = [this](const std::string& room) {
        writeFile("tiles.ray", room);
        writeFile("tiles.material", "1 Plaster, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n");
        // Specular reflection: the runs must not depend on the random numbers drawn before them.
        writeFile("tiles.ini", "[Parameters]\nLevel=6\nHistory=3\nTime=0.2\nPrecision=0.001\nHumidity=50\n"
                               "Temperature=20\nDiffraction=0\nRandomizeAfter=-1\nDiffusion=0\nOpenMP=1\nCrackTolerance=0.02\n");
        parameters = RunParameters{};
        EXPECT_TRUE(parameters.parse("tiles"));
        RayManager manager;
        manager.run();
        std::vector<double> sums;
        for (unsigned m = 1; m <= microphones().receiverCount(); ++m) {
            double sum = 0;
            for (const BandEnergies& row : microphones().at(static_cast<int>(m))->response.rows) sum += row[5];
            sums.push_back(sum);
        }
        return sums;
    };
    for (double angle : {0.0, 0.4}) {
        const std::vector<double> whole = totals(roomText(1, angle));
        const std::vector<double> tiled = totals(roomText(6, angle));
        ASSERT_EQ(whole.size(), 3u);
        for (std::size_t m = 0; m < whole.size(); ++m)
            EXPECT_NEAR(tiled[m], whole[m], 1e-5 * whole[m]) << "receiver " << m + 1 << ", turned by " << angle;
    }
}
