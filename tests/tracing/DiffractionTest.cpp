#include <array>
#include <tuple>

#include "support/TracingFixture.h"
#include "tracing/EdgeWedge.h"

// Diffraction in whole runs of the direct sound: a path bent over edges arrives with the straight-path energy of
// its leg times the Kurze-Anderson share of its detour, and only when it turns around each edge through open
// space, never through the junction of two faces.
class DiffractionTest : public TracingFixture {
protected:
    /// The arrivals of receiver 1 from a source through faces, the materials opaque.
    std::vector<std::pair<std::uint32_t, BandEnergies>> heard(const std::string& faces, const std::string& source,
                                                              const std::string& receiver, const std::string& flags) {
        run(faces + " Source " + source + " 1 0 0 0 omni.spk\n Receiver " + receiver + " 0 0 1\n",
            "1 Opaque, " + bands(0.1) + "\n2 Ground, " + bands(0) + "\n", "", "/T0.2 /P0.0001 /O1 /U50 /C20 " + flags);
        return arrivals(1);
    }
    /// The first class receiver 1 heard anything in, or -1.
    long first(const std::string& faces, const std::string& source, const std::string& receiver, const std::string& flags) {
        const auto rows = heard(faces, source, receiver, flags);
        return rows.empty() ? -1 : static_cast<long>(rows.front().first);
    }
};

namespace {
// A box of obstructing faces from (0, 0, 0) to (x, y, z): floor, ceiling, x = 0, x = X, y = 0, y = Y.
std::string box(double x, double y, double z) {
    const double v[8][3] = {{0, 0, 0}, {x, 0, 0}, {x, y, 0}, {0, y, 0}, {0, 0, z}, {x, 0, z}, {x, y, z}, {0, y, z}};
    std::ostringstream s;
    for (const auto& face : {std::array{0, 1, 2, 3}, {4, 7, 6, 5}, {0, 3, 7, 4}, {1, 5, 6, 2}, {0, 4, 5, 1}, {3, 2, 6, 7}}) {
        s << " Face 1 1 4";
        for (int i : face) s << ' ' << v[i][0] << ' ' << v[i][1] << ' ' << v[i][2];
        s << '\n';
    }
    return s.str();
}
}  // namespace

// A source at (0, 0, 1) and a receiver at (10, 0.7, 1.3) on flat ground, opaque barriers between them.
TEST_F(DiffractionTest, BarriersAndWallsAreCrossedOverTheEdgesTheMethodAllows) {
    const Coord apex(0.0001, 0.0002, 1.0003), receiver(10, 0.7, 1.3);  // the source, displaced as every apex is
    const Versor u(receiver - apex);
    const double y5 = apex.y + (5 - apex.x) / u.x * u.y;  // where the straight path crosses x = 5
    const std::string thin = " Face 1 1 4 5 -50 0 5 50 0 5 50 3 5 -50 3\n";
    const std::string thick = thin + " Face 1 1 4 6 -50 0 6 -50 3 6 50 3 6 50 0\n Face 1 1 4 5 -50 3 5 50 3 6 50 3 6 -50 3\n";
    // A wall at x = 5 with a window from y = 1 to 2, z = 2 to 3: the straight path passes below it; its corner
    // (5, 1, 2) lies nearest to it, and the farthest one, (5, 2, 3), gives no path.
    const std::string window = " Wall\n  Face 1 1 4 5 -50 0 5 50 0 5 50 10 5 -50 10\n  Hole 0 1 4 5 1 2 5 2 2 5 2 3 5 1 3\n End\n";
    const auto lengthOver = [&](const std::vector<Coord>& points) {
        double length = distance(apex, points.front()) + distance(points.back(), receiver);
        for (std::size_t i = 1; i < points.size(); ++i) length += distance(points[i - 1], points[i]);
        return length;
    };
    const std::tuple<const char*, std::string, std::vector<Coord>> cases[] = {
        {"/D0", thin, {}},
        {"/D1", thin, {{5, y5, 3}}},
        {"/D2", thick, {{5, y5, 3}, {6, y5, 3}}},
        {"/D1", thick, {}},        // no path over two edges
        {"/D1 /T0.02", thin, {}},  // 10 m need 29 ms
        {"/D1", window, {{5, 1, 2}}},
    };
    for (const auto& [flags, barrier, path] : cases) {
        SCOPED_TRACE(flags + barrier);
        const auto rows = heard(" Face 0 2 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n" + barrier, "0 0 1",
                                "10 0.7 1.3", std::string("/L4 /H0 ") + flags);
        if (path.empty()) {
            EXPECT_TRUE(rows.empty());
            continue;
        }
        const double L = lengthOver(path), r = distance(apex, receiver);
        BandEnergies power;
        power.fill(1e11f);  // no loudspeaker file: 110 dB in every band
        std::vector<double> wanted = expected(power, r);
        for (int k = 0; k < bandCount; ++k) wanted[k] *= kurzeAnderson(L - r, k);
        // Float energies: a relative 1e-5 covers the single-precision steps.
        expectRow(microphones().at(1)->response.row(classOf(L)), wanted, "over the edges", 1e-5);
        if (barrier != window) continue;
        ASSERT_NE(classOf(lengthOver({{5, 2, 3}})), classOf(L));
        EXPECT_EQ(microphones().at(1)->response.row(classOf(lengthOver({{5, 2, 3}}))), BandEnergies{});
    }
}

// A 10 x 5 x 3 m room split by a wall-to-wall, floor-to-ceiling partition that lets nothing through: sound from
// one half never reaches the other, whichever diffraction method runs, and whether the floor runs on under the
// partition or meets it in two halves.
TEST_F(DiffractionTest, ASealedPartitionLeavesTheOtherHalfSilent) {
    const std::string partition = " Face 1 1 4 5 0 0 5 5 0 5 5 3 5 0 3\n";
    std::string split = box(10, 5, 3);
    split.replace(0, split.find('\n') + 1, " Face 1 1 4 0 0 0 5 0 0 5 5 0 0 5 0\n Face 1 1 4 5 0 0 10 0 0 10 5 0 5 5 0\n");
    for (const char* method : {"/D0", "/D1", "/D2", "/D3", "/D50", "/D98", "/D99"})
        for (const std::string& room : {box(10, 5, 3) + partition, split + partition})
            EXPECT_EQ(first(room, "2.5 2.5 1.5", "7.5 2.5 1.5", std::string("/L6 /H2 /T0.1 ") + method), -1) << method;
}

// Source (0, 0, 1), receiver (30, 0, 1.5), a 3 m barrier at x = 20 (and a second face at x = 22 for a thick one)
// standing on the ground. Over the top the path is 30.21 m (30.24 over both tops); under the foot it would be
// 30.14 (30.16), two classes earlier: the path over the top is the first to arrive.
TEST_F(DiffractionTest, NoPathRunsUnderABarrierStandingOnTheGround) {
    const std::string ground = " Face 0 1 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n";
    const std::string thin = " Face 1 1 4 20 -15 0 20 15 0 20 15 3 20 -15 3\n";
    const std::string thick = thin + " Face 1 1 4 22 -15 0 22 -15 3 22 15 3 22 15 0\n Face 1 1 4 20 -15 3 20 15 3 22 15 3 22 -15 3\n";
    const double overThin = std::hypot(20, 2) + std::hypot(10, 1.5), overThick = std::hypot(20, 2) + 2 + std::hypot(8, 1.5);
    const std::tuple<std::string, const char*, double> cases[] = {{thin, "/D1", overThin}, {thin, "/D2", overThin}, {thick, "/D2", overThick}};
    for (const auto& [barrier, flags, over] : cases) {
        const long arrival = first(ground + barrier, "0 0 1", "30 0 1.5", std::string("/L6 /H0 /T0.1 ") + flags);
        EXPECT_GE(arrival, static_cast<long>(classOf(over - 0.01))) << flags;
        EXPECT_LE(arrival, static_cast<long>(classOf(over + 0.01))) << flags;
    }
    // A 1 x 3 m pillar from floor to ceiling between a source and a receiver near the floor: the shortest way is
    // around its side, 6.83 m in plan; a path under its foot would be 6.04 m.
    const std::string pillar = " Face 1 1 4 4.5 2.5 0 4.5 2.5 3 4.5 5.5 3 4.5 5.5 0\n Face 1 1 4 5.5 2.5 0 5.5 5.5 0 5.5 5.5 3 5.5 2.5 3\n"
                               " Face 1 1 4 4.5 2.5 0 5.5 2.5 0 5.5 2.5 3 4.5 2.5 3\n Face 1 1 4 4.5 5.5 0 4.5 5.5 3 5.5 5.5 3 5.5 5.5 0\n";
    const long arrival = first(box(10, 8, 3) + pillar, "2 4 0.3", "8 4 0.3", "/L6 /H0 /T0.1 /D2");
    const double around = std::hypot(2.5, 1.5) * 2 + 1;
    EXPECT_GE(arrival, static_cast<long>(classOf(around)));
    EXPECT_LE(arrival, static_cast<long>(classOf(around + 0.5))) << "the path around the side arrives";
}

TEST_F(DiffractionTest, ABendOpensOnlyThroughFreeSpace) {
    // The faces meeting along an edge on the y axis, and where a path comes from and goes to.
    const std::string down = " Face 0 1 4 0 0 0 0 1 0 0 1 -1 0 0 -1\n";      // a barrier below the edge
    const std::string right = " Face 0 1 4 0 0 0 1 0 0 1 1 0 0 1 0\n";       // a top face towards +x
    const std::string across = " Face 0 1 4 -1 0 0 1 0 0 1 1 0 -1 1 0\n";    // a floor running on both sides
    const std::string foot = across + " Face 0 1 4 0 0 0 0 0 1 0 1 1 0 1 0\n";  // and a partition standing on it
    const std::tuple<std::string, Coord, Coord, bool> cases[] = {
        {down, {-1, 0.5, -0.5}, {1, 0.5, -0.5}, true},           // over a thin barrier's top
        {down + right, {-1, 0.5, -0.5}, {1, 0.5, 0}, true},      // along the top face to the next edge
        {down + right, {-1, 0.5, -0.5}, {1, 0.5, -0.5}, false},  // into the thick barrier
        {foot, {-1, 0.5, 1}, {1, 0.5, 1}, false},                // under a foot
        {across, {-1, 0.5, 1}, {1, 0.5, 1}, true},               // over a floor: nothing to pass
        {foot, {-1, 0.5, 0}, {1, 0.5, 0}, false},                // along the floor, past a foot
    };
    for (const auto& [faces, before, after, opens] : cases) {
        Model edge;
        load(edge, faces);
        EXPECT_EQ(EdgeWedge(edge, Coord(0, 0, 0), Coord(0, 1, 0)).opens(before, after), opens)
            << faces << before.x << ' ' << before.z << " -> " << after.x << ' ' << after.z;
    }
}
