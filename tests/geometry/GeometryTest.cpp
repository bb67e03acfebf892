#include "geometry/Geometry.h"

#include <gtest/gtest.h>

#include <numbers>

namespace {
// Within tol on every component (tol 0: exactly), printing both vectors on failure.
::testing::AssertionResult near(const Vector& a, const Vector& e, double tol = 1e-12) {
    if (std::abs(a.x - e.x) <= tol && std::abs(a.y - e.y) <= tol && std::abs(a.z - e.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") is not (" << e.x << ", "
                                         << e.y << ", " << e.z << ") within " << tol;
}
}  // namespace

// Points and displacements stay apart; normalisation and a line's second argument must be spelt out.
static_assert(std::is_same_v<decltype(Coord{} - Coord{}), Vector>);
static_assert(!std::is_convertible_v<Vector, Versor> && !std::is_constructible_v<Line, Coord, Vector>);

TEST(GeometryTest, VersorsArithmeticAndPlanes) {
    EXPECT_TRUE(near(Line(Coord(1, 2, 3), Coord(1, 5, 7)).direction(), {0, 0.6, 0.8}));
    EXPECT_TRUE(near(Versor(0, 0, 0), {0, 0, 0}, 0));  // zero stays zero, no NaN
    EXPECT_EQ(dot(Vector(1, 2, 3), Vector(4, -5, 6)), 12);
    // Every component of a generic pair is distinct, so a swapped or sign-flipped term shows up.
    EXPECT_TRUE(near(cross(Vector(2, -1, 5), Vector(3, 4, -2)), {-18, 19, 11}, 0));
    EXPECT_EQ(distance(Coord(1, 2, 3), Coord(4, 6, -9)), 13);
    // Right-hand rule and a unit normal from non-unit edges; the offset puts the plane at z = 2.
    const Plane high = Plane::through(Coord(0, 0, 2), Coord(2, 0, 2), Coord(0, 3, 2));
    EXPECT_TRUE(near(high.normal(), {0, 0, 1}));
    EXPECT_NEAR(high.signedDistance(Coord(7, -4, 5)), 3, 1e-12);
    EXPECT_NEAR(high.signedDistance(Coord(7, -4, 0)), -2, 1e-12);
    EXPECT_TRUE(near(Plane::through(ORIGIN, Coord(0, 1, 0), Coord(1, 0, 0)).normal(), {0, 0, -1}));
    EXPECT_TRUE(near(Plane::through(ORIGIN, Coord(1, 1, 1), Coord(2, 2, 2)).normal(), {0, 0, 0}, 0));  // collinear
}

TEST(GeometryTest, RotateAQuarterTurnAboutTheAxesOnly) {
    const Coord p(1, 2, 3);  // a generic point shows which components move and with what sign
    const std::pair<Vector, Vector> rows[] = {
        {Z_AXIS, {-2, 1, 3}}, {Y_AXIS, {3, 2, -1}}, {X_AXIS, {1, -3, 2}}, {Vector(0, 0, 1 + 0.5e-6), {-2, 1, 3}},
        // Any other axis leaves the point alone: opposite, scaled, and EPSILON away on any component (nearlyEqual).
        {Vector(1, 1, 0), p}, {Vector(0, 0, -1), p}, {Vector(0, 2, 0), p}, {Vector(1, 0, 1e-6), p},
        {Vector(1e-6, 1, 0), p}, {Vector(1, 1e-6, 0), p}, {ORIGIN, p}};
    for (const auto& [axis, expected] : rows)
        EXPECT_TRUE(near(rotate(p, axis, std::numbers::pi / 2), expected)) << axis.x << ' ' << axis.y << ' ' << axis.z;
}

TEST(GeometryTest, LinesMeetPlanes) {
    const Line down(Coord(0, 0, 5), Versor(0, 0, -1));
    const std::tuple<Line, Plane, Vector> rows[] = {
        {down, Plane(), {0, 0, 0}}, {down, Plane(Z_AXIS, -2), {0, 0, 2}}, {down, Plane(Versor(0, 0, -1), 2), {0, 0, 2}},
        {Line(Coord(0, 0, 4), Versor(1, 0, -1)), Plane(), {4, 0, 0}},
        {Line(Coord(1, 2, 5), Versor(0, 0, 1)), Plane(), {1, 2, 0}}};  // the whole line: behind its origin too
    for (const auto& [line, plane, expected] : rows) {
        Coord point;
        ASSERT_TRUE(intersect(line, plane, point));
        EXPECT_TRUE(near(point, expected));
    }
    Coord point(7, 8, 9);  // parallel, |n.d| < EPSILON: no point, and the point is left alone
    EXPECT_FALSE(intersect(Line(Coord(0, 0, 1), Versor::unnormalised(Vector(1, 0, 0.9e-6))), Plane(), point));
    EXPECT_TRUE(near(point, {7, 8, 9}, 0));
}
