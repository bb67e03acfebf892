#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "model/Face.h"
#include "tracing/section/SectionDiffraction.h"

namespace {
X2DArray nodesAt(const std::vector<X2DPoint>& points) {  // PathNodes, the first the source, the last the receiver
    X2DArray nodes;
    for (const X2DPoint& q : points) nodes.add(std::make_unique<PathNode>(q, Coord(q.x, 0, q.y), nodes.count()));
    static_cast<PathNode&>(nodes.at(nodes.count() - 1)).face = PathNode::receiverFace;
    return nodes;
}

X2DSegmentsArray walls(const std::vector<std::pair<X2DPoint, X2DPoint>>& ends) {
    X2DSegmentsArray segments;
    for (const auto& [a, b] : ends) segments.add(X2DSegment(a, b));
    return segments;
}
}  // namespace

TEST(SectionTest, CutFaceGivesTheEndsOfTheCrossingOfAFaceOutlineAndAPlane) {
    const auto turned = [](double cos) {  // a unit square through the z axis with |n · y| = cos
        const Vector along(cos, -std::sqrt(1 - cos * cos), 0);
        return std::vector<Coord>{Coord(-1 * along), along, along + Vector(0, 0, 1), -1 * along + Vector(0, 0, 1)};
    };
    const std::vector<Coord> ground{{-100, -100, 0}, {100, -100, 0}, {100, 100, 0}, {-100, 100, 0}};
    const std::tuple<const char*, std::vector<Coord>, Plane, bool, Coord, Coord> cases[] = {
        // The vertical section from (0, 0, 1) to (10, 0.7, 1.3) runs through (x, 0.07 x).
        {"barrier", {{5, -50, 0}, {5, 50, 0}, {5, 50, 3}, {5, -50, 3}},
         SectionFrame::vertical(Coord(0, 0, 1), Coord(10, 0.7, 1.3)).plane, true, {5, 0.35, 0}, {5, 0.35, 3}},
        {"nearly parallel", turned(0.995), Plane(Y_AXIS, 0), false, {}, {}},
        {"steep enough", turned(0.98), Plane(Y_AXIS, 0), true, {0, 0, 0}, {0, 0, 1}},
        {"away from the plane", {{1, 1, 0}, {2, 1, 0}, {2, 1, 1}, {1, 1, 1}}, Plane(X_AXIS, 0), false, {}, {}},
        // Corners on the plane are no crossings: here no edge has its ends strictly on opposite sides...
        {"through two corners", ground, Plane(Versor(1, -1, 0), 0), false, {}, {}},
        // ...and here only the edge opposite the vertex (0, 0, 2) does.
        {"vertex on the plane", {{-1, 0, 0}, {1, 0, 0}, {0, 0, 2}}, Plane(X_AXIS, 0), true, {0, 0, 0}, {0, 0, 0}},
        // A horizontal cut is ordered along the plane's horizontal direction, here (-1, -2, 0) / √5; the plane z = 1
        // has none of its own: +x stands in, then +y across it.
        {"horizontal chord", ground, Plane(Versor(1, -0.5, 0), 0), true, {50, 100, 0}, {-50, -100, 0}},
        {"horizontal plane", {{5, -2, 0}, {5, 3, 0}, {5, 3, 10}, {5, -2, 10}}, Plane(Z_AXIS, -1), true, {5, -2, 1}, {5, 3, 1}},
    };
    for (const auto& [what, points, plane, crossed, low, high] : cases) {
        Face face;
        ASSERT_TRUE(face.setVertices(points.data(), static_cast<std::uint32_t>(points.size()))) << what;
        const FaceCut cut = cutFace(face, plane);
        EXPECT_EQ(cut.cut, crossed) << what;
        EXPECT_TRUE(!crossed || (nearlyEqual(cut.low, low) && nearlyEqual(cut.high, high))) << what;
    }
}

TEST(SectionTest, TheUpperHullKeepsTheHighestNodesAboveEachChord) {
    const std::pair<std::vector<X2DPoint>, std::vector<double>> cases[] = {
        // Chord 0-6 (y = 0): (1, -0.5) below; (4, 1.5) highest joins. Chord 0-4 (y = 0.375 x): (3, 0.2) below 1.125,
        // (2, 1) above 0.75 joins. Chord 4-6: (5, 0.1) below 0.75.
        {{{0, 0}, {1, -0.5}, {2, 1}, {3, 0.2}, {4, 1.5}, {5, 0.1}, {6, 0}}, {0, 2, 4, 6}},
        // The chord rises 1/16 per metre: 0.125 at x = 2 (above 0.1), 0.25 at x = 4 (on it: dropped too).
        {{{0, 0}, {2, 0.1}, {4, 0.25}, {8, 0.5}}, {0, 8}},
        // Under the chord to (10, 10), (9, 9.5) is higher than (2, 8) and joins first; then (2, 8) lies above the
        // chord to (9, 9.5) and joins too.
        {{{0, 0}, {2, 8}, {9, 9.5}, {10, 10}}, {0, 2, 9, 10}},
    };
    for (const auto& [points, kept] : cases) {
        X2DArray nodes = nodesAt(points);
        upperHull(nodes);
        std::vector<double> xs;
        for (std::size_t i = 0; i < nodes.count(); ++i) xs.push_back(static_cast<const X2DPoint&>(nodes.at(i)).x);
        EXPECT_EQ(xs, kept);
    }
}

TEST(SectionTest, TheShortestPathGoesAroundTheObstaclesWithoutRunningBackBehindTheSource) {
    // Around a wall x = 5 from -1 to 1 over (5, 1.1) or under (5, -1.1), equally long: the lower index wins,
    // unless it is not usable.
    const X2DArray around = nodesAt({{0, 0}, {5, 1.1}, {5, -1.1}, {10, 0}});
    std::vector<char> usable(4, 1);
    EXPECT_EQ(shortestPath(around, walls({{{5, -1}, {5, 1}}}), usable), (std::vector<std::size_t>{0, 1, 3}));
    usable[1] = 0;
    EXPECT_EQ(shortestPath(around, walls({{{5, -1}, {5, 1}}}), usable), (std::vector<std::size_t>{0, 2, 3}));
    // Walls x = 3 up to 2 and x = 7 up to 3, nodes just above their tops: source to the second top passes x = 3 at
    // 1.29 < 2, the first top to the receiver passes x = 7 at 1.14 < 3, so the path goes over both; a wall at x = 5
    // up to 40 closes the way.
    const X2DArray tops = nodesAt({{0, 0}, {3, 2.005}, {7, 3.005}, {10, 0}});
    X2DSegmentsArray both = walls({{{3, -1}, {3, 2.001}}, {{7, -1}, {7, 3.001}}});
    EXPECT_EQ(sectionPath(tops, both, false), (std::vector<std::size_t>{0, 1, 2, 3}));
    both.add(X2DSegment(X2DPoint(5, -1), X2DPoint(5, 40)));
    EXPECT_TRUE(sectionPath(tops, both, false).empty());
    // A (1, 1) ahead of the source, B (-1, 1) behind it, C (3, 8); short walls at x = -0.5 hide B from the source,
    // at x = 1.5 the receiver from A, at x = 5 the receiver from the source. S-A-B-R (14.46 m) runs back behind the
    // source after going ahead: a direct leg takes S-C-R (19.17 m). When the only way starts over B, it is kept.
    const X2DArray abc = nodesAt({{0, 0}, {-1, 1}, {1, 1}, {3, 8}, {10, 0}});
    const X2DSegmentsArray short3 = walls({{{-0.5, 0.3}, {-0.5, 0.7}}, {{1.5, 0.85}, {1.5, 0.95}}, {{5, -1}, {5, 0.1}}});
    EXPECT_EQ(sectionPath(abc, short3, false), (std::vector<std::size_t>{0, 2, 1, 4}));
    EXPECT_EQ(sectionPath(abc, short3, true), (std::vector<std::size_t>{0, 3, 4}));
    EXPECT_EQ(sectionPath(nodesAt({{0, 0}, {-1, 1}, {10, 0}}), walls({{{5, -1}, {5, 0.1}}}), true),
              (std::vector<std::size_t>{0, 1, 2}));
    // A comb of 1500 teeth x = 1 ... 1500 from -1 up to tops rising towards the middle, a node just above each.
    std::vector<X2DPoint> points{{0, 0}};
    X2DSegmentsArray teeth;
    for (int i = 1; i <= 1500; ++i) {
        const double top = 1 + 0.001 * i * (1501 - i) / 1500.0;
        teeth.add(X2DSegment(X2DPoint(i, -1), X2DPoint(i, top)));
        points.emplace_back(i, top + 0.005);
    }
    points.emplace_back(1501, 0);
    const std::vector<std::size_t> path = shortestPath(nodesAt(points), teeth, std::vector<char>(points.size(), 1));
    EXPECT_TRUE(path.size() > 2 && path.front() == 0 && path.back() == points.size() - 1);
}

TEST(SectionTest, CutNodesStandAtTheEndsOfACutInsideTheWindow) {
    const SectionFrame frame = SectionFrame::vertical(Coord(0, 0, 0), Coord(20, 0, 0));
    const X2DRectangle window(-8, 0, 28.01, 100);  // x from -8 to 20.01, y from 0 to 100
    const std::tuple<Coord, Coord, double, std::vector<Coord>> cases[] = {  // cut, offset, nodes
        // Where a barrier from z = -1 to 120 leaves the window; moved outward, those points are outside.
        {{5, 0, -1}, {5, 0, 120}, 0, {{5, 0, 0}, {5, 0, 100}}},
        {{5, 0, -1}, {5, 0, 120}, 0.005, {}},
        // Wholly behind the source: none. Behind it only nodes below 10 m count.
        {{-3, 0, 1}, {-3, 0, 2}, 0, {}},
        {{-3, 0, 5}, {2, 0, 15}, 0, {{-3, 0, 5}, {2, 0, 15}}},
        {{-3, 0, 12}, {2, 0, 15}, 0, {{2, 0, 15}}},
        {{6, 0, 1}, {6, 0, 3}, 0.005, {{6, 0, 0.995}, {6, 0, 3.005}}},  // beyond both ends
    };
    for (const auto& [low, high, offset, wanted] : cases) {
        X2DArray added;
        addCutNodes(FaceCut{true, low, high}, 3, frame, window, offset, added);
        ASSERT_EQ(added.count(), wanted.size()) << low.x << ' ' << low.z;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto& node = static_cast<const PathNode&>(added.at(i));
            EXPECT_TRUE(node.face == 3 && nearlyEqual(node.point, wanted[i]) && nearlyEqual(frame.toSpace(node), node.point));
        }
    }
}

TEST(SectionTest, SegmentsCrossWhereTheyTouchAndClipToTheWindow) {
    const X2DSegment horizontal(X2DPoint(0, 0), X2DPoint(4, 0));
    // Touching at an end counts; beyond an end does not; parallel segments never cross, even overlapping.
    EXPECT_TRUE(horizontal.crosses(X2DSegment(X2DPoint(4, 0), X2DPoint(4, 2))));
    EXPECT_FALSE(horizontal.crosses(X2DSegment(X2DPoint(4.001, -1), X2DPoint(4.001, 1))));
    EXPECT_FALSE(horizontal.crosses(X2DSegment(X2DPoint(2, 0.001), X2DPoint(2, 1))));
    EXPECT_FALSE(horizontal.crosses(X2DSegment(X2DPoint(1, 0), X2DPoint(3, 0))));
    // Clipped to the window [0, 10] x [0, 5]: the parameter range inside.
    const std::tuple<X2DSegment, bool, double, double> cases[] = {
        {{{1, 1}, {2, 2}}, true, 0, 1},          // wholly inside
        {{{5, -5}, {5, 15}}, true, 0.25, 0.5},   // meets y = 0 and 5 at 1/4 and 1/2
        {{{-10, 1}, {10, 1}}, true, 0.5, 1},     // enters at x = 0, half way
        {{{11, 1}, {12, 4}}, false, 0, 0},       // beyond the right bound
        {{{-1, 6}, {11, 6}}, false, 0, 0},       // parallel to the top, above it
        {{{-1, 4}, {1, 6}}, true, 0.5, 0.5},     // touches the corner (0, 5) only
    };
    for (const auto& [segment, inside, t0, t1] : cases) {
        double from = -1, to = -1;
        ASSERT_EQ(X2DRectangle(0, 0, 10, 5).clip(segment, from, to), inside) << segment.a.x << ',' << segment.a.y;
        EXPECT_TRUE(!inside || (std::fabs(from - t0) < 1e-12 && std::fabs(to - t1) < 1e-12)) << segment.a.x << ',' << segment.a.y;
    }
}
