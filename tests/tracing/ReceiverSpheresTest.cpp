#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "model/Model.h"
#include "support/UiFixture.h"
#include "tracing/ReceiverSpheres.h"

class ReceiverSpheresTest : public UiFixture {
protected:
    using Visited = std::set<std::tuple<std::size_t, double, double>>;
    static Visited visited(const ReceiverSpheres& spheres, const Model& model, const Coord& a, const Coord& b) {
        Visited out;
        spheres.visitChords(model, a, b, [&](std::size_t i, double middle, double length) {
            EXPECT_TRUE(out.emplace(i, middle, length).second) << "sphere " << i << " visited twice";
        });
        return out;
    }
    Model model;
};

// 300 spheres (enough for the tree, an empty slot among them) against random legs: the tree visits exactly the
// spheres, chords and lengths that testing every sphere finds.
TEST_F(ReceiverSpheresTest, TheTreeVisitsTheChordsEverySphereGives) {
    std::mt19937 random(17);
    std::uniform_real_distribution<double> inRoom(-2, 22);
    std::vector<Coord> points;
    for (int i = 0; i < 300; ++i) points.emplace_back(inRoom(random), inRoom(random), inRoom(random) / 4);
    const double nowhere = std::numeric_limits<double>::quiet_NaN();
    points[57] = Coord(nowhere, nowhere, nowhere);
    ReceiverSpheres spheres;
    spheres.place(model, points);
    std::size_t found = 0;
    for (int leg = 0; leg < 2000; ++leg) {
        const Coord a(inRoom(random), inRoom(random), inRoom(random) / 4), b(inRoom(random), inRoom(random), 2.0);
        Visited every;
        const ReceiverSpheres::Segment segment(a, b);
        for (std::size_t i = 0; i < points.size(); ++i) {
            double enter = 0, leave = 0;
            if (spheres.chord(i, segment, enter, leave)) every.emplace(i, 0.5 * (enter + leave), leave - enter);
        }
        ASSERT_EQ(visited(spheres, model, a, b), every) << "leg " << leg;
        found += every.size();
    }
    EXPECT_GT(found, 2000u);  // the legs meet spheres: the comparison is not of empty sets
}

// A sphere whose centre is h above an obstructing floor, within the floor's outline or beyond its edge: its volume
// is the sphere less the cap below the floor (within 0.5 %: 256 directions), and of a leg it keeps the part above.
TEST_F(ReceiverSpheresTest, AFaceCutsTheVolumeAndTheChordsBehindIt) {
    std::istringstream in("EntityList\n Face 1 1 4 0 0 0 10 0 0 10 10 0 0 10 0\nEnd\n");
    model.load(in);
    const double whole = 4 * std::numbers::pi / 3;
    const auto cap = [](double h) { return std::numbers::pi * (1 - h) * (1 - h) * (2 + h) / 3; };
    ReceiverSpheres spheres;
    spheres.place(model, {Coord(5, 5, 0.3), Coord(5, 5, 0.7), Coord(5, 5, 1.5), Coord(-2, 5, 0.3)});
    EXPECT_NEAR(spheres.volumes[0] / (whole - cap(0.3)), 1, 0.005);
    EXPECT_NEAR(spheres.volumes[1] / (whole - cap(0.7)), 1, 0.005);
    EXPECT_EQ(spheres.volumes[2], whole);
    EXPECT_EQ(spheres.volumes[3], whole);  // the floor ends 2 m away
    EXPECT_TRUE(spheres.cuts[2].empty() && spheres.cuts[3].empty());
    // Legs along x through the first sphere: above the floor it is whole; below, nothing; a leg through the
    // floor keeps its part above, counted in four pieces: the chord from z -0.7 to 1.3 keeps the three whose
    // middles are above (1.5 m for the true 1.3 m; right on average over where floors cross chords).
    struct Case {
        double fromZ, toZ, seen;
    };
    for (const Case& c : {Case{0.1, 0.1, 2 * std::sqrt(1 - 0.2 * 0.2)}, Case{-0.2, -0.2, 0}, Case{-0.9, 1.5, 1.5}}) {
        const Coord a(5, 5, c.fromZ), b(5, 5, c.toZ);
        const Coord from = c.fromZ == c.toZ ? Coord(0, 5, c.fromZ) : a, to = c.fromZ == c.toZ ? Coord(10, 5, c.toZ) : b;
        double length = 0;
        spheres.visitChords(model, from, to, [&](std::size_t i, double, double l) {
            if (i == 0) length = l;
        });
        EXPECT_NEAR(length, c.seen, 1e-9) << c.fromZ << " to " << c.toZ;
    }
}
