#pragma once
#include <array>
#include <vector>

#include "acoustics/Bands.h"
#include "geometry/Vector.h"

/// The fluence within a sphere around each receiver, per band and bin of 10 ms: each leg running through a
/// sphere adds its pyramid's solid-angle share of its energy times the chord, attenuated by the air along the
/// path, over the part of the sphere's volume inside the room (the receiver of classic ray tracing, the
/// "diffuse rain"). Unlike a receiver inside a pyramid, it misses nothing when pyramids grow wider than the room.
struct ReceiverSpheres {
    /// Width of a bin, in seconds.
    static constexpr double binWidth = 0.01;
    /// The radius of every sphere, in metres.
    static constexpr double radius = 1.0;
    /// Per receiver (index 0 is receiver 1): its position and the volume of its sphere within the room.
    std::vector<Coord> centres;
    std::vector<double> volumes;
    /// Per receiver, the sums of bins 0 to Time / binWidth (rounded up).
    std::vector<std::vector<std::array<double, bandCount>>> bins;

    /// The chord of the segment from a to b within sphere i as path lengths from a: false when it misses.
    bool chord(std::size_t i, const Coord& a, const Coord& b, double& enter, double& leave) const;
    /// Adds to sphere i the part of a leg between path lengths from and to (metres from the source, along the
    /// path travelled) with the energy the pyramid carries and its share (solid angle / 4π).
    void add(std::size_t i, double from, double to, const BandEnergies& energy, double share);
    /// Empties every bin, sized for the run's Time.
    void clear();
};
