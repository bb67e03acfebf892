#pragma once
#include <cstdint>

#include "model/CadMesh.h"

/// What the repair of a mesh did, for the import report.
struct RepairCounts {
    std::uint32_t degenerate = 0;  ///< polygons of fewer than three distinct corners or of no area, dropped
    std::uint32_t duplicates = 0;  ///< polygons with the same corners as an earlier one, dropped
    std::uint32_t split = 0;       ///< non-planar polygons and polygons of more than 64 corners, split into triangles
};

/// Joins vertices closer than 1e-6 m, drops degenerate and duplicate polygons and splits the non-planar ones.
RepairCounts repairMesh(CadMesh& mesh);
