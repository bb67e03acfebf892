#pragma once
#include <cstdint>

#include "acoustics/Bands.h"
#include "geometry/Vector.h"

class Model;
class Face;
struct Pyramid;
struct ObstructionList;

/// Sound bent around the edges of the obstructions between a leg's start and
/// a receiver inside the pyramid: paths over one or two edges of the first
/// obstruction, around the corners of open holes and doors in its wall, or,
/// with Diffraction 3 and more, in a vertical section through both points.
/// Answers whether an arrival was recorded.
bool diffract(const Model& model, Pyramid& p, unsigned microphone, const ObstructionList& obstructions,
              const BandEnergies& energy, const Face* monopermeable);

/// The faces crossed by the segment a-b without its two ends (each shortened by the crack tolerance), in
/// the mode of Model::findObstructions; answers its count.
int obstructionsBetween(const Model& model, const Coord& a, const Coord& b, bool allFaces, const Face* excludeA,
                        const Face* excludeB, ObstructionList& list);

/// Offers the arrival of a diffracted path through points (on the edges of the faces numbered faceNumbers)
/// to the microphone, attenuated for its detour; answers whether it was recorded.
bool recordDiffractedPath(Pyramid& p, unsigned microphone, const BandEnergies& energy, int pointCount,
                          const Coord* points, const std::uint32_t* faceNumbers);

/// The Kurze-Anderson barrier attenuation, in energy, of a path of legs a and b around an edge
/// against the direct distance: zero energy when the path makes no detour.
BandEnergies barrierAttenuation(const BandEnergies& energy, double direct, double a, double b);
