#include "tracing/PyramidTracer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "model/MaterialLibrary.h"
#include "model/Model.h"
#include "run/RunParameters.h"
#include "tracing/EnergyModel.h"
#include "tracing/PyramidLog.h"
#include "tracing/ReceiverSpheres.h"

namespace {
// The solid angle of the triangle of directions a, b, c over 4π, by Van
// Oosterom and Strackee's formula: tan(Ω/2) = |a·(b×c)| / (1 + a·b + b·c + c·a).
double solidAngleShare(const PyramidSection& s) {
    const double numerator = std::fabs(dot(s.edge0, cross(s.edge1, s.edge2)));
    const double denominator = 1 + dot(s.edge0, s.edge1) + dot(s.edge1, s.edge2) + dot(s.edge2, s.edge0);
    return 2 * std::atan2(numerator, denominator) / (4 * std::numbers::pi);
}

// The clones' places, one per queue position: a thread traces one pyramid at a time (a tracer per pyramid, never
// two at once on a thread), so that the places are made once per thread and no leg allocates.
std::array<std::optional<Pyramid>, PyramidTracer::queueSize>& cloneSlots() {
    thread_local std::array<std::optional<Pyramid>, PyramidTracer::queueSize> slots;
    return slots;
}
}  // namespace

void PyramidTracer::trace(Pyramid& p) {
    p.log = &log_;
    share_ = spheres_ ? solidAngleShare(p.section) : 0;
    queue_[0] = &p;
    for (Pyramid* q = &p; q;) {
        while (step(*q)) {
        }
        log_.finished(*q);
        queue_[readIndex_] = nullptr;
        readIndex_ = (readIndex_ + 1) % queueSize;
        q = queue_[readIndex_];
    }
}

bool PyramidTracer::step(Pyramid& q) {
    const RunParameters& run = parameters;
    const bool cloning = q.order <= run.CloneLevel && !queue_[writeIndex_];
    const BandEnergies savedEnergy = q.energy;
    const Coord legStart = q.ray.origin;
    Face* monopermeable = nullptr;
    const int n = model_.traceLeg(q, monopermeable);
    if (n == 0) {
        log_.escaped(q.ray);
        return false;
    }
    if (n > 1) log_.edgeHit(static_cast<std::uint32_t>(n - 1), q.ray.origin);
    if (share_ > 0) log_.leg(*spheres_, model_, legStart, q.hitPoint, q.pathLength - q.lastLeg, savedEnergy, share_);
    const bool over = run.History < 0 ? q.pathLength / run.SoundSpeed >= run.Time : q.order - 1 >= run.History;
    if (over) return false;
    // Four legs adding up to a centimetre: the pyramid is trapped in a corner.
    if (stuck(q.lastLeg)) {
        log_.edgeHit(1, q.ray.origin);
        return false;
    }
    if (cloning) makeClone(q, monopermeable, savedEnergy);
    reflect(q, n);
    return true;
}

bool PyramidTracer::stuck(double lastLeg) {
    recentLegs_[legIndex_] = lastLeg;
    legIndex_ = (legIndex_ + 1) % 4;
    return recentLegs_[0] + recentLegs_[1] + recentLegs_[2] + recentLegs_[3] <= 0.01;
}

void PyramidTracer::reflect(Pyramid& q, int faces) {
    const RunParameters& run = parameters;
    if (faces == 1 && run.RandomizeAfter >= 0 && q.order >= run.RandomizeAfter) {
        randomizedReflection(q, q.lastFace->plane);
        return;
    }
    if (faces == 1)
        q.reflect(q.lastFace->plane);
    else
        q.retroReflect();
    q.startLegAtHitPoint();
}

namespace {
float smallestTransmissionLoss(unsigned material) {
    const auto& row = materials().transmissionLossOf(material);
    return *std::min_element(row.begin(), row.end());
}
}  // namespace

// A clone reflects off the monopermeable face the pyramid passed, or goes on
// through an obstructing face of low transmission loss; it starts from the
// energy the pyramid had before the leg. It is made in the free place of the
// queue, which it takes only when it is made whole.
void PyramidTracer::makeClone(const Pyramid& q, Face* monopermeable, const BandEnergies& savedEnergy) {
    Face* face = nullptr;
    Coord point;
    Pyramid* const clone = &cloneSlots()[static_cast<std::size_t>(writeIndex_)].emplace(q.clone());
    if (monopermeable) {
        const Line& leg = clone->ray;
        const Plane& plane = monopermeable->plane;
        const double legLength = plane.signedDistance(leg.origin) / -dot(leg.direction(), plane.normal());
        point = leg.origin + legLength * leg.direction();
        face = monopermeable;
        // The clone's path is the pyramid's path up to the leg start, plus the
        // part of the leg up to the monopermeable face.
        clone->pathLength += legLength - q.lastLeg;
        clone->pathLengthSquares += legLength * legLength - q.lastLeg * q.lastLeg;
        clone->lastLeg = legLength;
    } else if (q.lastFace && (q.lastFace->flags & FaceFlag::obstructing) &&
               smallestTransmissionLoss(q.lastFace->material) < 60) {
        clone->ray = Line(q.hitPoint, q.section.axis);
        Face* faces[4] = {};
        Face* passed = nullptr;
        double d = 1e12;
        if (model_.findHit(*clone, point, d, faces, passed) != 1 || passed) return;
        face = faces[0];
        clone->lastLeg = d;
        clone->pathLength += d;
        clone->pathLengthSquares += d * d;
    } else {
        return;
    }
    clone->energy = savedEnergy;
    applyAbsorption(clone->energy, face->material);
    clone->historyCount = static_cast<std::uint32_t>(std::clamp(clone->order - 1, 0, 16));
    clone->hitPoint = point;
    clone->lastFace = face;
    clone->record(face->number, point);
    clone->reflect(face->plane);
    clone->startLegAtHitPoint();
    queue_[writeIndex_] = clone;
    writeIndex_ = (writeIndex_ + 1) % queueSize;
}
