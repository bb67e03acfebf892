#pragma once
#include <istream>
#include <ostream>

#include "foundation/NumberReader.h"
#include "geometry/Vector.h"

/// Reads the three coordinates of a point from a model file.
inline void readPoint(std::istream& in, Coord& p) {
    readNumber(in, p.x);
    readNumber(in, p.y);
    readNumber(in, p.z);
}
/// Writes the three coordinates of a point, separated by single blanks.
inline void writePoint(std::ostream& out, const Coord& p) { out << p.x << ' ' << p.y << ' ' << p.z; }
