#pragma once
#include <array>
#include <vector>

#include "acoustics/Bands.h"

/// The room-average fluence the traced pyramids carry, per band and bin of 10 ms.
///
/// Each leg adds its pyramid's solid-angle share of its energy times the
/// length it runs within each bin, attenuated by the air along the way
/// (the "diffuse rain" estimate of ray tracing: divided by the room's volume
/// it is the fluence an average receiver meets, in the units of the impulse
/// responses). Unlike a receiver, it misses nothing when a pyramid grows wider
/// than the room, so it measures what the receivers miss.
struct LateField {
    /// Width of a bin, in seconds.
    static constexpr double binWidth = 0.01;
    /// The sums of bins 0 to Time / binWidth (rounded up), in path metres times energy.
    std::vector<std::array<double, bandCount>> bins;

    /// Adds a leg running from path length start to end (metres) with the energy the pyramid carries along it
    /// and its share (solid angle / 4π); the part beyond the last bin is dropped.
    void addLeg(double start, double end, const BandEnergies& energy, double share);
    /// Empties every bin, sized for the run's Time.
    void clear();
};
