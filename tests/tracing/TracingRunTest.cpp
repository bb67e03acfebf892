
#include "foundation/ThreadTeam.h"
#include "support/TracingFixture.h"

// Whole runs of a 6 x 5 x 3 m box with a 10 dB obstructing panel and two receivers: 64 pyramids a source, History 3,
// clones and diffusion on, so that every part of a leg is used; specular reflections, whatever the threads draw.
class TracingRunTest : public TracingFixture {
protected:
    /// The energy each receiver heard in each band, over the whole response.
    std::vector<double> trace(const std::string& sources, int threads, bool saveAll, TraceStatistics* statistics) {
        *statistics = run(box(6, 5, 3, 0, {1, 1, 2, 2, 3, 3}) + " Face 1 4 4 3 1 0 3 3 0 3 3 2 3 1 2\n" + sources +
                              " Receiver 4.7 2.2 1.3 0 0 0\n Receiver 1.9 3.6 1.6 0 0 0\n",
                          "1 Plaster, " + bands(0.05) + "\n2 Wood, 0.15 0.15 0.12 0.1 0.1 0.08 0.07 0.07 0.07 0.07\n3 Tiles, " +
                              bands(0.5) + "\n4 Panel, " + bands(0.3) + ", " + bands(10) + ", " + bands(0.2) + "\n",
                          "Level=3\nHistory=3\nTime=0.2\nPrecision=0.001\nHumidity=50\nTemperature=20\nHitLevel=-1\n"
                          "RandomizeAfter=-1\nDiffusion=1\nDiffusionMode=7\nCloneLevel=0\nOpenMP=" + std::to_string(threads) +
                              "\nSaveAll=" + (saveAll ? "1\n" : "0\n"));
        std::vector<double> heard(2 * bandCount);
        for (int m = 0; m < 2; ++m)
            for (const BandEnergies& row : microphones().at(m + 1)->response.rows)
                for (int b = 0; b < bandCount; ++b) heard[m * bandCount + b] += row[b];
        return heard;
    }
    /// The totals agree within what the order of summation can change: they sum at most n positive single-precision
    /// terms, any order within (n - 1)·2^-24 of the exact sum, two orders within twice that. Each pyramid travels
    /// History + 1 = 4 legs at most, makes at most one clone that does the same, and each leg offers a receiver one
    /// arrival: n ≤ 64 · 2 · 4 per source. Every receiver heard something in every band.
    static void expectSame(const std::vector<double>& a, const std::vector<double>& b, int sources) {
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_TRUE(a[i] > 0 && std::fabs(a[i] - b[i]) <= 2 * (sources * 64 * 2 * 4) * std::ldexp(a[i], -24)) << i;
    }
    const std::string first = " Source 1.5 1.2 1.4 2.5 1.2 1.4 0 omni.spk\n";
    const std::string second = " Source 4.6 3.7 1.9 3.6 3.7 1.9 0 omni.spk\n";
};

TEST_F(TracingRunTest, ThreadsAndSourcesAddUpUnlessSaveAllStartsEachSourceAfresh) {
    TraceStatistics one, two, alone, both, each;
    const std::vector<double> oneThread = trace(first, 1, false, &one);
    EXPECT_EQ(parameters.OpenMP, 1);
    // Two threads commit the pyramids in the order one thread traces them: the same sums bit for bit.
    EXPECT_EQ(oneThread, trace(first, 2, false, &two));
    EXPECT_EQ(parameters.OpenMP, std::min(2, availableProcessors())) << "lowered to the processors";
    EXPECT_TRUE(one.reflectionCount == two.reflectionCount && one.escapedCount == two.escapedCount);
    EXPECT_TRUE(one.pathSum == two.pathSum && one.pathSquareSum == two.pathSquareSum);
    // Without SaveAll the receivers and the sums hold what each source alone gave; with it, the last source's only.
    std::vector<double> sum = trace(second, 1, false, &alone);
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += oneThread[i];
    expectSame(trace(first + second, 1, false, &both), sum, 2);
    EXPECT_EQ(both.reflectionCount, one.reflectionCount + alone.reflectionCount);
    EXPECT_EQ(trace(first + second, 1, true, &each), trace(second, 1, false, &alone));
    EXPECT_TRUE(each.reflectionCount == alone.reflectionCount && each.pathSum == alone.pathSum);
}

// A run that could not end by itself is refused before tracing, with the limit it broke; the limits themselves pass.
TEST_F(TracingRunTest, AbsurdLimitsAreRefusedBeforeTracing) {
    for (const auto& [flag, message] : {std::pair{"/L29", "Error: Level 29 is too high: the highest level is 28"},
                                        {"/T1e9", "Error: Time 1e+09 s is too long: the longest is 100 s"},
                                        {"/T1e308", "Error: Time 1e+308 s is too long: the longest is 100 s"},
                                        {"/H100001", "Error: History 100001 is too high: the highest is 100000"},
                                        {"/T100 /H100000", ""}}) {
        ui.boxes.clear();
        std::filesystem::remove("room.___");
        run(" Source 1 1 1 2 1 1 0 omni.spk\n Receiver 2 2 2 0 0 0\n", "", "", std::string("/L2 /T0.1 /H-1 /P0.01 ") + flag);
        EXPECT_EQ(boxTexts(), *message ? std::vector<std::string>{message} : std::vector<std::string>{}) << flag;
        EXPECT_EQ(std::filesystem::exists("room.___"), !*message) << flag;
    }
}

// A room whose floor and ceiling are laid in coplanar obstructing tiles hears what the room with whole faces hears: a
// leg starting on a tile within the crack tolerance (0.02 m here, so that many do) of its neighbour is not blocked by
// that neighbour, which lies in the plane it leaves; a hit on their seam is no edge.
TEST_F(TracingRunTest, ATiledRoomHearsWhatTheWholeRoomHears) {
    const auto heard = [this](int tiles) {  // the energy each receiver heard in band 5
        std::ostringstream s;
        for (int i = 0; i < tiles; ++i)
            for (int j = 0; j < tiles; ++j)
                for (const double z : {0, 3}) {
                    const double x0 = 6.0 * i / tiles, x1 = x0 + 6.0 / tiles, y0 = 5.0 * j / tiles, y1 = y0 + 5.0 / tiles;
                    s << " Face 1 1 4 " << x0 << ' ' << y0 << ' ' << z << ' ' << x1 << ' ' << y0 << ' ' << z << ' ' << x1 << ' '
                      << y1 << ' ' << z << ' ' << x0 << ' ' << y1 << ' ' << z << '\n';
                }
        run(s.str() + box(6, 5, 3, 1, {1, 1, 1, 1, 0, 0}) + " Source 1.5 1.2 1.4 2.5 1.2 1.4 0 omni.spk\n"
                " Receiver 4.7 2.2 1.3 0 0 0\n Receiver 1.9 3.6 1.6 0 0 0\n Receiver 3.1 0.7 2.2 0 0 0\n",
            "1 Plaster, " + bands(0.1) + "\n", "Level=6\nHistory=3\nTime=0.2\nPrecision=0.001\nHumidity=50\nTemperature=20\n"
            "RandomizeAfter=-1\nOpenMP=1\nCrackTolerance=0.02\n");
        std::vector<double> sums(3);
        for (int m = 0; m < 3; ++m)
            for (const BandEnergies& row : microphones().at(m + 1)->response.rows) sums[m] += row[5];
        return sums;
    };
    const std::vector<double> whole = heard(1), tiled = heard(6);
    for (int m = 0; m < 3; ++m) EXPECT_NEAR(tiled[m], whole[m], 1e-5 * whole[m]) << "receiver " << m + 1;
}
