// The model's face and receiver searches: through the spatial index when it covers the entries, else by a scan
// of every entry; either way the answers are settled in entry order, so that both give the same results.
#include "model/Model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "acoustics/MicrophoneList.h"
#include "model/MaterialLibrary.h"
#include "model/Wall.h"
#include "run/RunParameters.h"

namespace {
// Whether two faces lie in one plane: parallel within about 45 microradians
// (the planes of tiles of a turned room differ by rounding), and b's centroid
// on a's plane.
bool coplanar(const Face& a, const Face& b) {
    return std::fabs(dot(a.plane.normal(), b.plane.normal())) > 1 - 1e-9 &&
           std::fabs(a.plane.signedDistance(b.centroid)) < EPSILON;
}
}  // namespace

// The face of entry index that blocks the segment of ray from its origin to
// length, and where (t); null when it does not block it.
Face* Model::obstruction(std::uint32_t index, const Line& ray, double length, const Face* excludeA,
                         const Face* excludeB, double& t) const {
    Face* face = faceAt(index);
    if (face == excludeA || face == excludeB) return nullptr;
    Wall* wall = wallAt(index);
    Coord point;
    Face* hit = hitBy(ray, *face, wall, point, t, length);
    // A segment that starts on a plain face is blocked by it, unless the
    // face lies in the plane of excludeA, the face the segment starts
    // from: a coplanar neighbour (a tile of the same floor) cannot stand
    // between that start and a point in front of it.
    if (!hit && t >= 0 && t < 1e-6 && !wall && !(excludeA && coplanar(*face, *excludeA)) &&
        face->contains(ray.origin + t * ray.direction()))
        hit = face;
    if (!hit || t > length || hit == excludeA || hit == excludeB) return nullptr;
    if (excludeB && (hit->flags & FaceFlag::monopermeable)) {
        int i = 0, j = 0;
        if (hit->findSharedEdge(*excludeB, i, j)) return nullptr;
    }
    return hit;
}

int Model::findObstructions(const Coord& from, const Coord& to, bool allFaces, ObstructionList& list,
                            const Face* excludeA, const Face* excludeB) const {
    const std::uint32_t examined = allFaces ? count() : obstructingCount;
    if (examined == 0) return 0;
    const double length = distance(from, to);
    if (length < 1e-6) return 0;
    const Line ray(to, Versor(from - to));
    // Inserts a face crossed; with allFaces answers -1 or the count when the
    // search may stop there, 0 to go on. The answer depends on the order of the
    // faces (ties in the list, these early answers): they come in entry order.
    auto insert = [&](std::uint32_t index, Face* hit, double t) {
        list.insert(hit, t);
        if (!allFaces) return 0;
        if (index >= obstructingCount) return -1;
        return list.count > 1 ? static_cast<int>(list.count) : 0;
    };
    if (index_.covers(count())) {
        thread_local std::vector<FaceMet> met;
        collectObstructions(ray, length, examined, excludeA, excludeB, false, met);
        for (const FaceMet& f : met)
            if (const int stop = insert(f.index, f.face, f.t)) return stop;
        return static_cast<int>(list.count);
    }
    for (std::uint32_t index = 0; index < examined; ++index) {
        double t = 0;
        if (Face* hit = obstruction(index, ray, length, excludeA, excludeB, t))
            if (const int stop = insert(index, hit, t)) return stop;
    }
    return static_cast<int>(list.count);
}

namespace {
bool isOpaque(const Face& face) {
    for (float loss : materials().transmissionLossOf(face.material))
        if (loss < MaterialLibrary::noTransmission) return false;
    return true;
}

bool inEntryOrder(const Model::FaceMet& a, const Model::FaceMet& b) { return a.index < b.index; }
}  // namespace

// The faces among the first `examined` entries that block ray up to length,
// found through the index and put in entry order. With stopAtOpaque the search
// narrows, front to back, to the nearest face that transmits nothing.
void Model::collectObstructions(const Line& ray, double length, std::uint32_t examined, const Face* excludeA,
                                const Face* excludeB, bool stopAtOpaque, std::vector<FaceMet>& met) const {
    met.clear();
    double reach = length + 1e-6;
    index_.visit(ray, reach, [&](std::uint32_t index) {
        FaceMet f{index, nullptr, 0, {}};
        if (index < examined) f.face = obstruction(index, ray, length, excludeA, excludeB, f.t);
        if (!f.face) return reach;
        met.push_back(f);
        if (stopAtOpaque && isOpaque(*f.face)) reach = std::min(reach, f.t + 1e-6);
        return reach;
    });
    std::sort(met.begin(), met.end(), inEntryOrder);
}

// Every face nearer than the opaque one is still found and inserted in entry
// order, so the list's nearest 64 are those of the whole search whenever the
// opaque face falls out of them, and otherwise the list holds it.
int Model::findObstructionsToOpaque(const Coord& from, const Coord& to, ObstructionList& list, const Face* excludeA,
                                    const Face* excludeB) const {
    const double length = distance(from, to);
    if (!index_.covers(count()) || obstructingCount == 0 || length < 1e-6)
        return findObstructions(from, to, false, list, excludeA, excludeB);
    thread_local std::vector<FaceMet> met;
    collectObstructions(Line(to, Versor(from - to)), length, obstructingCount, excludeA, excludeB, true, met);
    for (const FaceMet& f : met) list.insert(f.face, f.t);
    return static_cast<int>(list.count);
}

// The index proposes the entries near, in its own order; what take keeps is listed in entry order, as the scan of
// every entry (without an index, or for a radius no float holds) lists it.
template <class Take>
void Model::collectNear(const Coord& centre, double radius, std::vector<std::uint32_t>& entries, Take& take) const {
    entries.clear();
    if (index_.covers(count()) && radius < 1e30) {
        index_.near(centre, radius, take);
        std::sort(entries.begin(), entries.end());
        return;
    }
    for (std::uint32_t index = 0; index < count(); ++index) take(index);
}

void Model::facesNear(const Coord& centre, double radius, std::vector<std::uint32_t>& entries) const {
    auto reach = [&centre](const Coord& lo, const Coord& hi) {
        // The box's point nearest the centre.
        const Coord nearest(std::clamp(centre.x, lo.x, hi.x), std::clamp(centre.y, lo.y, hi.y),
                            std::clamp(centre.z, lo.z, hi.z));
        return distance(centre, nearest);
    };
    auto take = [&](std::uint32_t index) {
        const Face* face = faceAt(index);
        // The stored box, widened by the crack tolerance, rules out most faces without their vertices; the
        // vertices' own box decides.
        if (reach(face->boxMin, face->boxMax) >= radius) return;
        Coord lo(1e300, 1e300, 1e300), hi(-1e300, -1e300, -1e300);
        face->extendBox(lo, hi);
        if (reach(lo, hi) < radius) entries.push_back(index);
    };
    collectNear(centre, radius, entries, take);
}

double Model::clearDistance(const Coord& from, const Versor& u, double length,
                            const std::vector<std::uint32_t>& entries) const {
    const Line ray(from, u);
    double nearest = length;
    for (const std::uint32_t index : entries) {
        double t = 0;
        if (obstruction(index, ray, nearest, nullptr, nullptr, t)) nearest = std::min(nearest, t);
    }
    return nearest;
}

int Model::findFacesAlong(const Coord& a, const Coord& b, const Face** found, int capacity) const {
    const double tolerance = parameters.CrackTolerance;
    const Coord middle((a + b) * 0.5);
    // A face along the edge holds the midpoint moved onto its plane, within the tolerance of the midpoint: its
    // box meets the cube of that half-width around it.
    const double reach = tolerance + 1e-6;
    thread_local std::vector<std::uint32_t> entries;
    facesInBox(middle - Vector(reach, reach, reach), middle + Vector(reach, reach, reach), entries);
    int n = 0;
    for (std::size_t k = 0; k < entries.size() && n < capacity; ++k) {
        const std::uint32_t index = entries[k];
        const Face* face = faceAt(index);
        // A face without a plane (collinear vertices) lies along nothing.
        if (static_cast<const Vector&>(face->plane.normal()).squaredModulus() < 0.5) continue;
        if (std::fabs(face->plane.signedDistance(a)) > tolerance || std::fabs(face->plane.signedDistance(b)) > tolerance)
            continue;
        // The midpoint is moved onto the plane first: contains expects a point of it.
        const Coord onPlane = middle - face->plane.signedDistance(middle) * face->plane.normal();
        if (!face->contains(onPlane)) continue;
        // Along an open hole or door of a wall there is nothing.
        const Wall* wall = wallAt(index);
        const Face* member = wall ? wall->faceAt(onPlane) : face;
        if (member && !member->isTransparent()) found[n++] = face;
    }
    return n;
}

void Model::facesInBox(const Coord& lo, const Coord& hi, std::vector<std::uint32_t>& entries) const {
    auto take = [&](std::uint32_t index) {
        const Face* face = faceAt(index);
        if (face->boxMin.x <= hi.x && face->boxMax.x >= lo.x && face->boxMin.y <= hi.y && face->boxMax.y >= lo.y &&
            face->boxMin.z <= hi.z && face->boxMax.z >= lo.z)
            entries.push_back(index);
    };
    // The sphere around the box holds every box that meets it; the index proposes those, the boxes decide.
    collectNear(Coord((lo + hi) * 0.5), distance(lo, hi) / 2, entries, take);
}

const Face* Model::faceNumbered(std::uint32_t number) const {
    // With the index, the table of the first entry of each number built beside it; the scan otherwise.
    if (index_.covers(count())) {
        const std::uint32_t entry = number < entryOfNumber_.size() ? entryOfNumber_[number] : noEntry;
        return entry == noEntry ? nullptr : faceAt(entry);
    }
    for (std::uint32_t index = 0; index < count(); ++index)
        if (faceAt(index)->number == number) return faceAt(index);
    return nullptr;
}

namespace {
// The rules by which the faces met by a central ray are settled into the nearest
// hit, applied to the faces in entry order: the answer depends on that order
// through the tie window and the monopermeable face that passes first.
struct HitSettler {
    const Pyramid& p;
    double best;
    Face** faces;
    Coord& hitPoint;
    Face*& monopermeable;
    double bestPass = 1e12;
    int n = 0;

    void settle(Face* face, double t, const Coord& point) {
        // The limit the scan gives each face test: a face beyond it was never met.
        if (t > best + 1e-6) return;
        // The central ray passes one monopermeable face per pyramid.
        if ((face->flags & FaceFlag::monopermeable) && !p.monopermeablePassed && t < bestPass) {
            bestPass = t;
            monopermeable = face;
            return;
        }
        if (std::fabs(t - best) > 2e-6) {
            hitPoint = point;
            best = t;
            faces[0] = face;
            n = 1;
            return;
        }
        // A further face at the same distance: an edge or a corner, unless it
        // is coplanar with the first, when the smaller of the two stands for both.
        if (n == 4) return;
        faces[n++] = face;
        if (n > 1) {
            const Plane& a = faces[0]->plane;
            const Plane& b = face->plane;
            if (std::fabs(dot(a.normal(), b.normal())) == a.modulus() * b.modulus() &&
                std::fabs(b.signedDistance(faces[0]->centroid)) < 1e-6) {
                --n;
                if (face->area < faces[0]->area) faces[0] = face;
            }
        }
        if (t < best) {
            hitPoint = point;
            best = t;
        }
    }
};

// Whether a face met at t would be settled as passed (the pyramid's first
// monopermeable face) rather than hit; such a face never ends the search.
bool mayBePassed(const Face* face, const Pyramid& p) {
    return (face->flags & FaceFlag::monopermeable) && !p.monopermeablePassed;
}

// How far beyond the nearest face met the index still collects faces. Anything
// beyond the first gap of more than the tie window among the faces met cannot
// change the answer (see tiesSettled); 0.1 mm leaves room for several ties.
constexpr double tieReach = 1e-4;

// Whether the faces collected up to bound settle the answer as the whole scan
// would: the ties that chain from nearest (faces each within 2e-6 of the next)
// end in a gap of more than 2e-6 below bound. A face beyond such a gap is either
// tested after the search has narrowed below it, or its effect is undone by
// the reset that the first face below the gap makes.
bool tiesSettled(std::vector<Model::FaceMet>& found, double nearest, double bound) {
    std::sort(found.begin(), found.end(), [](const Model::FaceMet& a, const Model::FaceMet& b) { return a.t < b.t; });
    double reached = nearest + 2e-6;
    for (const Model::FaceMet& f : found) {
        if (f.t <= reached) continue;
        if (f.t > reached + 2e-6 + 1e-9) break;
        reached = f.t;
    }
    return reached + 2e-6 + 1e-9 <= bound;
}
}  // namespace

// Collects every face the central ray of p meets within limit (the scan's limit
// for each face test) that could change the answer: all of them up to tieReach
// beyond the nearest one that may be hit, or, should ties chain that far, all.
void Model::collectHits(const Pyramid& p, double limit, std::vector<FaceMet>& found) const {
    const double reach = limit + 1e-6;
    double bound = reach, nearest = 1e300;
    auto collect = [&](std::uint32_t index) {
        FaceMet f{index, nullptr, 0, {}};
        f.face = hitBy(p.ray, *faceAt(index), wallAt(index), f.point, f.t, limit);
        if (!f.face) return bound;
        found.push_back(f);
        if (!mayBePassed(f.face, p) && f.t < nearest) {
            nearest = f.t;
            bound = std::min(reach, nearest + tieReach);
        }
        return bound;
    };
    found.clear();
    index_.visit(p.ray, bound, collect);
    if (bound >= reach || tiesSettled(found, nearest, bound)) return;
    found.clear();
    nearest = 1e300;
    index_.visit(p.ray, reach, [&](std::uint32_t index) {
        collect(index);
        return reach;
    });
}

int Model::findHit(Pyramid& p, Coord& hitPoint, double& distance, Face* faces[4], Face*& monopermeable) const {
    monopermeable = nullptr;
    HitSettler settler{p, distance, faces, hitPoint, monopermeable};
    if (index_.covers(count())) {
        thread_local std::vector<FaceMet> found;
        collectHits(p, distance, found);
        std::sort(found.begin(), found.end(), inEntryOrder);
        for (const FaceMet& f : found) settler.settle(f.face, f.t, f.point);
    } else {
        for (std::uint32_t index = 0; index < count(); ++index) {
            Coord point;
            double t = 0;
            Face* face = hitBy(p.ray, *faceAt(index), wallAt(index), point, t, settler.best);
            if (face) settler.settle(face, t, point);
        }
    }
    distance = settler.best;
    if (monopermeable) {
        if (settler.bestPass < settler.best)
            p.monopermeablePassed = true;
        else
            monopermeable = nullptr;
    }
    return settler.n;
}

void Model::buildIndex() {
    std::vector<BoxTree::Box> boxes(count());
    for (std::uint32_t index = 0; index < count(); ++index) boxes[index] = {faceAt(index)->boxMin, faceAt(index)->boxMax};
    index_.build(boxes);
    std::uint32_t highest = 0;
    for (std::uint32_t index = 0; index < count(); ++index) highest = std::max(highest, faceAt(index)->number);
    entryOfNumber_.assign(static_cast<std::size_t>(highest) + 1, noEntry);
    // From the last entry to the first, so that the first of a number is the one kept, as the scan finds it.
    for (std::uint32_t index = count(); index-- > 0;) entryOfNumber_[faceAt(index)->number] = index;
}

void Model::dropIndex() {
    index_.clear();
    entryOfNumber_.clear();
}

void Model::indexReceivers() {
    MicrophoneList& list = microphones();
    receiverIndex_.clear();
    receiversCulled_ = false;
    // An empty slot gets a position no cone contains: serving it does nothing anyway.
    const double nowhere = std::numeric_limits<double>::quiet_NaN();
    for (auto& column : receiverColumns_) column.assign(list.receiverCount(), nowhere);
    for (unsigned i = 1; i <= list.receiverCount(); ++i)
        if (const Microphone* m = list.at(static_cast<int>(i))) {
            receiverColumns_[0][i - 1] = m->axis.origin.x;
            receiverColumns_[1][i - 1] = m->axis.origin.y;
            receiverColumns_[2][i - 1] = m->axis.origin.z;
        }
#ifndef TOLVENO_LINEAR_SCAN
    receiversCulled_ = true;
    // Below that a test of every receiver against a pyramid's cone costs less than the tree.
    if (list.receiverCount() < 128) return;
    std::vector<BoxTree::Box> points;
    for (std::uint32_t entry = 0; entry < receiverCount(); ++entry) {
        const Coord c = receiverAt(entry);
        points.push_back(std::isnan(c.x) ? BoxTree::Box{ORIGIN, ORIGIN} : BoxTree::Box{c, c});
    }
    receiverIndex_.build(points);
#endif
}
