#include "model/PolygonMerger.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "model/Face.h"

namespace {
// Normals this close in direction, and corners this close (m) to the seed's
// plane, are one plane: the tolerances of the tracer's own triangle merging.
constexpr double parallel = 1e-9;
constexpr double onPlane = 1e-6;
// Twice the area (m²) of a corner's triangle with its neighbours below which it lies on their line.
constexpr double straight = 1e-9;

std::uint64_t directed(std::uint32_t a, std::uint32_t b) { return (static_cast<std::uint64_t>(a) << 32) | b; }
}  // namespace

PolygonMerger::PolygonMerger(const CadMesh& mesh) : mesh_(mesh), used_(mesh.polygons.size()) {
    for (std::uint32_t p = 0; p < mesh.polygons.size(); ++p) {
        const Vector area = mesh.areaVector(mesh.polygons[p]);
        normals_.push_back(area * (1 / area.modulus()));
        const std::vector<std::uint32_t>& c = mesh.polygons[p].corners;
        for (std::size_t i = 0; i < c.size(); ++i) edgeOwner_.emplace(directed(c[i], c[(i + 1) % c.size()]), p);
    }
}

std::vector<CadPolygon> PolygonMerger::merge() {
    std::vector<CadPolygon> merged;
    for (std::uint32_t seed = 0; seed < mesh_.polygons.size(); ++seed)
        if (!used_[seed]) merged.push_back(grow(seed));
    return merged;
}

bool PolygonMerger::isCoplanar(std::uint32_t seed, std::uint32_t candidate) const {
    const CadPolygon& a = mesh_.polygons[seed];
    const CadPolygon& b = mesh_.polygons[candidate];
    if (a.material != b.material || dot(normals_[seed], normals_[candidate]) < 1 - parallel) return false;
    const Coord& origin = mesh_.vertices[a.corners[0]];
    for (std::uint32_t corner : b.corners)
        if (std::fabs(dot(normals_[seed], mesh_.vertices[corner] - origin)) > onPlane) return false;
    return true;
}

// The region's outline as a map from each corner to the next: an edge of the
// polygon that the outline runs the other way cancels, the others join it.
// The polygon is refused when the outline would stop being one simple loop
// of at most 64 corners.
bool PolygonMerger::tryJoin(Boundary& boundary, const CadPolygon& polygon) const {
    Boundary joined = boundary;
    const std::vector<std::uint32_t>& c = polygon.corners;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> added;
    for (std::size_t i = 0; i < c.size(); ++i) {
        const std::uint32_t a = c[i], b = c[(i + 1) % c.size()];
        const auto back = joined.find(b);
        if (back != joined.end() && back->second == a)
            joined.erase(back);
        else
            added.emplace_back(a, b);
    }
    for (const auto& [a, b] : added)
        if (!joined.emplace(a, b).second) return false;
    const std::vector<std::uint32_t> loop = outline(joined, c[0]);
    if (loop.size() != joined.size() || dropCollinear(loop).size() > Face::maxVertices) return false;
    boundary = std::move(joined);
    return true;
}

// The corners met walking the outline from start (or, when start is not on it, from its first entry).
std::vector<std::uint32_t> PolygonMerger::outline(const Boundary& boundary, std::uint32_t start) const {
    if (!boundary.contains(start)) start = boundary.begin()->first;
    std::vector<std::uint32_t> loop;
    std::uint32_t corner = start;
    do {
        loop.push_back(corner);
        const auto next = boundary.find(corner);
        if (next == boundary.end() || loop.size() > boundary.size()) break;
        corner = next->second;
    } while (corner != start);
    return loop;
}

std::vector<std::uint32_t> PolygonMerger::dropCollinear(std::vector<std::uint32_t> corners) const {
    for (std::size_t i = 0; corners.size() > 3 && i < corners.size();) {
        const Coord& before = mesh_.vertices[corners[(i + corners.size() - 1) % corners.size()]];
        const Coord& at = mesh_.vertices[corners[i]];
        const Coord& after = mesh_.vertices[corners[(i + 1) % corners.size()]];
        if (cross(at - before, after - at).modulus() < straight)
            corners.erase(corners.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    return corners;
}

// A region grows from seed across shared edges, breadth first, taking every
// coplanar neighbour of the same material that keeps its outline simple.
CadPolygon PolygonMerger::grow(std::uint32_t seed) {
    used_[seed] = true;
    const CadPolygon& first = mesh_.polygons[seed];
    Boundary boundary;
    // A polygon that meets one of its own corners twice has no simple outline to grow.
    if (!tryJoin(boundary, first)) return first;
    std::deque<std::uint32_t> queue{seed};
    while (!queue.empty()) {
        const std::vector<std::uint32_t>& c = mesh_.polygons[queue.front()].corners;
        queue.pop_front();
        for (std::size_t i = 0; i < c.size(); ++i) {
            const auto neighbour = edgeOwner_.find(directed(c[(i + 1) % c.size()], c[i]));
            if (neighbour == edgeOwner_.end()) continue;
            const std::uint32_t q = neighbour->second;
            if (used_[q] || !isCoplanar(seed, q) || !tryJoin(boundary, mesh_.polygons[q])) continue;
            used_[q] = true;
            queue.push_back(q);
        }
    }
    return {startWell(dropCollinear(outline(boundary, first.corners[0]))), first.material};
}

// The tracer takes a face's plane through its corners 1, 1 + n/3 and 1 + 2n/3:
// the rotation of the corners that makes these span the largest triangle
// keeps a concave outline from giving it three corners on one line.
std::vector<std::uint32_t> PolygonMerger::startWell(std::vector<std::uint32_t> corners) const {
    const std::size_t n = corners.size();
    std::size_t best = 0;
    double largest = -1;
    for (std::size_t r = 0; r < n; ++r) {
        const Coord& a = mesh_.vertices[corners[r]];
        const double size = cross(mesh_.vertices[corners[(r + n / 3) % n]] - a,
                                  mesh_.vertices[corners[(r + 2 * n / 3) % n]] - a).modulus();
        if (size > largest) {
            largest = size;
            best = r;
        }
    }
    std::rotate(corners.begin(), corners.begin() + static_cast<std::ptrdiff_t>(best), corners.end());
    return corners;
}
