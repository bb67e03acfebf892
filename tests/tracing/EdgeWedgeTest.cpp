#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "tracing/EdgeWedge.h"

namespace {
// Material 1 transmits nothing (no transmission group).
const std::string opaque = "1 Opaque, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n";

// A box of obstructing faces from (0, 0, 0) to (x, y, z), floor first.
std::string box(double x, double y, double z) {
    std::ostringstream s;
    s << " Face 1 1 4 0 0 0 " << x << " 0 0 " << x << ' ' << y << " 0 0 " << y << " 0\n"
      << " Face 1 1 4 0 0 " << z << " 0 " << y << ' ' << z << ' ' << x << ' ' << y << ' ' << z << ' ' << x << " 0 "
      << z << "\n"
      << " Face 1 1 4 0 0 0 0 " << y << " 0 0 " << y << ' ' << z << " 0 0 " << z << "\n"
      << " Face 1 1 4 " << x << " 0 0 " << x << " 0 " << z << ' ' << x << ' ' << y << ' ' << z << ' ' << x << ' ' << y
      << " 0\n"
      << " Face 1 1 4 0 0 0 0 0 " << z << ' ' << x << " 0 " << z << ' ' << x << " 0 0\n"
      << " Face 1 1 4 0 " << y << " 0 " << x << ' ' << y << " 0 " << x << ' ' << y << ' ' << z << " 0 " << y << ' ' << z
      << "\n";
    return s.str();
}

// The diffraction points of the hit records of a hits file: (x, y, z) of every history entry.
std::vector<Coord> hitPoints(const std::string& text) {
    std::vector<Coord> points;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream fields(line);
        double value = 0;
        for (int k = 0; k < 13; ++k) fields >> value;  // microphone, source, time, ten energies
        int count = 0;
        fields >> count;
        for (int i = 0; i < count; ++i) {
            Coord p;
            fields >> value >> p.x >> p.y >> p.z;
            points.push_back(p);
        }
    }
    return points;
}
}  // namespace

/// Runs of a model given as text, direct sound and reflections as the flags say.
class JunctionTest : public UiFixture {
protected:
    void run(const std::string& faces, const std::string& source, const std::string& receiver, const std::string& flags) {
        writeFile("site.ray", "EntityList\n" + faces + " Source " + source + " 1 0 0 0 omni.spk\n Receiver " + receiver +
                                  " 0 0 0\nEnd\n");
        writeFile("site.material", opaque);
        ASSERT_TRUE(parameters.parse("site /T0.1 /P0.0001 /O1 /U50 /C20 " + flags));
        RayManager manager;
        ASSERT_TRUE(manager.ready);
        manager.run();
    }

    /// The first class of receiver 1 with energy in any band, or -1 when it got nothing.
    long firstArrival() const {
        const ImpulseResponse& response = microphones().at(1)->response;
        for (std::uint32_t k = 0; k <= response.classCount; ++k)
            for (float e : response.row(k))
                if (e != 0) return k;
        return -1;
    }

    /// The class of a path of length metres.
    long classOf(double length) const { return static_cast<long>(length / parameters.SoundSpeed / 0.0001); }
};

// A 10 x 5 x 3 m room split by a wall-to-wall, floor-to-ceiling partition
// that lets nothing through: sound from one half never reaches the other,
// whichever diffraction method runs and however the floor meets the partition.
class SealedPartitionTest : public JunctionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SealedPartitionTest, TheOtherHalfIsSilent) {
    const std::string partition = " Face 1 1 4 5 0 0 5 5 0 5 5 3 5 0 3\n";
    // The floor as one face under the partition, and as two halves meeting along its foot.
    const std::string halves = " Face 1 1 4 0 0 0 5 0 0 5 5 0 0 5 0\n Face 1 1 4 5 0 0 10 0 0 10 5 0 5 5 0\n";
    std::string split = box(10, 5, 3);
    split.erase(0, split.find('\n') + 1);
    for (const std::string& room : {box(10, 5, 3) + partition, halves + split + partition}) {
        run(room, "2.5 2.5 1.5", "7.5 2.5 1.5", std::string("/L6 /H2 ") + GetParam());
        EXPECT_EQ(firstArrival(), -1) << GetParam();
        TearDown();
        SetUp();
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, SealedPartitionTest, ::testing::Values("/D0", "/D1", "/D2", "/D3", "/D50", "/D98", "/D99"));

TEST_F(JunctionTest, NoPathRunsUnderABarrierStandingOnTheGround) {
    const std::string ground = " Face 0 1 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n";
    const std::string thin = " Face 1 1 4 20 -15 0 20 15 0 20 15 3 20 -15 3\n";
    const std::string thick = thin + " Face 1 1 4 22 -15 0 22 -15 3 22 15 3 22 15 0\n"
                                     " Face 1 1 4 20 -15 3 20 15 3 22 15 3 22 -15 3\n";
    const std::pair<std::string, const char*> cases[] = {{thin, "/D1"}, {thin, "/D2"}, {thick, "/D2"}};
    for (const auto& [barrier, flags] : cases) {
        run(ground + barrier, "0 0 1", "30 0 1.5", std::string("/L6 /H0 /S0 ") + flags);
        const std::vector<Coord> points = hitPoints(readFile("site.@__"));
        EXPECT_FALSE(points.empty()) << flags << ": the path over the top is kept";
        for (const Coord& p : points) EXPECT_GT(p.z, 0.01) << flags << " at " << p.x << ' ' << p.y;
        TearDown();
        SetUp();
    }
}

TEST_F(JunctionTest, NothingArrivesBeforeThePathAroundAPillar) {
    // A 1 x 3 m pillar from floor to ceiling between a source and a receiver
    // near the floor: the shortest way is around its side, 6.83 m in plan;
    // a path under its foot would be 6.04 m.
    const std::string pillar = " Face 1 1 4 4.5 2.5 0 4.5 2.5 3 4.5 5.5 3 4.5 5.5 0\n"
                               " Face 1 1 4 5.5 2.5 0 5.5 5.5 0 5.5 5.5 3 5.5 2.5 3\n"
                               " Face 1 1 4 4.5 2.5 0 5.5 2.5 0 5.5 2.5 3 4.5 2.5 3\n"
                               " Face 1 1 4 4.5 5.5 0 4.5 5.5 3 5.5 5.5 3 5.5 5.5 0\n";
    run(box(10, 8, 3) + pillar, "2 4 0.3", "8 4 0.3", "/L6 /H0 /D2");
    const double around = std::hypot(2.5, 1.5) * 2 + 1;
    EXPECT_GE(firstArrival(), classOf(around));
    EXPECT_LE(firstArrival(), classOf(around + 0.5)) << "the path around the side arrives";
}

using EdgeWedgeTest = UiFixture;

TEST_F(EdgeWedgeTest, ABendOpensOnlyThroughFreeSpace) {
    // The faces meeting along an edge on the y axis, and where a path comes from and goes to.
    const std::string down = " Face 0 1 4 0 0 0 0 1 0 0 1 -1 0 0 -1\n";          // a barrier below the edge
    const std::string right = " Face 0 1 4 0 0 0 1 0 0 1 1 0 0 1 0\n";           // a top face towards +x
    const std::string across = " Face 0 1 4 -1 0 0 1 0 0 1 1 0 -1 1 0\n";        // a floor running on both sides
    struct Case {
        std::string faces;
        Coord before, after;
        bool opens;
    } cases[] = {
        {down, {-1, 0.5, -0.5}, {1, 0.5, -0.5}, true},     // over a thin barrier's top
        {down + right, {-1, 0.5, -0.5}, {1, 0.5, 0}, true},  // along the top face to the next edge
        {down + right, {-1, 0.5, -0.5}, {1, 0.5, -0.5}, false},  // into the thick barrier
        {across + " Face 0 1 4 0 0 0 0 0 1 0 1 1 0 1 0\n", {-1, 0.5, 1}, {1, 0.5, 1}, false},  // under a foot
        {across, {-1, 0.5, 1}, {1, 0.5, 1}, true},          // over a floor: nothing to pass
        {across + " Face 0 1 4 0 0 0 0 0 1 0 1 1 0 1 0\n", {-1, 0.5, 0}, {1, 0.5, 0}, false},  // along it, past a foot
    };
    for (const Case& c : cases) {
        Model model;
        std::istringstream in("EntityList\n" + c.faces + "End\n");
        model.load(in);
        EXPECT_EQ(EdgeWedge(model, Coord(0, 0, 0), Coord(0, 1, 0)).opens(c.before, c.after), c.opens)
            << c.faces << c.before.x << ' ' << c.before.z << " -> " << c.after.x << ' ' << c.after.z;
    }
}
