#include "tracing/Diffraction.h"

#include <cmath>
#include <numbers>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "model/Wall.h"
#include "run/RunParameters.h"
#include "tracing/EdgeWedge.h"
#include "tracing/Pyramid.h"
#include "tracing/PyramidLog.h"
#include "tracing/section/SectionDiffraction.h"

namespace {
const double sqrt10 = std::sqrt(10.0);

// The point of a line nearest to p.
Coord nearestOnLine(const Line& line, const Coord& p) {
    return line.origin + dot(p - line.origin, line.direction()) * line.direction();
}

double distanceToLine(const Line& line, const Coord& p) { return distance(p, nearestOnLine(line, p)); }

/// The searches of one diffraction call: the model, the leg start, the receiver and the face crossed first.
class EdgePaths {
public:
    EdgePaths(const Model& model, Pyramid& p, unsigned microphone, const BandEnergies& energy, const Coord& start,
              const Coord& receiver)
        : model_(model), p_(p), microphone_(microphone), energy_(energy), start_(start), receiver_(receiver) {}

    bool overEdges(const Face& first, const Coord& crossing, const Face* monopermeable);
    bool throughOpenings(const Face& first);

private:
    // Whether the segment a-b crosses no face at all.
    bool unobstructed(const Coord& a, const Coord& b) const {
        ObstructionList list;
        return obstructionsBetween(model_, a, b, true, nullptr, nullptr, list) == 0;
    }
    bool overEdge(const Face& first, int edge, const Coord& crossing, const Face* monopermeable);
    bool secondEdge(const Face& first, const PathEdge& edge1, const Coord& d1, const Coord& v, const ObstructionList& blocking,
                    int blockingCount, const Coord& crossing);
    // A path is offered only when it turns around each of its edges through
    // open space: the legs to and from an edge are searched without their
    // ends (where other faces meet the edge), so the faces meeting along the
    // edge decide whether the bend there passes one of them.
    bool record(int count, const Coord* points, const std::uint32_t* faces, const PathEdge* edges) {
        if (edges && !bendsAreOpen(model_, start_, receiver_, count, points, edges)) return false;
        const bool taken = recordDiffractedPath(p_, microphone_, energy_, count, points, faces);
        recorded_ = recorded_ || taken;
        return taken;
    }

    const Model& model_;
    Pyramid& p_;
    unsigned microphone_;
    const BandEnergies& energy_;
    Coord start_;
    Coord receiver_;
    bool recorded_ = false;
};

// The edge of a blocking face whose line passes nearest to the crossing point:
// the path then runs over that edge instead.
int nearestEdge(const Face& face, const Coord& crossing) {
    int best = -1;
    double nearest = 1e300;
    for (std::size_t e = 0; e < face.edgeLines.size(); ++e) {
        const double d = distanceToLine(face.edgeLines[e], crossing);
        if (d < nearest) {
            nearest = d;
            best = static_cast<int>(e);
        }
    }
    return best;
}

// At most four edges, spread along the outline, are tried.
bool EdgePaths::overEdges(const Face& first, const Coord& crossing, const Face* monopermeable) {
    const int m = first.vertexCount;
    const int tries = m == 3 ? 3 : 4;
    for (int i = 0; i < tries; ++i) overEdge(first, m * i / tries, crossing, monopermeable);
    return recorded_;
}

bool EdgePaths::overEdge(const Face& first, int edge, const Coord& crossing, const Face* monopermeable) {
    const unsigned diffraction = parameters.Diffraction;
    Coord d1 = nearestOnLine(first.edgeLines[edge], crossing);
    Coord v = first.vertices[edge];
    PathEdge edge1{&first, edge};
    ObstructionList list;
    const int toEdge = obstructionsBetween(model_, start_, v, true, &first, monopermeable, list);
    if (toEdge != 0 && toEdge != 1) return false;
    if (toEdge == 1) {
        if (diffraction <= 1) return false;
        const Face& blocking = *list.entries[0].face;
        const int e = nearestEdge(blocking, crossing);
        if (e < 0) return false;
        d1 = nearestOnLine(blocking.edgeLines[e], crossing);
        v = blocking.vertices[e];
        edge1 = PathEdge{&blocking, e};
    }
    list.clear();
    const int toReceiver = obstructionsBetween(model_, v, receiver_, true, &first, nullptr, list);
    const std::uint32_t number = first.number;
    if (toReceiver == 0) return record(1, &d1, &number, &edge1);
    if (diffraction < 2 || toReceiver < 1) return false;
    return secondEdge(first, edge1, d1, v, list, toReceiver, crossing);
}

// Paths over a second edge: around a single blocking face by one of its
// vertices, or over the edge two blocking faces share.
bool EdgePaths::secondEdge(const Face& first, const PathEdge& edge1, const Coord& d1, const Coord& v, const ObstructionList& blocking,
                           int blockingCount, const Coord& crossing) {
    const Coord path0 = d1;
    if (blockingCount == 1) {
        const Face& f2 = *blocking.entries[0].face;
        int freeVertices = 0;
        bool any = false;
        for (std::size_t w = 0; w < f2.vertices.size() && freeVertices < 3; ++w) {
            const Coord& corner = f2.vertices[w];
            if (!unobstructed(v, corner) || !unobstructed(corner, receiver_)) continue;
            if (recorded_) ++freeVertices;
            const Coord points[2] = {path0, nearestOnLine(f2.edgeLines[w], crossing)};
            const std::uint32_t faces[2] = {first.number, f2.number};
            const PathEdge edges[2] = {edge1, {&f2, static_cast<int>(w)}};
            any = record(2, points, faces, edges) || any;
        }
        return any;
    }
    const Face& a = *blocking.entries[0].face;
    const Face& b = *blocking.entries[1].face;
    int i = 0, j = 0;
    if (blockingCount != 2 || !a.findSharedEdge(b, i, j)) return false;
    const Line& shared = a.edgeLines[i];
    const Coord middle = Coord((a.vertices[i] + a.vertices[(i + 1) % a.vertices.size()]) * 0.5);
    if (!unobstructed(v, middle) || !unobstructed(middle, receiver_)) return false;
    const Coord points[2] = {path0, nearestOnLine(shared, crossing)};
    const std::uint32_t faces[2] = {first.number, a.number};
    const PathEdge edges[2] = {edge1, {&a, i}};
    return record(2, points, faces, edges);
}

// Around the corners of the open holes and doors of the obstructing wall:
// the corner nearest to the straight path, when both legs to it are clear.
bool EdgePaths::throughOpenings(const Face& first) {
    const Wall* wall = first.owner;
    if (!wall || wall->count <= 1) return false;
    const Line straight(start_, receiver_);
    for (const Entity* member = wall->first; member; member = member->next) {
        const Face* opening = FaceList::faceOf(const_cast<Entity*>(member));
        if (!opening || opening == &first || !opening->isTransparent() || opening->vertices.empty()) continue;
        const Coord* corner = &opening->vertices[0];
        for (const Coord& vertex : opening->vertices)
            if (distanceToLine(straight, vertex) < distanceToLine(straight, *corner)) corner = &vertex;
        ObstructionList list;
        if (obstructionsBetween(model_, start_, *corner, false, &first, nullptr, list) != 0) continue;
        list.clear();
        if (obstructionsBetween(model_, *corner, receiver_, false, &first, nullptr, list) != 0) continue;
        // A corner of an opening is reached through the opening itself, on
        // no edge of a face: only its two legs are searched.
        const std::uint32_t number = first.number;
        record(1, corner, &number, nullptr);
    }
    return recorded_;
}
}  // namespace

// The obstructions of the segment a-b without its two ends.
//
// Diffraction points lie on edges, where other faces meet: a sight line
// that starts or ends on an edge would otherwise be blocked by every face
// touching it there. The segment is shortened by the crack tolerance at both
// ends, so only the faces it really crosses count. What the shortening leaves
// out, the faces meeting along the edge itself, decides the bend at the edge
// (EdgeWedge): a face touching the edge only at a vertex (the ground at the
// foot of a barrier's side edge) blocks neither the sight line nor the bend;
// one running along the edge (the ground under the barrier's foot, the floor
// under a partition) blocks the bend, and a path through it is no path.
int obstructionsBetween(const Model& model, const Coord& a, const Coord& b, bool allFaces, const Face* excludeA,
                        const Face* excludeB, ObstructionList& list) {
    const double length = distance(a, b);
    const double margin = parameters.CrackTolerance;
    if (length <= 2 * margin) return 0;
    const Versor u(b - a);
    return model.findObstructions(a + margin * u, b - margin * u, allFaces, list, excludeA, excludeB);
}

BandEnergies barrierAttenuation(const BandEnergies& energy, double direct, double a, double b) {
    BandEnergies result{};
    const double detour = a + b - direct;
    if (!(detour > 0)) return result;
    for (int k = 0; k < bandCount; ++k) {
        // x = 2 pi N with the Fresnel number N = 2 detour f / c.
        const double x = 4 * std::numbers::pi * detour * bandFrequencies[k] / parameters.SoundSpeed;
        const double t = std::tanh(std::sqrt(x));
        result[k] = static_cast<float>(energy[k] * t * t / (sqrt10 * x));
    }
    return result;
}

bool recordDiffractedPath(Pyramid& p, unsigned microphone, const BandEnergies& energy, int pointCount,
                          const Coord* points, const std::uint32_t* faceNumbers) {
    Microphone* target = microphones().at(static_cast<int>(microphone));
    if (!target || pointCount < 1) return false;
    const Coord& receiver = target->axis.origin;
    const double direct = distance(p.apex, receiver);
    double length = distance(p.apex, points[0]) + distance(points[pointCount - 1], receiver);
    for (int i = 1; i < pointCount; ++i) length += distance(points[i - 1], points[i]);
    if (direct >= length) return false;
    const BandEnergies attenuated = barrierAttenuation(energy, direct, length / 2, length / 2);
    double weighted = 0;
    for (int k = 0; k < bandCount; ++k) weighted += aWeighting()[k] * attenuated[k];
    // Arrivals too weak to matter are not recorded: the threshold is in the source's energy units.
    if (weighted < 1.0) return false;
    // The path's edges join the history for its hits-file record only.
    const bool withHits = p.order <= parameters.HitLevel;
    const std::uint32_t kept = p.historyCount;
    if (withHits)
        for (int i = 0; i < pointCount; ++i) p.record(faceNumbers[i], points[i]);
    recordArrival(p, *target, microphone, attenuated, static_cast<unsigned>(p.order + 1),
                  length / parameters.SoundSpeed, withHits);
    p.historyCount = kept;
    // A response takes every arrival of order 1 or more: only a second direct wave is refused.
    return true;
}

bool diffract(const Model& model, Pyramid& p, unsigned microphone, const ObstructionList& obstructions,
              const BandEnergies& energy, const Face* monopermeable) {
    const Microphone* target = microphones().at(static_cast<int>(microphone));
    if (!target || obstructions.count == 0) return false;
    const Coord start = p.ray.origin;
    const Coord& receiver = target->axis.origin;
    // A receiver the sound cannot reach within the run's time gets nothing.
    if (distance(start, receiver) > parameters.SoundSpeed * parameters.Time) return false;
    const Face* first = obstructions.entries[0].face;
    // A closed door stands for its wall: the path goes around the wall.
    if (first->typeCode() == EntityType::door && first->owner && first->owner->face) first = first->owner->face;
    EdgePaths paths(model, p, microphone, energy, start, receiver);
    const Versor u(receiver - start);
    const double across = dot(u, first->plane.normal());
    bool recorded = false;
    if (std::fabs(across) >= 1e-6) {
        const Coord crossing = start + (first->plane.signedDistance(start) / -across) * u;
        // Outdoors, over barriers and buildings, the section through the leg
        // start and the receiver finds paths over several obstacles; reflected
        // legs of higher order and steep paths keep to the edges of the first one.
        if (parameters.Diffraction >= 3 && p.order <= 1 && std::fabs(u.z) < 0.95)
            recorded = sectionDiffraction(model, p, microphone, obstructions, energy, monopermeable);
        else
            recorded = paths.overEdges(*first, crossing, monopermeable);
    }
    if (parameters.Diffraction > 0 && parameters.Diffraction < 3) recorded = paths.throughOpenings(*first) || recorded;
    return recorded;
}
