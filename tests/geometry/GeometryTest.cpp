#include "geometry/Geometry.h"

#include <gtest/gtest.h>

#include <numbers>

namespace {
constexpr double PI = std::numbers::pi;

// Within tol on every component (tol 0: exactly), printing both vectors on failure.
::testing::AssertionResult near(const Vector& a, const Vector& e, double tol = 1e-12) {
    if (std::abs(a.x - e.x) <= tol && std::abs(a.y - e.y) <= tol && std::abs(a.z - e.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << a.x << ", " << a.y << ", " << a.z << "), expected (" << e.x
                                         << ", " << e.y << ", " << e.z << ") within " << tol;
}
}  // namespace

// Points and displacements stay apart; normalisation and a line's second argument must be spelt out.
static_assert(std::is_same_v<decltype(Coord{} - Coord{}), Vector>);
static_assert(std::is_same_v<decltype(Coord{} + Vector{}), Coord>);
static_assert(!std::is_convertible_v<Vector, Versor>);
static_assert(!std::is_constructible_v<Line, Coord, Vector>);

TEST(GeometryTest, VersorsAndArithmetic) {
    EXPECT_TRUE(near(Versor(0, 3, 4), {0, 0.6, 0.8}));
    EXPECT_TRUE(near(Versor(Vector(4, 0, -3)), {0.8, 0, -0.6}));
    EXPECT_TRUE(near(Versor(0, 0, 0), {0, 0, 0}, 0));  // zero stays zero, no NaN
    EXPECT_TRUE(near(Versor::unnormalised(Vector(0, 3, 4)), {0, 3, 4}, 0));
    EXPECT_TRUE(near(Line(Coord(1, 2, 3), Coord(1, 5, 7)).direction(), {0, 0.6, 0.8}));
    EXPECT_EQ(dot(Vector(1, 2, 3), Vector(4, -5, 6)), 12);
    // Every component of a generic pair is distinct, so a swapped or sign-flipped term shows up.
    EXPECT_TRUE(near(cross(Vector(2, -1, 5), Vector(3, 4, -2)), {-18, 19, 11}, 0));
    EXPECT_EQ(distance(Coord(1, 2, 3), Coord(4, 6, -9)), 13);
    // nearlyEqual: strictly less than EPSILON on every component.
    for (const Vector& v : {Vector(1e-6, 0, 0), Vector(0, -1e-6, 0), Vector(0, 0, 1e-6)}) {
        EXPECT_FALSE(nearlyEqual(v, ORIGIN)) << v.x << ' ' << v.y << ' ' << v.z;
        EXPECT_TRUE(nearlyEqual(v * 0.9, ORIGIN)) << v.x << ' ' << v.y << ' ' << v.z;
    }
}

TEST(GeometryTest, PlaneThroughThreePoints) {
    // Right-hand rule; non-unit edges still give a unit normal; the offset puts the plane at z = 2.
    const Plane high = Plane::through(Coord(0, 0, 2), Coord(2, 0, 2), Coord(0, 3, 2));
    EXPECT_TRUE(near(high.normal(), {0, 0, 1}));
    EXPECT_NEAR(high.d, -2, 1e-12);
    EXPECT_NEAR(high.signedDistance(Coord(7, -4, 5)), 3, 1e-12);
    EXPECT_NEAR(high.signedDistance(Coord(7, -4, 0)), -2, 1e-12);
    EXPECT_TRUE(near(Plane::through(ORIGIN, Coord(0, 1, 0), Coord(1, 0, 0)).normal(), {0, 0, -1}));
    const double k = 1 / std::sqrt(3.0);
    const Plane slanted = Plane::through(Coord(1, 0, 0), Coord(0, 1, 0), Coord(0, 0, 1));
    EXPECT_TRUE(near(slanted.normal(), {k, k, k}));
    EXPECT_NEAR(slanted.d, -k, 1e-12);
    EXPECT_TRUE(near(Plane::through(ORIGIN, Coord(1, 1, 1), Coord(2, 2, 2)).normal(), {0, 0, 0}, 0));
}

TEST(GeometryTest, RotateAboutTheAxesOnly) {
    // A generic point shows which components move and with what sign.
    const Coord p(1, 2, 3);
    const struct {
        Vector axis;
        double angle;
        Vector expected;
    } rows[] = {
        {Z_AXIS, PI / 2, {-2, 1, 3}}, {Y_AXIS, PI / 2, {3, 2, -1}}, {X_AXIS, PI / 2, {1, -3, 2}},
        {Z_AXIS, PI, {-1, -2, 3}},    {Vector(0, 0, 1 + 0.5e-6), PI / 2, {-2, 1, 3}},  // within EPSILON of an axis
        // Any other axis leaves the point alone, opposite and scaled axes included.
        {Vector(1, 1, 0), PI / 2, p}, {Vector(0, 0, -1), PI / 2, p}, {Vector(0, 2, 0), PI / 2, p},
        {Vector(1, 0, 1e-6), PI / 2, p}, {Vector(0, 0, 0), PI / 2, p},
    };
    for (const auto& row : rows)
        EXPECT_TRUE(near(rotate(p, row.axis, row.angle), row.expected))
            << "axis " << row.axis.x << ' ' << row.axis.y << ' ' << row.axis.z;
}

TEST(GeometryTest, LineMeetsPlane) {
    const struct {
        Line line;
        Plane plane;
        Vector expected;
    } rows[] = {
        {Line(Coord(0, 0, 5), Versor(0, 0, -1)), Plane(), {0, 0, 0}},
        {Line(Coord(0, 0, 5), Versor(0, 0, -1)), Plane(Z_AXIS, -2), {0, 0, 2}},  // z = 2 with either normal
        {Line(Coord(0, 0, 5), Versor(0, 0, -1)), Plane(Versor(0, 0, -1), 2), {0, 0, 2}},
        {Line(Coord(0, 0, 4), Versor(1, 0, -1)), Plane(), {4, 0, 0}},
        {Line(Coord(1, 2, 5), Versor(0, 0, 1)), Plane(), {1, 2, 0}},  // the whole line: behind the origin too
    };
    for (const auto& row : rows) {
        Coord point;
        ASSERT_TRUE(intersect(row.line, row.plane, point));
        EXPECT_TRUE(near(point, row.expected));
    }
    // Parallel (|n·d| < EPSILON): no point, and the point is left untouched.
    Coord point(7, 8, 9);
    EXPECT_FALSE(intersect(Line(Coord(0, 0, 5), X_AXIS), Plane(), point));
    EXPECT_FALSE(intersect(Line(Coord(0, 0, 1), Versor::unnormalised(Vector(1, 0, 0.9e-6))), Plane(), point));
    EXPECT_TRUE(near(point, {7, 8, 9}, 0));
    ASSERT_TRUE(intersect(Line(Coord(0, 0, 1), Versor::unnormalised(Vector(1, 0, 1e-6))), Plane(), point));
    EXPECT_NEAR(point.x, -1e6, 1e-3);
}

TEST(GeometryTest, ProjectIsTheFootOfThePerpendicular) {
    EXPECT_TRUE(near(project(Coord(3, 4, 5), Line(Coord(0, 1, 2), Z_AXIS)), {0, 1, 5}));
    EXPECT_TRUE(near(project(Coord(2, 0, 3), Line(ORIGIN, Coord(1, 1, 0))), {1, 1, 0}));
    // The result must not depend on the length of an unnormalised direction.
    EXPECT_TRUE(near(project(Coord(5, 7, 0), Line(Coord(1, 1, 0), Versor::unnormalised(Vector(2, 0, 0)))), {5, 1, 0}));
    // A (nearly) zero direction has no foot: the line's origin.
    EXPECT_TRUE(near(project(Coord(9, 9, 9), Line(Coord(1, 2, 3), Coord(1, 2, 3))), {1, 2, 3}, 0));
    EXPECT_TRUE(near(project(Coord(9, 9, 9), Line(Coord(1, 2, 3), Versor::unnormalised(Vector(1e-4, 0, 0)))),
                     {1, 2, 3}, 0));
}
