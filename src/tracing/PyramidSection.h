#pragma once
#include "geometry/Plane.h"
#include "geometry/Vector.h"

/// The cross-section of a pyramid: three edge directions from the apex, with
/// what the containment test needs precomputed.
struct PyramidSection {
    Versor edge0;
    Versor edge1;
    Versor edge2;
    /// The central direction: the normalised centroid of the edge directions.
    Versor axis;
    /// The plain mean of the edge directions.
    Coord centroid;
    /// The largest distance from the centroid to an edge direction taken as a point.
    double radius = 0;
    /// The plane through the three edge directions taken as points.
    Plane plane;
    /// Half the cross product of the triangle, plus the tolerance 1e-6.
    double area = 0;

    /// Sets the section from three directions (normalised) and recomputes the derived fields.
    void set(const Vector& a, const Vector& b, const Vector& c);
    /// Recomputes plane, centroid and radius after the edge directions were turned (area and axis turn with them).
    void updateShape();
    /// Whether a point of the section's plane lies in the triangle (the 1e-6 of area is the only tolerance).
    bool contains(const Coord& q) const;
};
