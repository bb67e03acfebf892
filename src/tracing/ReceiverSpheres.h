#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "acoustics/Bands.h"
#include "geometry/Vector.h"
#include "model/BoxTree.h"

class Model;

/// The fluence within a sphere around each receiver, per band and bin of 10 ms: each leg running through a
/// sphere adds its pyramid's solid-angle share of its energy times the chord, attenuated by the air along the
/// path, over the sphere's volume (the receiver of classic ray tracing, the "diffuse rain"). Unlike a receiver
/// inside a pyramid, it misses nothing when pyramids grow wider than the room.
///
/// Where faces cut a sphere, both the volume and the chords are limited to the part the receiver sees: a
/// wall near the receiver does not dilute its fluence, and legs beyond a partition (in the next room) do not
/// add to it.
struct ReceiverSpheres {
    /// Width of a bin, in seconds.
    static constexpr double binWidth = 0.01;
    /// The radius of every sphere, in metres.
    static constexpr double radius = 1.0;
    /// Per receiver (index 0 is receiver 1): its position and the volume of its sphere the receiver sees.
    std::vector<Coord> centres;
    std::vector<double> volumes;
    /// Per receiver, the model's entries that cut its sphere; empty when the whole sphere is in view.
    std::vector<std::vector<std::uint32_t>> cuts;
    /// Per receiver, the sums of bins 0 to Time / binWidth (rounded up).
    std::vector<std::vector<std::array<double, bandCount>>> bins;

    /// Sets a sphere around every point (one NaN coordinate: an empty slot, which gathers nothing) and finds
    /// what of it each point sees in model.
    void place(const Model& model, const std::vector<Coord>& points);
    /// A segment as the chords need it: its start, unit direction and length (its direction and length worked
    /// out once for all the spheres it passes).
    struct Segment {
        Segment(const Coord& a, const Coord& b);
        Coord a;
        Vector u;
        double length;
    };
    /// The chord of segment within sphere i as path lengths from its start: false when it misses.
    bool chord(std::size_t i, const Segment& segment, double& enter, double& leave) const;
    /// Calls visit(i, middle, length) for every sphere i the segment from a to b runs through: the middle of
    /// its chord as a path length from a, and the length of the chord the receiver sees.
    template <class Visit>
    void visitChords(const Model& model, const Coord& a, const Coord& b, Visit&& visit) const;
    /// Adds to sphere i a chord of length at path length middle (metres from the source, along the path
    /// travelled), with the energy the pyramid carries and its share (solid angle / 4π).
    void add(std::size_t i, double middle, double length, const BandEnergies& energy, double share);
    /// Empties every bin, sized for the run's Time.
    void clear();

private:
    double seenLength(const Model& model, std::size_t i, const Coord& a, const Coord& b, double enter,
                      double leave) const;
    BoxTree tree_;
};

template <class Visit>
void ReceiverSpheres::visitChords(const Model& model, const Coord& a, const Coord& b, Visit&& visit) const {
    const Segment segment(a, b);
    if (!(segment.length > 0)) return;
    const auto one = [&](std::uint32_t i) {
        double enter = 0, leave = 0;
        if (!chord(i, segment, enter, leave)) return;
        const double length = cuts[i].empty() ? leave - enter : seenLength(model, i, a, b, enter, leave);
        if (length > 0) visit(i, 0.5 * (enter + leave), length);
    };
    const auto count = static_cast<std::uint32_t>(centres.size());
    if (!tree_.covers(count)) {
        for (std::uint32_t i = 0; i < count; ++i) one(i);
        return;
    }
    // The segment's box against a node's (compared in double, so rounding never narrows it): every sphere the
    // segment meets lies in a node its box overlaps.
    const double lo[3] = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
    const double hi[3] = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
    tree_.visitWhere(
        [&](const float* nodeLo, const float* nodeHi) {
            for (int k = 0; k < 3; ++k)
                if (nodeHi[k] < lo[k] || nodeLo[k] > hi[k]) return false;
            return true;
        },
        one);
}
