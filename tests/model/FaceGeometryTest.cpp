// What a face derives from its vertices, and the tests built on it: duplicate
// removal, plane and flattening, widened box, area with its crack margin,
// convexity, the concave face's 2-D copy, edges and probes, point-in-face,
// ray hits on faces and walls, shared edges and the DXF export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "model/EntityList.h"
#include "model/Face.h"
#include "model/Opening.h"
#include "model/Wall.h"
#include "support/UiFixture.h"

namespace {

// Every expected value below comes from a few dozen floating operations on
// small exact inputs; 1e-12 absorbs their rounding, while every fault these
// tests look for moves a result by at least 1e-7 (most by 1e-3 or more).
constexpr double ROUNDING = 1e-12;
constexpr double SQRT2 = std::numbers::sqrt2;
constexpr double PI = std::numbers::pi;

::testing::AssertionResult near(const Vector& actual, const Vector& expected, double tol = ROUNDING) {
    if (std::abs(actual.x - expected.x) <= tol && std::abs(actual.y - expected.y) <= tol &&
        std::abs(actual.z - expected.z) <= tol) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "got (" << actual.x << ", " << actual.y << ", " << actual.z
                                         << "), expected (" << expected.x << ", " << expected.y << ", "
                                         << expected.z << ") within " << tol;
}

// Corners of the unit square in z = 0, counter-clockwise seen from +z.
constexpr Coord A(0, 0, 0), B(1, 0, 0), C(1, 1, 0), D(0, 1, 0);

template <class T = Face>
std::unique_ptr<T> makeFace(const std::vector<Coord>& points, std::uint32_t flags = 0) {
    auto face = std::make_unique<T>();
    face->flags = flags;
    EXPECT_TRUE(face->setVertices(points.data(), static_cast<std::uint32_t>(points.size())));
    return face;
}

// An L: the square [0, 2] x [0, 2] without its upper right quarter, so that
// (1.5, 1.5) lies in the notch while (0.5, 1.5) and (1.5, 0.5) lie in the arms.
// place puts the 2-D point (u, v) into space.
std::vector<Coord> lShape(const std::function<Coord(double, double)>& place) {
    const double uv[6][2] = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    std::vector<Coord> points;
    for (const auto& p : uv) points.push_back(place(p[0], p[1]));
    return points;
}

Coord horizontal(double u, double v) { return {u, v, 0}; }

// A regular polygon of n vertices on the unit circle in z = 0.
std::vector<Coord> regularPolygon(int n) {
    std::vector<Coord> points;
    for (int k = 0; k < n; ++k) points.emplace_back(std::cos(2 * PI * k / n), std::sin(2 * PI * k / n), 0.0);
    return points;
}

// A wall read from its record body (the keyword "Wall" already consumed).
std::unique_ptr<Wall> readWall(const std::string& body) {
    auto wall = std::make_unique<Wall>();
    std::istringstream in(body);
    wall->read(in);
    return wall;
}

// The index-th child of a wall (0 is the first), as a face.
Face* childFace(const Wall& wall, int index) {
    Entity* e = wall.first;
    for (int i = 0; i < index && e; ++i) e = e->next;
    return static_cast<Face*>(e);
}

// The main face of the test walls: x in [0, 4], z in [0, 3], in the plane y = 0.
// Its normal is (P1 - P0) x (P2 - P0) = (4,0,0) x (4,0,3) = (0,-12,0), i.e. (0,-1,0).
const std::string mainFace = "Face 0 1 4  0 0 0  4 0 0  4 0 3  0 0 3\n";

// A ray coming from y = 5 toward the wall, meeting it at (x, 0, z) after t = 5.
Line towardWall(double x, double z) { return Line(Coord(x, 5, z), Versor(0, -1, 0)); }

}  // namespace

class FaceGeometryTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        EntityList::lineNumber = 17;
    }
};

// ---------------------------------------------------------------------------
// Reduction of the vertex list

TEST_F(FaceGeometryTest, DuplicateVerticesAreDroppedKeepingTheLastOfEachRun) {
    // Vertices closer than 1e-6 in every coordinate are the same vertex.
    const Coord nearA(0.5e-6, 0, 0);
    const Coord apartFromA(1.5e-6, 0, 0);
    struct Case {
        const char* name;
        std::vector<Coord> given;
        bool accepted;
        std::vector<Coord> kept;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"repeated last corner is a plain triangle", {A, B, C, C}, true, {A, B, C}, {}},
        {"first A is dropped, the later one stays in place", {A, B, A, C}, true, {B, A, C}, {}},
        {"six to four is reported with the count given",
         {A, B, C, D, D, D},
         true,
         {A, B, C, D},
         {"Warning: Reducing Face with 6 vertices to 4 at line 17"}},
        {"a near-equal later vertex replaces the first",
         {A, B, C, nearA},
         true,
         {B, C, nearA},
         {}},
        {"of a near-equal run the last one stays",
         {nearA, A, B, C, D},
         true,
         {A, B, C, D},
         {"Warning: Reducing Face with 5 vertices to 4 at line 17"}},
        {"1.5e-6 apart is a distinct vertex", {B, C, A, apartFromA}, true, {B, C, A, apartFromA}, {}},
        {"three equal vertices leave one",
         {A, A, A},
         false,
         {},
         {"Warning: Reducing Face with 3 vertices to 1 at line 17",
          "Warning: Ignoring Face with 1 vertices only at line 17"}},
        {"two pairs leave two",
         {A, A, B, B},
         false,
         {},
         {"Warning: Reducing Face with 4 vertices to 2 at line 17",
          "Warning: Ignoring Face with 2 vertices only at line 17"}},
        {"two distinct vertices are too few, nothing was reduced",
         {A, B},
         false,
         {},
         {"Warning: Ignoring Face with 2 vertices only at line 17"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        Face face;
        EXPECT_EQ(face.setVertices(c.given.data(), static_cast<std::uint32_t>(c.given.size())), c.accepted);
        EXPECT_EQ(boxTexts(), c.messages);
        if (!c.accepted) {
            EXPECT_FALSE(face.isValid());
            continue;
        }
        ASSERT_EQ(face.vertexCount, c.kept.size());
        ASSERT_GE(face.vertices.size(), c.kept.size());
        // All in z = 0: nothing is flattened, so the kept vertices are the given ones, bit for bit.
        for (std::size_t i = 0; i < c.kept.size(); ++i) EXPECT_TRUE(near(face.vertices[i], c.kept[i], 0.0)) << i;
    }
}

TEST_F(FaceGeometryTest, SixtyFourVerticesAreAcceptedSixtyFiveRefusedLeavingTheFaceAlone) {
    const std::vector<Coord> sixtyFour = regularPolygon(64);
    Face accepted;
    EXPECT_TRUE(accepted.setVertices(sixtyFour.data(), 64));
    EXPECT_EQ(accepted.vertexCount, 64);
    EXPECT_TRUE(boxTexts().empty());

    // A refused list changes nothing: the face keeps the triangle it had.
    Face face;
    const std::vector<Coord> triangle = {A, B, C};
    ASSERT_TRUE(face.setVertices(triangle.data(), 3));
    const double area = face.area;
    const std::vector<Coord> sixtyFive = regularPolygon(65);
    EXPECT_FALSE(face.setVertices(sixtyFive.data(), 65));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Ignoring Face with 65 edges (max.64) in line 17"});
    EXPECT_EQ(face.vertexCount, 3);
    ASSERT_GE(face.vertices.size(), 3u);
    EXPECT_TRUE(near(face.vertices[0], A, 0.0));
    EXPECT_TRUE(near(face.vertices[1], B, 0.0));
    EXPECT_TRUE(near(face.vertices[2], C, 0.0));
    EXPECT_EQ(face.area, area);
}

TEST_F(FaceGeometryTest, MessagesNameTheClassOfTheFace) {
    const std::vector<Coord> reducible = {A, B, C, D, D, D};
    Hole hole;
    EXPECT_TRUE(hole.setVertices(reducible.data(), 6));

    const std::vector<Coord> tooMany = regularPolygon(65);
    Door door;
    EXPECT_FALSE(door.setVertices(tooMany.data(), 65));

    const std::vector<Coord> tooFew = {A, B};
    Door door2;
    EXPECT_FALSE(door2.setVertices(tooFew.data(), 2));

    // The fourth corner (index 3) 0.0006 above the plane of the first three.
    const std::vector<Coord> warped = {A, B, C, Coord(0, 1, 0.0006)};
    Hole hole2;
    EXPECT_TRUE(hole2.setVertices(warped.data(), 4));

    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Warning: Reducing Hole with 6 vertices to 4 at line 17",
                                                    "Warning: Ignoring Door with 65 edges (max.64) in line 17",
                                                    "Warning: Ignoring Door with 2 vertices only at line 17",
                                                    "Warning: vertex 3 is not complanar to Hole in line 17"}));
}

TEST_F(FaceGeometryTest, ReductionMayWorkInTheFacesOwnArray) {
    // Kept vertices only move toward the front, so the face's array may be the source.
    Face face;
    const std::vector<Coord> square = {A, B, C, D};
    ASSERT_TRUE(face.setVertices(square.data(), 4));
    face.vertices[0] = A;
    face.vertices[1] = B;
    face.vertices[2] = B;
    face.vertices[3] = C;
    ASSERT_TRUE(face.setVertices(face.vertices.data(), 4));
    EXPECT_TRUE(boxTexts().empty());  // exactly 3 remain: silent
    ASSERT_EQ(face.vertexCount, 3);
    EXPECT_TRUE(near(face.vertices[0], A, 0.0));
    EXPECT_TRUE(near(face.vertices[1], B, 0.0));
    EXPECT_TRUE(near(face.vertices[2], C, 0.0));
    // The triangle A B C: 0.5 plus the margin 5 * 0.001 * (1 + 1 + sqrt 2).
    EXPECT_NEAR(face.area, 0.5 + 0.005 * (2 + SQRT2), ROUNDING);
}

// ---------------------------------------------------------------------------
// Plane and flattening

TEST_F(FaceGeometryTest, PlaneComesFromTheFirstThirdAndTwoThirdsVertices) {
    struct Case {
        const char* name;
        std::vector<Coord> vertices;
        Vector normal;
        double d;
    };
    const double r = 1 / SQRT2;
    const std::vector<Case> cases = {
        {"counter-clockwise square", {A, B, C, D}, {0, 0, 1}, 0},
        // Seen from +z the order is clockwise: the normal points down; -z + d = 0 at z = 2 gives d = 2.
        {"clockwise square at z = 2", {{0, 0, 2}, {0, 1, 2}, {1, 1, 2}, {1, 0, 2}}, {0, 0, -1}, 2},
        // (0,2,0) x (0,2,2) = (4,0,0); x = 3 gives d = -3.
        {"rectangle in x = 3", {{3, 0, 0}, {3, 2, 0}, {3, 2, 2}, {3, 0, 2}}, {1, 0, 0}, -3},
        // (1,0,1) x (0,1,0) = (-1,0,1).
        {"triangle in z = x", {{0, 0, 0}, {1, 0, 1}, {0, 1, 0}}, {-r, 0, r}, 0},
        // n = 5: P0, P1, P3 lie in z = 0; P2, raised 0.0004, must not tilt the plane.
        {"pentagon uses P0 P1 P3",
         {{0, 0, 0}, {4, 0, 0}, {4, 3, 0.0004}, {2, 5, 0}, {0, 3, 0}},
         {0, 0, 1},
         0},
        // n = 6: P0, P2, P4 lie in z = 1; P1 and P3, raised 0.0004, must not tilt it.
        {"hexagon uses P0 P2 P4",
         {{0, 0, 1}, {2, 0, 1.0004}, {2, 1, 1}, {1, 1, 1.0004}, {1, 2, 1}, {0, 2, 1}},
         {0, 0, 1},
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto face = makeFace(c.vertices);
        EXPECT_TRUE(near(face->plane.normal(), c.normal));
        EXPECT_NEAR(face->plane.d, c.d, ROUNDING);
        // Every vertex ends on the plane (the raised ones were 0.0004 < c/2 away: silently).
        for (int i = 0; i < face->vertexCount; ++i)
            EXPECT_NEAR(dot(face->plane.normal(), face->vertices[i]) + face->plane.d, 0.0, ROUNDING) << i;
    }
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(FaceGeometryTest, VerticesOffThePlaneAreMovedAlongTheNormal) {
    // The last corner of a quadrilateral is off the plane of the first three.
    // It is reported when farther than c/2, moved when at least 1e-6 away.
    const std::string warning = "Warning: vertex 3 is not complanar to Face in line 17";
    struct Case {
        const char* name;
        double c;
        std::vector<Coord> vertices;
        bool reported;
        Coord moved;
        double top;  // highest z of the vertices once moved
    };
    const std::vector<Case> cases = {
        {"0.0004 above: silent", 0.001, {A, B, C, {0, 1, 0.0004}}, false, {0, 1, 0}, 0},
        {"0.0006 above: reported", 0.001, {A, B, C, {0, 1, 0.0006}}, true, {0, 1, 0}, 0},
        {"0.0006 below: reported", 0.001, {A, B, C, {0, 1, -0.0006}}, true, {0, 1, 0}, 0},
        // 0.0005 and 0.001 / 2 are the same double: the limit itself is not beyond it.
        {"exactly c/2: silent", 0.001, {A, B, C, {0, 1, 0.0005}}, false, {0, 1, 0}, 0},
        {"under 1e-6: left where it is", 0.001, {A, B, C, {0, 1, 0.5e-6}}, false, {0, 1, 0.5e-6}, 0.5e-6},
        {"0.0006 with c = 0.002: silent", 0.002, {A, B, C, {0, 1, 0.0006}}, false, {0, 1, 0}, 0},
        // Plane z = x, normal (-1,0,1)/sqrt2. (0,1,h) is h/sqrt2 from it and moves by
        // -(h/sqrt2)(-1,0,1)/sqrt2 = (h/2, 0, -h/2), to (h/2, 1, h/2).
        {"tilted, 0.0004 in z is 0.00028 away: silent",
         0.001,
         {{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 0.0004}},
         false,
         {0.0002, 1, 0.0002},
         1},
        {"tilted, 0.0008 in z is 0.00057 away: reported",
         0.001,
         {{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 0.0008}},
         true,
         {0.0004, 1, 0.0004},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        parameters.CrackTolerance = c.c;
        auto face = makeFace(c.vertices);
        EXPECT_EQ(boxTexts(), c.reported ? std::vector<std::string>{warning} : std::vector<std::string>{});
        ASSERT_EQ(face->vertexCount, 4);
        EXPECT_TRUE(near(face->vertices[3], c.moved));
        // The box is taken over the moved vertices.
        EXPECT_NEAR(face->boxMax.z, c.top + c.c, ROUNDING);
    }
}

TEST_F(FaceGeometryTest, EveryFarVertexIsReportedWithItsIndexFromZero) {
    // The L hexagon in z = 0; its plane comes from P0, P2, P4, which are in place.
    std::vector<Coord> points = lShape(horizontal);
    points[1].z = 0.0006;
    points[3].z = 0.0003;  // within c/2: moved silently
    points[5].z = -0.0007;
    auto face = makeFace(points);
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Warning: vertex 1 is not complanar to Face in line 17",
                                                    "Warning: vertex 5 is not complanar to Face in line 17"}));
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(face->vertices[i].z, 0.0, ROUNDING) << i;
}

TEST_F(FaceGeometryTest, FaceWithCollinearDefiningVerticesIsKeptAsADegenerateFace) {
    // P0, P1, P2 are collinear: the normal is zero, every distance 0, nothing moves
    // (P3 is far off any plane through the others), no message.
    const Coord off(1, 1, 0.3);
    const std::vector<Coord> points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, off};
    Face face;
    EXPECT_TRUE(face.setVertices(points.data(), 4));
    EXPECT_TRUE(boxTexts().empty());
    EXPECT_TRUE(near(face.plane.normal(), {0, 0, 0}, 0.0));
    EXPECT_TRUE(near(face.vertices[3], off, 0.0));
    // Only the margin: perimeter 1 + 1 + |(-1,1,0.3)| + |(1,1,0.3)| = 2 + 2 sqrt(2.09).
    EXPECT_NEAR(face.area, 0.005 * (2 + 2 * std::sqrt(2.09)), ROUNDING);
    EXPECT_TRUE(face.isConvex);
    EXPECT_FALSE(face.isBoxRectangle);  // x = 1 is neither 0 nor 2

    // Never hit: den = 0 for every ray.
    Coord point;
    double t = 0;
    EXPECT_EQ(hitBy(Line(Coord(1, 0.2, 1), Versor(0, 0, -1)), face, point, t, 100), nullptr);
    EXPECT_EQ(t, 1e12);
}

// ---------------------------------------------------------------------------
// Box, area, box rectangles and convexity

TEST_F(FaceGeometryTest, BoxIsTheVerticesBoxWidenedByTheCrackTolerance) {
    struct Case {
        const char* name;
        double c;
        std::vector<Coord> vertices;
        Coord min, max;
    };
    const std::vector<Case> cases = {
        {"unit square", 0.001, {A, B, C, D}, {-0.001, -0.001, -0.001}, {1.001, 1.001, 0.001}},
        {"triangle, c = 0.01", 0.01, {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, {-0.01, -0.01, -0.01}, {3.01, 4.01, 0.01}},
        {"negative coordinates",
         0.001,
         {{-2, -3, 5}, {-2, -1, 5}, {-1, -1, 5}},
         {-2.001, -3.001, 4.999},
         {-0.999, -0.999, 5.001}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parameters.CrackTolerance = c.c;
        auto face = makeFace(c.vertices);
        EXPECT_TRUE(near(face->boxMin, c.min));
        EXPECT_TRUE(near(face->boxMax, c.max));
    }
}

TEST_F(FaceGeometryTest, AreaBoxRectangleAndConvexityOfShapes) {
    // Unless the face is a box rectangle, its area carries 5 * c * perimeter.
    struct Case {
        const char* name;
        double c;
        std::vector<Coord> vertices;
        double area;
        bool boxRectangle;
        bool convex;
    };
    const std::vector<Case> cases = {
        {"unit square", 0.001, {A, B, C, D}, 1, true, true},
        {"clockwise unit square away from the origin",
         0.001,
         {{5, 5, 2}, {5, 6, 2}, {6, 6, 2}, {6, 5, 2}},
         1,
         true,
         true},
        {"rectangle in x = 3", 0.001, {{3, 0, 0}, {3, 2, 0}, {3, 2, 2}, {3, 0, 2}}, 4, true, true},
        // Four corners of the box [0,1]^3: a sqrt2 x 1 rectangle across it, still a box rectangle.
        {"diagonal rectangle", 0.001, {{0, 0, 0}, {1, 1, 0}, {1, 1, 1}, {0, 0, 1}}, SQRT2, true, true},
        // y = 1e-9 is neither bound exactly. Area 1 - 0.5e-9, perimeter 4 - 1e-9.
        {"nearly a box rectangle",
         0.001,
         {{0, 0, 0}, {1, 1e-9, 0}, {1, 1, 0}, {0, 1, 0}},
         1 - 0.5e-9 + 0.005 * (4 - 1e-9),
         false,
         true},
        // 3-4-5 triangle: area 6, perimeter 12.
        {"triangle", 0.001, {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, 6 + 0.005 * 12, false, true},
        {"triangle, c = 0.01", 0.01, {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, 6 + 0.05 * 12, false, true},
        // Square of side sqrt2 turned by 45 degrees.
        {"diamond", 0.001, {{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}}, 2 + 0.005 * 4 * SQRT2, false, true},
        // 4 x 3 rectangle plus a roof of base 4 and height 2; perimeter 4 + 3 + 3 + 2 * 2 sqrt2.
        {"convex pentagon",
         0.001,
         {{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {2, 5, 0}, {0, 3, 0}},
         16 + 0.005 * (10 + 4 * SQRT2),
         false,
         true},
        // A collinear vertex counts neither way, but five vertices are no box rectangle.
        {"square with a vertex mid-edge", 0.001, {A, B, C, D, {0, 0.5, 0}}, 1 + 0.005 * 4, false, true},
        // 2 x 2 minus 1 x 1; perimeter 8.
        {"L hexagon", 0.001, lShape(horizontal), 3 + 0.005 * 8, false, false},
        {"L hexagon clockwise",
         0.001,
         {{0, 0, 0}, {0, 2, 0}, {1, 2, 0}, {1, 1, 0}, {2, 1, 0}, {2, 0, 0}},
         3 + 0.005 * 8,
         false,
         false},
        // A C (3 x 3 less a 2 x 1 notch; perimeter 16) started in its notch,
        // counter-clockwise: P0 = (1,1), P2 = (3,2), P5 = (0,0) turn clockwise,
        // (2,1) x (-1,-1) = -1, so the normal is -z against the outline's +z.
        {"C whose defining vertices turn against it",
         0.001,
         {{1, 1, 0}, {1, 2, 0}, {3, 2, 0}, {3, 3, 0}, {0, 3, 0}, {0, 0, 0}, {3, 0, 0}, {3, 1, 0}},
         7 + 0.005 * 16,
         false,
         false},
        // Shoelace 0 + 4 - 1 + 0 = 3, area 1.5; sides sqrt5, sqrt5, sqrt1.25, sqrt1.25 = 3 sqrt5 in all.
        {"dart", 0.001, {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {0.5, 1, 0}}, 1.5 + 0.005 * 3 * std::sqrt(5.0), false, false},
        // Regular 64-gon of radius 1: (n/2) sin(2 pi/n), perimeter 2 n sin(pi/n).
        {"64-gon",
         0.001,
         regularPolygon(64),
         32 * std::sin(PI / 32) + 0.005 * 128 * std::sin(PI / 64),
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parameters.CrackTolerance = c.c;
        auto face = makeFace(c.vertices);
        EXPECT_NEAR(face->area, c.area, ROUNDING);
        EXPECT_EQ(face->isBoxRectangle, c.boxRectangle);
        EXPECT_EQ(face->isConvex, c.convex);
    }
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(FaceGeometryTest, ConcaveFaceIsProjectedByItsDominantAxisAndTestedByCrossings) {
    struct Case {
        const char* name;
        std::function<Coord(double, double)> place;
        // Which projected coordinates (u, v) end up as, in the order stored.
        bool swapped;
    };
    const std::vector<Case> cases = {
        // Normal (0,0,3): drop z, keep (x, y) = (u, v).
        {"horizontal, z = 1", [](double u, double v) { return Coord(u, v, 1); }, false},
        // Normal (3,0,0): keep (y, z) = (u, v).
        {"plane x = 3", [](double u, double v) { return Coord(3, u, v); }, false},
        // Normal (0,-3,0): keep (x, z) = (u, v).
        {"plane y = -2", [](double u, double v) { return Coord(u, -2, v); }, false},
        // The planes of the ties are chosen so that the wrong pair of coordinates
        // would differ in sign from the right one.
        // (2,-2,1) x (1,-1,2) = (-3,-3,0): the tie |Nx| = |Ny| is no dominant x;
        // |Ny| > |Nz| keeps (x, z) = (u, v), where (y, z) would be (-u, v).
        {"plane x = -y", [](double u, double v) { return Coord(u, -u, v); }, false},
        // (2,1,-1) x (1,2,-2) = (0,3,3): the tie |Ny| = |Nz| falls to (x, y) = (u, v),
        // where (x, z) would be (u, -v).
        {"plane y = -z", [](double u, double v) { return Coord(u, v, -v); }, false},
        // (1,2,1) x (2,1,2) = (3,0,-3): the tie |Nx| = |Nz| also falls to (x, y) = (v, u).
        {"plane x = z", [](double u, double v) { return Coord(v, u, v); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Coord> points = lShape(c.place);
        auto face = makeFace(points);
        EXPECT_FALSE(face->isConvex);
        const std::vector<Coord> flat = lShape(horizontal);
        ASSERT_EQ(face->projected.size(), 6u);
        for (int i = 0; i < 6; ++i) {
            const double first = c.swapped ? flat[i].y : flat[i].x;
            const double second = c.swapped ? flat[i].x : flat[i].y;
            EXPECT_NEAR(face->projected[i].first, first, ROUNDING) << i;
            EXPECT_NEAR(face->projected[i].second, second, ROUNDING) << i;
        }
        // Both arms are in; the notch is not, though it is inside the box. The
        // arm points fail the area test (the L is not star-shaped from them), so
        // only the crossing test accepts them. The crossing test has no margin:
        // 0.0005 beyond the edge u = 2 is out although inside the widened box.
        EXPECT_TRUE(face->contains(c.place(0.5, 0.5)));
        EXPECT_TRUE(face->contains(c.place(0.5, 1.5)));
        EXPECT_TRUE(face->contains(c.place(1.5, 0.5)));
        EXPECT_FALSE(face->contains(c.place(1.5, 1.5)));
        EXPECT_FALSE(face->contains(c.place(2.0005, 0.5)));
    }
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(FaceGeometryTest, CrossingTestCountsEveryEdgeOnTheWayOut) {
    // The square [0,3]^2 with a notch x in [0,2], y in [1,2] open to the left.
    // From the notch the segment toward +x crosses the notch's end x = 2 and the
    // outer side x = 3: two crossings, outside. From the arms it crosses x = 3 only.
    // Started at (3,3) so that P0, P2, P5 = (3,3), (0,2), (0,1) span the plane
    // (from (0,0) they would be collinear and the face degenerate).
    auto face = makeFace({{3, 3, 0}, {0, 3, 0}, {0, 2, 0}, {2, 2, 0}, {2, 1, 0}, {0, 1, 0}, {0, 0, 0}, {3, 0, 0}});
    ASSERT_FALSE(face->isConvex);
    EXPECT_FALSE(face->contains({1, 1.5, 0}));
    EXPECT_TRUE(face->contains({2.5, 1.5, 0}));
    EXPECT_TRUE(face->contains({1, 0.5, 0}));
    EXPECT_TRUE(face->contains({1, 2.5, 0}));
}

// ---------------------------------------------------------------------------
// Centroid, edge lines and edge probes

TEST_F(FaceGeometryTest, CentroidIsTheMeanOfTheVertices) {
    // Triangle: ((0+3+0)/3, (0+0+4)/3).
    EXPECT_TRUE(near(makeFace({{0, 0, 0}, {3, 0, 0}, {0, 4, 0}})->centroid, {1, 4.0 / 3, 0}));
    // The L's vertices average to (1, 1); its area centroid would be (5/6, 5/6).
    EXPECT_TRUE(near(makeFace(lShape(horizontal))->centroid, {1, 1, 0}));
}

TEST_F(FaceGeometryTest, EdgeLinesRunFromEachVertexToTheNextClosingToTheFirst) {
    auto face = makeFace({{0, 0, 0}, {3, 0, 0}, {0, 4, 0}});
    ASSERT_EQ(face->edgeLines.size(), 3u);
    EXPECT_TRUE(near(face->edgeLines[0].origin, {0, 0, 0}));
    EXPECT_TRUE(near(face->edgeLines[0].direction(), {1, 0, 0}));
    EXPECT_TRUE(near(face->edgeLines[1].origin, {3, 0, 0}));
    EXPECT_TRUE(near(face->edgeLines[1].direction(), {-0.6, 0.8, 0}));  // (-3,4,0)/5
    EXPECT_TRUE(near(face->edgeLines[2].origin, {0, 4, 0}));
    EXPECT_TRUE(near(face->edgeLines[2].direction(), {0, -1, 0}));
}

TEST_F(FaceGeometryTest, EdgeProbesLieOnTheRayFromTheCentroidThroughEachMidpoint) {
    // Triangle with centroid (1,1,0). Edge 0 has midpoint (1.5,0,0); the ray from
    // the centroid runs along (0.5,-1)/sqrt1.25 = (1,-2)/sqrt5, not perpendicular
    // to the edge, and the probe is 0.01 beyond the midpoint along it.
    auto face = makeFace({{0, 0, 0}, {3, 0, 0}, {0, 3, 0}});
    const double s5 = std::sqrt(5.0);
    ASSERT_EQ(face->edgeProbes.size(), 3u);
    EXPECT_TRUE(near(face->edgeProbes[0], {1.5 + 0.01 / s5, -0.02 / s5, 0}));
    // Edge 1: midpoint (1.5,1.5,0), direction (1,1)/sqrt2.
    EXPECT_TRUE(near(face->edgeProbes[1], {1.5 + 0.01 / SQRT2, 1.5 + 0.01 / SQRT2, 0}));
    // Edge 2, closing to the first vertex: midpoint (0,1.5,0), direction (-2,1)/sqrt5.
    EXPECT_TRUE(near(face->edgeProbes[2], {-0.02 / s5, 1.5 + 0.01 / s5, 0}));
}

TEST_F(FaceGeometryTest, EdgeProbesSitInsideTransparentFacesAndOutsideOpaqueOnes) {
    // Square [0,2]^2: centroid (1,1,0); edge 0 has midpoint (1,0,0), so its probe
    // is (1,-0.01,0) outside an opaque face and (1,0.01,0) inside a transparent one.
    using FaceFlag::obstructing, FaceFlag::open, FaceFlag::reversed;
    enum Kind { plain, hole, door };
    struct Case {
        const char* name;
        Kind kind;
        std::uint32_t flags;
        bool transparent;
    };
    const std::vector<Case> cases = {
        {"face", plain, 0, false},
        {"obstructing face", plain, obstructing, false},
        {"reversed face", plain, reversed, true},
        {"open face", plain, open, true},
        {"hole", hole, 0, true},
        {"reversed hole", hole, reversed, false},
        {"open hole", hole, open, true},
        {"closed door", door, 0, false},
        {"open door", door, open, true},
        {"reversed closed door", door, reversed, false},
        {"reversed open door", door, open | reversed, false},
    };
    const std::vector<Coord> square = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Face> face;
        if (c.kind == plain) face = makeFace<Face>(square, c.flags);
        if (c.kind == hole) face = makeFace<Hole>(square, c.flags);
        if (c.kind == door) face = makeFace<Door>(square, c.flags);
        const double delta = c.transparent ? -0.01 : 0.01;
        ASSERT_EQ(face->edgeProbes.size(), 4u);
        EXPECT_TRUE(near(face->edgeProbes[0], {1, -delta, 0}));
        EXPECT_TRUE(near(face->edgeProbes[1], {2 + delta, 1, 0}));
        EXPECT_TRUE(near(face->edgeProbes[2], {1, 2 + delta, 0}));
        EXPECT_TRUE(near(face->edgeProbes[3], {-delta, 1, 0}));
    }
}

TEST_F(FaceGeometryTest, OpeningOrClosingRecomputesTheProbesOnlyWhenTheyMatter) {
    const std::vector<Coord> square = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    const Coord outside(1, -0.01, 0), inside(1, 0.01, 0);

    // Opening makes the door transparent: the probes move in.
    auto door = makeFace<Door>(square);
    EXPECT_TRUE(near(door->edgeProbes[0], outside));
    door->setOpen(true);
    EXPECT_EQ(door->flags, FaceFlag::open);
    EXPECT_TRUE(near(door->edgeProbes[0], inside));

    // Closing an obstructing door moves them out again.
    auto obstructing = makeFace<Door>(square, FaceFlag::obstructing | FaceFlag::open);
    EXPECT_TRUE(near(obstructing->edgeProbes[0], inside));
    obstructing->setOpen(false);
    EXPECT_EQ(obstructing->flags, FaceFlag::obstructing);
    EXPECT_TRUE(near(obstructing->edgeProbes[0], outside));

    // Closing a door that neither obstructs nor is now transparent leaves them.
    auto plain = makeFace<Door>(square, FaceFlag::open);
    plain->setOpen(false);
    EXPECT_EQ(plain->flags, 0u);
    EXPECT_TRUE(near(plain->edgeProbes[0], inside));
}

// ---------------------------------------------------------------------------
// Point in face

TEST_F(FaceGeometryTest, ContainsHoldsWithinTheCrackTolerance) {
    const std::vector<Coord> square = {A, B, C, D};
    const std::vector<Coord> diamond = {{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}};
    const std::vector<Coord> pentagon = {{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {2, 5, 0}, {0, 3, 0}};
    const std::vector<Coord> tilted = {{0, 0, 0}, {1, 0, 1}, {0, 1, 0}};  // in the plane z = x
    // A point at distance h outside one edge of length L of a convex face makes
    // the edge triangles add up to the area plus L * h; it is contained while
    // L * h stays within the margin 5 * c * perimeter.
    //   diamond: margin 0.005 * 4 sqrt2, L = sqrt2, so h up to 0.02.
    //   pentagon: margin 0.005 * (10 + 4 sqrt2) = 0.0783, L = 2 sqrt2, so h up to 0.0277.
    const double r = 1 / SQRT2;
    struct Case {
        const char* name;
        double c;
        const std::vector<Coord>* vertices;
        Coord point;
        bool inside;
    };
    const std::vector<Case> cases = {
        {"square centre", 0.001, &square, {0.5, 0.5, 0}, true},
        {"square, 0.0005 beyond x = 1", 0.001, &square, {1.0005, 0.5, 0}, true},
        {"square, 0.002 beyond x = 1", 0.001, &square, {1.002, 0.5, 0}, false},
        {"square, 0.0005 before x = 0", 0.001, &square, {-0.0005, 0.5, 0}, true},
        {"square, 0.002 before y = 0", 0.001, &square, {0.5, -0.002, 0}, false},
        {"square, 0.0009 beyond y = 1", 0.001, &square, {0.5, 1.0009, 0}, true},
        {"square, 0.005 beyond x = 1 with c = 0.01", 0.01, &square, {1.005, 0.5, 0}, true},
        {"square, 0.012 beyond x = 1 with c = 0.01", 0.01, &square, {1.012, 0.5, 0}, false},
        {"diamond centre", 0.001, &diamond, {1, 1, 0}, true},
        {"diamond, corner of its box", 0.001, &diamond, {0.2, 0.2, 0}, false},
        {"diamond, 0.015 outside an edge", 0.001, &diamond, {1.5 + 0.015 * r, 0.5 - 0.015 * r, 0}, true},
        {"diamond, 0.025 outside an edge", 0.001, &diamond, {1.5 + 0.025 * r, 0.5 - 0.025 * r, 0}, false},
        {"pentagon inside", 0.001, &pentagon, {2, 2, 0}, true},
        {"pentagon, 0.02 outside the roof", 0.001, &pentagon, {3 + 0.02 * r, 4 + 0.02 * r, 0}, true},
        {"pentagon, 0.035 outside the roof", 0.001, &pentagon, {3 + 0.035 * r, 4 + 0.035 * r, 0}, false},
        {"pentagon, corner of its box", 0.001, &pentagon, {3.9, 4.9, 0}, false},
        {"tilted triangle inside", 0.001, &tilted, {0.2, 0.2, 0.2}, true},
        {"tilted triangle, beyond its long edge", 0.001, &tilted, {0.6, 0.6, 0.6}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parameters.CrackTolerance = c.c;
        auto face = makeFace(*c.vertices);
        EXPECT_EQ(face->contains(c.point), c.inside);
    }
}

TEST_F(FaceGeometryTest, ContainsIncludesTheBoundsOfTheWidenedBox) {
    auto face = makeFace({A, B, C, D});
    ASSERT_NEAR(face->boxMax.x, 1.001, ROUNDING);
    ASSERT_NEAR(face->boxMin.y, -0.001, ROUNDING);
    EXPECT_TRUE(face->contains({face->boxMax.x, 0.5, 0}));
    EXPECT_FALSE(face->contains({std::nextafter(face->boxMax.x, 2.0), 0.5, 0}));
    EXPECT_TRUE(face->contains({0.5, face->boxMin.y, 0}));
    EXPECT_FALSE(face->contains({0.5, std::nextafter(face->boxMin.y, -1.0), 0}));
}

// ---------------------------------------------------------------------------
// Ray hits

TEST_F(FaceGeometryTest, HitByFindsTheFaceAheadWithinTheRange) {
    // Unit square in z = 0, normal +z, d = 0: t = (N . origin + d) / -(dir . N).
    auto face = makeFace({A, B, C, D});
    const Versor down(0, 0, -1), up(0, 0, 1);
    struct Case {
        const char* name;
        Line ray;
        double tMax;
        bool hit;
        double t;
        Coord point;
    };
    const std::vector<Case> cases = {
        {"from above", Line(Coord(0.5, 0.5, 1), down), 10, true, 1, {0.5, 0.5, 0}},
        {"from below: both sides reflect", Line(Coord(0.25, 0.75, -2), up), 10, true, 2, {0.25, 0.75, 0}},
        {"pointing away", Line(Coord(0.5, 0.5, 1), up), 10, false, 0, {}},
        {"starting on the face", Line(Coord(0.5, 0.5, 0), down), 10, false, 0, {}},
        {"t exactly 1e-6 is too close", Line(Coord(0.5, 0.5, 1e-6), down), 10, false, 0, {}},
        {"t of 2e-6 is a hit", Line(Coord(0.5, 0.5, 2e-6), down), 10, true, 2e-6, {0.5, 0.5, 0}},
        {"t equal to tMax", Line(Coord(0.5, 0.5, 1), down), 1, true, 1, {0.5, 0.5, 0}},
        {"t = tMax + 0.5e-6", Line(Coord(0.5, 0.5, 1), down), 1 - 0.5e-6, true, 1, {0.5, 0.5, 0}},
        {"t = tMax + 1.5e-6", Line(Coord(0.5, 0.5, 1), down), 1 - 1.5e-6, false, 0, {}},
        {"plane met outside the polygon", Line(Coord(1.5, 0.5, 1), down), 10, false, 0, {}},
        {"within the crack tolerance of an edge", Line(Coord(1.0005, 0.5, 1), down), 10, true, 1, {1.0005, 0.5, 0}},
        // Direction (0.3,0.4,-1)/sqrt1.25: the plane is one unnormalised step away.
        {"oblique", Line(Coord(0, 0, 1), Versor(0.3, 0.4, -1)), 10, true, std::sqrt(1.25), {0.3, 0.4, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Coord point(-9, -9, -9);
        double t = -9;
        Face* hit = hitBy(c.ray, *face, point, t, c.tMax);
        if (!c.hit) {
            EXPECT_EQ(hit, nullptr);
            continue;
        }
        EXPECT_EQ(hit, face.get());
        EXPECT_NEAR(t, c.t, ROUNDING);
        EXPECT_TRUE(near(point, c.point));
    }
}

TEST_F(FaceGeometryTest, HitByReportsAFarDistanceForRaysAlongThePlane) {
    auto face = makeFace({A, B, C, D});
    Coord point;
    double t = 0;
    EXPECT_EQ(hitBy(Line(Coord(-1, 0.5, 0.5), Versor(1, 0, 0)), *face, point, t, 1e9), nullptr);
    EXPECT_EQ(t, 1e12);
    // |dir . N| = 0.5e-6 is still below 1e-6: parallel, though the plane is met 1e6 away.
    t = 0;
    EXPECT_EQ(hitBy(Line(Coord(-1, 0.5, 0.5), Versor(1, 0, -0.5e-6)), *face, point, t, 1e9), nullptr);
    EXPECT_EQ(t, 1e12);
}

TEST_F(FaceGeometryTest, HitByMeetsAPlainFaceWhateverItsTransparency) {
    // Leaving transparent plain faces out is the model's business, not the hit test's.
    for (std::uint32_t flags : {FaceFlag::reversed, FaceFlag::open}) {
        SCOPED_TRACE(flags);
        auto face = makeFace({A, B, C, D}, flags);
        Coord point;
        double t = 0;
        EXPECT_EQ(hitBy(Line(Coord(0.5, 0.5, 1), Versor(0, 0, -1)), *face, point, t, 10), face.get());
    }
}

TEST_F(FaceGeometryTest, HitByMissesTheNotchOfAConcaveFace) {
    auto face = makeFace(lShape(horizontal));
    Coord point;
    double t = 0;
    const Versor down(0, 0, -1);
    EXPECT_EQ(hitBy(Line(Coord(1.5, 1.5, 1), down), *face, point, t, 10), nullptr);
    EXPECT_EQ(hitBy(Line(Coord(1.5, 0.5, 1), down), *face, point, t, 10), face.get());
    EXPECT_TRUE(near(point, {1.5, 0.5, 0}));
}

// ---------------------------------------------------------------------------
// Walls and their openings

TEST_F(FaceGeometryTest, RaysPassTransparentOpeningsAndHitOpaqueOnes) {
    // An opening at x in [1, 2], z in [0, 2] of the main face.
    struct Case {
        const char* keyword;
        int flags;
        bool hitsOpening;
    };
    const std::vector<Case> cases = {
        {"Door", 0, true},  {"Door", 8, false}, {"Door", 4, true},  {"Door", 12, true},
        {"Hole", 0, false}, {"Hole", 4, true},  {"Hole", 8, false}, {"Hole", 12, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keyword) + " " + std::to_string(c.flags));
        auto wall = readWall(mainFace + c.keyword + " " + std::to_string(c.flags) +
                             " 2 4  1 0 0  2 0 0  2 0 2  1 0 2\nEnd\n");
        ASSERT_NE(wall->face, nullptr);
        Face* opening = childFace(*wall, 1);
        ASSERT_NE(opening, nullptr);

        Coord point;
        double t = 0;
        Face* hit = hitBy(towardWall(1.5, 1), *wall, point, t, 100);
        EXPECT_EQ(hit, c.hitsOpening ? opening : nullptr);
        if (hit) {
            EXPECT_NEAR(t, 5, ROUNDING);
            EXPECT_TRUE(near(point, {1.5, 0, 1}));
        }
        EXPECT_EQ(wall->faceAt({1.5, 0, 1}), opening);

        // Beside the opening the main face is met, 5 away.
        EXPECT_EQ(hitBy(towardWall(3, 1), *wall, point, t, 100), wall->face);
        EXPECT_NEAR(t, 5, ROUNDING);
        EXPECT_TRUE(near(point, {3, 0, 1}));
        EXPECT_EQ(wall->faceAt({3, 0, 1}), wall->face);
        // Past the main face's edge (x = 4) nothing is met.
        EXPECT_EQ(hitBy(towardWall(4.5, 1), *wall, point, t, 100), nullptr);
        // Beyond tMax the wall is not reached.
        EXPECT_EQ(hitBy(towardWall(3, 1), *wall, point, t, 4), nullptr);
    }
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(FaceGeometryTest, FlagsOfTheMainFaceDecideWhatAnOpeningPointGives) {
    const std::string door = "Door 0 2 4  1 0 0  2 0 0  2 0 2  1 0 2\nEnd\n";
    Coord point;
    double t = 0;

    // Reversed main face: the main face wherever the point is; being transparent, it is never hit.
    auto reversed = readWall("Face 4 1 4  0 0 0  4 0 0  4 0 3  0 0 3\n" + door);
    ASSERT_NE(reversed->face, nullptr);
    EXPECT_EQ(reversed->faceAt({1.5, 0, 1}), reversed->face);
    EXPECT_EQ(reversed->faceAt({3, 0, 1}), reversed->face);
    EXPECT_EQ(hitBy(towardWall(1.5, 1), *reversed, point, t, 100), nullptr);
    EXPECT_EQ(hitBy(towardWall(3, 1), *reversed, point, t, 100), nullptr);

    // Open main face: no face at the opening, the main face elsewhere.
    auto open = readWall("Face 8 1 4  0 0 0  4 0 0  4 0 3  0 0 3\n" + door);
    ASSERT_NE(open->face, nullptr);
    EXPECT_EQ(open->faceAt({1.5, 0, 1}), nullptr);
    EXPECT_EQ(open->faceAt({3, 0, 1}), open->face);
}

TEST_F(FaceGeometryTest, OverlappingOpeningsAreSearchedInListOrder) {
    const std::string door = "Door 0 2 4  1 0 0  2 0 0  2 0 2  1 0 2\n";
    const std::string hole = "Hole 0 3 4  1 0 0  2 0 0  2 0 2  1 0 2\n";
    Coord point;
    double t = 0;

    auto doorFirst = readWall(mainFace + door + hole + "End\n");
    Face* closedDoor = childFace(*doorFirst, 1);
    ASSERT_EQ(closedDoor->typeCode(), EntityType::door);
    EXPECT_EQ(doorFirst->faceAt({1.5, 0, 1}), closedDoor);
    EXPECT_EQ(hitBy(towardWall(1.5, 1), *doorFirst, point, t, 100), closedDoor);

    auto holeFirst = readWall(mainFace + hole + door + "End\n");
    Face* openHole = childFace(*holeFirst, 1);
    ASSERT_EQ(openHole->typeCode(), EntityType::hole);
    EXPECT_EQ(holeFirst->faceAt({1.5, 0, 1}), openHole);
    EXPECT_EQ(hitBy(towardWall(1.5, 1), *holeFirst, point, t, 100), nullptr);
}

TEST_F(FaceGeometryTest, SecondPlainFaceOfAWallCoversTheMainFace) {
    auto wall = readWall(mainFace + "Face 0 5 4  1 0 1  3 0 1  3 0 2  1 0 2\nEnd\n");
    Face* cover = childFace(*wall, 1);
    ASSERT_EQ(wall->face, childFace(*wall, 0));
    ASSERT_EQ(cover->material, 5);
    Coord point;
    double t = 0;
    EXPECT_EQ(hitBy(towardWall(2, 1.5), *wall, point, t, 100), cover);
    EXPECT_EQ(hitBy(towardWall(0.5, 0.5), *wall, point, t, 100), wall->face);
}

TEST_F(FaceGeometryTest, OpeningPointsFollowTheOpeningsShape) {
    // A closed L-shaped door (the L moved by (0.5, 0.5) in x and z) and a closed
    // triangular door with its right angle at (3, 0.5), legs 0.9 along x and 1 along z.
    auto wall = readWall(mainFace +
                         "Door 0 2 6  0.5 0 0.5  2.5 0 0.5  2.5 0 1.5  1.5 0 1.5  1.5 0 2.5  0.5 0 2.5\n"
                         "Door 0 2 3  3 0 0.5  3.9 0 0.5  3 0 1.5\n"
                         "End\n");
    Face* lDoor = childFace(*wall, 1);
    Face* triangle = childFace(*wall, 2);
    ASSERT_NE(triangle, nullptr);
    EXPECT_EQ(wall->faceAt({2, 0, 1}), lDoor);           // arm
    EXPECT_EQ(wall->faceAt({1, 0, 2}), lDoor);           // other arm
    EXPECT_EQ(wall->faceAt({2, 0, 2}), wall->face);      // notch, inside the L's box
    EXPECT_EQ(wall->faceAt({3.2, 0, 0.8}), triangle);    // inside
    EXPECT_EQ(wall->faceAt({3.8, 0, 1.4}), wall->face);  // inside its box, beyond the hypotenuse
}

TEST_F(FaceGeometryTest, OpeningReachesAsFarAsItsWidenedBox) {
    // The door's left edge is x = 1; its box reaches to 1 - c.
    auto wall = readWall(mainFace + "Door 0 2 4  1 0 0  2 0 0  2 0 2  1 0 2\nEnd\n");
    Face* door = childFace(*wall, 1);
    EXPECT_EQ(wall->faceAt({1 - 0.0005, 0, 1}), door);
    EXPECT_EQ(wall->faceAt({1 - 0.002, 0, 1}), wall->face);
    EXPECT_EQ(wall->faceAt({1.5, 0, 2.0005}), door);
    EXPECT_EQ(wall->faceAt({1.5, 0, 2.002}), wall->face);
}

// ---------------------------------------------------------------------------
// Shared edges

TEST_F(FaceGeometryTest, FindSharedEdgeGivesTheFirstCommonEdge) {
    const Vector shift(0.5e-6, 0, 0), farShift(2e-6, 0, 0);
    struct Case {
        const char* name;
        std::vector<Coord> a, b;
        bool found;
        int i, j;
    };
    const std::vector<Case> cases = {
        // A[2] = B[1]; A[0] (after A[2]) = B[0], the vertex before B[1]: i = 2, j = 0.
        {"opposite directions, both wrapping",
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
         {{0, 0, 0}, {1, 1, 0}, {0, 1, 0}},
         true,
         2,
         0},
        {"same direction",
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
         {{1, 0, 0}, {1, 1, 0}, {2, 0, 0}},
         true,
         1,
         0},
        // A[1] = B[0], A[2] = B[3], the vertex before B[0]: j is the last index.
        {"adjacent squares",
         {A, B, C, D},
         {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}},
         true,
         1,
         3},
        // Every edge is shared; the first, from A[0], is B[2] -> B[3].
        {"reversed copy", {A, B, C, D}, {D, C, B, A}, true, 0, 2},
        {"a common vertex only",
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
         {{1, 1, 0}, {2, 1, 0}, {2, 2, 0}},
         false,
         0,
         0},
        {"within 1e-6",
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
         {Coord(0, 0, 0) + shift, Coord(1, 1, 0) + shift, Coord(0, 1, 0) + shift},
         true,
         2,
         0},
        {"2e-6 apart",
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
         {Coord(0, 0, 0) + farShift, Coord(1, 1, 0) + farShift, Coord(0, 1, 0) + farShift},
         false,
         0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto a = makeFace(c.a);
        auto b = makeFace(c.b);
        int i = -1, j = -1;
        EXPECT_EQ(a->findSharedEdge(*b, i, j), c.found);
        if (c.found) {
            EXPECT_EQ(i, c.i);
            EXPECT_EQ(j, c.j);
        }
    }
}

// ---------------------------------------------------------------------------
// DXF export

TEST_F(FaceGeometryTest, FacesAndDoorsExportAThreeDFace) {
    std::ostringstream face;
    makeFace({{0, 0, 0}, {1.5, 0, 0}, {0.1234567, 2, 0}})->exportDxf(face);
    // Default stream formatting: six significant digits.
    EXPECT_EQ(face.str(),
              "0\n3DFACE\n8\n0\n"
              "10\n0\n20\n0\n30\n0\n"
              "11\n1.5\n21\n0\n31\n0\n"
              "12\n0.123457\n22\n2\n32\n0\n");

    std::ostringstream door;
    makeFace<Door>({{0, 0, 0}, {2, 0, 0}, {2, 0, 3}, {0, 0, 3}})->exportDxf(door);
    EXPECT_EQ(door.str(),
              "0\n3DFACE\n8\n0\n"
              "10\n0\n20\n0\n30\n0\n"
              "11\n2\n21\n0\n31\n0\n"
              "12\n2\n22\n0\n32\n3\n"
              "13\n0\n23\n0\n33\n3\n");
}

TEST_F(FaceGeometryTest, HolesExportAClosedPolylineAfterTheirWall) {
    const std::string holeDxf =
        "0\nPOLYLINE\n8\n1\n66\n1\n10\n0.0\n20\n0.0\n30\n0.0\n70\n8\n"
        "0\nVERTEX\n8\n1\n10\n1\n20\n0\n30\n0\n70\n32\n"
        "0\nVERTEX\n8\n1\n10\n2\n20\n0\n30\n0\n70\n32\n"
        "0\nVERTEX\n8\n1\n10\n2\n20\n0\n30\n1.5\n70\n32\n"
        "0\nVERTEX\n8\n1\n10\n1\n20\n0\n30\n0\n70\n32\n"  // the first vertex again closes it
        "0\nSEQEND\n";
    std::ostringstream hole;
    makeFace<Hole>({{1, 0, 0}, {2, 0, 0}, {2, 0, 1.5}})->exportDxf(hole);
    EXPECT_EQ(hole.str(), holeDxf);

    auto wall = readWall(mainFace + "Hole 0 2 3  1 0 0  2 0 0  2 0 1.5\nEnd\n");
    std::ostringstream both;
    wall->exportDxf(both);
    EXPECT_EQ(both.str(),
              "0\n3DFACE\n8\n0\n"
              "10\n0\n20\n0\n30\n0\n"
              "11\n4\n21\n0\n31\n0\n"
              "12\n4\n22\n0\n32\n3\n"
              "13\n0\n23\n0\n33\n3\n" +
                  holeDxf);
}

// ---------------------------------------------------------------------------
// Constructors

TEST_F(FaceGeometryTest, FourVertexConstructorBuildsAPlainFace) {
    const Face square(A, B, C, D, 7);
    EXPECT_EQ(square.flags, 0u);
    EXPECT_EQ(square.material, 7);
    EXPECT_EQ(square.number, 0u);
    EXPECT_EQ(square.owner, nullptr);
    EXPECT_EQ(square.vertexCount, 4);
    EXPECT_TRUE(square.isBoxRectangle);
    EXPECT_EQ(square.area, 1.0);
    EXPECT_TRUE(near(square.plane.normal(), {0, 0, 1}));

    // The vertices go through the same reduction: a repeated corner gives a triangle, silently.
    const Face triangle(A, B, C, C, 2);
    EXPECT_EQ(triangle.vertexCount, 3);
    EXPECT_NEAR(triangle.area, 0.5 + 0.005 * (2 + SQRT2), ROUNDING);
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(FaceGeometryTest, CopyConstructorRecomputesFromTheVertices) {
    Wall wall;  // only its address is used
    auto original = makeFace({A, B, C, D}, FaceFlag::obstructing | FaceFlag::reversed);
    original->material = 9;
    original->number = 12;
    original->owner = &wall;
    // Moved without recomputing, as a transformed cabinet face is.
    for (Coord& p : original->vertices) p.z += 1;

    const Face copy(*original);
    EXPECT_EQ(copy.flags, FaceFlag::obstructing | FaceFlag::reversed);
    EXPECT_EQ(copy.material, 9);
    EXPECT_EQ(copy.number, 0u);
    EXPECT_EQ(copy.owner, &wall);
    ASSERT_EQ(copy.vertexCount, 4);
    EXPECT_NE(copy.vertices.data(), original->vertices.data());
    // Derived from the moved square in z = 1: normal +z and -1 + d = 0.
    EXPECT_TRUE(near(copy.plane.normal(), {0, 0, 1}));
    EXPECT_NEAR(copy.plane.d, -1, ROUNDING);
    EXPECT_TRUE(near(copy.boxMin, {-0.001, -0.001, 0.999}));
    EXPECT_TRUE(near(copy.boxMax, {1.001, 1.001, 1.001}));
    EXPECT_TRUE(near(copy.centroid, {0.5, 0.5, 1}));
    EXPECT_EQ(copy.area, 1.0);
    // Reversed, hence transparent: the probe of edge 0 is 0.01 inside its midpoint (0.5, 0, 1).
    EXPECT_TRUE(near(copy.edgeProbes[0], {0.5, 0.01, 1}));
}
