#include "model/CadMesh.h"

#include <algorithm>

std::uint32_t CadMesh::materialIndex(const std::string& name) {
    const auto found = std::find(materials.begin(), materials.end(), name);
    if (found != materials.end()) return static_cast<std::uint32_t>(found - materials.begin());
    materials.push_back(name);
    return static_cast<std::uint32_t>(materials.size() - 1);
}

void CadMesh::transform(double scale, bool yUp) {
    const auto place = [scale, yUp](Coord& p) {
        p = yUp ? Coord(p.x * scale, -p.z * scale, p.y * scale) : Coord(p.x * scale, p.y * scale, p.z * scale);
    };
    for (Coord& p : vertices) place(p);
    for (CadPoint& point : points) place(point.position);
}

// Newell's method gives a sound normal for any polygon, even a slightly
// non-planar or concave one, where the cross product of two edges may not.
Vector CadMesh::areaVector(const CadPolygon& polygon) const {
    Vector sum;
    const std::size_t n = polygon.corners.size();
    for (std::size_t i = 0; i < n; ++i)
        sum = sum + cross(vertices[polygon.corners[i]], vertices[polygon.corners[(i + 1) % n]]);
    return sum;
}
