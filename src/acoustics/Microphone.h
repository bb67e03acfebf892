#pragma once
#include <array>

#include "acoustics/Bands.h"
#include "acoustics/ImpulseResponse.h"
#include "geometry/Line.h"
#include "geometry/Vector.h"

/// A receiver as the tracer sees it: where it is and where it faces, what it has heard.
///
/// `lateral` holds four groups of ten bands, summed over the arrivals within
/// 80 ms of the direct wave that come from neither straight ahead, straight
/// behind nor straight above or below: 0-9 the energy, 10-19 s · E from 5 ms,
/// 20-29 s² · E from 25 ms, 30-39 s² · E from 5 ms, with s the sine of the
/// horizontal angle between the arrival and the axis.
struct Microphone {
    /// Origin: the receiver position; direction: toward its aim point.
    Line axis;
    /// The energy impulse response.
    ImpulseResponse response;
    /// Early and lateral energies (a results file read back leaves its ratios in 10-39).
    std::array<float, 4 * bandCount> lateral{};

    /// Records an arrival (order 0: the direct wave) travelling along direction at time;
    /// false when the response refused it. One thread at a time: the tracer's threads add
    /// through the pyramids' logs, committed in turn.
    bool addArrival(const BandEnergies& energies, unsigned order, const Vector& direction, double time);
};
