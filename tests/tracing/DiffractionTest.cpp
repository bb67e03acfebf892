#include <tuple>

#include "support/TracingFixture.h"
#include "tracing/EdgeWedge.h"

// Diffraction in whole runs of the direct sound: a path bent over edges arrives with the straight-path energy of its
// leg times the Kurze-Anderson share of its detour, and only when it turns around each edge through open space.
class DiffractionTest : public TracingFixture {
protected:
    /// Runs a source and receiver 1 among faces of opaque materials; answers the first class heard, or -1.
    long first(const std::string& faces, const std::string& source, const std::string& receiver, const std::string& flags) {
        run(faces + " Source " + source + " 1 0 0 0 omni.spk\n Receiver " + receiver + " 0 0 1\n",
            "1 Opaque, " + bands(0.1) + "\n2 Ground, " + bands(0) + "\n", "", "/T0.2 /P0.0001 /O1 /U50 /C20 " + flags);
        const auto rows = arrivals(1);
        return rows.empty() ? -1 : static_cast<long>(rows.front().first);
    }
    const std::string ground = " Face 0 2 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n";
};

// A source at (0, 0, 1) and a receiver at (10, 0.7, 1.3) on flat ground, opaque barriers between them. A wall at x = 5
// with a window from y = 1 to 2, z = 2 to 3: the straight path passes below it, its corner (5, 1, 2) nearest to it.
TEST_F(DiffractionTest, BarriersAndWallsAreCrossedOverTheEdgesTheMethodAllows) {
    const Coord apex(0.0001, 0.0002, 1.0003), receiver(10, 0.7, 1.3);  // the source, displaced as every apex is
    const double y5 = apex.y + (5 - apex.x) / (receiver.x - apex.x) * (receiver.y - apex.y);  // the straight path at x = 5
    const std::string thin = " Face 1 1 4 5 -50 0 5 50 0 5 50 3 5 -50 3\n";
    const std::string thick = thin + " Face 1 1 4 6 -50 0 6 -50 3 6 50 3 6 50 0\n"
                                     " Face 1 1 4 5 -50 3 5 50 3 6 50 3 6 -50 3\n";
    const std::string window = " Wall\n  Face 1 1 4 5 -50 0 5 50 0 5 50 10 5 -50 10\n"
                               "  Hole 0 1 4 5 1 2 5 2 2 5 2 3 5 1 3\n End\n";
    const auto over = [&](const std::vector<Coord>& points) {
        double length = distance(apex, points.front()) + distance(points.back(), receiver);
        for (std::size_t i = 1; i < points.size(); ++i) length += distance(points[i - 1], points[i]);
        return length;
    };
    const std::tuple<const char*, std::string, std::vector<Coord>> cases[] = {
        {"/D0", thin, {}}, {"/D1", thin, {{5, y5, 3}}}, {"/D2", thick, {{5, y5, 3}, {6, y5, 3}}},
        {"/D1", thick, {}}, {"/D1 /T0.02", thin, {}},  // no path over two edges; 10 m need 29 ms
        {"/D1", window, {{5, 1, 2}}}};
    for (const auto& [flags, barrier, path] : cases) {
        SCOPED_TRACE(flags + barrier);
        EXPECT_EQ(first(ground + barrier, "0 0 1", "10 0.7 1.3", std::string("/L4 /H0 ") + flags) == -1, path.empty());
        if (path.empty()) continue;
        const double r = distance(apex, receiver);
        BandEnergies power;
        power.fill(1e11f);  // no loudspeaker file: 110 dB in every band
        const std::vector<double> straight = expected(power, r);
        const BandEnergies& row = microphones().at(1)->response.row(classOf(over(path)));
        for (int k = 0; k < bandCount; ++k)  // 1e-5: the single-precision steps
            EXPECT_NEAR(row[k], straight[k] * kurzeAnderson(over(path) - r, k), 1e-5 * row[k]) << k;
        if (barrier == window) { EXPECT_EQ(microphones().at(1)->response.row(classOf(over({{5, 2, 3}}))), BandEnergies{}); }
    }
}

// A 10 x 5 x 3 m room split by a wall-to-wall, floor-to-ceiling partition that lets nothing through: the other half
// stays silent whichever method runs, whether the floor runs on under the partition or meets it in two halves.
TEST_F(DiffractionTest, ASealedPartitionLeavesTheOtherHalfSilent) {
    const std::string partition = " Face 1 1 4 5 0 0 5 5 0 5 5 3 5 0 3\n";
    const std::string split = box(10, 5, 3, 1, {1, 1, 1, 1, 0, 1}) + " Face 1 1 4 0 0 0 5 0 0 5 5 0 0 5 0\n"
                                                                   " Face 1 1 4 5 0 0 10 0 0 10 5 0 5 5 0\n";
    for (const char* method : {"/D0", "/D1", "/D2", "/D3", "/D50", "/D98", "/D99"})
        for (const std::string& room : {box(10, 5, 3) + partition, split + partition})
            EXPECT_EQ(first(room, "2.5 2.5 1.5", "7.5 2.5 1.5", std::string("/L6 /H2 /T0.1 ") + method), -1) << method;
}

// From (0, 0, 1) to (30, 0, 1.5) over a 3 m barrier at x = 20 (and a second face at x = 22 for a thick one) on the
// ground: over the top 30.21 m (30.24 over both), under the foot 30.14 (30.16), two classes earlier. Around a pillar
// from floor to ceiling, 1 x 3 m in plan, between points near the floor: 6.83 m round its side, 6.04 m under its foot.
TEST_F(DiffractionTest, NoPathRunsUnderABarrierOrAPillarStandingOnTheGround) {
    const std::string thin = " Face 1 1 4 20 -15 0 20 15 0 20 15 3 20 -15 3\n";
    const std::string thick = thin + " Face 1 1 4 22 -15 0 22 -15 3 22 15 3 22 15 0\n"
                                     " Face 1 1 4 20 -15 3 20 15 3 22 15 3 22 -15 3\n";
    const std::string pillar = " Face 1 1 4 4.5 2.5 0 4.5 2.5 3 4.5 5.5 3 4.5 5.5 0\n"
                               " Face 1 1 4 5.5 2.5 0 5.5 5.5 0 5.5 5.5 3 5.5 2.5 3\n"
                               " Face 1 1 4 4.5 2.5 0 5.5 2.5 0 5.5 2.5 3 4.5 2.5 3\n"
                               " Face 1 1 4 4.5 5.5 0 4.5 5.5 3 5.5 5.5 3 5.5 5.5 0\n";
    const double overThin = std::hypot(20, 2) + std::hypot(10, 1.5), overThick = std::hypot(20, 2) + 2 + std::hypot(8, 1.5);
    const double around = std::hypot(2.5, 1.5) * 2 + 1;
    const std::tuple<std::string, const char*, const char*, const char*, double, double> cases[] = {  // the first path
        {ground + thin, "0 0 1", "30 0 1.5", "/D1", overThin - 0.01, overThin + 0.01},
        {ground + thin, "0 0 1", "30 0 1.5", "/D2", overThin - 0.01, overThin + 0.01},
        {ground + thick, "0 0 1", "30 0 1.5", "/D2", overThick - 0.01, overThick + 0.01},
        {box(10, 8, 3) + pillar, "2 4 0.3", "8 4 0.3", "/D2", around, around + 0.5}};
    for (const auto& [faces, source, receiver, flags, lo, hi] : cases) {
        const long arrival = first(faces, source, receiver, std::string("/L6 /H0 /T0.1 ") + flags);
        EXPECT_TRUE(arrival >= static_cast<long>(classOf(lo)) && arrival <= static_cast<long>(classOf(hi))) << flags << lo;
    }
}

TEST_F(DiffractionTest, ABendOpensOnlyThroughFreeSpace) {
    // Faces along an edge on the y axis: a barrier below it with a top face towards +x; a floor running on both sides
    // with a partition standing on it. A path may turn through free space or run along a face, not pass one.
    const std::string thick = " Face 0 1 4 0 0 0 0 1 0 0 1 -1 0 0 -1\n Face 0 1 4 0 0 0 1 0 0 1 1 0 0 1 0\n";
    const std::string foot = " Face 0 1 4 -1 0 0 1 0 0 1 1 0 -1 1 0\n Face 0 1 4 0 0 0 0 0 1 0 1 1 0 1 0\n";
    const std::tuple<std::string, Coord, Coord, bool> cases[] = {
        {thick, {-1, 0.5, -0.5}, {1, 0.5, 0}, true}, {thick, {-1, 0.5, -0.5}, {1, 0.5, -0.5}, false},  // into it
        {foot, {-1, 0.5, 1}, {1, 0.5, 1}, false}, {foot, {-1, 0.5, 0}, {1, 0.5, 0}, false}};          // under, along
    for (const auto& [faces, before, after, opens] : cases) {
        Model edge;
        load(edge, faces);
        EXPECT_EQ(EdgeWedge(edge, Coord(0, 0, 0), Coord(0, 1, 0)).opens(before, after), opens) << faces << after.z;
    }
}
