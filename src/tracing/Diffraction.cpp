#include "tracing/Diffraction.h"

bool diffract(const Model&, Pyramid&, unsigned, const ObstructionList&, const BandEnergies&, const Face*) {
    return false;
}
