#pragma once
#include "tracing/section/X2DEntity.h"

/// A segment of the section between two end points.
class X2DSegment : public X2DEntity {
public:
    X2DSegment() = default;
    /// The segment from a to b.
    X2DSegment(const X2DPoint& a, const X2DPoint& b) : a(a), b(b) {}

    std::unique_ptr<X2DEntity> clone() const override { return std::make_unique<X2DSegment>(*this); }

    /// The length.
    double length() const { return a.distanceTo(b); }
    /// The point a + t (b - a).
    X2DPoint pointAt(double t) const { return a.movedBy(t * (b - a)); }
    /// The segment extended by margin beyond each end (unchanged when it has no length).
    X2DSegment lengthened(double margin) const;
    /// Where the lines of this segment and other meet, as parameters s on this and t on other; false when parallel.
    bool meets(const X2DSegment& other, double& s, double& t) const;
    /// Whether the two segments have a point in common (both parameters within [0, 1]; parallel ones never do).
    bool crosses(const X2DSegment& other) const;

    X2DPoint a;
    X2DPoint b;
};
