#pragma once
#include <array>

#include "acoustics/Bands.h"
#include "tracing/Pyramid.h"

class Model;
class Face;
class PyramidLog;
struct ReceiverSpheres;

/// Follows one pyramid through the model, and the clones it spawns, until
/// each escapes, runs out of time or reflections, or gets stuck.
///
/// One tracer per call: its clone queue and recent legs are the calling
/// thread's own; everything the pyramid gives the run goes to its log. A
/// thread runs one tracer at a time: the clones are made in places the
/// thread keeps for the tracer it runs.
class PyramidTracer {
public:
    /// With spheres (LateCorrection on), every leg's chords through the receivers' spheres go to the log too.
    PyramidTracer(const Model& model, PyramidLog& log, const ReceiverSpheres* spheres = nullptr)
        : model_(model), log_(log), spheres_(spheres) {}

    /// Traces p (left in its final state, still the caller's) and then its clones, first in first out, into the log.
    void trace(Pyramid& p);

    /// The most pyramids queued at once, the one being traced included.
    static constexpr int queueSize = 16;

private:
    /// One leg and what follows it; false when q has finished.
    bool step(Pyramid& q);
    bool stuck(double lastLeg);
    void makeClone(const Pyramid& q, Face* monopermeable, const BandEnergies& savedEnergy);
    void reflect(Pyramid& q, int faces);

    const Model& model_;
    PyramidLog& log_;
    const ReceiverSpheres* spheres_;
    std::array<Pyramid*, queueSize> queue_{};
    int writeIndex_ = 1;
    int readIndex_ = 0;
    std::array<double, 4> recentLegs_{1e12, 1e12, 1e12, 1e12};
    // The pyramid's solid angle over 4π, for the receivers' spheres; 0 without them.
    double share_ = 0;
    int legIndex_ = 0;
};
