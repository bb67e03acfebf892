#pragma once

#include "geometry/Vector.h"

// The plane normal·p + d = 0; the Versor base is the normal, which points to the positive side.
struct Plane : Versor {
    double d = 0.0;

    // The plane z = 0 with normal (0, 0, 1).
    constexpr Plane() : Versor(Z_AXIS) {}
    // Plane with the given normal and offset, both copied as they stand.
    constexpr Plane(const Versor& normal, double d) : Versor(normal), d(d) {}

    // Plane through a, b, c, normal (b − a) × (c − a) by the right-hand rule; collinear points give a zero normal.
    static constexpr Plane through(const Coord& a, const Coord& b, const Coord& c) {
        const Versor n(cross(b - a, c - a));
        return {n, -dot(n, a)};
    }

    // The normal, as a Versor.
    constexpr const Versor& normal() const { return *this; }
    // The normal, writable.
    constexpr Versor& normal() { return *this; }

    // Signed distance of p: positive on the side the normal points to (exact only for a unit normal).
    constexpr double signedDistance(const Vector& p) const { return dot(normal(), p) + d; }

    // Modulus is inherited from Versor: always 1.0, whatever the components.
};

static_assert(std::is_trivially_copyable_v<Plane>);
