#pragma once
#include "tracing/section/X2DEntity.h"

class X2DSegment;

/// An axis-parallel window of the section: the lower left corner (x, y) and the extents.
class X2DRectangle : public X2DPoint {
public:
    X2DRectangle() = default;
    /// The window from (left, bottom) spanning width and height (negative extents count as 0).
    X2DRectangle(double left, double bottom, double width, double height);

    std::unique_ptr<X2DEntity> clone() const override { return std::make_unique<X2DRectangle>(*this); }

    /// The largest x of the window.
    double right() const { return x + width; }
    /// The largest y of the window.
    double top() const { return y + height; }
    /// Whether p lies in the window, bounds included.
    bool contains(const X2DVector& p) const;
    /// The part of segment inside the window as parameters t0 <= t1 of segment.pointAt; false when none.
    bool clip(const X2DSegment& segment, double& t0, double& t1) const;

    double width = 0;
    double height = 0;
};
