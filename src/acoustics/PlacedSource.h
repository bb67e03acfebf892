#pragma once
#include <cstdint>
#include <iosfwd>
#include <string_view>
#include <utility>

#include "acoustics/Bands.h"
#include "acoustics/SpeakerInfo.h"
#include "geometry/Line.h"

/// A source placed in the room: position, main axis, roll and its loudspeaker.
///
/// A plain record on the tracing path: no virtual operations.
struct PlacedSource {
    /// Aims the loudspeaker of speakerFile (found or loaded now) from position toward aimPoint.
    ///
    /// An aim point at the position (within 1e-6) aims along +X; one straight
    /// above or below aims at the point 0.01 along +X beside it.
    PlacedSource(const Coord& position, const Coord& aimPoint, std::string_view speakerFile, double roll);

    /// The energy per band radiated along the unit direction v (110 dB in every band while not loaded).
    BandEnergies radiatedEnergy(const Vector& v) const;

    /// The directivity entry that serves the unit direction v: (row, column), folded into 0-17 and 0-35.
    std::pair<int, int> directivityIndex(const Vector& v) const;

    /// Writes the source block of the results file, one flushed line at a time.
    void writeDescription(std::ostream& out) const;

    /// Origin: the source position; direction: the loudspeaker's main axis.
    Line axis;
    /// Roll about the main axis, degrees.
    double roll = 0;
    /// The loudspeaker, owned by the list of loaded loudspeakers.
    SpeakerInfo* speaker = nullptr;
    /// Milliseconds the tracing of this source took; 0 until the run sets it.
    std::int32_t processingTime = 0;
};
