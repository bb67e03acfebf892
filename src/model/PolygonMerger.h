#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "model/CadMesh.h"

/// Joins the polygons of one material that lie in one plane and share edges into single polygons.
///
/// The tracer is faster on fewer faces: the triangles a CAD exporter makes of
/// a wall become the wall again. A merged polygon is simple (one outline, no
/// holes, no corner met twice) and has at most 64 corners, none of them on a
/// straight line between its neighbours. The polygons must be oriented
/// consistently (orientMesh); they keep their orientation.
class PolygonMerger {
public:
    /// Prepares the merging of mesh's polygons; the mesh must outlive the merger.
    explicit PolygonMerger(const CadMesh& mesh);
    /// The merged polygons, in the order of the first polygon of each.
    std::vector<CadPolygon> merge();

private:
    using Boundary = std::unordered_map<std::uint32_t, std::uint32_t>;

    bool isCoplanar(std::uint32_t seed, std::uint32_t candidate) const;
    bool tryJoin(Boundary& boundary, const CadPolygon& polygon) const;
    std::vector<std::uint32_t> outline(const Boundary& boundary, std::uint32_t start) const;
    std::vector<std::uint32_t> dropCollinear(std::vector<std::uint32_t> corners) const;
    std::vector<std::uint32_t> startWell(std::vector<std::uint32_t> corners) const;
    CadPolygon grow(std::uint32_t seed);

    const CadMesh& mesh_;
    std::vector<Vector> normals_;
    std::unordered_map<std::uint64_t, std::uint32_t> edgeOwner_;
    std::vector<bool> used_;
};
