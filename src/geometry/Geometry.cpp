#include "geometry/Geometry.h"

Coord rotate(const Vector& p, const Vector& axis, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    // Axes are matched within EPSILON so that directions read from input files still qualify.
    if (nearlyEqual(axis, Z_AXIS)) {
        return {p.x * c - p.y * s, p.y * c + p.x * s, p.z};
    }
    if (nearlyEqual(axis, Y_AXIS)) {
        return {p.z * s + p.x * c, p.y, p.z * c - p.x * s};
    }
    if (nearlyEqual(axis, X_AXIS)) {
        return {p.x, p.y * c - p.z * s, p.z * c + p.y * s};
    }
    return p;
}
