#include "tracing/TraceStatistics.h"

#include "tracing/Pyramid.h"

namespace {
void writeRay(std::ostream& out, const Coord& point, const Vector& direction) {
    out << " Ray " << point.x << ' ' << point.y << ' ' << point.z << ' ' << direction.x << ' ' << direction.y << ' '
        << direction.z << '\n';
}
}  // namespace

void TraceStatistics::escaped(const Line& ray) {
#pragma omp critical(escapeLock)
    {
        ++escapedCount;
        if (escapedRays) writeRay(*escapedRays, ray.origin, ray.direction());
    }
}

void TraceStatistics::edgeHit(std::uint32_t extraFaces, const Coord& legStart) {
#pragma omp critical(escapeLock)
    {
        edgeHitCount += extraFaces;
        if (escapedRays) writeRay(*escapedRays, legStart, Vector(0, 0, 0));
    }
}

void TraceStatistics::finished(const Pyramid& p) {
#pragma omp critical(statisticsLock)
    {
        reflectionCount += p.order;
        pathSum += p.pathLength;
        pathSquareSum += p.pathLengthSquares;
    }
}

void TraceStatistics::clearSums() {
    pathSum = 0;
    pathSquareSum = 0;
    reflectionCount = 0;
}
