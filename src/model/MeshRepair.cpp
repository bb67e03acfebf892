#include "model/MeshRepair.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

#include "model/Face.h"

namespace {
// The tracer moves a corner further than half its default crack tolerance
// (1 mm) off a face's plane with a warning: such a polygon is split instead.
constexpr double planarTolerance = 0.0005;
// Twice the area (m²) below which a polygon is taken as having none.
constexpr double noArea = 1e-9;

// Vertices in the same 1e-6 m cell of a grid become one, so that faces that
// share an edge in the drawing share its vertex indices here.
void weld(CadMesh& mesh) {
    std::map<std::array<long long, 3>, std::uint32_t> cells;
    std::vector<Coord> kept;
    std::vector<std::uint32_t> renumbered(mesh.vertices.size());
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Coord& p = mesh.vertices[i];
        const std::array<long long, 3> cell{std::llround(p.x / EPSILON), std::llround(p.y / EPSILON),
                                            std::llround(p.z / EPSILON)};
        const auto [at, added] = cells.emplace(cell, static_cast<std::uint32_t>(kept.size()));
        if (added) kept.push_back(p);
        renumbered[i] = at->second;
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

// A fan from the first corner; triangles without area are left out.
void addFan(const CadMesh& mesh, const CadPolygon& polygon, std::vector<CadPolygon>& out) {
    for (std::size_t i = 1; i + 1 < polygon.corners.size(); ++i) {
        CadPolygon triangle{{polygon.corners[0], polygon.corners[i], polygon.corners[i + 1]}, polygon.material};
        if (mesh.areaVector(triangle).modulus() >= noArea) out.push_back(std::move(triangle));
    }
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
            addFan(mesh, polygon, kept);
            continue;
        }
        kept.push_back(std::move(polygon));
    }
    mesh.polygons = std::move(kept);
    return counts;
}
