#include <iomanip>
#include <set>

#include "support/TracingFixture.h"

using TraceLegTest = TracingFixture;

// The hit search steers a whole pyramid by its central ray: the faces it meets first, how many of them at the same
// distance (an edge, a corner), and which monopermeable face it passes on the way.
TEST_F(TraceLegTest, FindHitTakesTheNearestFacesOfTheCentralRay) {
    const auto square = [](const std::string& x, double half, int flags = 0, int material = 1) {  // in the plane x
        std::ostringstream out;
        out << " Face " << flags << ' ' << material << " 4";
        for (const auto& [y, z] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) out << ' ' << x << ' ' << y * half << ' ' << z * half;
        return out.str() + "\n";
    };
    const std::string y4 = " Face 0 1 4 -10 4 -10 10 4 -10 10 4 10 -10 4 10\n", twoWalls = square("0", 5) + square("10", 5, 0, 3);
    const std::string corner = " Face 0 1 4 0 -5 0 10 -5 0 10 5 0 0 5 0\n Face 0 3 4 10 -5 0 10 5 0 10 5 10 10 -5 10\n"
                               " Face 0 3 4 0 5 0 10 5 0 10 5 10 0 5 10\n";  // z = 0, x = 10, y = 5
    std::ostringstream fan;  // five faces through the line x = 10, z = 0 (planes x = 10 - k·z), areas falling
    for (const auto& [k, s] : {std::pair{0.0, 5.0}, {0.5, 4}, {-0.5, 3.9}, {1, 3}, {-1, 2.9}})
        fan << " Face 0 1 4 " << 10 + k * s << " -5 " << -s << ' ' << 10 + k * s << " 5 " << -s << ' ' << 10 - k * s << " 5 "
            << s << ' ' << 10 - k * s << " -5 " << s << '\n';
    // Pieces of the plane x = 5 sharing the edge y = 0: 25 m², then 15 m² (plain, obstructing) or 25 m².
    const std::string large = " Face 0 1 4 5 -5 -2 5 0 -2 5 0 3 5 -5 3\n", small = " 4 5 0 -2 5 3 -2 5 3 3 5 0 3\n";
    const std::string passes = square("8", 5) + square("3", 3, 2) + square("2", 2, 2);  // flags 2: monopermeable
    const std::uint32_t metFirst = 99;                                                   // the face the model holds first
    const Vector x(1, 0, 0);
    struct Case {
        const char* what;
        std::string faces;
        Coord from;
        Vector along;
        std::uint32_t first;           // the face held first (0: none)
        std::set<std::uint32_t> held;  // every face held (none given: only the first checked)
        double distance;
        std::uint32_t passed = 0;      // the monopermeable face reported
        bool passedBefore = false;     // the pyramid had passed one already
        double reach = 1e12;           // the incoming distance: the farthest considered
    } cases[] = {
        {"plain", y4, {1, 0, 0}, {3, 4, 0}, 1, {1}, 5},
        {"out of reach", y4, {1, 0, 0}, {3, 4, 0}, 0, {}, 4.5, 0, false, 4.5},
        {"away from it", y4, {1, 0, 0}, {3, -4, 0}, 0, {}, 1e12},
        {"starting on a face", twoWalls, {0, 1, 1}, x, 2, {2}, 10},
        {"a face behind", twoWalls, {4, 1, 1}, x, 2, {2}, 6},
        {"far face first", square("5", 2) + square("8", 4), {}, x, 1, {1}, 5},
        {"near face first", square("5", 4) + square("8", 2), {}, x, 1, {1}, 5},
        {"edge", corner, {5, 0, 5}, {1, 0, -1}, metFirst, {1, 2}, 5 * std::sqrt(2.0)},
        {"corner", corner, {5, 0, 5}, {1, 1, -1}, metFirst, {1, 2, 3}, 5 * std::sqrt(3.0)},
        {"five at one point, four held", fan.str(), {}, x, 1, {1, 2, 3, 4}, 10},
        // Faces within 2e-6 of the nearest share the hit (4e-6 and 2e-6 round from one mantissa: exactly 2e-6 apart,
        // the limit); parallel planes within 1e-6 are one, and the smaller face stands for both unless the first is
        // obstructing; of equal areas the first stays.
        {"tie at 2 um", square("4e-6", 2) + square("2e-6", 1), {}, x, 1, {1, 2}, 2e-6},
        {"3 um apart", square("5e-6", 2) + square("2e-6", 1), {}, x, 2, {2}, 2e-6},
        {"parallel within 1 um", square("2e-6", 2) + square("2.5e-6", 1), {}, x, 2, {2}, 2e-6},
        {"coplanar, smaller second", large + " Face 0 3" + small, {0, 0, 1}, x, 2, {2}, 5},
        {"coplanar, obstructing first", large + " Face 1 3" + small, {0, 0, 1}, x, 2, {2}, 5},
        {"coplanar, equal areas", large + " Face 0 3 4 5 0 -2 5 5 -2 5 5 3 5 0 3\n", {0, 0, 1}, x, metFirst, {}, 5},
        {"monopermeable passed", passes, {}, x, 1, {1}, 8, 3},
        {"after one was passed", passes, {}, x, 3, {3}, 2, 0, true},
        {"monopermeable behind the hit", square("9", 5, 2) + square("8", 3), {}, x, 2, {2}, 8},
    };
    for (const Case& c : cases) {
        Model room;
        load(room, c.faces);
        Pyramid p = aimed(c.from, c.along);
        p.monopermeablePassed = c.passedBefore;
        Coord hit;
        double distance = c.reach;
        Face *faces[4] = {}, *passed = nullptr;
        const int n = room.findHit(p, hit, distance, faces, passed);
        std::set<std::uint32_t> held;
        for (int i = 0; i < n; ++i) held.insert(faces[i]->number);
        EXPECT_TRUE(c.held.empty() ? n == (c.first != 0) : held == c.held) << c.what;
        EXPECT_NEAR(distance, c.distance, 1e-9) << c.what;
        EXPECT_TRUE((passed ? passed->number : 0) == c.passed && p.monopermeablePassed == (c.passed || c.passedBefore)) << c.what;
        if (n == 0) continue;
        EXPECT_TRUE(nearlyEqual(hit, c.from + c.distance * Versor(c.along))) << c.what;
        EXPECT_EQ(faces[0], c.first == metFirst ? room.faceAt(0) : room.faceNumbered(c.first)) << c.what;
    }
}

// A pyramid from (0, 0, 10) heading down at 45° onto the floor z = 0 (edges 0.3 rad off the axis): its central ray
// hits (10, 0, 0) after L = 10·√2; the image source is (0, 0, -10), the reflected axis (1, 0, 1) / √2.
TEST_F(TraceLegTest, ALegServesTheReceiversInsideItBeyondTheFaceAlongThePathTravelled) {
    const auto fromImage = [](double degrees, double length) {  // from the image at an angle from the vertical
        std::ostringstream out;
        const double a = degrees * std::numbers::pi / 180;
        out << std::setprecision(17) << " Receiver " << length * std::sin(a) << " 0 " << length * std::cos(a) - 10 << " 0 0 0\n";
        return out.str();
    };
    // 2: 7° off the reflected axis, below the floor; 3: on the floor's plane; 4: 5° off it above the floor, but
    // nearer the image than L; 5: outside both legs.
    load(" Face 0 1 4 -50 -50 0 50 -50 0 50 50 0 -50 50 0\n Receiver 14 0.2 4.1 0 0 0\n" + fromImage(52, 15) +
         " Receiver 10.5 0.3 0 0 0 0\n" + fromImage(40, 13.5) + " Receiver 10 8 5 0 0 0\n");
    Pyramid p = aimed(Coord(0, 0, 10), Vector(1, 0, -1), 0.3);
    Face* monopermeable = nullptr;
    ASSERT_EQ(model.traceLeg(p, monopermeable), 1);
    ASSERT_EQ(p.lastFace, model.faceNumbered(1));
    // The first leg serves the receivers inside it whatever their side of the floor (which does not obstruct): 2, 3
    // and 4, not 1 (22° off its axis) nor 5; receiver 3 over |(10.5, 0.3, -10)|, as the direct wave.
    expectArrivals(3, {{std::sqrt(110.25 + 0.09 + 100), 1}});
    EXPECT_TRUE(arrivals(1).empty() && arrivals(5).empty() && microphones().at(3)->response.hasDirect);
    p.reflect(p.lastFace->plane);
    p.startLegAtHitPoint();
    microphones().clearAll();
    for (int i : {2, 3, 4}) {
        ASSERT_TRUE(p.contains(microphones().at(i)->axis.origin)) << i;
        ASSERT_EQ(distance(p.apex, microphones().at(i)->axis.origin) < p.pathLength, i == 4) << i;
    }
    EXPECT_EQ(model.traceLeg(p, monopermeable), 0);
    // Along the hit point: L + |(4, 0.2, 4.1)|, not the 19.871 m from the image; 1 - 0.2 of the energy; no direct wave.
    expectArrivals(1, {{10 * std::sqrt(2.0) + std::sqrt(16 + 0.04 + 16.81), 0.8}});
    EXPECT_FALSE(microphones().at(1)->response.hasDirect);
    for (int i : {2, 3, 4, 5}) EXPECT_TRUE(arrivals(i).empty()) << i;
}

// A face at x = 3 between the apex (0, 0, 0) and a receiver at (6, 0.2, 0.1), a second receiver before it at
// (1.5, 0.05, 0.05): the receiver behind hears what the face lets through; the pyramid goes on to its hit.
TEST_F(TraceLegTest, FacesCrossedHideReceiversByTheirTransmissionLoss) {
    // faces; the share the receiver behind hears; the face hit, at x = path; the share of its energy the pyramid
    // keeps; the monopermeable face passed. The last, monopermeable and obstructing (10 dB), is passed by the central
    // ray, which hits the curtain at x = 10: it hides nothing, costs its loss beyond it, and the curtain takes half.
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
        Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
        Face* monopermeable = nullptr;
        ASSERT_EQ(room.traceLeg(p, monopermeable), 1);
        EXPECT_EQ(monopermeable, passed ? room.faceNumbered(passed) : nullptr);
        expectArrivals(1, behind == 0 ? std::vector<std::pair<double, double>>{} : std::vector{std::pair{std::sqrt(36.05), behind}});
        expectArrivals(2, {{std::sqrt(2.255), 1}});
        EXPECT_TRUE(p.order == 1 && p.lastFace == room.faceNumbered(hit) && p.historyCount == 1 && p.history[0].face == hit);
        EXPECT_TRUE(p.lastLeg == path && p.pathLength == path && p.pathLengthSquares == path * path);
        EXPECT_TRUE(nearlyEqual(p.history[0].point, p.hitPoint) && std::fabs(p.hitPoint.x - path) < 1e-12);
        for (int b = 0; b < bandCount; ++b) EXPECT_NEAR(p.energy[b], rising()[b] * keep, 1e-6 * rising()[b]) << b;
    }
}
