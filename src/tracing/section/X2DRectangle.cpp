#include "tracing/section/X2DRectangle.h"

#include <algorithm>

#include "tracing/section/X2DSegment.h"

X2DRectangle::X2DRectangle(double left, double bottom, double width, double height)
    : X2DPoint(left, bottom), width(std::max(0.0, width)), height(std::max(0.0, height)) {}

bool X2DRectangle::contains(const X2DVector& p) const { return p.x >= x && p.x <= right() && p.y >= y && p.y <= top(); }

// Liang-Barsky: each of the four bounds narrows the parameter interval of the segment.
bool X2DRectangle::clip(const X2DSegment& segment, double& t0, double& t1) const {
    const X2DVector d = segment.b - segment.a;
    double lo = 0, hi = 1;
    const double p[4] = {-d.x, d.x, -d.y, d.y};
    const double q[4] = {segment.a.x - x, right() - segment.a.x, segment.a.y - y, top() - segment.a.y};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            // Parallel to this bound: wholly outside or wholly within its side.
            if (q[k] < 0) return false;
            continue;
        }
        const double r = q[k] / p[k];
        if (p[k] < 0)
            lo = std::max(lo, r);
        else
            hi = std::min(hi, r);
        if (lo > hi) return false;
    }
    t0 = lo;
    t1 = hi;
    return true;
}
