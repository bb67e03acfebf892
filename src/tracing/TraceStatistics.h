#pragma once
#include <cstdint>
#include <ostream>

#include "geometry/Line.h"
#include "tracing/ReceiverSpheres.h"

/// What the tracing of a source adds up over its pyramids: path sums, escapes
/// and edge hits, and the escaped-rays file while it is open.
///
/// Updated only by the commits of pyramids' logs, one thread at a time
/// (tracing/PyramidLog.h), in the order the pyramids were generated.
struct TraceStatistics {
    double pathSum = 0;
    double pathSquareSum = 0;
    double reflectionCount = 0;
    std::uint32_t escapedCount = 0;
    std::uint32_t edgeHitCount = 0;
    /// The escaped-rays file, or null.
    std::ostream* escapedRays = nullptr;
    /// The fluence around each receiver, kept only with LateCorrection on.
    ReceiverSpheres spheres;

    /// A pyramid left the model along ray.
    void escaped(const Line& ray);
    /// A central ray met extra faces at the same distance (an edge or corner), or a pyramid got stuck (extra 1).
    void edgeHit(std::uint32_t extraFaces, const Coord& legStart);
    /// Adds a finished path of a pyramid or clone to the sums: its reflections, length and sum of squared legs.
    void finished(std::int32_t order, double length, double squares);
    /// Clears the path sums.
    void clearSums();
};
