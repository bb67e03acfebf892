#include "tracing/PyramidSection.h"

#include <algorithm>
#include <cmath>

namespace {
double triangleArea(const Vector& a, const Vector& b, const Vector& c) { return cross(c - b, c - a).modulus() / 2; }
}  // namespace

void PyramidSection::set(const Vector& a, const Vector& b, const Vector& c) {
    edge0 = Versor(a);
    edge1 = Versor(b);
    edge2 = Versor(c);
    area = triangleArea(edge0, edge1, edge2) + 1e-6;
    updateShape();
    axis = Versor(centroid);
}

void PyramidSection::updateShape() {
    if (nearlyEqual(edge0, edge1)) {
        // No plane through a degenerate triangle: the first direction stands in for its normal.
        plane = Plane(Versor::unnormalised(edge0), 0);
    } else {
        const Versor normal(cross(edge1 - edge0, edge2 - edge0));
        plane = Plane(normal, -dot(normal, edge0));
    }
    centroid = Coord((edge0 + edge1 + edge2) * (1.0 / 3));
    // One root, of the largest square: a correctly rounded root keeps the order, so this is the largest distance to
    // the last bit.
    auto squared = [this](const Coord& e) {
        const Vector d = centroid - e;
        return dot(d, d);
    };
    radius = std::sqrt(std::max({squared(edge0), squared(edge1), squared(edge2)}));
}

bool PyramidSection::contains(const Coord& q) const {
    if (distance(q, centroid) > radius) return false;
    const double sum = triangleArea(q, edge0, edge1) + triangleArea(q, edge1, edge2) + triangleArea(q, edge2, edge0);
    return sum <= area;
}
