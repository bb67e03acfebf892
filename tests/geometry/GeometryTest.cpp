#include "geometry/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <type_traits>

namespace {

constexpr double TOL = 1e-12;
constexpr double PI = std::numbers::pi;

// Component-wise comparison that prints both vectors on failure.
::testing::AssertionResult near(const Vector& actual, const Vector& expected, double tol = TOL) {
    if (std::abs(actual.x - expected.x) <= tol && std::abs(actual.y - expected.y) <= tol &&
        std::abs(actual.z - expected.z) <= tol) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "got (" << actual.x << ", " << actual.y << ", " << actual.z
                                         << "), expected (" << expected.x << ", " << expected.y << ", "
                                         << expected.z << ") within " << tol;
}

// Exact comparison, for cases where no arithmetic may touch the components.
::testing::AssertionResult same(const Vector& actual, const Vector& expected) {
    if (actual.x == expected.x && actual.y == expected.y && actual.z == expected.z) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "got (" << actual.x << ", " << actual.y << ", " << actual.z
                                         << "), expected exactly (" << expected.x << ", " << expected.y
                                         << ", " << expected.z << ")";
}

}  // namespace

// Point/vector arithmetic keeps points and displacements apart.
static_assert(std::is_same_v<decltype(Coord{} - Coord{}), Vector>);
static_assert(std::is_same_v<decltype(Coord{} + Vector{}), Coord>);
static_assert(std::is_same_v<decltype(Vector{} + Coord{}), Coord>);
static_assert(std::is_same_v<decltype(Coord{} - Vector{}), Coord>);
static_assert(std::is_same_v<decltype(Coord{} + Versor{}), Coord>);
static_assert(std::is_same_v<decltype(Vector{} - Coord{}), Vector>);
// Normalisation must be spelt out, and a Line cannot guess what a bare Vector means.
static_assert(!std::is_convertible_v<Vector, Versor>);
static_assert(!std::is_constructible_v<Line, Coord, Vector>);
static_assert(std::is_constructible_v<Line, Coord, Coord>);
static_assert(std::is_constructible_v<Line, Coord, Versor>);

TEST(Versor, NormalisesNonUnitComponents) {
    EXPECT_TRUE(near(Versor(0, 3, 4), {0, 0.6, 0.8}));
    EXPECT_TRUE(near(Versor(Vector(0, -3, 4)), {0, -0.6, 0.8}));
    EXPECT_TRUE(near(Versor(Coord(4, 0, -3)), {0.8, 0, -0.6}));
    EXPECT_TRUE(same(Versor(1, 0, 0), {1, 0, 0}));
}

TEST(Versor, ZeroStaysZeroWithoutNaN) {
    const Versor v(0, 0, 0);
    EXPECT_TRUE(same(v, {0, 0, 0}));
    EXPECT_TRUE(same(Versor(Vector(0, 0, 0)), {0, 0, 0}));
}

TEST(Versor, UnnormalisedAndCopiesKeepComponents) {
    const Versor raw = Versor::unnormalised(Vector(0, 3, 4));
    EXPECT_TRUE(same(raw, {0, 3, 4}));
    const Versor copy = raw;
    EXPECT_TRUE(same(copy, {0, 3, 4}));
    const Line line(Coord(1, 1, 1), raw);
    EXPECT_TRUE(same(line.direction(), {0, 3, 4}));
    const Plane plane(raw, -2);
    EXPECT_TRUE(same(plane.normal(), {0, 3, 4}));
    EXPECT_EQ(plane.d, -2);
}

TEST(Modulus, VectorsComputeItDirectionsReportOne) {
    const Vector v(0, 3, 4);
    EXPECT_EQ(v.squaredModulus(), 25);
    EXPECT_EQ(v.modulus(), 5);
    const Coord p(-2, 3, 6);
    EXPECT_EQ(p.squaredModulus(), 49);
    EXPECT_EQ(p.modulus(), 7);

    const Versor raw = Versor::unnormalised(v);
    EXPECT_EQ(raw.squaredModulus(), 1.0);
    EXPECT_EQ(raw.modulus(), 1.0);
    const Line line(ORIGIN, raw);
    EXPECT_EQ(line.squaredModulus(), 1.0);
    EXPECT_EQ(line.modulus(), 1.0);
    const Plane plane(Versor::unnormalised(Vector(0, 0, 0)), 3);
    EXPECT_EQ(plane.squaredModulus(), 1.0);
    EXPECT_EQ(plane.modulus(), 1.0);
}

TEST(Arithmetic, DotCrossAndDistance) {
    EXPECT_EQ(dot(Vector(1, 2, 3), Vector(4, -5, 6)), 12);
    // Every component of a generic pair is distinct, so a swapped or sign-flipped term shows up.
    EXPECT_TRUE(same(cross(Vector(1, 2, 3), Vector(4, 5, 6)), {-3, 6, -3}));
    EXPECT_TRUE(same(cross(Vector(2, -1, 5), Vector(3, 4, -2)), {-18, 19, 11}));
    EXPECT_TRUE(same(cross(X_AXIS, Y_AXIS), Z_AXIS));
    EXPECT_TRUE(same(cross(Y_AXIS, Z_AXIS), X_AXIS));
    EXPECT_TRUE(same(cross(Z_AXIS, X_AXIS), Y_AXIS));
    EXPECT_TRUE(same(cross(Y_AXIS, X_AXIS), {0, 0, -1}));
    EXPECT_EQ(distance(Coord(1, 2, 3), Coord(4, 6, 3)), 5);
    EXPECT_EQ(distance(Coord(1, 2, 3), Coord(1, 5, 7)), 5);
    EXPECT_EQ(distance(Coord(1, 2, 3), Coord(1, 2, -9)), 12);
}

TEST(NearlyEqual, StrictPerComponentTolerance) {
    const Vector zero(0, 0, 0);
    const Vector inside[] = {{0.9e-6, 0, 0}, {0, 0.9e-6, 0}, {0, 0, 0.9e-6}, {-0.9e-6, 0.9e-6, -0.9e-6}};
    for (const Vector& v : inside) {
        EXPECT_TRUE(nearlyEqual(zero, v)) << v.x << ' ' << v.y << ' ' << v.z;
        EXPECT_TRUE(nearlyEqual(v, zero)) << v.x << ' ' << v.y << ' ' << v.z;
    }
    // Exactly EPSILON apart is not near, on any component and in either direction.
    const Vector boundary[] = {{1e-6, 0, 0}, {0, 1e-6, 0}, {0, 0, 1e-6}, {-1e-6, 0, 0}, {0, -1e-6, 0}, {0, 0, -1e-6}};
    for (const Vector& v : boundary) {
        EXPECT_FALSE(nearlyEqual(zero, v)) << v.x << ' ' << v.y << ' ' << v.z;
        EXPECT_FALSE(nearlyEqual(v, zero)) << v.x << ' ' << v.y << ' ' << v.z;
    }
    EXPECT_TRUE(nearlyEqual(Vector(10, -20, 30), Vector(10 + 0.5e-6, -20 - 0.5e-6, 30)));
}

TEST(Line, FromTwoPoints) {
    const Line line(Coord(1, 2, 3), Coord(1, 5, 7));
    EXPECT_TRUE(same(line.origin, {1, 2, 3}));
    EXPECT_TRUE(near(line.direction(), {0, 0.6, 0.8}));
    const Line degenerate(Coord(1, 2, 3), Coord(1, 2, 3));
    EXPECT_TRUE(same(degenerate.direction(), {0, 0, 0}));
    EXPECT_TRUE(same(degenerate.origin, {1, 2, 3}));
}

TEST(Plane, ThroughThreePointsFollowsRightHandRule) {
    const Plane up = Plane::through(Coord(0, 0, 0), Coord(1, 0, 0), Coord(0, 1, 0));
    EXPECT_TRUE(near(up.normal(), {0, 0, 1}));
    EXPECT_EQ(up.d, 0);
    const Plane down = Plane::through(Coord(0, 0, 0), Coord(0, 1, 0), Coord(1, 0, 0));
    EXPECT_TRUE(near(down.normal(), {0, 0, -1}));

    // Non-unit edges still give a unit normal; the offset puts the plane at z = 2.
    const Plane high = Plane::through(Coord(0, 0, 2), Coord(2, 0, 2), Coord(0, 3, 2));
    EXPECT_TRUE(near(high.normal(), {0, 0, 1}));
    EXPECT_NEAR(high.d, -2, TOL);
    EXPECT_NEAR(high.signedDistance(Coord(7, -4, 5)), 3, TOL);
    EXPECT_NEAR(high.signedDistance(Coord(7, -4, 0)), -2, TOL);

    const Plane slanted = Plane::through(Coord(1, 0, 0), Coord(0, 1, 0), Coord(0, 0, 1));
    const double k = 1 / std::sqrt(3.0);
    EXPECT_TRUE(near(slanted.normal(), {k, k, k}));
    EXPECT_NEAR(slanted.d, -k, TOL);

    const Plane collinear = Plane::through(Coord(0, 0, 0), Coord(1, 1, 1), Coord(2, 2, 2));
    EXPECT_TRUE(same(collinear.normal(), {0, 0, 0}));
}

TEST(Rotate, QuarterTurnsAboutEachAxis) {
    EXPECT_TRUE(near(rotate(Coord(1, 0, 0), Z_AXIS, PI / 2), {0, 1, 0}));
    EXPECT_TRUE(near(rotate(Coord(0, 0, 1), Y_AXIS, PI / 2), {1, 0, 0}));
    EXPECT_TRUE(near(rotate(Coord(0, 1, 0), X_AXIS, PI / 2), {0, 0, 1}));
    // A generic point shows which components move and with what sign.
    const Coord p(1, 2, 3);
    EXPECT_TRUE(near(rotate(p, Z_AXIS, PI / 2), {-2, 1, 3}));
    EXPECT_TRUE(near(rotate(p, Y_AXIS, PI / 2), {3, 2, -1}));
    EXPECT_TRUE(near(rotate(p, X_AXIS, PI / 2), {1, -3, 2}));
    EXPECT_TRUE(near(rotate(p, Z_AXIS, PI), {-1, -2, 3}));
}

TEST(Rotate, AxisMatchingIsWithinEpsilonOnly) {
    const Coord p(1, 2, 3);
    EXPECT_TRUE(near(rotate(p, Vector(0, 0, 1 + 0.5e-6), PI / 2), {-2, 1, 3}));
    // Anything that is not one of the three axes leaves the point alone, including opposite and scaled axes.
    const Vector others[] = {{1, 1, 0}, {0, 0, -1}, {0, 0, 2}, {0, 2, 0}, {1, 0, 1e-6}, {0, 0, 0}};
    for (const Vector& axis : others) {
        EXPECT_TRUE(same(rotate(p, axis, PI / 2), p)) << axis.x << ' ' << axis.y << ' ' << axis.z;
    }
}

TEST(Intersect, LineMeetsPlane) {
    Coord point;
    const Line down(Coord(0, 0, 5), Versor(0, 0, -1));
    ASSERT_TRUE(intersect(down, Plane(), point));
    EXPECT_TRUE(near(point, {0, 0, 0}));

    // Plane z = 2 seen with either orientation of its normal.
    ASSERT_TRUE(intersect(down, Plane(Z_AXIS, -2), point));
    EXPECT_TRUE(near(point, {0, 0, 2}));
    ASSERT_TRUE(intersect(down, Plane(Versor(0, 0, -1), 2), point));
    EXPECT_TRUE(near(point, {0, 0, 2}));

    const Line oblique(Coord(0, 0, 4), Versor(1, 0, -1));
    ASSERT_TRUE(intersect(oblique, Plane(), point));
    EXPECT_TRUE(near(point, {4, 0, 0}));

    // The whole line counts: a plane behind the origin is hit at negative t.
    const Line up(Coord(1, 2, 5), Versor(0, 0, 1));
    ASSERT_TRUE(intersect(up, Plane(), point));
    EXPECT_TRUE(near(point, {1, 2, 0}));
}

TEST(Intersect, ParallelLineLeavesPointUntouched) {
    Coord point(7, 8, 9);
    EXPECT_FALSE(intersect(Line(Coord(0, 0, 5), X_AXIS), Plane(), point));
    EXPECT_TRUE(same(point, {7, 8, 9}));
    EXPECT_FALSE(intersect(Line(Coord(0, 0, 0), Y_AXIS), Plane(), point));
    EXPECT_TRUE(same(point, {7, 8, 9}));

    const Line almost(Coord(0, 0, 1), Versor::unnormalised(Vector(1, 0, 0.9e-6)));
    EXPECT_FALSE(intersect(almost, Plane(), point));
    EXPECT_TRUE(same(point, {7, 8, 9}));

    // A denominator of exactly EPSILON is no longer parallel.
    const Line grazing(Coord(0, 0, 1), Versor::unnormalised(Vector(1, 0, 1e-6)));
    ASSERT_TRUE(intersect(grazing, Plane(), point));
    EXPECT_NEAR(point.x, -1e6, 1e-3);
    EXPECT_NEAR(point.z, 0, 1e-9);
}

TEST(Project, FootOfPerpendicular) {
    EXPECT_TRUE(near(project(Coord(3, 4, 5), Line(ORIGIN, X_AXIS)), {3, 0, 0}));
    EXPECT_TRUE(near(project(Coord(3, 4, 5), Line(Coord(0, 1, 2), Z_AXIS)), {0, 1, 5}));
    // Unnormalised direction: the result must not depend on its length.
    const Line longDir(Coord(1, 1, 0), Versor::unnormalised(Vector(2, 0, 0)));
    EXPECT_TRUE(near(project(Coord(5, 7, 0), longDir), {5, 1, 0}));
    const Line diagonal(Coord(0, 0, 0), Coord(1, 1, 0));
    EXPECT_TRUE(near(project(Coord(2, 0, 3), diagonal), {1, 1, 0}));
}

TEST(Project, DegenerateDirectionGivesOrigin) {
    const Line degenerate(Coord(1, 2, 3), Coord(1, 2, 3));
    const Coord foot = project(Coord(9, 9, 9), degenerate);
    EXPECT_TRUE(same(foot, {1, 2, 3}));
    const Line tiny(Coord(1, 2, 3), Versor::unnormalised(Vector(1e-4, 0, 0)));
    EXPECT_TRUE(same(project(Coord(9, 9, 9), tiny), {1, 2, 3}));
}

TEST(GeometryProperties, SeededRandomInvariants) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> coord(-10.0, 10.0);
    std::uniform_real_distribution<double> angle(-2 * PI, 2 * PI);
    const auto randomVector = [&] { return Vector(coord(rng), coord(rng), coord(rng)); };
    const Versor axes[] = {X_AXIS, Y_AXIS, Z_AXIS};

    int hits = 0;
    constexpr int rounds = 2000;
    for (int i = 0; i < rounds; ++i) {
        const Coord p = randomVector();
        const double a = angle(rng);
        for (int k = 0; k < 3; ++k) {
            const Coord r = rotate(p, axes[k], a);
            EXPECT_TRUE(near(rotate(r, axes[k], -a), p, 1e-9));
            EXPECT_NEAR(r.modulus(), p.modulus(), 1e-9);
            EXPECT_NEAR(dot(r, axes[k]), dot(p, axes[k]), 1e-12);
        }

        const Vector u = randomVector();
        const Vector v = randomVector();
        const Vector w = cross(u, v);
        EXPECT_NEAR(dot(w, u), 0, 1e-9);
        EXPECT_NEAR(dot(w, v), 0, 1e-9);
        EXPECT_TRUE(near(cross(v, u), -w, 1e-12));

        const Versor n(u);
        EXPECT_NEAR(dot(n, n), 1, 1e-12);
        EXPECT_GT(dot(n, u), 0);

        const Coord c = randomVector();
        const Plane tri = Plane::through(p, p + u, p + v);
        EXPECT_NEAR(tri.signedDistance(p), 0, 1e-9);
        EXPECT_NEAR(tri.signedDistance(p + u), 0, 1e-9);
        EXPECT_NEAR(tri.signedDistance(p + v), 0, 1e-9);
        EXPECT_GT(dot(tri.normal(), w), 0);

        const Line line(c, Versor(v));
        const Plane plane(n, coord(rng));
        Coord hit;
        if (intersect(line, plane, hit)) {
            ++hits;
            const double t = dot(hit - c, line.direction());
            const double tol = 1e-9 * (1 + std::abs(t));
            EXPECT_NEAR(plane.signedDistance(hit), 0, tol);
            EXPECT_TRUE(near(cross(hit - c, line.direction()), {0, 0, 0}, tol));
        }

        const Coord foot = project(p, line);
        EXPECT_NEAR(dot(p - foot, line.direction()), 0, 1e-9);
        EXPECT_TRUE(near(cross(foot - c, line.direction()), {0, 0, 0}, 1e-9));
    }
    EXPECT_GT(hits, rounds * 9 / 10);
}
