#include "tracing/section/SectionDiffraction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <queue>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "run/RunParameters.h"
#include "tracing/Diffraction.h"
#include "tracing/EdgeWedge.h"
#include "tracing/Pyramid.h"
#include "tracing/section/SectionDrawing.h"

namespace {
// The window of candidate nodes. It starts just past the leg start, so that
// the face the leg starts on or a face touching the source gives no node
// there; a direct leg's first section also looks up to 8 m behind the source,
// where an obstacle that reaches over the source may end.
constexpr double windowStart = 0.01;
constexpr double hullDirectStart = -7.99;
constexpr double graphDirectStart = -8;
constexpr double heightLimit = 100;
constexpr double inclinedHeightLimit = 50;
// Behind the leg start (x < 0.01) only nodes within 10 m of its height count.
constexpr double nearHeight = 10;
// Dropped hull nodes are marked by this height before they are removed;
// anything below the mark's limit counts as dropped.
constexpr double droppedHeight = -1e9;
constexpr double droppedLimit = -1e8;
constexpr double unreached = 1e12;

// The far end of every window: as far beyond the receiver as the usual start
// lies beyond the source. A direct leg's window reaches further back only;
// its far end stays there, so that an obstacle near the receiver is never
// left out of the section.
X2DRectangle window(double start, double receiverX, double bottom, double top) {
    return X2DRectangle(start, bottom, receiverX + windowStart - start, top - bottom);
}

bool onOrBelow(const X2DPoint& a, const X2DPoint& b, const X2DPoint& c) {
    // Heights are compared at the node's x, whichever way the chord runs; a
    // vertical chord (only possible with nodes behind the source) counts its
    // upper end.
    if (b.x != a.x) return c.y <= a.y + (b.y - a.y) * (c.x - a.x) / (b.x - a.x);
    return c.y <= std::max(a.y, b.y);
}

bool byX(const X2DEntity& a, const X2DEntity& b) {
    return static_cast<const X2DPoint&>(a).x < static_cast<const X2DPoint&>(b).x;
}

const PathNode& nodeAt(const X2DArray& nodes, std::size_t i) { return static_cast<const PathNode&>(nodes.at(i)); }

/// The searches of one section call: the model, the leg start, the receiver and the arrival to attenuate.
class SectionSearch {
public:
    SectionSearch(const Model& model, Pyramid& p, unsigned microphone, const BandEnergies& energy,
                  const Face* monopermeable, const Coord& start, const Coord& receiver)
        : model_(model),
          p_(p),
          microphone_(microphone),
          energy_(energy),
          monopermeable_(monopermeable),
          start_(start),
          receiver_(receiver) {}

    bool topPoint(const ObstructionList& obstructions);
    bool hull();
    bool graph();

private:
    // The face the pyramid reflected on last (the leg starts on it) and the
    // leg's monopermeable face are no obstacles of the leg.
    bool skipped(const Face& face) const {
        return (p_.lastFace && face.number == p_.lastFace->number) ||
               (monopermeable_ && face.number == monopermeable_->number);
    }
    void facesAcross(const SectionFrame& frame, const X2DRectangle& bounds, const X2DPoint& receiver, bool all,
                     std::vector<std::uint32_t>& entries) const;
    void finish(X2DArray& nodes, const SectionFrame& frame, const X2DArray& sorted, bool merge3d) const;
    bool record(const std::vector<const PathNode*>& path);
    bool offer(int count, const Coord* points, const std::uint32_t* faces, bool legs);
    void draw(const X2DSegmentsArray& obstacles, const X2DArray& nodes, const std::vector<const PathNode*>& path) const;

    const Model& model_;
    Pyramid& p_;
    unsigned microphone_;
    const BandEnergies& energy_;
    const Face* monopermeable_;
    Coord start_;
    Coord receiver_;
};

// The entries whose faces may cut the section where it matters: within the window, or between the leg start
// (0, 0) and the receiver, which every sight line between nodes stays in. Widened by twice the crack tolerance (an
// obstacle is lengthened by one) and a millimetre for the rounding of the section coordinates. Faces farther off
// give no node and block no sight line; every entry when all the cuts are drawn.
void SectionSearch::facesAcross(const SectionFrame& frame, const X2DRectangle& bounds, const X2DPoint& receiver,
                                bool all, std::vector<std::uint32_t>& entries) const {
    constexpr double unbounded = std::numeric_limits<double>::infinity();
    if (all) {
        model_.facesInBox(Coord(-unbounded, -unbounded, -unbounded), Coord(unbounded, unbounded, unbounded), entries);
        return;
    }
    const double margin = 2 * parameters.CrackTolerance + 1e-3;
    Coord lo(unbounded, unbounded, unbounded), hi(-unbounded, -unbounded, -unbounded);
    for (const double x : {std::min({bounds.x, 0.0, receiver.x}), std::max({bounds.right(), 0.0, receiver.x})})
        for (const double y : {std::min({bounds.y, 0.0, receiver.y}), std::max({bounds.top(), 0.0, receiver.y})})
            extendBoxBy(frame.toSpace(X2DVector(x, y)), lo, hi);
    model_.facesInBox(lo - Vector(margin, margin, margin), hi + Vector(margin, margin, margin), entries);
}

// The candidate nodes in x order between the source node and the receiver
// node. Neighbours that repeat a kept node are left out: by their section
// coordinates in the hull method, by their points of space in the graph method.
void SectionSearch::finish(X2DArray& nodes, const SectionFrame& frame, const X2DArray& sorted, bool merge3d) const {
    nodes.add(std::make_unique<PathNode>(X2DPoint(0, 0), start_, PathNode::sourceFace));
    const std::size_t first = nodes.count();
    for (std::size_t i = 0; i < sorted.count(); ++i) {
        const PathNode& node = nodeAt(sorted, i);
        bool repeated = false;
        if (merge3d) {
            repeated = nodes.count() > first && nearlyEqual(nodeAt(nodes, nodes.count() - 1).point, node.point);
        } else {
            for (std::size_t k = nodes.count(); k-- > first && nodeAt(nodes, k).x >= node.x - EPSILON;)
                if (std::fabs(nodeAt(nodes, k).y - node.y) < EPSILON &&
                    std::fabs(nodeAt(nodes, k).x - node.x) < EPSILON)
                    repeated = true;
        }
        if (!repeated) nodes.add(node.clone());
    }
    nodes.add(std::make_unique<PathNode>(frame.toSection(receiver_), receiver_, PathNode::receiverFace));
}

bool SectionSearch::record(const std::vector<const PathNode*>& path) {
    if (path.size() < 3) return false;
    std::vector<Coord> points;
    std::vector<std::uint32_t> faces;
    for (std::size_t k = 1; k + 1 < path.size(); ++k) {
        points.push_back(path[k]->point);
        faces.push_back(static_cast<std::uint32_t>(path[k]->face));
    }
    return offer(static_cast<int>(points.size()), points.data(), faces.data(), true);
}

// A section path is found in a plane, from the cuts of the faces: the cut
// of the face the leg starts on is left out, and the hull method looks at no
// sight line at all. Before it is offered, the path is checked in space as an
// edge-method path is: each leg crosses no obstructing face (ends excluded;
// not for the top-point method, whose one point ignores the other obstacles),
// and each node turns around the edge it stands for (the end of its cut,
// within the graph method's offset of it) through open space. Without this,
// a path would lead over the top of a partition where it meets the ceiling.
bool SectionSearch::offer(int count, const Coord* points, const std::uint32_t* faces, bool legs) {
    const double nodeOffset = 6 * parameters.CrackTolerance;
    std::vector<PathEdge> edges(static_cast<std::size_t>(count));
    for (int k = 0; k <= count; ++k) {
        const Coord& from = k == 0 ? start_ : points[k - 1];
        const Coord& to = k == count ? receiver_ : points[k];
        ObstructionList list;
        if (legs && obstructionsBetween(model_, from, to, false, monopermeable_, nullptr, list) != 0) return false;
        if (k == count) break;
        const Face* face = model_.faceNumbered(faces[k]);
        if (face) edges[k] = PathEdge{face, edgeThrough(*face, points[k], nodeOffset)};
    }
    if (!bendsAreOpen(model_, start_, receiver_, count, points, edges.data())) return false;
    return recordDiffractedPath(p_, microphone_, energy_, count, points, faces);
}

void SectionSearch::draw(const X2DSegmentsArray& obstacles, const X2DArray& nodes,
                         const std::vector<const PathNode*>& path) const {
    X2DPolygon legs;
    for (const PathNode* node : path) legs.add(*node);
    SectionDrawing(obstacles, nodes, legs).save();
}

bool SectionSearch::topPoint(const ObstructionList& obstructions) {
    const SectionFrame frame = SectionFrame::vertical(start_, receiver_);
    double longest = -1;
    Coord top;
    std::uint32_t number = 0;
    for (std::uint32_t j = 0; j < obstructions.count; ++j) {
        const Face* face = obstructions.entries[j].face;
        if (!face || skipped(*face)) continue;
        const FaceCut cut = cutFace(*face, frame.plane);
        if (!cut.cut) continue;
        const double length = distance(start_, cut.high) + distance(cut.high, receiver_);
        if (length > longest) {
            longest = length;
            top = cut.high;
            number = face->number;
        }
    }
    // The top-point method passes over one top, whatever else stands in the
    // way of its legs: only its bend is checked.
    return longest >= 0 && offer(1, &top, &number, false);
}

bool SectionSearch::hull() {
    const SectionFrame frame = SectionFrame::vertical(start_, receiver_);
    const X2DPoint r = frame.toSection(receiver_);
    const double bottom = std::min(0.0, r.y);
    const X2DRectangle bounds = window(p_.order == 0 ? hullDirectStart : windowStart, r.x, bottom, heightLimit);
    // Only a section that may be drawn keeps its cuts.
    const bool drawing = microphone_ == 1 && p_.order <= parameters.HitLevel && SectionDrawing::available();
    X2DSegmentsArray cuts;
    X2DArray candidates;
    // Kept by the thread: a drawn section lists every entry.
    thread_local std::vector<std::uint32_t> entries;
    facesAcross(frame, bounds, r, drawing, entries);
    for (const std::uint32_t i : entries) {
        const Face* face = model_.faceAt(i);
        if (!face || skipped(*face)) continue;
        const FaceCut cut = cutFace(*face, frame.plane);
        if (!cut.cut) continue;
        if (drawing) cuts.add(X2DSegment(frame.toSection(cut.low), frame.toSection(cut.high)));
        addCutNodes(cut, face->number, frame, bounds, 0, candidates);
    }
    candidates.stableSort(byX);
    X2DArray nodes;
    finish(nodes, frame, candidates, false);
    // The drawing shows every candidate, also those the hull drops.
    X2DArray drawn;
    if (drawing) drawn = nodes;
    upperHull(nodes);
    std::vector<const PathNode*> path;
    for (std::size_t i = 0; i < nodes.count(); ++i) path.push_back(&nodeAt(nodes, i));
    const bool recorded = record(path);
    if (recorded && drawing) draw(cuts, drawn, path);
    return recorded;
}

bool SectionSearch::graph() {
    const double tolerance = parameters.CrackTolerance;
    // The second, inclined section finds the paths around the sides of the
    // obstacles where the vertical one finds those over their tops.
    const int passes = parameters.Diffraction >= 99 && p_.order == 0 ? 2 : 1;
    bool recorded = false;
    for (int pass = 0; pass < passes; ++pass) {
        const SectionFrame frame =
            pass == 0 ? SectionFrame::vertical(start_, receiver_) : SectionFrame::inclined(start_, receiver_);
        const X2DPoint r = frame.toSection(receiver_);
        const X2DRectangle bounds =
            pass == 0 ? window(p_.order == 0 ? graphDirectStart : windowStart, r.x, std::min(0.0, r.y), heightLimit)
                      : window(windowStart, r.x, -inclinedHeightLimit, inclinedHeightLimit);
        X2DSegmentsArray obstacles;
        X2DArray candidates;
        // A drawing shows every cut; drawings once used up stay so for the run.
        thread_local std::vector<std::uint32_t> entries;
        facesAcross(frame, bounds, r, microphone_ == 1 && SectionDrawing::available(), entries);
        for (const std::uint32_t i : entries) {
            const Face* face = model_.faceAt(i);
            if (!face || skipped(*face)) continue;
            const FaceCut cut = cutFace(*face, frame.plane);
            if (!cut.cut) continue;
            const X2DSegment segment(frame.toSection(cut.low), frame.toSection(cut.high));
            // A cut of no length (a single crossing) stops no path and has no
            // direction to place nodes along.
            if (segment.length() == 0) continue;
            // Lengthened by the crack tolerance, an obstacle also closes the
            // crack where it meets the next face; the nodes stand clear of it.
            obstacles.add(segment.lengthened(tolerance));
            addCutNodes(cut, face->number, frame, bounds, 5 * tolerance, candidates);
        }
        candidates.stableSort(byX);
        X2DArray nodes;
        finish(nodes, frame, candidates, true);
        const std::vector<std::size_t> found = sectionPath(nodes, obstacles, p_.order == 0);
        std::vector<const PathNode*> path;
        for (std::size_t i : found) path.push_back(&nodeAt(nodes, i));
        if (!record(path)) continue;
        recorded = true;
        if (microphone_ == 1 && SectionDrawing::available()) draw(obstacles, nodes, path);
    }
    return recorded;
}
}  // namespace

FaceCut cutFace(const Face& face, const Plane& plane) {
    FaceCut result;
    if (std::fabs(dot(face.plane.normal(), plane.normal())) > 0.99) return result;
    // A horizontal cut has all its crossings at one height: they are told
    // apart by their position along the plane (its horizontal direction, then
    // the one across it), so that low and high are still the two ends of the cut.
    Vector along = cross(plane.normal(), Z_AXIS);
    if (along.squaredModulus() < 1e-12) along = X_AXIS;
    const Vector across = cross(plane.normal(), along);
    const auto lower = [&along, &across](const Coord& a, const Coord& b) {
        if (a.z != b.z) return a.z < b.z;
        if (dot(a, along) != dot(b, along)) return dot(a, along) < dot(b, along);
        return dot(a, across) < dot(b, across);
    };
    const std::size_t n = face.vertices.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Coord& a = face.vertices[i];
        const Coord& b = face.vertices[(i + 1) % n];
        const double sa = plane.signedDistance(a);
        const double sb = plane.signedDistance(b);
        if (!((sa < 0 && sb > 0) || (sa > 0 && sb < 0))) continue;
        const Coord crossing = a + (sa / (sa - sb)) * (b - a);
        if (!result.cut) {
            result.cut = true;
            result.low = result.high = crossing;
            continue;
        }
        if (lower(crossing, result.low)) result.low = crossing;
        if (lower(result.high, crossing)) result.high = crossing;
    }
    return result;
}

SectionFrame SectionFrame::vertical(const Coord& start, const Coord& receiver) {
    SectionFrame frame;
    frame.origin = start;
    frame.xAxis = Versor(Vector(receiver.x - start.x, receiver.y - start.y, 0));
    frame.yAxis = Z_AXIS;
    frame.plane.normal() = Versor(cross(frame.xAxis, frame.yAxis));
    frame.plane.d = -dot(frame.plane.normal(), start);
    return frame;
}

SectionFrame SectionFrame::inclined(const Coord& start, const Coord& receiver) {
    SectionFrame frame;
    frame.origin = start;
    frame.xAxis = Versor(receiver - start);
    // The horizontal normal of the vertical section, turned to the left of the path.
    frame.yAxis = Versor(cross(Z_AXIS, Vector(receiver.x - start.x, receiver.y - start.y, 0)));
    frame.plane.normal() = Versor(cross(frame.xAxis, frame.yAxis));
    frame.plane.d = -dot(frame.plane.normal(), start);
    return frame;
}

X2DPoint SectionFrame::toSection(const Coord& point) const {
    const Vector v = point - origin;
    return X2DPoint(dot(v, xAxis), dot(v, yAxis));
}

Coord SectionFrame::toSpace(const X2DVector& q) const { return origin + q.x * xAxis + q.y * yAxis; }

void addCutNodes(const FaceCut& cut, std::int64_t face, const SectionFrame& frame, const X2DRectangle& window,
                 double offset, X2DArray& nodes) {
    if (!cut.cut) return;
    const X2DSegment segment(frame.toSection(cut.low), frame.toSection(cut.high));
    if (segment.a.x < 1e-6 && segment.b.x < 1e-6) return;
    // Where a cut leaves the window, the point where it leaves stands for the
    // end outside: an obstacle higher than the window still lifts the hull to
    // its top. Moved outward by an offset, such a point falls outside the
    // window and gives no node, as a node on the obstacle would see nothing.
    double t0 = 0, t1 = 0;
    if (!window.clip(segment, t0, t1)) return;
    const double length = segment.length();
    const double ends[2] = {t0, t1};
    const double outward[2] = {-1, 1};
    for (int k = 0; k < 2; ++k) {
        double t = ends[k];
        if (offset > 0) {
            if (length == 0) return;
            t += outward[k] * offset / length;
        }
        const X2DPoint q = segment.pointAt(t);
        if (!window.contains(q)) continue;
        if (!(q.x >= windowStart || (q.y > -nearHeight && q.y < nearHeight))) continue;
        nodes.add(std::make_unique<PathNode>(q, Coord(cut.low + t * (cut.high - cut.low)), face));
    }
}

void upperHull(X2DArray& nodes) {
    const std::size_t n = nodes.count();
    std::vector<X2DPoint*> points(n);
    for (std::size_t i = 0; i < n; ++i) {
        points[i] = dynamic_cast<X2DPoint*>(&nodes.at(i));
        if (!points[i]) return;
    }
    if (n < 3) return;
    // The recursion runs on a stack of chords, so that a long section cannot
    // exhaust a worker thread's stack.
    std::vector<std::pair<std::size_t, std::size_t>> chords{{0, n - 1}};
    while (!chords.empty()) {
        const auto [a, b] = chords.back();
        chords.pop_back();
        std::size_t highest = n;
        for (std::size_t c = a + 1; c < b; ++c) {
            if (points[c]->y < droppedLimit) continue;
            if (onOrBelow(*points[a], *points[b], *points[c])) {
                points[c]->y = droppedHeight;
                continue;
            }
            if (highest == n || points[c]->y > points[highest]->y) highest = c;
        }
        if (highest == n) continue;
        chords.push_back({highest, b});
        chords.push_back({a, highest});
    }
    for (std::size_t i = n; i-- > 0;)
        if (points[i]->y < droppedLimit) nodes.remove(i);
}

// A* over the visibility graph, its edges looked at only from the nodes it
// settles: a section of thousands of nodes (a barrier cut into strips, a
// town of buildings) is searched without the n x n matrix of a dense
// Dijkstra, and the straight distance to the receiver, never more than the
// rest of any path, lets it settle the nodes toward the receiver first. The
// path is a shortest one; among paths of equal length the lowest indices win.
std::vector<std::size_t> shortestPath(const X2DArray& nodes, const X2DSegmentsArray& obstacles,
                                      const std::vector<char>& usable) {
    const std::size_t n = nodes.count();
    if (n < 2 || usable.size() < n) return {};
    std::vector<const X2DPoint*> at(n);
    for (std::size_t i = 0; i < n; ++i) {
        at[i] = dynamic_cast<const X2DPoint*>(&nodes.at(i));
        if (!at[i]) return {};
    }
    const std::size_t target = n - 1;
    std::vector<double> reached(n, unreached);
    std::vector<std::size_t> previous(n, n);
    std::vector<char> settled(n, 0);
    using Entry = std::pair<double, std::size_t>;  // (estimate of the whole path, node)
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> open;
    reached[0] = 0;
    open.push({at[0]->distanceTo(*at[target]), 0});
    while (!open.empty()) {
        const std::size_t u = open.top().second;
        open.pop();
        if (settled[u]) continue;
        settled[u] = 1;
        if (u == target) break;
        for (std::size_t v = 0; v < n; ++v) {
            if (settled[v] || !usable[v]) continue;
            const double through = reached[u] + at[u]->distanceTo(*at[v]);
            if (!(through < reached[v])) continue;
            // Each sight line is tested in one direction only, lower index first,
            // so that the answer does not depend on which end is settled first.
            if (obstacles.blocks(*at[std::min(u, v)], *at[std::max(u, v)])) continue;
            reached[v] = through;
            previous[v] = u;
            open.push({through + at[v]->distanceTo(*at[target]), v});
        }
    }
    if (!settled[target]) return {};
    std::vector<std::size_t> path;
    for (std::size_t v = target; v != n; v = previous[v]) path.push_back(v);
    std::reverse(path.begin(), path.end());
    return path;
}

std::vector<std::size_t> sectionPath(const X2DArray& nodes, const X2DSegmentsArray& obstacles, bool directLeg) {
    const std::size_t n = nodes.count();
    if (n < 2) return {};
    std::vector<char> usable(n, 1);
    std::vector<std::size_t> path = shortestPath(nodes, obstacles, usable);
    if (!directLeg || path.size() < 4) return path;
    const auto x = [&nodes](std::size_t i) { return static_cast<const X2DPoint&>(nodes.at(i)).x; };
    if (x(path[1]) <= 0) return path;
    bool turnsBack = false;
    for (std::size_t k = 2; k + 1 < path.size(); ++k) turnsBack = turnsBack || x(path[k]) <= 0;
    if (!turnsBack) return path;
    // A path that first leaves ahead of the source and then runs back behind
    // it is taken for a way around the model rather than over an obstacle:
    // the nodes behind the source are left out and the search is repeated.
    for (std::size_t i = 1; i + 1 < n; ++i)
        if (x(i) <= 0) usable[i] = 0;
    return shortestPath(nodes, obstacles, usable);
}

bool sectionDiffraction(const Model& model, Pyramid& p, unsigned microphone, const ObstructionList& obstructions,
                        const BandEnergies& energy, const Face* monopermeable) {
    const Microphone* target = microphones().at(static_cast<int>(microphone));
    const unsigned method = parameters.Diffraction;
    if (!target || method < 3) return false;
    const Coord start = p.ray.origin;
    const Coord& receiver = target->axis.origin;
    // A receiver straight above or below the leg start has no vertical
    // section through both (the caller sends such steep paths elsewhere).
    if (std::hypot(receiver.x - start.x, receiver.y - start.y) < EPSILON) return false;
    SectionSearch search(model, p, microphone, energy, monopermeable, start, receiver);
    if (method < 50) return search.hull();
    if (method < 98) return search.topPoint(obstructions);
    return search.graph();
}
