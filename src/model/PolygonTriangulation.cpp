#include "model/PolygonTriangulation.h"

#include <cmath>
#include <numeric>

namespace {
struct PlanePoint {
    double u = 0, v = 0;
};

// Twice the signed area of the triangle abc: positive when it turns counter-clockwise.
double turn(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) {
    return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

// The corners in axes u, v of the best-fit plane chosen with u × v along the
// area vector, so that the outline runs counter-clockwise in them.
std::vector<PlanePoint> project(const CadMesh& mesh, const CadPolygon& polygon) {
    const Vector area = mesh.areaVector(polygon);
    const Vector n = area * (1 / area.modulus());
    // The axis least along the normal gives the best-conditioned cross product.
    const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    const Vector helper = ax <= ay && ax <= az ? Vector(1, 0, 0) : ay <= az ? Vector(0, 1, 0) : Vector(0, 0, 1);
    const Vector rawU = cross(helper, n);
    const Vector u = rawU * (1 / rawU.modulus());
    const Vector v = cross(n, u);
    std::vector<PlanePoint> points;
    for (std::uint32_t corner : polygon.corners) {
        const Vector& p = mesh.vertices[corner];
        points.push_back({dot(p, u), dot(p, v)});
    }
    return points;
}

// Whether the corner at ring[k] is an ear: it turns left and no other corner
// lies in or on its triangle (a corner on an edge would be cut off the outline).
bool isEar(const std::vector<std::size_t>& ring, std::size_t k, const std::vector<PlanePoint>& points,
           const CadPolygon& polygon) {
    const std::size_t n = ring.size();
    const std::size_t ia = ring[(k + n - 1) % n], ib = ring[k], ic = ring[(k + 1) % n];
    const PlanePoint &a = points[ia], &b = points[ib], &c = points[ic];
    if (turn(a, b, c) <= 0) return false;
    for (std::size_t j : ring) {
        const std::uint32_t corner = polygon.corners[j];
        // An outline that meets a corner twice touches the triangle there without entering it.
        if (corner == polygon.corners[ia] || corner == polygon.corners[ib] || corner == polygon.corners[ic]) continue;
        const PlanePoint& p = points[j];
        if (turn(a, b, p) >= 0 && turn(b, c, p) >= 0 && turn(c, a, p) >= 0) return false;
    }
    return true;
}
}  // namespace

std::vector<CadPolygon> triangulate(const CadMesh& mesh, const CadPolygon& polygon) {
    const std::vector<PlanePoint> points = project(mesh, polygon);
    std::vector<std::size_t> ring(polygon.corners.size());
    std::iota(ring.begin(), ring.end(), 0);
    std::vector<CadPolygon> triangles;
    const auto cut = [&](std::size_t k) {
        const std::size_t n = ring.size();
        triangles.push_back({{polygon.corners[ring[(k + n - 1) % n]], polygon.corners[ring[k]],
                              polygon.corners[ring[(k + 1) % n]]},
                             polygon.material});
        ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(k));
    };
    std::size_t k = 0;
    for (std::size_t tried = 0; ring.size() > 3;) {
        // A simple polygon always has an ear (Meisters' two-ears theorem); when
        // none is found the outline crosses itself, and a corner is cut anyway so that the split ends.
        if (tried < ring.size() && !isEar(ring, k, points, polygon)) {
            k = (k + 1) % ring.size();
            ++tried;
            continue;
        }
        cut(k);
        // The corner before the cut one has a new neighbour: it is the first to test again.
        k = (k + ring.size() - 1) % ring.size();
        tried = 0;
    }
    cut(1);
    return triangles;
}
