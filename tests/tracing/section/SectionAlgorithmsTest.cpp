#include <gtest/gtest.h>

#include <cmath>

#include "model/Face.h"
#include "tracing/section/SectionDiffraction.h"

namespace {
void expectPoint(const Coord& actual, const Coord& expected, const char* what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-9) << what;
}

// A leg start and a receiver 10 m apart, the receiver 0.7 m to the side and 0.3 m higher.
const Coord start(0, 0, 1);
const Coord receiver(10, 0.7, 1.3);
}  // namespace

TEST(CutFaceTest, AVerticalBarrierIsCutFromFootToTop) {
    const Face barrier(Coord(5, -50, 0), Coord(5, 50, 0), Coord(5, 50, 3), Coord(5, -50, 3), 1);
    const SectionFrame frame = SectionFrame::vertical(start, receiver);
    const FaceCut cut = cutFace(barrier, frame.plane);
    ASSERT_TRUE(cut.cut);
    // The section runs through (x, 0.07 x): at x = 5 it is at y = 0.35, from the foot z = 0 to the top z = 3.
    expectPoint(cut.low, Coord(5, 0.35, 0), "low");
    expectPoint(cut.high, Coord(5, 0.35, 3), "high");
}

TEST(CutFaceTest, NearlyParallelFacesAreNotCut) {
    // The plane y = 0 and a unit-square face through the z axis, turned by an angle about it:
    // the normals make |cos| = |n_face . n_plane|, and the face always straddles the plane.
    const Plane plane(Y_AXIS, 0);
    struct Case {
        double cosine;
        bool cut;
    };
    for (const Case c : {Case{1.0, false}, Case{0.995, false}, Case{0.98, true}, Case{0.5, true}, Case{0.0, true}}) {
        const double sine = std::sqrt(1 - c.cosine * c.cosine);
        // In-face horizontal direction (cos, -sin, 0) is perpendicular to the normal (sin, cos, 0).
        const Vector along(c.cosine, -sine, 0);
        const Face face(Coord(-1 * along), Coord(1 * along), Coord(along + Vector(0, 0, 1)),
                        Coord(-1 * along + Vector(0, 0, 1)), 1);
        const FaceCut cut = cutFace(face, plane);
        EXPECT_EQ(cut.cut, c.cut) << "cos " << c.cosine;
        if (c.cut) {
            // Straddling y = 0 through the origin: the cut is the z axis from 0 to 1.
            expectPoint(cut.low, Coord(0, 0, 0), "low");
            expectPoint(cut.high, Coord(0, 0, 1), "high");
        }
    }
}

TEST(CutFaceTest, AFaceAwayFromThePlaneIsNotCut) {
    const Face face(Coord(1, 1, 0), Coord(2, 1, 0), Coord(2, 1, 1), Coord(1, 1, 1), 1);
    EXPECT_FALSE(cutFace(face, Plane(X_AXIS, 0)).cut);  // x = 0 lies left of x in [1, 2]
}

TEST(CutFaceTest, AHorizontalFaceGivesBothEndsOfTheCut) {
    // Ground from -100 to 100 cut by the vertical plane x = y: all crossings are at z = 0.
    const Face ground(Coord(-100, -100, 0), Coord(100, -100, 0), Coord(100, 100, 0), Coord(-100, 100, 0), 2);
    // The diagonal x = y meets the outline at two corners only, which lie on the plane: no edge has
    // its ends strictly on opposite sides, so there is no cut.
    EXPECT_FALSE(cutFace(ground, Plane(Versor(1, -1, 0), 0)).cut);
    const Plane turned(Versor(1, -0.5, 0), 0);  // x = y / 2: crosses y = -100 at x = -50 and y = 100 at x = 50
    const FaceCut chord = cutFace(ground, turned);
    ASSERT_TRUE(chord.cut);
    EXPECT_NEAR(distance(chord.low, chord.high), std::hypot(100.0, 200.0), 1e-9);
    EXPECT_NEAR(std::fabs(chord.low.x), 50, 1e-9);
    EXPECT_NEAR(std::fabs(chord.high.x), 50, 1e-9);
}

TEST(CutFaceTest, AHorizontalPlaneCutsAVerticalFaceAcross) {
    // The plane z = 1 has no horizontal direction of its own: the crossings are told apart across it.
    const Face barrier(Coord(5, -2, 0), Coord(5, 3, 0), Coord(5, 3, 10), Coord(5, -2, 10), 1);
    const FaceCut cut = cutFace(barrier, Plane(Z_AXIS, -1));
    ASSERT_TRUE(cut.cut);
    EXPECT_GT(distance(cut.low, cut.high), 4.999);
    const double ys[2] = {cut.low.y, cut.high.y};
    EXPECT_NEAR(std::min(ys[0], ys[1]), -2, 1e-9);
    EXPECT_NEAR(std::max(ys[0], ys[1]), 3, 1e-9);
    EXPECT_NEAR(cut.low.z, 1, 1e-9);
}

TEST(CutFaceTest, AVertexOnThePlaneIsNoCrossing) {
    // The triangle's vertex (0, 0, 2) lies on x = 0: only the opposite edge, from (-1, 0, 0) to (1, 0, 0),
    // has its ends strictly on opposite sides, so low and high are both its midpoint.
    Face triangle;
    const Coord points[] = {Coord(-1, 0, 0), Coord(1, 0, 0), Coord(0, 0, 2)};
    ASSERT_TRUE(triangle.setVertices(points, 3));
    const FaceCut cut = cutFace(triangle, Plane(X_AXIS, 0));
    ASSERT_TRUE(cut.cut);
    expectPoint(cut.low, Coord(0, 0, 0), "low");
    expectPoint(cut.high, Coord(0, 0, 0), "high");
}

TEST(SectionFrameTest, VerticalSectionCoordinates) {
    const SectionFrame frame = SectionFrame::vertical(start, receiver);
    // x: the horizontal distance sqrt(10^2 + 0.7^2); y: the height above the start.
    const X2DPoint r = frame.toSection(receiver);
    EXPECT_NEAR(r.x, std::sqrt(100.49), 1e-12);
    EXPECT_NEAR(r.y, 0.3, 1e-12);
    EXPECT_NEAR(frame.plane.signedDistance(start), 0, 1e-12);
    EXPECT_NEAR(frame.plane.signedDistance(receiver), 0, 1e-12);
    EXPECT_NEAR(frame.plane.normal().z, 0, 1e-12);
    expectPoint(frame.toSpace(r), receiver, "back to space");
    const X2DPoint h = frame.toSection(Coord(5, 0.35, 3));
    EXPECT_NEAR(h.x, std::sqrt(100.49) / 2, 1e-12);
    EXPECT_NEAR(h.y, 2, 1e-12);
}

TEST(SectionFrameTest, InclinedSectionHoldsThePathAndTheSideways) {
    const SectionFrame frame = SectionFrame::inclined(start, receiver);
    EXPECT_NEAR(frame.plane.signedDistance(start), 0, 1e-12);
    EXPECT_NEAR(frame.plane.signedDistance(receiver), 0, 1e-12);
    // The horizontal normal of the vertical section, (0.7, -10, 0) / |..|, lies in the plane.
    EXPECT_NEAR(dot(frame.plane.normal(), Versor(0.7, -10, 0)), 0, 1e-12);
    const X2DPoint r = frame.toSection(receiver);
    EXPECT_NEAR(r.x, std::sqrt(100.58), 1e-12);  // the straight distance
    EXPECT_NEAR(r.y, 0, 1e-12);
    // Sideways is to the left: looking along +x, the point (5, 2, 1) lies on the left.
    const SectionFrame plain = SectionFrame::inclined(Coord(0, 0, 1), Coord(10, 0, 1));
    EXPECT_NEAR(plain.toSection(Coord(5, 2, 1)).y, 2, 1e-12);
    EXPECT_NEAR(plain.plane.normal().z, 1, 1e-12);
}

namespace {
X2DArray nodesAt(const std::vector<X2DPoint>& points) {
    X2DArray nodes;
    std::int64_t face = 0;
    for (const X2DPoint& q : points) nodes.add(std::make_unique<PathNode>(q, Coord(q.x, 0, q.y), face++));
    static_cast<PathNode&>(nodes.at(nodes.count() - 1)).face = PathNode::receiverFace;
    return nodes;
}

std::vector<double> xs(const X2DArray& nodes) {
    std::vector<double> result;
    for (std::size_t i = 0; i < nodes.count(); ++i) result.push_back(static_cast<const X2DPoint&>(nodes.at(i)).x);
    return result;
}
}  // namespace

TEST(UpperHullTest, KeepsOnlyTheNodesOfTheHull) {
    X2DArray nodes = nodesAt({{0, 0}, {1, -0.5}, {2, 1}, {3, 0.2}, {4, 1.5}, {5, 0.1}, {6, 0}});
    upperHull(nodes);
    // Chord 0-6 (y = 0): node 1 lies below it; of the others (4, 1.5) is highest.
    // Chord 0-4 (y = 0.375 x): (3, 0.2) lies below 1.125, (2, 1) above 0.75 and joins.
    // Chord 4-6 (from 1.5 down to 0): (5, 0.1) lies below 0.75.
    EXPECT_EQ(xs(nodes), (std::vector<double>{0, 2, 4, 6}));
}

TEST(UpperHullTest, NothingAboveTheChordLeavesTheEnds) {
    X2DArray nodes = nodesAt({{0, 0}, {2, 0.1}, {4, 0.25}, {8, 0.5}});
    upperHull(nodes);
    // The chord rises 1/16 per metre: 0.125 at x = 2 (above 0.1), 0.25 at x = 4 (on it, so dropped too).
    EXPECT_EQ(xs(nodes), (std::vector<double>{0, 8}));
}

TEST(UpperHullTest, TheHighestNodeJoinsNotTheFarthest) {
    // Under the rising chord (0,0)-(10,10), (9, 9.5) is higher than (2, 8) and is taken first;
    // (2, 8) then lies above the chord to (9, 9.5) and joins too.
    X2DArray nodes = nodesAt({{0, 0}, {2, 8}, {9, 9.5}, {10, 10}});
    upperHull(nodes);
    EXPECT_EQ(xs(nodes), (std::vector<double>{0, 2, 9, 10}));
}

TEST(ShortestPathTest, EqualPathsTakeTheLowerIndexAndUnusableNodesAreLeftOut) {
    // Around a wall x = 5 from -1 to 1: over (5, 1.1) or under (5, -1.1), equally long.
    X2DArray nodes = nodesAt({{0, 0}, {5, 1.1}, {5, -1.1}, {10, 0}});
    X2DSegmentsArray walls;
    walls.add(X2DSegment(X2DPoint(5, -1), X2DPoint(5, 1)));
    std::vector<char> usable(4, 1);
    EXPECT_EQ(shortestPath(nodes, walls, usable), (std::vector<std::size_t>{0, 1, 3}));
    usable[1] = 0;
    EXPECT_EQ(shortestPath(nodes, walls, usable), (std::vector<std::size_t>{0, 2, 3}));
    usable[2] = 0;
    EXPECT_TRUE(shortestPath(nodes, walls, usable).empty());
}

TEST(ShortestPathTest, ThousandsOfNodes) {
    // A comb of 1500 teeth x = 1 ... 1500, each from -1 to 1 with a node just above it: the path
    // runs over every tooth's top (tops rise by 0.001 each, so each is above the line of its
    // neighbours) and the receiver at the far end is reached.
    std::vector<X2DPoint> points{{0, 0}};
    X2DSegmentsArray teeth;
    for (int i = 1; i <= 1500; ++i) {
        const double top = 1 + 0.001 * i * (1501 - i) / 1500.0;
        teeth.add(X2DSegment(X2DPoint(i, -1), X2DPoint(i, top)));
        points.emplace_back(i, top + 0.005);
    }
    points.emplace_back(1501, 0);
    X2DArray nodes = nodesAt(points);
    const std::vector<std::size_t> path = shortestPath(nodes, teeth, std::vector<char>(nodes.count(), 1));
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), 0u);
    EXPECT_EQ(path.back(), nodes.count() - 1);
}

TEST(SectionPathTest, AroundTwoWallsByTheVisibilityGraph) {
    // Source (0, 0) and receiver (10, 0) with walls x = 3 up to 2 and x = 7 up to 3; nodes just above
    // the tops. Source to the second top passes x = 3 at 1.29 < 2; the first top to the receiver
    // passes x = 7 at 1.14 < 3: the only path is over both tops.
    X2DArray nodes = nodesAt({{0, 0}, {3, 2.005}, {7, 3.005}, {10, 0}});
    X2DSegmentsArray walls;
    walls.add(X2DSegment(X2DPoint(3, -1), X2DPoint(3, 2.001)));
    walls.add(X2DSegment(X2DPoint(7, -1), X2DPoint(7, 3.001)));
    EXPECT_EQ(sectionPath(nodes, walls, false), (std::vector<std::size_t>{0, 1, 2, 3}));
    // A wall up to 40 at x = 5 closes the way.
    walls.add(X2DSegment(X2DPoint(5, -1), X2DPoint(5, 40)));
    EXPECT_TRUE(sectionPath(nodes, walls, false).empty());
}

// Source (0, 0), receiver (10, 0); node A (1, 1) ahead of the source, B (-1, 1) behind it, C (3, 8)
// high up. Short walls: V at x = -0.5 (0.3 to 0.7) hides B from the source, W at x = 1.5 (0.85 to
// 0.95) hides the receiver from A, G at x = 5 (-1 to 0.1) hides the receiver from the source.
// S-A-B-R: 1.414 + 2 + 11.045 = 14.46; S-C-R: 8.544 + 10.630 = 19.17; S-A-C-R: 1.414 + 7.280 + 10.630.
TEST(SectionPathTest, ADirectLegDoesNotRunBackBehindTheSource) {
    X2DArray nodes = nodesAt({{0, 0}, {-1, 1}, {1, 1}, {3, 8}, {10, 0}});
    X2DSegmentsArray walls;
    walls.add(X2DSegment(X2DPoint(-0.5, 0.3), X2DPoint(-0.5, 0.7)));
    walls.add(X2DSegment(X2DPoint(1.5, 0.85), X2DPoint(1.5, 0.95)));
    walls.add(X2DSegment(X2DPoint(5, -1), X2DPoint(5, 0.1)));
    // Indices: 0 source, 1 B, 2 A, 3 C, 4 receiver.
    EXPECT_EQ(sectionPath(nodes, walls, false), (std::vector<std::size_t>{0, 2, 1, 4}));
    EXPECT_EQ(sectionPath(nodes, walls, true), (std::vector<std::size_t>{0, 3, 4}));
}

TEST(SectionPathTest, APathThatStartsBehindTheSourceIsKept) {
    // The only way is back over B (-1, 1): the first inner node is behind the source, so the
    // rule for paths that turn back does not apply.
    X2DArray nodes = nodesAt({{0, 0}, {-1, 1}, {10, 0}});
    X2DSegmentsArray walls;
    walls.add(X2DSegment(X2DPoint(5, -1), X2DPoint(5, 0.1)));
    EXPECT_EQ(sectionPath(nodes, walls, true), (std::vector<std::size_t>{0, 1, 2}));
}

TEST(AddCutNodesTest, WindowRules) {
    const SectionFrame frame = SectionFrame::vertical(Coord(0, 0, 0), Coord(20, 0, 0));
    const X2DRectangle window(-8, 0, 28.01, 100);  // x from -8 to 20.01, y from 0 to 100
    X2DArray nodes;
    // A barrier from z = -1 to 120 at x = 5: the part inside the window runs from y = 0 to 100,
    // and both points where it leaves the window become nodes.
    FaceCut tall{true, Coord(5, 0, -1), Coord(5, 0, 120)};
    addCutNodes(tall, 3, frame, window, 0, nodes);
    ASSERT_EQ(nodes.count(), 2u);
    const auto& top = static_cast<const PathNode&>(nodes.at(1));
    EXPECT_NEAR(top.y, 100, 1e-9);
    EXPECT_NEAR(top.point.z, 100, 1e-9);
    EXPECT_EQ(top.face, 3);
    // Moved outward, those points leave the window: no node.
    nodes.clear();
    addCutNodes(tall, 3, frame, window, 0.005, nodes);
    EXPECT_EQ(nodes.count(), 0u);
    // A cut wholly behind the source gives none, even inside the window.
    addCutNodes(FaceCut{true, Coord(-3, 0, 1), Coord(-3, 0, 2)}, 4, frame, window, 0, nodes);
    EXPECT_EQ(nodes.count(), 0u);
    // Behind the source only nodes below 10 m count: of a cut from (-3, 5) to (2, 15) the end
    // (2, 15) is ahead and counts; (-3, 5) is behind but low and counts too.
    addCutNodes(FaceCut{true, Coord(-3, 0, 5), Coord(2, 0, 15)}, 5, frame, window, 0, nodes);
    EXPECT_EQ(nodes.count(), 2u);
    nodes.clear();
    addCutNodes(FaceCut{true, Coord(-3, 0, 12), Coord(2, 0, 15)}, 6, frame, window, 0, nodes);
    ASSERT_EQ(nodes.count(), 1u);  // (-3, 12) is behind and too high
    EXPECT_NEAR(static_cast<const PathNode&>(nodes.at(0)).x, 2, 1e-9);
    // With an offset the nodes stand beyond the ends, the point of space moved alike.
    nodes.clear();
    addCutNodes(FaceCut{true, Coord(6, 0, 1), Coord(6, 0, 3)}, 7, frame, window, 0.005, nodes);
    ASSERT_EQ(nodes.count(), 2u);
    EXPECT_NEAR(static_cast<const PathNode&>(nodes.at(0)).point.z, 0.995, 1e-12);
    EXPECT_NEAR(static_cast<const PathNode&>(nodes.at(1)).point.z, 3.005, 1e-12);
    EXPECT_NEAR(static_cast<const PathNode&>(nodes.at(1)).y, 3.005, 1e-12);
}
