#pragma once
#include <istream>
#include <ostream>

#include "geometry/Vector.h"

/// Reads the three coordinates of a point from a model file.
inline void readPoint(std::istream& in, Coord& p) { in >> p.x >> p.y >> p.z; }
/// Writes the three coordinates of a point, separated by single blanks.
inline void writePoint(std::ostream& out, const Coord& p) { out << p.x << ' ' << p.y << ' ' << p.z; }
