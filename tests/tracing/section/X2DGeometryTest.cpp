#include <gtest/gtest.h>

#include <cmath>

#include "tracing/section/PathNode.h"
#include "tracing/section/X2DArray.h"
#include "tracing/section/X2DRectangle.h"
#include "tracing/section/X2DSegment.h"

TEST(X2DVectorTest, Arithmetic) {
    const X2DVector a(3, 4), b(-1, 2);
    EXPECT_DOUBLE_EQ(a.length(), 5);  // 3-4-5 triangle
    EXPECT_DOUBLE_EQ(a.dot(b), 3 * -1 + 4 * 2);
    EXPECT_DOUBLE_EQ(a.cross(b), 3 * 2 - 4 * -1);
    const X2DVector d = a - b;
    EXPECT_DOUBLE_EQ(d.x, 4);
    EXPECT_DOUBLE_EQ(d.y, 2);
    EXPECT_DOUBLE_EQ(X2DPoint(1, 1).distanceTo(X2DPoint(4, 5)), 5);
}

TEST(X2DArrayTest, CapacityStartsAtEightAndDoubles) {
    X2DArray array;
    EXPECT_EQ(array.capacity(), 8u);
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(array.add(std::make_unique<X2DPoint>(i, 0)));
    EXPECT_EQ(array.capacity(), 8u);
    array.add(std::make_unique<X2DPoint>(8, 0));
    EXPECT_EQ(array.capacity(), 16u);
    for (int i = 9; i < 17; ++i) array.add(std::make_unique<X2DPoint>(i, 0));
    EXPECT_EQ(array.count(), 17u);
    EXPECT_EQ(array.capacity(), 32u);
    EXPECT_FALSE(array.add(nullptr));
    EXPECT_EQ(array.count(), 17u);
}

TEST(X2DArrayTest, CopiesAreDeepAndKeepTheClasses) {
    X2DArray original;
    original.add(std::make_unique<PathNode>(X2DPoint(1, 2), Coord(7, 8, 9), 42));
    original.add(std::make_unique<X2DSegment>(X2DPoint(0, 0), X2DPoint(1, 1)));
    X2DArray copy(original);
    ASSERT_EQ(copy.count(), 2u);
    EXPECT_STREQ(copy.at(0).typeName(), "PathNode");
    EXPECT_STREQ(copy.at(1).typeName(), "X2DSegment");
    const auto& node = static_cast<const PathNode&>(copy.at(0));
    EXPECT_EQ(node.face, 42);
    EXPECT_DOUBLE_EQ(node.point.z, 9);
    // Changing the original leaves the copy as it was.
    static_cast<PathNode&>(original.at(0)).x = 100;
    EXPECT_DOUBLE_EQ(node.x, 1);
    original.remove(0);
    EXPECT_EQ(original.count(), 1u);
    EXPECT_EQ(copy.count(), 2u);
    EXPECT_STREQ(original.at(0).typeName(), "X2DSegment");
}

TEST(X2DArrayTest, TypedArraysRefuseOtherClasses) {
    X2DPolygon polygon;
    EXPECT_FALSE(polygon.add(std::make_unique<X2DSegment>()));
    EXPECT_TRUE(polygon.add(X2DPoint(0, 0)));
    EXPECT_TRUE(polygon.add(PathNode(X2DPoint(3, 4), Coord(), 1)));
    EXPECT_EQ(polygon.count(), 2u);
    EXPECT_STREQ(polygon.at(1).typeName(), "PathNode");
    EXPECT_DOUBLE_EQ(polygon.pathLength(), 5);

    X2DSegmentsArray segments;
    EXPECT_FALSE(segments.add(std::make_unique<X2DPoint>(1, 1)));
    EXPECT_TRUE(segments.add(X2DSegment(X2DPoint(0, 0), X2DPoint(0, 1))));
    EXPECT_EQ(segments.count(), 1u);
}

TEST(X2DArrayTest, StableSortKeepsTheOrderOfEqualKeys) {
    X2DArray array;
    const double xs[] = {3, 1, 2, 1, 0};
    for (int i = 0; i < 5; ++i) array.add(std::make_unique<X2DPoint>(xs[i], i));
    array.stableSort([](const X2DEntity& a, const X2DEntity& b) {
        return static_cast<const X2DPoint&>(a).x < static_cast<const X2DPoint&>(b).x;
    });
    const double expectedY[] = {4, 1, 3, 2, 0};  // x = 0, 1 (first), 1 (second), 2, 3
    for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(static_cast<const X2DPoint&>(array.at(i)).y, expectedY[i]) << i;
}

TEST(X2DSegmentTest, CrossingParameters) {
    const X2DSegment horizontal(X2DPoint(0, 0), X2DPoint(4, 0));
    const X2DSegment vertical(X2DPoint(1, -1), X2DPoint(1, 3));
    double s = 0, t = 0;
    ASSERT_TRUE(horizontal.meets(vertical, s, t));
    EXPECT_DOUBLE_EQ(s, 0.25);  // x = 1 of 4
    EXPECT_DOUBLE_EQ(t, 0.25);  // y = 0 is 1 of 4 up from -1
    EXPECT_TRUE(horizontal.crosses(vertical));
    // Touching at an end counts: both parameters lie within [0, 1].
    EXPECT_TRUE(horizontal.crosses(X2DSegment(X2DPoint(4, 0), X2DPoint(4, 2))));
    // Beyond an end does not.
    EXPECT_FALSE(horizontal.crosses(X2DSegment(X2DPoint(4.001, -1), X2DPoint(4.001, 1))));
    EXPECT_FALSE(horizontal.crosses(X2DSegment(X2DPoint(2, 0.001), X2DPoint(2, 1))));
    // Parallel segments never cross, even overlapping ones.
    EXPECT_FALSE(horizontal.meets(X2DSegment(X2DPoint(1, 0), X2DPoint(3, 0)), s, t));
    EXPECT_FALSE(horizontal.crosses(X2DSegment(X2DPoint(1, 0), X2DPoint(3, 0))));
}

TEST(X2DSegmentTest, LengthenedAtBothEnds) {
    const X2DSegment s(X2DPoint(0, 0), X2DPoint(3, 4));
    const X2DSegment longer = s.lengthened(0.5);
    // Along (0.6, 0.8): 0.5 beyond each end.
    EXPECT_DOUBLE_EQ(longer.a.x, -0.3);
    EXPECT_DOUBLE_EQ(longer.a.y, -0.4);
    EXPECT_DOUBLE_EQ(longer.b.x, 3.3);
    EXPECT_DOUBLE_EQ(longer.b.y, 4.4);
    EXPECT_DOUBLE_EQ(longer.length(), 6);
    const X2DSegment point(X2DPoint(1, 1), X2DPoint(1, 1));
    EXPECT_DOUBLE_EQ(point.lengthened(1).length(), 0);
}

TEST(X2DRectangleTest, ContainsIncludesTheBounds) {
    const X2DRectangle window(-1, 0, 4, 2);
    EXPECT_DOUBLE_EQ(window.right(), 3);
    EXPECT_DOUBLE_EQ(window.top(), 2);
    EXPECT_TRUE(window.contains(X2DPoint(-1, 0)));
    EXPECT_TRUE(window.contains(X2DPoint(3, 2)));
    EXPECT_FALSE(window.contains(X2DPoint(3.0001, 1)));
    EXPECT_FALSE(window.contains(X2DPoint(0, -0.0001)));
}

// Clipping to the window [0, 10] x [0, 5]: a table of segments and the expected parameter range.
TEST(X2DRectangleTest, ClipsSegmentsToTheWindow) {
    const X2DRectangle window(0, 0, 10, 5);
    struct Case {
        X2DSegment segment;
        bool inside;
        double t0, t1;
    };
    const Case cases[] = {
        {X2DSegment(X2DPoint(1, 1), X2DPoint(2, 2)), true, 0, 1},         // wholly inside
        {X2DSegment(X2DPoint(5, -5), X2DPoint(5, 15)), true, 0.25, 0.5},  // y -5..15 meets 0 and 5 at 1/4 and 1/2
        {X2DSegment(X2DPoint(-10, 1), X2DPoint(10, 1)), true, 0.5, 1},    // enters at x = 0, half way
        {X2DSegment(X2DPoint(11, 1), X2DPoint(12, 4)), false, 0, 0},      // beyond the right bound
        {X2DSegment(X2DPoint(-1, 6), X2DPoint(11, 6)), false, 0, 0},      // parallel to the top, above it
        {X2DSegment(X2DPoint(-1, 4), X2DPoint(1, 6)), true, 0.5, 0.5},    // touches the corner (0, 5) only
    };
    for (const Case& c : cases) {
        double t0 = -1, t1 = -1;
        EXPECT_EQ(window.clip(c.segment, t0, t1), c.inside) << c.segment.a.x << "," << c.segment.a.y;
        if (!c.inside) continue;
        EXPECT_NEAR(t0, c.t0, 1e-12);
        EXPECT_NEAR(t1, c.t1, 1e-12);
    }
}
