#include "model/MeshOrientation.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_map>

namespace {
// Six times the volume (m³) below which a shell is taken as flat.
constexpr double flatVolume = 1e-9;

using EdgeMap = std::unordered_map<std::uint64_t, std::vector<std::uint32_t>>;

std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b) {
    return (static_cast<std::uint64_t>(std::min(a, b)) << 32) | std::max(a, b);
}

// Every undirected edge with the polygons that have it, in polygon order.
EdgeMap mapEdges(const CadMesh& mesh) {
    EdgeMap edges;
    for (std::uint32_t p = 0; p < mesh.polygons.size(); ++p) {
        const std::vector<std::uint32_t>& c = mesh.polygons[p].corners;
        for (std::size_t i = 0; i < c.size(); ++i) edges[edgeKey(c[i], c[(i + 1) % c.size()])].push_back(p);
    }
    return edges;
}

bool runsFrom(const CadPolygon& polygon, std::uint32_t a, std::uint32_t b) {
    const std::vector<std::uint32_t>& c = polygon.corners;
    for (std::size_t i = 0; i < c.size(); ++i)
        if (c[i] == a && c[(i + 1) % c.size()] == b) return true;
    return false;
}

// Reverses the corner order but keeps the first corner first.
void reverse(CadPolygon& polygon) { std::reverse(polygon.corners.begin() + 1, polygon.corners.end()); }

// Six times the volume the polygons enclose, seen from the shell's centre:
// positive when their normals point outward. For an open shell (a room with a
// gap, or without its ceiling) it still tells which side most faces turn to.
double signedVolume(const CadMesh& mesh, const std::vector<std::uint32_t>& shell) {
    Vector sum;
    std::size_t count = 0;
    for (std::uint32_t p : shell)
        for (std::uint32_t corner : mesh.polygons[p].corners) {
            sum = sum + mesh.vertices[corner];
            ++count;
        }
    const Coord centre(sum * (1.0 / static_cast<double>(count)));
    double volume = 0;
    for (std::uint32_t p : shell) {
        const std::vector<std::uint32_t>& c = mesh.polygons[p].corners;
        const Vector origin = mesh.vertices[c[0]] - centre;
        for (std::size_t i = 1; i + 1 < c.size(); ++i)
            volume += dot(origin, cross(mesh.vertices[c[i]] - centre, mesh.vertices[c[i + 1]] - centre));
    }
    return volume;
}

// The polygons reached from seed across shared edges, each turned to run opposite to the one it was reached from.
std::vector<std::uint32_t> orientFrom(std::uint32_t seed, CadMesh& mesh, const EdgeMap& edges,
                                      std::vector<bool>& reached, std::vector<bool>& reversed) {
    std::vector<std::uint32_t> shell{seed};
    std::deque<std::uint32_t> queue{seed};
    reached[seed] = true;
    while (!queue.empty()) {
        const CadPolygon& polygon = mesh.polygons[queue.front()];
        queue.pop_front();
        const std::vector<std::uint32_t>& c = polygon.corners;
        for (std::size_t i = 0; i < c.size(); ++i) {
            const std::uint32_t a = c[i], b = c[(i + 1) % c.size()];
            for (std::uint32_t q : edges.at(edgeKey(a, b))) {
                if (reached[q]) continue;
                reached[q] = true;
                if (runsFrom(mesh.polygons[q], a, b)) {
                    reverse(mesh.polygons[q]);
                    reversed[q] = !reversed[q];
                }
                shell.push_back(q);
                queue.push_back(q);
            }
        }
    }
    return shell;
}
}  // namespace

OrientationCounts orientMesh(CadMesh& mesh) {
    const EdgeMap edges = mapEdges(mesh);
    std::vector<bool> reached(mesh.polygons.size()), reversed(mesh.polygons.size());
    std::vector<std::vector<std::uint32_t>> shells;
    std::vector<double> volumes;
    for (std::uint32_t seed = 0; seed < mesh.polygons.size(); ++seed) {
        if (reached[seed]) continue;
        shells.push_back(orientFrom(seed, mesh, edges, reached, reversed));
        volumes.push_back(signedVolume(mesh, shells.back()));
    }
    // The largest shell is the room and faces its inside; every other one (a
    // column, a balcony, a reflector) stands in the room and faces outward.
    std::size_t room = 0;
    for (std::size_t s = 1; s < shells.size(); ++s)
        if (std::fabs(volumes[s]) > std::fabs(volumes[room])) room = s;
    for (std::size_t s = 0; s < shells.size(); ++s) {
        // A flat shell encloses nothing: rounding must not turn it.
        if (std::fabs(volumes[s]) <= flatVolume || (volumes[s] > 0) != (s == room)) continue;
        for (std::uint32_t p : shells[s]) {
            reverse(mesh.polygons[p]);
            reversed[p] = !reversed[p];
        }
    }
    OrientationCounts counts;
    counts.turned = static_cast<std::uint32_t>(std::count(reversed.begin(), reversed.end(), true));
    for (const auto& [key, polygons] : edges) counts.openEdges += polygons.size() == 1 ? 1 : 0;
    return counts;
}
