#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <set>
#include <sstream>

#include "support/TracingFixture.h"

// The hit search steers a whole pyramid by its central ray: which faces the
// ray meets first, and how many of them at the same distance.
class FindHitTest : public TracingFixture {
protected:
    /// The search for a central ray from origin along direction (no limit on the distance).
    int search(const Coord& origin, const Vector& direction) { return search(model, origin, direction); }
    int search(const Model& in, const Coord& origin, const Vector& direction) {
        p.ray = Line(origin, Versor(direction));
        distance = 1e12;
        std::fill(std::begin(faces), std::end(faces), nullptr);
        return in.findHit(p, hitPoint, distance, faces, monopermeable);
    }

    /// A second model, loaded beside the fixture's own.
    static void loadInto(Model& into, const std::string& body) {
        std::istringstream in("EntityList\n" + body + "End\n");
        into.load(in);
    }

    /// The entry of a model whose face carries a number.
    static Face* numberedIn(const Model& in, std::uint32_t number) {
        for (std::uint32_t i = 0; i < in.count(); ++i)
            if (in.faceAt(i)->number == number) return const_cast<Face*>(in.faceAt(i));
        return nullptr;
    }

    /// The numbers of the faces held, in their order.
    std::vector<std::uint32_t> held(int n) const {
        std::vector<std::uint32_t> numbers;
        for (int i = 0; i < n; ++i) numbers.push_back(faces[i]->number);
        return numbers;
    }

    Pyramid p = aimed(Coord(0, 0, 0), Vector(1, 0, 0));
    Coord hitPoint;
    double distance = 1e12;
    Face* faces[4] = {};
    Face* monopermeable = nullptr;
};

namespace {
/// A square face in the plane x = a, from -half to +half in y and z, with flags and material.
std::string squareAtX(const std::string& a, double half, int flags = 0, int material = 1) {
    std::ostringstream out;
    out << std::setprecision(17) << " Face " << flags << ' ' << material << " 4 " << a << ' ' << -half << ' ' << -half
        << ' ' << a << ' ' << half << ' ' << -half << ' ' << a << ' ' << half << ' ' << half << ' ' << a << ' ' << -half
        << ' ' << half << '\n';
    return out.str();
}

/// A 2 x 2.24 face that crosses the x axis at x = a, tilted so that its plane x + z / 2 = a is not
/// parallel to the squares above.
std::string tiltedAtX(double a) {
    std::ostringstream out;
    out << std::setprecision(17) << " Face 0 1 4 " << a + 0.5 << " -1 -1 " << a + 0.5 << " 1 -1 " << a - 0.5
        << " 1 1 " << a - 0.5 << " -1 1\n";
    return out.str();
}
}  // namespace

TEST_F(FindHitTest, APlainHitGivesTheFaceAndItsDistance) {
    load(" Face 0 1 4 -10 4 -10 10 4 -10 10 4 10 -10 4 10\n");  // the plane y = 4
    // From (1, 0, 0) along (3, 4, 0) / 5: y reaches 4 after 4 / 0.8 = 5 m, at x = 1 + 5 · 0.6 = 4.
    ASSERT_EQ(search(Coord(1, 0, 0), Vector(3, 4, 0)), 1);
    EXPECT_EQ(faces[0], numbered(1));
    EXPECT_NEAR(distance, 5, 1e-12);
    EXPECT_NEAR(hitPoint.x, 4, 1e-12);
    EXPECT_NEAR(hitPoint.y, 4, 1e-12);
    EXPECT_NEAR(hitPoint.z, 0, 1e-12);
    EXPECT_EQ(monopermeable, nullptr);
    EXPECT_FALSE(p.monopermeablePassed);

    // The incoming distance is the farthest one considered: at 4.5 m the face is out of reach.
    distance = 4.5;
    EXPECT_EQ(model.findHit(p, hitPoint, distance, faces, monopermeable), 0);
    EXPECT_EQ(distance, 4.5);

    // Away from the face there is nothing to hit.
    EXPECT_EQ(search(Coord(1, 0, 0), Vector(3, -4, 0)), 0);
}

TEST_F(FindHitTest, TheFaceALegStartsOnIsNotHitAgain) {
    load(squareAtX("0", 5) + squareAtX("10", 5, 0, 3));
    // After a reflection the next leg starts on the face just hit: it must find the one opposite, 10 m away.
    ASSERT_EQ(search(Coord(0, 1, 1), Vector(1, 0, 0)), 1);
    EXPECT_EQ(faces[0], numbered(2));
    EXPECT_DOUBLE_EQ(distance, 10);
    // Nor is a face behind the start.
    ASSERT_EQ(search(Coord(4, 1, 1), Vector(1, 0, 0)), 1);
    EXPECT_EQ(faces[0], numbered(2));
    EXPECT_DOUBLE_EQ(distance, 6);
}

TEST_F(FindHitTest, TheNearestFaceWinsWhateverTheModelOrder) {
    // Larger faces come first in the model: once the far face, once the near one.
    for (const bool farFirst : {true, false}) {
        SCOPED_TRACE(farFirst ? "far face first" : "near face first");
        Model room;
        loadInto(room, squareAtX("5", farFirst ? 2 : 4) + squareAtX("8", farFirst ? 4 : 2));
        ASSERT_EQ(room.faceAt(0)->number, farFirst ? 2u : 1u);
        ASSERT_EQ(search(room, Coord(0, 0, 0), Vector(1, 0, 0)), 1);
        EXPECT_EQ(faces[0], numberedIn(room, 1));
        EXPECT_DOUBLE_EQ(distance, 5);
        EXPECT_DOUBLE_EQ(hitPoint.x, 5);
    }
}

TEST_F(FindHitTest, AnEdgeBetweenTwoWallsCountsTwoFacesAndACornerThree) {
    const std::string floor = " Face 0 1 4 0 -5 0 10 -5 0 10 5 0 0 5 0\n";      // z = 0
    const std::string wall = " Face 0 3 4 10 -5 0 10 5 0 10 5 10 10 -5 10\n";   // x = 10
    const std::string side = " Face 0 3 4 0 5 0 10 5 0 10 5 10 0 5 10\n";       // y = 5
    load(floor + wall + side);

    // From (5, 0, 5) along (1, 0, -1): the floor and the wall meet it at (10, 0, 0), both 5·√2 away.
    ASSERT_EQ(search(Coord(5, 0, 5), Vector(1, 0, -1)), 2);
    EXPECT_EQ((std::set<std::uint32_t>{faces[0]->number, faces[1]->number}), (std::set<std::uint32_t>{1, 2}));
    EXPECT_NEAR(distance, 5 * std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(hitPoint.x, 10, 1e-12);
    EXPECT_NEAR(hitPoint.z, 0, 1e-12);

    // Along (1, 1, -1) the corner (10, 5, 0) is 5·√3 away on all three planes.
    ASSERT_EQ(search(Coord(5, 0, 5), Vector(1, 1, -1)), 3);
    const auto numbers = held(3);
    EXPECT_EQ(std::set<std::uint32_t>(numbers.begin(), numbers.end()), (std::set<std::uint32_t>{1, 2, 3}));
    EXPECT_NEAR(distance, 5 * std::sqrt(3.0), 1e-12);
}

// A large square met first in the model and a smaller face a few micrometres
// from it, the ray from the origin along +x. On the squares the distances are
// exact: the planes are x = a with a unit normal, so t = a. 4e-6 and 2e-6 are
// both rounded from the same mantissa, so their difference is exactly the
// double 2e-6 and the tie rule is met at its very limit.
namespace {
struct TieCase {
    const char* name;
    const char* first;    // the larger square, met first in the model
    std::string second;   // the smaller face
    int count;
    std::uint32_t faceHeldFirst;  // 1 = the first face, 2 = the second
};
}  // namespace

class FindHitTieTest : public FindHitTest, public ::testing::WithParamInterface<TieCase> {};

TEST_P(FindHitTieTest, FacesWithinTwoMicrometresShareTheHit) {
    const TieCase& c = GetParam();
    load(squareAtX(c.first, 2) + c.second);
    ASSERT_EQ(model.faceAt(0)->number, 1u);
    ASSERT_EQ(search(Coord(0, 0, 0), Vector(1, 0, 0)), c.count);
    // The nearer distance is the hit in every case.
    EXPECT_EQ(distance, 2e-6);
    EXPECT_EQ(faces[0]->number, c.faceHeldFirst);
    if (c.count == 2) {
        EXPECT_NE(faces[1], faces[0]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ties, FindHitTieTest,
    ::testing::Values(
        // 4e-6 first, then 2e-6: |2e-6 - 4e-6| = 2e-6 is not more than 2e-6, so the
        // second joins the first (the planes are 2e-6 apart, not coplanar); the hit
        // moves to the nearer distance and the first face keeps the first place.
        TieCase{"ExactlyTwoMicrometres", "4e-6", squareAtX("2e-6", 1), 2, 1},
        // 5e-6 then 2e-6: 3e-6 apart, the nearer face alone is the hit.
        TieCase{"ThreeMicrometres", "5e-6", squareAtX("2e-6", 1), 1, 2},
        // A farther face found after the hit is searched only up to 1e-6 beyond it:
        // 0.5e-6 beyond joins, 1.5e-6 beyond is never met. (Tilted, so that the
        // two are not taken for one plane.)
        TieCase{"HalfAMicrometreBeyond", "2e-6", tiltedAtX(2.5e-6), 2, 1},
        TieCase{"OneAndAHalfMicrometresBeyond", "2e-6", tiltedAtX(3.5e-6), 1, 1},
        // Parallel planes within 1e-6 of each other are one plane: they count once,
        // and the smaller face stands for both.
        TieCase{"ParallelWithinOneMicrometre", "2e-6", squareAtX("2.5e-6", 1), 1, 2}),
    [](const ::testing::TestParamInfo<TieCase>& info) { return std::string(info.param.name); });

TEST_F(FindHitTest, AtMostFourFacesAreHeld) {
    // Five faces whose planes all contain the line x = 10, z = 0 (turned about it by 0, ±20 and
    // ±40 degrees): the ray along +x meets all five at (10, 0, 0). Their areas 2·s·10 fall with the
    // file order, so the model keeps that order and the first four are the ones held.
    const double angles[] = {0, 20, -20, 40, -40};
    const double halves[] = {5, 4.5, 4, 3.5, 3};
    std::ostringstream body;
    body << std::setprecision(17);
    for (int i = 0; i < 5; ++i) {
        const double phi = angles[i] * std::numbers::pi / 180, s = halves[i];
        const auto vertex = [&](double sigma, double y) {
            body << ' ' << 10 - sigma * s * std::sin(phi) << ' ' << y << ' ' << sigma * s * std::cos(phi);
        };
        body << " Face 0 1 4";
        vertex(-1, -5);
        vertex(1, -5);
        vertex(1, 5);
        vertex(-1, 5);
        body << '\n';
    }
    load(body.str());
    ASSERT_EQ(model.count(), 5u);
    ASSERT_EQ(search(Coord(0, 0, 0), Vector(1, 0, 0)), 4);
    const auto numbers = held(4);
    EXPECT_EQ(std::set<std::uint32_t>(numbers.begin(), numbers.end()), (std::set<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_NEAR(distance, 10, 1e-9);
}

TEST_F(FindHitTest, CoplanarFacesMetTogetherCountOnceAndTheSmallerStandsForBoth) {
    // Two pieces of the plane x = 5 that share the edge y = 0; the ray along +x at z = 1 meets that edge.
    const std::string large = " Face 0 1 4 5 -5 -2 5 0 -2 5 0 3 5 -5 3\n";   // 5 x 5 = 25 m²
    const std::string small = " Face 0 3 4 5 0 -2 5 3 -2 5 3 3 5 0 3\n";     // 3 x 5 = 15 m²
    const std::string smallObstructing = " Face 1 3 4 5 0 -2 5 3 -2 5 3 3 5 0 3\n";
    const std::string equal = " Face 0 3 4 5 0 -2 5 5 -2 5 5 3 5 0 3\n";     // 25 m² as well

    // The larger first: the smaller, found second, takes the first place.
    load(large + small);
    ASSERT_EQ(model.faceAt(0)->number, 1u);
    ASSERT_EQ(search(Coord(0, 0, 1), Vector(1, 0, 0)), 1);
    EXPECT_EQ(faces[0]->number, 2u);
    EXPECT_DOUBLE_EQ(distance, 5);

    // An obstructing face comes first in the model although it is the smaller: it keeps its place.
    Model obstructingFirst;
    loadInto(obstructingFirst, large + smallObstructing);
    ASSERT_EQ(obstructingFirst.faceAt(0)->number, 2u);
    ASSERT_EQ(search(obstructingFirst, Coord(0, 0, 1), Vector(1, 0, 0)), 1);
    EXPECT_EQ(faces[0]->number, 2u);

    // Of two equal areas the one met first stays: only a strictly smaller one takes over.
    Model equalAreas;
    loadInto(equalAreas, large + equal);
    ASSERT_EQ(search(equalAreas, Coord(0, 0, 1), Vector(1, 0, 0)), 1);
    EXPECT_EQ(faces[0], equalAreas.faceAt(0));
}

TEST_F(FindHitTest, AMonopermeableFacePassedBeforeTheHitIsReported) {
    // Monopermeable faces at x = 2 and x = 3, a plain wall at x = 8. By area the model holds the wall,
    // then x = 3, then x = 2, so the nearer monopermeable face is found last.
    load(squareAtX("8", 5) + squareAtX("3", 3, FaceFlag::monopermeable) + squareAtX("2", 2, FaceFlag::monopermeable));
    ASSERT_EQ(model.faceAt(1)->number, 2u);
    ASSERT_EQ(search(Coord(0, 0, 0), Vector(1, 0, 0)), 1);
    EXPECT_EQ(faces[0]->number, 1u);
    EXPECT_DOUBLE_EQ(distance, 8);
    ASSERT_NE(monopermeable, nullptr);
    EXPECT_EQ(monopermeable->number, 3u) << "the first one passed";
    EXPECT_TRUE(p.monopermeablePassed);

    // Once a monopermeable face was passed, such faces reflect like any other: the nearest is hit.
    ASSERT_EQ(search(Coord(0, 0, 0), Vector(1, 0, 0)), 1);
    EXPECT_EQ(faces[0]->number, 3u);
    EXPECT_DOUBLE_EQ(distance, 2);
    EXPECT_EQ(monopermeable, nullptr);
}

TEST_F(FindHitTest, AMonopermeableFaceBehindTheHitIsNotReported) {
    // The monopermeable face at x = 9 is the larger, so it is met before the wall at x = 8.
    load(squareAtX("9", 5, FaceFlag::monopermeable) + squareAtX("8", 3));
    ASSERT_EQ(model.faceAt(0)->number, 1u);
    ASSERT_EQ(search(Coord(0, 0, 0), Vector(1, 0, 0)), 1);
    EXPECT_EQ(faces[0]->number, 2u);
    EXPECT_DOUBLE_EQ(distance, 8);
    EXPECT_EQ(monopermeable, nullptr);
    EXPECT_FALSE(p.monopermeablePassed);
}
