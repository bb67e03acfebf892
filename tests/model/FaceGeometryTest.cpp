// What a face derives from its vertices, and the point-in-face and ray tests built on it.
#include <gtest/gtest.h>
#include <functional>
#include <numbers>
#include <sstream>
#include "model/Opening.h"
#include "model/Wall.h"
#include "support/UiFixture.h"

namespace {
// Expected values come from a few dozen floating operations on small exact inputs: 1e-12 absorbs their
// rounding, while every fault looked for moves a result by 1e-7 or (mostly) far more.
constexpr double ROUNDING = 1e-12, SQRT2 = std::numbers::sqrt2, PI = std::numbers::pi, R = 1 / SQRT2;
using Pts = std::vector<Coord>;
constexpr Coord A(0, 0, 0), B(1, 0, 0), C(1, 1, 0), D(0, 1, 0);  // the unit square, counter-clockwise from +z

::testing::AssertionResult near(const Vector& a, const Vector& b, double tol = ROUNDING) {
    if (std::abs(a.x - b.x) <= tol && std::abs(a.y - b.y) <= tol && std::abs(a.z - b.z) <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") for (" << b.x << ", " << b.y << ", " << b.z << ")";
}

// A face (kind 0), hole (1) or door (2) of the given vertices and flags.
std::unique_ptr<Face> makeFace(const Pts& points, std::uint32_t flags = 0, int kind = 0) {
    std::unique_ptr<Face> face(kind == 1 ? new Hole : kind == 2 ? static_cast<Face*>(new Door) : new Face);
    face->flags = flags;
    face->setVertices(points.data(), static_cast<std::uint32_t>(points.size()));
    return face;
}
// The square [0,2]^2 less its upper right quarter: (1.5, 1.5) is in the notch. place puts (u, v) in space.
Pts lShape(const std::function<Coord(double, double)>& place = [](double u, double v) { return Coord(u, v, 0); }) {
    Pts points;
    for (auto [u, v] : {std::pair{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}) points.push_back(place(u, v));
    return points;
}
Pts regularPolygon(int n) {  // on the unit circle
    Pts points;
    for (int k = 0; k < n; ++k) points.emplace_back(std::cos(2 * PI * k / n), std::sin(2 * PI * k / n), 0.0);
    return points;
}

// A wall whose main face spans x in [0, 4], z in [0, 3] of the plane y = 0, and its child index (0: that face).
std::unique_ptr<Wall> readWall(const std::string& children, int flags = 0) {
    auto wall = std::make_unique<Wall>();
    std::istringstream in("Face " + std::to_string(flags) + " 1 4  0 0 0  4 0 0  4 0 3  0 0 3\n" + children + "End\n");
    wall->read(in);
    return wall;
}
Face* child(const Wall& wall, int index) {
    Entity* e = wall.first;
    while (index-- > 0) e = e->next;
    return static_cast<Face*>(e);
}
// What a ray from y = 5 toward the wall meets, at (x, 0, z) after t = 5.
Face* hitWall(Wall& wall, double x, double z, double tMax = 100) {
    Coord point;
    double t = 0;
    Face* hit = hitBy(Line(Coord(x, 5, z), Versor(0, -1, 0)), wall, point, t, tMax);
    EXPECT_TRUE(!hit || (near(point, {x, 0, z}) && std::abs(t - 5) < ROUNDING));
    return hit;
}
}  // namespace

using FaceGeometryTest = UiFixture;

TEST_F(FaceGeometryTest, RepeatedVerticesAreDroppedKeepingTheLastOfEachRunAndMessagesNameTheClass) {
    EntityList::lineNumber = 17;
    const Coord nearA(0.5e-6, 0, 0), apartA(1.5e-6, 0, 0);  // vertices within 1e-6 are the same vertex
    const struct { int kind; Pts given, kept; std::vector<std::string> messages; } cases[] = {  // kind: face, hole, door
        {0, {A, B, C, C}, {A, B, C}, {}},  // a quadrilateral with a repeated corner is a plain triangle: silent
        {0, {A, B, A, C}, {B, A, C}, {}},
        {1, {nearA, A, B, C, D, D}, {A, B, C, D}, {"Warning: Reducing Hole with 6 vertices to 4 at line 17"}},
        {0, {B, C, A, apartA}, {B, C, A, apartA}, {}},
        {0, {A, A, B, B}, {}, {"Warning: Reducing Face with 4 vertices to 2 at line 17", "Warning: Ignoring Face with 2 vertices only at line 17"}},
        {2, {A, B}, {}, {"Warning: Ignoring Door with 2 vertices only at line 17"}},
        {0, regularPolygon(64), regularPolygon(64), {}},
        {2, regularPolygon(65), {}, {"Warning: Ignoring Door with 65 edges (max.64) in line 17"}},
        {1, {A, B, C, {0, 1, 0.0006}}, {A, B, C, D}, {"Warning: vertex 3 is not complanar to Hole in line 17"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ui.boxes.clear();
        auto face = makeFace(c.given, 0, c.kind);
        EXPECT_EQ(boxTexts(), c.messages);
        ASSERT_EQ(face->isValid() ? face->vertexCount : 0u, c.kept.size());  // nothing usable is left when refused
        for (std::size_t i = 0; i < c.kept.size(); ++i) EXPECT_TRUE(near(face->vertices[i], c.kept[i])) << i;
    }
}

TEST_F(FaceGeometryTest, PlaneFromTheFirstThirdAndTwoThirdsVerticesWhichTheOthersAreMovedOnto) {
    // n = 4 and 5 take P0 P1 P2 and P0 P1 P3, n = 6 P0 P2 P4. The others are moved along the normal when 1e-6
    // or more away, and reported when farther than c/2: on the plane z = x, (0,1,h) is h/sqrt2 away and moves
    // by (h/2, 0, -h/2). The box is taken once they are moved.
    const struct { double c; Pts vertices; Vector normal; double d; std::vector<int> reported; Coord fourth; } cases[] = {
        {0.001, {A, B, C, {0, 1, 0.0005}}, {0, 0, 1}, 0, {}, D},  {0.001, {A, B, C, {0, 1, -0.0006}}, {0, 0, 1}, 0, {3}, D},
        {0.002, {A, B, C, {0, 1, 0.0006}}, {0, 0, 1}, 0, {}, D},
        {0.001, {A, B, C, {0, 1, 0.5e-6}}, {0, 0, 1}, 0, {}, {0, 1, 0.5e-6}},
        {0.001, {{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 0.0008}}, {-R, 0, R}, 0, {3}, {0.0004, 1, 0.0004}},
        {0.001, {{0, 0, 2}, {0, 1, 2}, {1, 1, 2}, {1, 0, 2}}, {0, 0, -1}, 2, {}, {1, 0, 2}},  // clockwise from +z
        {0.001, {{0, 0, 0}, {4, 0, 0}, {4, 3, 4e-4}, {2, 5, 0}, {0, 3, 0}}, {0, 0, 1}, 0, {}, {2, 5, 0}},
        {0.001, {{0, 0, 0}, {2, 0, 6e-4}, {2, 1, 0}, {1, 1, 3e-4}, {1, 2, 0}, {0, 2, -7e-4}}, {0, 0, 1}, 0, {1, 5}, C},
    };
    EntityList::lineNumber = 17;
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ui.boxes.clear();
        parameters.CrackTolerance = c.c;
        auto face = makeFace(c.vertices);
        std::vector<std::string> expected;
        for (int i : c.reported) expected.push_back("Warning: vertex " + std::to_string(i) + " is not complanar to Face in line 17");
        EXPECT_EQ(boxTexts(), expected);
        EXPECT_TRUE(near(face->plane.normal(), c.normal) && std::abs(face->plane.d - c.d) < ROUNDING);
        for (std::size_t i = 0; i < face->vertices.size(); ++i)
            EXPECT_TRUE(near(face->vertices[i], i == 3 ? c.fourth : c.vertices[i] - face->plane.signedDistance(c.vertices[i]) * c.normal)) << i;
        const auto top = std::max_element(face->vertices.begin(), face->vertices.end(), [](auto& p, auto& q) { return p.z < q.z; });
        EXPECT_NEAR(face->boxMax.z, top->z + c.c, ROUNDING);
    }
}

TEST_F(FaceGeometryTest, AreaCarriesACrackBandUnlessTheFaceIsABoxRectangle) {
    // The band is 5 c times the perimeter.
    const struct { double c; Pts vertices; double area; bool boxRectangle, convex; } cases[] = {
        {0.001, {A, B, C, D}, 1, true, true},
        {0.001, {{0, 0, 0}, {1, 1, 0}, {1, 1, 1}, {0, 0, 1}}, SQRT2, true, true},  // across the box [0,1]^3
        {0.001, {{0, 0, 0}, {1, 1e-9, 0}, {1, 1, 0}, {0, 1, 0}}, 1 - 0.5e-9 + 0.005 * (4 - 1e-9), false, true},
        {0.01, {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, 6 + 0.05 * 12, false, true},
        {0.001, {{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {2, 5, 0}, {0, 3, 0}}, 16 + 0.005 * (10 + 4 * SQRT2), false, true},
        {0.001, {A, B, C, D, {0, 0.5, 0}}, 1 + 0.005 * 4, false, true},  // a collinear vertex counts neither way
        {0.001, lShape(), 3 + 0.005 * 8, false, false},
        // A C started in its notch: P0 P2 P5 turn against the outline, so the normal is -z.
        {0.001, {{1, 1, 0}, {1, 2, 0}, {3, 2, 0}, {3, 3, 0}, {0, 3, 0}, {0, 0, 0}, {3, 0, 0}, {3, 1, 0}}, 7 + 0.005 * 16, false, false},
        {0.001, {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {0.5, 1, 0}}, 1.5 + 0.015 * std::sqrt(5.0), false, false},  // a dart
    };
    for (const auto& c : cases) {
        parameters.CrackTolerance = c.c;
        auto face = makeFace(c.vertices);
        EXPECT_NEAR(face->area, c.area, ROUNDING) << &c - cases;
        EXPECT_TRUE(face->isBoxRectangle == c.boxRectangle && face->isConvex == c.convex) << &c - cases;
    }
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(FaceGeometryTest, ConvexFacesContainPointsWithinTheCrackBandConcaveOnesByCrossings) {
    // A point h outside an edge of length L of a convex face adds L h to the edge triangles: it is in while L h
    // stays within the band 5 c perimeter. Diamond: L = sqrt2, band 0.02 sqrt2, so h up to 0.02. Pentagon:
    // L = 2 sqrt2, band 0.005 (10 + 4 sqrt2) = 0.0783, so h up to 0.0277.
    const Pts square = {A, B, C, D}, diamond = {{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}};
    const Pts pentagon = {{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {2, 5, 0}, {0, 3, 0}}, tilted = {{0, 0, 0}, {1, 0, 1}, {0, 1, 0}};
    const struct { double c; const Pts& vertices; Coord point; bool inside; } cases[] = {
        {0.001, square, {1.0009, 0.5, 0}, true},  {0.001, square, {1.002, 0.5, 0}, false},
        {0.01, square, {1.005, 0.5, 0}, true},    {0.01, square, {1.012, 0.5, 0}, false},
        {0.001, diamond, {1, 1, 0}, true},        {0.001, diamond, {0.2, 0.2, 0}, false},
        {0.001, diamond, {1.5 + 0.015 * R, 0.5 - 0.015 * R, 0}, true}, {0.001, diamond, {1.5 + 0.025 * R, 0.5 - 0.025 * R, 0}, false},
        {0.001, pentagon, {3 + 0.02 * R, 4 + 0.02 * R, 0}, true}, {0.001, pentagon, {3 + 0.035 * R, 4 + 0.035 * R, 0}, false},
        {0.001, tilted, {0.2, 0.2, 0.2}, true},   {0.001, tilted, {0.6, 0.6, 0.6}, false},  // in the plane z = x
    };
    for (const auto& c : cases) {
        parameters.CrackTolerance = c.c;
        EXPECT_EQ(makeFace(c.vertices)->contains(c.point), c.inside) << "row " << &c - cases;
    }
    // The bounds of the box, widened by c = 0.001, belong to it.
    parameters.CrackTolerance = 0.001;
    auto face = makeFace(square);
    EXPECT_TRUE(near(face->boxMin, {-0.001, -0.001, -0.001}) && near(face->boxMax, {1.001, 1.001, 0.001}));
    EXPECT_TRUE(face->contains({face->boxMax.x, 0.5, 0}) && face->contains({0.5, face->boxMin.y, 0}));
    EXPECT_FALSE(face->contains({std::nextafter(face->boxMax.x, 2.0), 0.5, 0}));
    EXPECT_FALSE(face->contains({0.5, std::nextafter(face->boxMin.y, -1.0), 0}));
    // A concave face is tested by crossings: the L in planes normal to each axis and in the tie planes.
    const std::function<Coord(double, double)> planes[] = {
        [](double u, double v) { return Coord(u, v, 1); },  [](double u, double v) { return Coord(3, u, v); },
        [](double u, double v) { return Coord(u, -2, v); }, [](double u, double v) { return Coord(u, -u, v); },
        [](double u, double v) { return Coord(u, v, -v); }, [](double u, double v) { return Coord(v, u, v); }};
    for (const auto& c : planes) {
        auto lFace = makeFace(lShape(c));
        EXPECT_FALSE(lFace->isConvex);
        // The arm points fail the area test (the L is not star-shaped from them): only the crossings accept
        // them. The crossing test has no band: 0.0005 beyond u = 2 is out, though inside the widened box.
        for (auto [u, v, in] : {std::tuple{0.5, 0.5, true}, {0.5, 1.5, true}, {1.5, 0.5, true}, {1.5, 1.5, false},
                                {2.0005, 0.5, false}})
            EXPECT_EQ(lFace->contains(c(u, v)), in) << &c - planes << ": " << u << " " << v;
    }
    // A notch open to the left: from it the way out crosses its end and the outer side, twice.
    auto notched = makeFace({{3, 3, 0}, {0, 3, 0}, {0, 2, 0}, {2, 2, 0}, {2, 1, 0}, {0, 1, 0}, {0, 0, 0}, {3, 0, 0}});
    EXPECT_FALSE(notched->contains({1, 1.5, 0}));
    EXPECT_TRUE(notched->contains({2.5, 1.5, 0}) && notched->contains({1, 0.5, 0}) && notched->contains({1, 2.5, 0}));
}

TEST_F(FaceGeometryTest, HitByFindsTheFaceAheadWithinTheRange) {
    // Unit square in z = 0: t = (N . origin + d) / -(dir . N). Both sides reflect; leaving transparent faces
    // out is the model's business, not the hit test's. Parallel (|dir . N| < 1e-6): no hit, t = 1e12.
    const Versor down(0, 0, -1), up(0, 0, 1);
    const struct { std::uint32_t flags; Line ray; double tMax, t; } cases[] = {  // t 0: no hit
        {0, Line(Coord(0.5, 0.5, -2), up), 10, 2},        {FaceFlag::reversed | FaceFlag::open, Line(Coord(0.5, 0.5, 1), down), 10, 1},
        {0, Line(Coord(0.5, 0.5, 1), up), 10, 0},         {0, Line(Coord(0.5, 0.5, 0), down), 10, 0},
        {0, Line(Coord(0.5, 0.5, 1e-6), down), 10, 0},    {0, Line(Coord(0.5, 0.5, 2e-6), down), 10, 2e-6},
        {0, Line(Coord(0.5, 0.5, 1), down), 1 - 0.5e-6, 1}, {0, Line(Coord(0.5, 0.5, 1), down), 1 - 1.5e-6, 0},
        {0, Line(Coord(1.5, 0.5, 1), down), 10, 0},       {0, Line(Coord(1.0005, 0.5, 1), down), 10, 1},
        {0, Line(Coord(0.2, 0.1, 1), Versor(0.3, 0.4, -1)), 10, std::sqrt(1.25)},
        {0, Line(Coord(-1, 0.5, 0.5), Versor(1, 0, -0.5e-6)), 1e9, 1e12},  // the plane is met 1e6 away
    };
    for (const auto& c : cases) {
        auto face = makeFace({A, B, C, D}, c.flags);
        Coord point(-9, -9, -9);
        double t = -9;
        const bool hit = c.t > 0 && c.t < 1e12;
        EXPECT_EQ(hitBy(c.ray, *face, point, t, c.tMax), hit ? face.get() : nullptr) << &c - cases;
        EXPECT_TRUE(!hit || (near(point, c.ray.origin + c.t * c.ray.direction()) && std::abs(point.z) < ROUNDING)) << &c - cases;
        EXPECT_TRUE(c.t == 0 || std::abs(t - c.t) < ROUNDING) << &c - cases << ": " << t;
    }
}

TEST_F(FaceGeometryTest, RaysPassTransparentOpeningsOfAWallAndHitOpaqueOnes) {
    // An opening at x in [1, 2], z in [0, 2]; flags 4 reversed, 8 open.
    const struct { const char* opening; bool hitsOpening; } cases[] = {{"Door 0", true}, {"Door 8", false}, {"Door 4", true},
        {"Door 12", true}, {"Hole 0", false}, {"Hole 4", true}, {"Hole 8", false}, {"Hole 12", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opening);
        auto wall = readWall(std::string(c.opening) + " 2 4  1 0 0  2 0 0  2 0 2  1 0 2\n");
        EXPECT_TRUE(wall->face && wall->faceAt({1.5, 0, 1}) == child(*wall, 1));
        EXPECT_EQ(hitWall(*wall, 1.5, 1), c.hitsOpening ? child(*wall, 1) : nullptr);
        EXPECT_EQ(hitWall(*wall, 3, 1), wall->face);
        EXPECT_TRUE(!hitWall(*wall, 4.5, 1) && !hitWall(*wall, 3, 1, 4));  // past the main face's edge, beyond tMax
    }
    const std::string door = "Door 0 2 4  1 0 0  2 0 0  2 0 2  1 0 2\n", hole = "Hole 0 3 4  1 0 0  2 0 0  2 0 2  1 0 2\n";
    // A reversed main face stands for every point and is never hit; an open one has nothing at an opening.
    for (int flags : {4, 8}) {
        auto wall = readWall(door, flags);
        EXPECT_EQ(wall->faceAt({1.5, 0, 1}), flags == 4 ? wall->face : nullptr) << flags;
        EXPECT_TRUE(wall->faceAt({3, 0, 1}) == wall->face && !hitWall(*wall, 3, 1)) << flags;
    }
    // Overlapping openings are searched in list order; a second plain face is met like an opening.
    auto doorFirst = readWall(door + hole), holeFirst = readWall(hole + door), covered = readWall("Face 0 5 4  1 0 1  3 0 1  3 0 2  1 0 2\n");
    EXPECT_EQ(hitWall(*doorFirst, 1.5, 1), child(*doorFirst, 1));
    EXPECT_EQ(hitWall(*holeFirst, 1.5, 1), nullptr);
    EXPECT_TRUE(hitWall(*covered, 2, 1.5) == child(*covered, 1) && hitWall(*covered, 0.5, 0.5) == covered->face);
    // An L-shaped door and a triangular one (right angle at (3, 0.5)): their shapes count, not their boxes.
    // A rectangular door is its box, widened by c = 0.001.
    auto shaped = readWall("Door 0 2 6  0.5 0 0.5  2.5 0 0.5  2.5 0 1.5  1.5 0 1.5  1.5 0 2.5  0.5 0 2.5\n"
                           "Door 0 2 3  3 0 0.5  3.9 0 0.5  3 0 1.5\nDoor 0 2 4  3 0 2  4 0 2  4 0 3  3 0 3\n");
    const struct { Coord p; int child; } points[] = {{{2, 0, 1}, 1}, {{1, 0, 2}, 1}, {{2, 0, 2}, 0}, {{3.2, 0, 0.8}, 2},
        {{3.8, 0, 1.4}, 0}, {{2.9995, 0, 2.5}, 3}, {{2.998, 0, 2.5}, 0}, {{3.5, 0, 1.9995}, 3}, {{3.5, 0, 1.998}, 0}};
    for (const auto& c : points) EXPECT_EQ(shaped->faceAt(c.p), child(*shaped, c.child)) << &c - points;
}

TEST_F(FaceGeometryTest, DxfExport) {
    // A face and a door are a 3DFACE each (six significant digits); a wall exports its main face, then its
    // hole as a closed polyline on layer 1.
    std::ostringstream out;
    makeFace({{0, 0, 0}, {1.5, 0, 0}, {0.1234567, 2, 0}})->exportDxf(out);
    makeFace({{0, 0, 0}, {2, 0, 0}, {2, 0, 3}, {0, 0, 3}}, 0, 2)->exportDxf(out);
    readWall("Hole 0 2 3  1 0 0  2 0 0  2 0 1.5\n")->exportDxf(out);
    EXPECT_EQ(out.str(), readFile(TOLVENO_TEST_DATA "/model/golden/faces.dxf"));
}
