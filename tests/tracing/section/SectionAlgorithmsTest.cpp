#include <gtest/gtest.h>

#include <tuple>

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

using Path = std::vector<std::size_t>;
}  // namespace

TEST(SectionTest, TheUpperHullKeepsTheHighestNodeAboveEachChord) {
    const std::pair<std::vector<X2DPoint>, std::vector<double>> cases[] = {
        // Chord 0-6 (y = 0): (4, 1.5) highest joins. Chord 0-4 (y = 0.375 x): (2, 1) above 0.75 joins, (3, 0.2)
        // below 1.125 does not. Chord 4-6: (5, 0.1) below 0.75.
        {{{0, 0}, {1, -0.5}, {2, 1}, {3, 0.2}, {4, 1.5}, {5, 0.1}, {6, 0}}, {0, 2, 4, 6}},
        // The chord rises 1/16 per metre: 0.125 at x = 2 (above 0.1), 0.25 at x = 4 (on it: dropped too).
        {{{0, 0}, {2, 0.1}, {4, 0.25}, {8, 0.5}}, {0, 8}},
        // (9, 9.5) is higher than (2, 8) and joins first; then (2, 8) lies above the chord to (9, 9.5) and joins too.
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
    // Around x = 5 from -1 to 1, over (5, 1.1) or under (5, -1.1), equally long: the lower index, unless not usable.
    const X2DArray around = nodesAt({{0, 0}, {5, 1.1}, {5, -1.1}, {10, 0}});
    std::vector<char> usable(4, 1);
    EXPECT_EQ(shortestPath(around, walls({{{5, -1}, {5, 1}}}), usable), (Path{0, 1, 3}));
    usable[1] = 0;
    EXPECT_EQ(shortestPath(around, walls({{{5, -1}, {5, 1}}}), usable), (Path{0, 2, 3}));
    // Walls x = 3 up to 2 and x = 7 up to 3, nodes above their tops: source to the second top passes x = 3 at
    // 1.29, the first top to the receiver x = 7 at 1.14: the path goes over both. A wall at x = 5 up to 40 closes it.
    const X2DArray tops = nodesAt({{0, 0}, {3, 2.005}, {7, 3.005}, {10, 0}});
    X2DSegmentsArray both = walls({{{3, -1}, {3, 2.001}}, {{7, -1}, {7, 3.001}}});
    EXPECT_EQ(sectionPath(tops, both, false), (Path{0, 1, 2, 3}));
    both.add(X2DSegment(X2DPoint(5, -1), X2DPoint(5, 40)));
    EXPECT_TRUE(sectionPath(tops, both, false).empty());
    // A (1, 1) ahead of the source, B (-1, 1) behind it, C (3, 8); short walls hide B from the source, the receiver
    // from A and from the source. S-A-B-R (14.46 m) runs back behind the source: a direct leg takes S-C-R (19.17 m).
    const X2DArray abc = nodesAt({{0, 0}, {-1, 1}, {1, 1}, {3, 8}, {10, 0}});
    const X2DSegmentsArray hiding = walls({{{-0.5, 0.3}, {-0.5, 0.7}}, {{1.5, 0.85}, {1.5, 0.95}}, {{5, -1}, {5, 0.1}}});
    EXPECT_TRUE(sectionPath(abc, hiding, false) == (Path{0, 2, 1, 4}) && sectionPath(abc, hiding, true) == (Path{0, 3, 4}));
    // A comb of 1500 teeth x = 1 ... 1500 from -1 up to tops rising towards the middle, a node just above each.
    std::vector<X2DPoint> points{{0, 0}};
    X2DSegmentsArray teeth;
    for (int i = 1; i <= 1500; ++i) {
        const double top = 1 + 0.001 * i * (1501 - i) / 1500.0;
        teeth.add(X2DSegment(X2DPoint(i, -1), X2DPoint(i, top)));
        points.emplace_back(i, top + 0.005);
    }
    points.emplace_back(1501, 0);
    const Path path = shortestPath(nodesAt(points), teeth, std::vector<char>(points.size(), 1));
    EXPECT_TRUE(path.size() > 2 && path.front() == 0 && path.back() == points.size() - 1);
}

TEST(SectionTest, CutNodesStandAtTheEndsOfACutInsideTheWindow) {
    const SectionFrame frame = SectionFrame::vertical(Coord(0, 0, 0), Coord(20, 0, 0));
    const std::tuple<Coord, Coord, double, std::vector<Coord>> cases[] = {  // cut, offset, nodes
        // Where a barrier from z = -1 to 120 leaves the window (x -8 to 20.01, y 0 to 100); moved outward, outside.
        {{5, 0, -1}, {5, 0, 120}, 0, {{5, 0, 0}, {5, 0, 100}}},
        {{5, 0, -1}, {5, 0, 120}, 0.005, {}},
        {{6, 0, 1}, {6, 0, 3}, 0.005, {{6, 0, 0.995}, {6, 0, 3.005}}},  // beyond both ends
        // Wholly behind the source: none; behind it only nodes below 10 m count.
        {{-3, 0, 1}, {-3, 0, 2}, 0, {}},
        {{-3, 0, 5}, {2, 0, 15}, 0, {{-3, 0, 5}, {2, 0, 15}}},
        {{-3, 0, 12}, {2, 0, 15}, 0, {{2, 0, 15}}},
    };
    for (const auto& [low, high, offset, wanted] : cases) {
        X2DArray added;
        addCutNodes(FaceCut{true, low, high}, 3, frame, X2DRectangle(-8, 0, 28.01, 100), offset, added);
        ASSERT_EQ(added.count(), wanted.size()) << low.x << ' ' << low.z;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto& node = static_cast<const PathNode&>(added.at(i));
            EXPECT_TRUE(node.face == 3 && nearlyEqual(node.point, wanted[i]) && nearlyEqual(frame.toSpace(node), node.point));
        }
    }
}
