#pragma once

#include "geometry/Vector.h"

// The infinite line origin + t·direction; the Versor base is the direction.
struct Line : Versor {
    Coord origin{0.0, 0.0, 0.0};

    // The x axis: direction (1, 0, 0) through the origin.
    constexpr Line() = default;
    // Line from a towards b; a == b yields a zero direction.
    constexpr Line(const Coord& a, const Coord& b) : Versor(b - a), origin(a) {}
    // Line through origin along dir, both copied as they stand.
    constexpr Line(const Coord& origin, const Versor& dir) : Versor(dir), origin(origin) {}
    // A bare Vector second argument could mean either a point or a direction; make the caller say which.
    Line(const Coord& origin, const Vector& v) = delete;

    // The direction, as a Versor.
    constexpr const Versor& direction() const { return *this; }
    // The direction, writable.
    constexpr Versor& direction() { return *this; }

    // Modulus is inherited from Versor: always 1.0, whatever the components.
};

static_assert(std::is_trivially_copyable_v<Line>);
