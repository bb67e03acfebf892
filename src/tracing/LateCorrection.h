#pragma once

class Model;
class MicrophoneList;
struct TraceStatistics;

/// The correction of the late decay (settings key LateCorrection).
///
/// A receiver hears a pyramid only while it lies inside it: once pyramids
/// grow wider than the room, most image sources between their central rays
/// are never tested, and the late response falls short the more the longer it
/// lasts. A sphere around each receiver gathers the fluence of every leg that
/// runs through it (ReceiverSpheres), which misses nothing; from 80 ms after
/// its direct sound each receiver's response passes over to it.
namespace LateCorrection {
/// Sets up a sphere around every receiver: its centre and the part of its volume inside the room.
void prepare(const Model& model, const MicrophoneList& list, TraceStatistics& statistics);
/// Replaces the late part of every receiver's response by its sphere's fluence; answers false (nothing changed)
/// when the model lets more than 1 % of the pyramids escape, saying so in a warning when asked for the
/// correction, else in the log only (open spaces are traced with the key at its default every day).
bool apply(const TraceStatistics& statistics, MicrophoneList& list, double escapedShare, bool asked);
}  // namespace LateCorrection
