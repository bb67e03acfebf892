#pragma once

#include "geometry/Line.h"
#include "geometry/Plane.h"
#include "geometry/Vector.h"

// p rotated by angle radians about X_AXIS, Y_AXIS or Z_AXIS through the origin; any other axis returns p.
Coord rotate(const Vector& p, const Vector& axis, double angle);

// Meeting point of the whole line with the plane; false, with point untouched, when they are parallel.
inline bool intersect(const Line& line, const Plane& plane, Coord& point) {
    const double den = -dot(plane.normal(), line.direction());
    if (std::abs(den) < EPSILON) {
        return false;
    }
    // No check on the sign of t: callers ask about the whole line, not a ray.
    const double t = (dot(plane.normal(), line.origin) + plane.d) / den;
    point = line.origin + t * line.direction();
    return true;
}
