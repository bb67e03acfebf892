#pragma once
#include <array>
#include <cstdint>

#include "acoustics/Bands.h"
#include "geometry/Line.h"
#include "tracing/PyramidSeed.h"

class Face;
class PyramidLog;

/// One reflection of a pyramid's history: the face's number and the hit point.
struct HistoryEntry {
    std::uint32_t face;
    Coord point;
};

/// One traced beam: its (image) apex, its cross-section and what it carries along its path.
///
/// A plain record; clones are made with clone().
struct Pyramid {
    static constexpr std::uint32_t historyCapacity = 16;

    /// A pyramid of a seed, carrying the source's energy along the seed's axis.
    Pyramid(const PyramidSeed& seed, const BandEnergies& energy);
    /// A clone: every field copied, except that nothing is scattered yet (a clone starts a new specular path).
    Pyramid clone() const;

    /// Mirrors the section and the apex in a plane (nothing when the plane's normal is zero).
    void reflect(const Plane& plane);
    /// Turns the pyramid back on itself about its hit point (a hit on an edge or a corner).
    void retroReflect();
    /// Starts the next leg at the hit point along the section's axis.
    void startLegAtHitPoint() { ray = Line(hitPoint, section.axis); }
    /// Whether a point lies inside the pyramid's volume (its infinite extension from the apex).
    bool contains(const Coord& q) const;
    /// Appends a reflection to the history while there is room.
    void record(std::uint32_t faceNumber, const Coord& point);

    Coord apex;
    PyramidSection section;
    std::uint32_t level = 0;
    Line ray;
    double lastLeg = 1e12;
    double pathLength = 0;
    double pathLengthSquares = 0;
    std::int32_t order = 0;
    BandEnergies energy{};
    BandEnergies scattered{};
    bool monopermeablePassed = false;
    Coord hitPoint;
    Face* lastFace = nullptr;
    std::array<HistoryEntry, historyCapacity> history{};
    std::uint32_t historyCount = 0;
    /// Where its arrivals go until committed (its clones share it); none: they are delivered at once.
    PyramidLog* log = nullptr;
};
