#include "tracing/TraceStatistics.h"

namespace {
void writeRay(std::ostream& out, const Coord& point, const Vector& direction) {
    out << " Ray " << point.x << ' ' << point.y << ' ' << point.z << ' ' << direction.x << ' ' << direction.y << ' '
        << direction.z << '\n';
}
}  // namespace

void TraceStatistics::escaped(const Line& ray) {
    ++escapedCount;
    if (escapedRays) writeRay(*escapedRays, ray.origin, ray.direction());
}

void TraceStatistics::edgeHit(std::uint32_t extraFaces, const Coord& legStart) {
    edgeHitCount += extraFaces;
    if (escapedRays) writeRay(*escapedRays, legStart, Vector(0, 0, 0));
}

void TraceStatistics::finished(std::int32_t order, double length, double squares) {
    reflectionCount += order;
    pathSum += length;
    pathSquareSum += squares;
}

void TraceStatistics::clearSums() {
    pathSum = 0;
    pathSquareSum = 0;
    reflectionCount = 0;
}
