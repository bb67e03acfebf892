#include <omp.h>

#include <array>

#include "support/TracingFixture.h"

// Whole runs of a 6 x 5 x 3 m box with a thin obstructing panel of 10 dB in it, two receivers, omnidirectional
// sources. Level 3 (64 pyramids a source), History 3, clones on the first leg, diffusion on, so that every part
// of a leg is used; reflections stay specular, so that a run does not depend on the random numbers of threads.
class TracingRunTest : public TracingFixture {
protected:
    struct Outcome {
        std::vector<std::vector<BandEnergies>> rows;  // per receiver
        TraceStatistics statistics;
    };

    Outcome trace(const std::string& sources, int threads, bool saveAll) {
        Outcome outcome;
        outcome.statistics =
            run(" Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n Face 0 1 4 6 0 0 6 5 0 6 5 3 6 0 3\n"
                " Face 0 2 4 0 0 0 6 0 0 6 0 3 0 0 3\n Face 0 2 4 0 5 0 6 5 0 6 5 3 0 5 3\n"
                " Face 0 3 4 0 0 0 6 0 0 6 5 0 0 5 0\n Face 0 3 4 0 0 3 6 0 3 6 5 3 0 5 3\n"
                " Face 1 4 4 3 1 0 3 3 0 3 3 2 3 1 2\n" + sources +
                    " Receiver 4.7 2.2 1.3 0 0 0\n Receiver 1.9 3.6 1.6 0 0 0\n",
                "1 Plaster, " + bands(0.05) + "\n2 Wood, 0.15 0.15 0.12 0.1 0.1 0.08 0.07 0.07 0.07 0.07\n"
                "3 Tiles, 0.3 0.3 0.3 0.5 0.6 0.7 0.7 0.7 0.7 0.7\n4 Panel, " + bands(0.3) + ", " + bands(10) +
                    ", 0.1 0.1 0.1 0.2 0.2 0.3 0.3 0.4 0.4 0.5\n",
                "Level=3\nHistory=3\nTime=0.2\nPrecision=0.001\nHumidity=50\nTemperature=20\nHitLevel=-1\n"
                "RandomizeAfter=-1\nDiffusion=1\nDiffusionMode=7\nCloneLevel=0\nOpenMP=" + std::to_string(threads) +
                    "\nSaveAll=" + (saveAll ? "1" : "0") + "\n");
        for (unsigned i = 1; i <= microphones().receiverCount(); ++i) outcome.rows.push_back(microphones().at(i)->response.rows);
        return outcome;
    }

    /// The largest relative difference the order of summation can make to a row: a row sums at most n positive
    /// single-precision terms, and any order stays within (n - 1)·2^-24 of the exact sum (two orders within twice
    /// that). A pyramid travels History + 1 = 4 legs at most, makes at most one clone that does the same, and each
    /// leg offers a receiver one arrival: n ≤ 64 · 2 · 4 per source.
    static double summationTolerance(int sources) { return 2 * (sources * 64 * 2 * 4) * std::ldexp(1.0, -24); }

    /// The rows agree within the tolerance, each finite and not negative, and every receiver heard something.
    static void expectSameRows(const Outcome& a, const Outcome& b, double tolerance) {
        ASSERT_EQ(a.rows.size(), 2u);
        ASSERT_EQ(b.rows.size(), 2u);
        for (std::size_t m = 0; m < a.rows.size(); ++m) {
            ASSERT_EQ(a.rows[m].size(), b.rows[m].size());
            double total = 0;
            for (std::size_t k = 0; k < a.rows[m].size(); ++k)
                for (int band = 0; band < bandCount; ++band) {
                    const double x = a.rows[m][k][band], y = b.rows[m][k][band];
                    ASSERT_TRUE(std::isfinite(x) && x >= 0) << "receiver " << m + 1 << ", class " << k;
                    ASSERT_NEAR(x, y, tolerance * std::max(x, y)) << "receiver " << m + 1 << ", class " << k << ", band " << band;
                    total += x;
                }
            EXPECT_GT(total, 0) << "receiver " << m + 1;
        }
    }

    const std::string first = " Source 1.5 1.2 1.4 2.5 1.2 1.4 0 omni.spk\n";
    const std::string second = " Source 4.6 3.7 1.9 3.6 3.7 1.9 0 omni.spk\n";
};

TEST_F(TracingRunTest, OneOrTwoThreadsGiveTheSameImpulseResponses) {
    const Outcome one = trace(first, 1, false);
    EXPECT_EQ(parameters.OpenMP, 1);
    const Outcome two = trace(first, 2, false);
    // Two threads whenever the machine has two processors (the count is lowered to the processors).
    EXPECT_EQ(parameters.OpenMP, std::min(2, omp_get_num_procs()));
    expectSameRows(one, two, summationTolerance(1));
    // The same pyramids and clones were traced: the counts agree exactly, the path sums up to the order of
    // their double additions.
    EXPECT_EQ(one.statistics.reflectionCount, two.statistics.reflectionCount);
    EXPECT_NEAR(one.statistics.pathSum, two.statistics.pathSum, 1e-12 * one.statistics.pathSum);
    EXPECT_NEAR(one.statistics.pathSquareSum, two.statistics.pathSquareSum, 1e-12 * one.statistics.pathSquareSum);
    EXPECT_EQ(one.statistics.escapedCount, two.statistics.escapedCount);
    EXPECT_EQ(one.statistics.edgeHitCount, two.statistics.edgeHitCount);
}

TEST_F(TracingRunTest, SourcesAccumulateUnlessSaveAllStartsEachAfresh) {
    const Outcome alone1 = trace(first, 1, false), alone2 = trace(second, 1, false);
    // Without SaveAll each receiver holds what each source alone gave it, and so do the path statistics.
    const Outcome both = trace(first + second, 1, false);
    Outcome sum = alone1;
    for (std::size_t m = 0; m < sum.rows.size(); ++m)
        for (std::size_t k = 0; k < sum.rows[m].size(); ++k)
            for (int band = 0; band < bandCount; ++band) sum.rows[m][k][band] += alone2.rows[m][k][band];
    expectSameRows(both, sum, summationTolerance(2));
    EXPECT_EQ(both.statistics.reflectionCount, alone1.statistics.reflectionCount + alone2.statistics.reflectionCount);
    EXPECT_NEAR(both.statistics.pathSum, alone1.statistics.pathSum + alone2.statistics.pathSum,
                1e-12 * both.statistics.pathSum);
    // With SaveAll the receivers and the sums hold the last source only, computed in the same order.
    const Outcome each = trace(first + second, 1, true);
    EXPECT_EQ(each.rows, alone2.rows);
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
    for (const auto& [flag, message] : cases) {
        ui.boxes.clear();
        run(" Source 1 1 1 2 1 1 0 omni.spk\n Receiver 2 2 2 0 0 0\n", "", "", std::string("/L2 /T0.1 /H-1 ") + flag);
        EXPECT_EQ(boxTexts(), std::vector<std::string>{message}) << flag;
        EXPECT_FALSE(std::filesystem::exists("room.___")) << flag;
    }
}

// A room whose floor and ceiling are laid in coplanar obstructing tiles hears what the same room with whole faces
// hears: a leg that starts on one tile, within the crack tolerance (raised to 0.02 m, so that many legs start near a
// seam) of its neighbour, is not blocked by that neighbour, which lies in the plane it leaves.
TEST_F(TracingRunTest, ATiledRoomHearsWhatTheWholeRoomHears) {
    const auto heard = [this](int tiles) {  // the energy each receiver heard in band 5
        std::ostringstream s;
        const auto quad = [&](const std::array<Coord, 4>& v) {
            s << " Face 1 1 4";
            for (const Coord& c : v) s << ' ' << c.x << ' ' << c.y << ' ' << c.z;
            s << '\n';
        };
        for (int i = 0; i < tiles; ++i)
            for (int j = 0; j < tiles; ++j) {
                const double x0 = 6.0 * i / tiles, x1 = 6.0 * (i + 1) / tiles, y0 = 5.0 * j / tiles, y1 = 5.0 * (j + 1) / tiles;
                quad({{{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}}});
                quad({{{x0, y0, 3}, {x0, y1, 3}, {x1, y1, 3}, {x1, y0, 3}}});
            }
        run(s.str() + " Face 1 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n Face 1 1 4 6 0 0 6 0 3 6 5 3 6 5 0\n"
                      " Face 1 1 4 0 0 0 0 0 3 6 0 3 6 0 0\n Face 1 1 4 0 5 0 6 5 0 6 5 3 0 5 3\n"
                      " Source 1.5 1.2 1.4 2.5 1.2 1.4 0 omni.spk\n Receiver 4.7 2.2 1.3 0 0 0\n"
                      " Receiver 1.9 3.6 1.6 0 0 0\n Receiver 3.1 0.7 2.2 0 0 0\n",
            "1 Plaster, " + bands(0.1) + "\n", "Level=6\nHistory=3\nTime=0.2\nPrecision=0.001\nHumidity=50\n"
            "Temperature=20\nRandomizeAfter=-1\nOpenMP=1\nCrackTolerance=0.02\n");
        std::vector<double> sums;
        for (unsigned m = 1; m <= microphones().receiverCount(); ++m) {
            sums.push_back(0);
            for (const BandEnergies& row : microphones().at(static_cast<int>(m))->response.rows) sums.back() += row[5];
        }
        return sums;
    };
    const std::vector<double> whole = heard(1), tiled = heard(6);
    ASSERT_EQ(whole.size(), 3u);
    ASSERT_EQ(tiled.size(), 3u);
    for (std::size_t m = 0; m < whole.size(); ++m) EXPECT_NEAR(tiled[m], whole[m], 1e-5 * whole[m]) << "receiver " << m + 1;
}
