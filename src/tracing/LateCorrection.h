#pragma once
#include "geometry/Vector.h"

class Model;
class MicrophoneList;
struct TraceStatistics;

/// The correction of the late decay (settings key LateCorrection).
///
/// A receiver hears a pyramid only while it lies inside it: once pyramids
/// grow wider than the room, most image sources between their central rays
/// are never tested, and the late response falls short the more the longer it
/// lasts. Hidden probes spread through the room, served like receivers,
/// measure which share of the room-average fluence (LateField) the tracing
/// detects at each time; from 80 ms after its direct sound each receiver's
/// response is divided by that share, so it keeps its own character (a
/// receiver in a side room stays quieter than the average) while the losses
/// common to every receiver are made good.
namespace LateCorrection {
/// The number of probes.
inline constexpr int probeCount = 4;
/// Places the probes (microphones().probes) inside the model by a seeded random walk from the source.
void placeProbes(const Model& model, const Coord& source);
/// Divides the late part of every receiver's response by the share the probes detected; answers false
/// (nothing changed, a warning given) when the model lets more than 1 % of the pyramids escape.
bool apply(const Model& model, const TraceStatistics& statistics, MicrophoneList& list, double escapedShare);
}  // namespace LateCorrection
