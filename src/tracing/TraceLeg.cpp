// One leg of a pyramid: the receivers it serves, then what the face hit does to it.
#include <cmath>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "results/HitsFile.h"
#include "run/RunParameters.h"
#include "tracing/Diffraction.h"
#include "tracing/EnergyModel.h"

namespace {
int side(const Plane& plane, const Coord& q) {
    const double s = plane.signedDistance(q);
    return (s > 0) - (s < 0);
}

bool anyAbove0(const BandEnergies& energy) {
    for (float e : energy)
        if (e > 0) return true;
    return false;
}

// The distance from a hit point to the nearest line of a face's edges.
double edgeDistance(const Face& face, const Coord& point) {
    double nearest = 1e12;
    for (const Line& edge : face.edgeLines)
        nearest = std::min(nearest, cross(point - edge.origin, edge.direction()).modulus());
    return nearest;
}
}  // namespace

int Model::traceLeg(Pyramid& p, Face*& monopermeable) const {
    Face* faces[4] = {};
    Coord hit;
    double d = 1e12;
    const int n = findHit(p, hit, d, faces, monopermeable);
    const RunParameters& run = parameters;
    const Coord& legStart = p.ray.origin;
    // A reflected pyramid serves only receivers strictly on the other side of
    // the reflecting face from its image source.
    const int apexSide = p.order > 0 ? side(p.lastFace->plane, p.apex) : 0;
    const bool passesMonopermeable = monopermeable && (monopermeable->flags & FaceFlag::obstructing);
    MicrophoneList& list = microphones();
    ObstructionList obstructions;
    for (unsigned i = list.receiverCount(); i >= 1; --i) {
        Microphone* microphone = list.at(static_cast<int>(i));
        if (!microphone) continue;
        const Coord& receiver = microphone->axis.origin;
        if (p.order > 0 && side(p.lastFace->plane, receiver) * apexSide >= 0) continue;
        bool inside = p.contains(receiver);
        // A receiver nearer the image source than the path travelled lies
        // before the last reflecting face along the unfolded path.
        if (inside && p.order > 0 && distance(p.apex, receiver) < p.pathLength) inside = false;
        if (!inside && (p.order == 0 || !run.Diffusion)) continue;
        obstructions.clear();
        // Only a diffraction looks at which faces stand in the way; without one, an
        // opaque face ends the search, the arrival being lost whatever lies beyond it.
        const bool mayDiffract = inside && run.Diffraction != 0;
        const int k = mayDiffract ? findObstructions(receiver, legStart, false, obstructions, p.lastFace, monopermeable)
                                  : findObstructionsToOpaque(receiver, legStart, obstructions, p.lastFace, monopermeable);
        // Distances run along the path travelled, not from the image source.
        const double d1 = p.order > 0 ? p.pathLength : distance(receiver, p.apex);
        const double d2 = p.order > 0 ? distance(receiver, legStart) : 0;
        const double time = (d1 + d2) / run.SoundSpeed;
        BandEnergies energy = p.order > 0 && run.Diffusion ? splitArrival(p.energy, p.scattered, inside, d1, d2)
                                                           : arrivalEnergy(p.energy, d1 + d2);
        if (passesMonopermeable &&
            side(monopermeable->plane, legStart) != side(monopermeable->plane, receiver))
            applyMonopermeable(energy, monopermeable->material);
        if (k == 0) {
            if (microphone->addArrival(energy, static_cast<unsigned>(p.order), p.ray.direction(), time) &&
                (inside || run.SaveDiffuseHits))
                HitsFile::save(p, i, energy, time);
            continue;
        }
        if (inside && ((k <= 2 && run.Diffraction != 0) || (k >= 3 && run.Diffraction > 2)))
            diffract(*this, p, i, obstructions, energy, monopermeable);
        bool through = true;
        for (std::uint32_t j = 0; j < obstructions.count && through; ++j) {
            applyObstruction(energy, obstructions.entries[j].face->material);
            through = anyAbove0(energy);
        }
        if (through && microphone->addArrival(energy, static_cast<unsigned>(p.order), p.ray.direction(), time))
            HitsFile::save(p, i, energy, time);
    }
    if (passesMonopermeable) applyMonopermeable(p.energy, monopermeable->material);
    if (n == 0) return 0;
    // At an edge or a corner every face met absorbs its share.
    for (int j = n - 1; j >= 0; --j) applyAbsorption(p.energy, faces[j]->material);
    if (run.Diffusion) updateScattering(p, faces[0]->material, edgeDistance(*faces[0], hit));
    ++p.order;
    p.lastLeg = d;
    p.pathLength += d;
    p.pathLengthSquares += d * d;
    p.hitPoint = hit;
    p.lastFace = faces[0];
    p.record(faces[0]->number, hit);
    return n;
}
