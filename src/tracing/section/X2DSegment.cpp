#include "tracing/section/X2DSegment.h"

X2DSegment X2DSegment::lengthened(double margin) const {
    const double l = length();
    if (l == 0) return *this;
    const X2DVector step = (margin / l) * (b - a);
    return X2DSegment(X2DPoint(a - step), b.movedBy(step));
}

bool X2DSegment::meets(const X2DSegment& other, double& s, double& t) const {
    const X2DVector d = b - a;
    const X2DVector e = other.b - other.a;
    const double den = d.cross(e);
    if (den == 0) return false;
    const X2DVector w = other.a - a;
    s = w.cross(e) / den;
    t = w.cross(d) / den;
    return true;
}

bool X2DSegment::crosses(const X2DSegment& other) const {
    double s = 0, t = 0;
    return meets(other, s, t) && s >= 0 && s <= 1 && t >= 0 && t <= 1;
}
