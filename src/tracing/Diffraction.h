#pragma once
#include "acoustics/Bands.h"

class Model;
class Face;
struct Pyramid;
struct ObstructionList;

/// Sound bent around the edges of the obstructions between a leg's start and a receiver inside the pyramid.
///
/// This is where diffracted arrivals are recorded. Diffraction is not
/// computed in this version: the call records nothing and answers false, so
/// a receiver behind obstructions gets only what passes through them (the run
/// says so when Diffraction is set). Answers whether an arrival was recorded.
bool diffract(const Model& model, Pyramid& p, unsigned microphone, const ObstructionList& obstructions,
              const BandEnergies& energy, const Face* monopermeable);
