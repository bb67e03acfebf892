#include "model/MeshRepair.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <set>

#include "model/Face.h"
#include "model/PolygonTriangulation.h"

namespace {
// The tracer moves a corner further than half its default crack tolerance
// (1 mm) off a face's plane with a warning: such a polygon is split instead.
constexpr double planarTolerance = 0.0005;
// Twice the area (m²) below which a polygon is taken as having none.
constexpr double noArea = 1e-9;

using Cell = std::array<long long, 3>;

// The 1e-6 m cell of a grid a point lies in. Coordinates are held within
// ±1e12 m so that a cell and its neighbours stay within long long.
Cell cellOf(const Coord& p) {
    const auto index = [](double x) { return std::llround(std::clamp(x, -1e12, 1e12) / EPSILON); };
    return {index(p.x), index(p.y), index(p.z)};
}

// A kept vertex within 1e-6 m of p in each axis, if any. It lies in p's cell or in a neighbouring one:
// two points that close may fall on either side of a cell boundary.
std::optional<std::uint32_t> nearKept(const std::map<Cell, std::uint32_t>& cells, const std::vector<Coord>& kept,
                                      const Coord& p) {
    const Cell centre = cellOf(p);
    for (long long dx = -1; dx <= 1; ++dx)
        for (long long dy = -1; dy <= 1; ++dy)
            for (long long dz = -1; dz <= 1; ++dz) {
                const auto found = cells.find({centre[0] + dx, centre[1] + dy, centre[2] + dz});
                if (found != cells.end() && nearlyEqual(kept[found->second], p)) return found->second;
            }
    return std::nullopt;
}

// Vertices within 1e-6 m of a kept one become that one, so that faces that
// share an edge in the drawing share its vertex indices here. A cell holds
// one kept vertex at most: any other point in it is that close to it.
void weld(CadMesh& mesh) {
    std::map<Cell, std::uint32_t> cells;
    std::vector<Coord> kept;
    std::vector<std::uint32_t> renumbered(mesh.vertices.size());
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Coord& p = mesh.vertices[i];
        const std::optional<std::uint32_t> near = nearKept(cells, kept, p);
        if (near) {
            renumbered[i] = *near;
            continue;
        }
        renumbered[i] = static_cast<std::uint32_t>(kept.size());
        cells.emplace(cellOf(p), renumbered[i]);
        kept.push_back(p);
    }
    for (CadPolygon& polygon : mesh.polygons)
        for (std::uint32_t& corner : polygon.corners) corner = renumbered[corner];
    mesh.vertices = std::move(kept);
}

// Drops each corner equal to the one before it (the last one's predecessor is the first).
void dropRepeatedCorners(CadPolygon& polygon) {
    std::vector<std::uint32_t>& c = polygon.corners;
    c.erase(std::unique(c.begin(), c.end()), c.end());
    while (c.size() > 1 && c.front() == c.back()) c.pop_back();
}

bool isPlanar(const CadMesh& mesh, const CadPolygon& polygon, const Vector& areaVector) {
    const Vector normal = areaVector * (1 / areaVector.modulus());
    const Coord& origin = mesh.vertices[polygon.corners[0]];
    return std::all_of(polygon.corners.begin(), polygon.corners.end(), [&](std::uint32_t corner) {
        return std::fabs(dot(normal, mesh.vertices[corner] - origin)) <= planarTolerance;
    });
}
}  // namespace

RepairCounts repairMesh(CadMesh& mesh) {
    weld(mesh);
    RepairCounts counts;
    std::set<std::vector<std::uint32_t>> seen;
    std::vector<CadPolygon> kept;
    for (CadPolygon& polygon : mesh.polygons) {
        dropRepeatedCorners(polygon);
        const Vector area = polygon.corners.size() < 3 ? Vector() : mesh.areaVector(polygon);
        if (area.modulus() < noArea) {
            ++counts.degenerate;
            continue;
        }
        // The same corners in any order or direction are the same face drawn twice.
        std::vector<std::uint32_t> key = polygon.corners;
        std::sort(key.begin(), key.end());
        if (!seen.insert(std::move(key)).second) {
            ++counts.duplicates;
            continue;
        }
        if (polygon.corners.size() > Face::maxVertices || !isPlanar(mesh, polygon, area)) {
            ++counts.split;
            // Triangles without area (corners on one line) are left out.
            for (CadPolygon& triangle : triangulate(mesh, polygon))
                if (mesh.areaVector(triangle).modulus() >= noArea) kept.push_back(std::move(triangle));
            continue;
        }
        kept.push_back(std::move(polygon));
    }
    mesh.polygons = std::move(kept);
    return counts;
}
