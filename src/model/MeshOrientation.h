#pragma once
#include <cstdint>

#include "model/CadMesh.h"

/// What the orientation of a mesh found, for the import report.
struct OrientationCounts {
    std::uint32_t turned = 0;     ///< polygons whose corner order was reversed
    std::uint32_t openEdges = 0;  ///< edges of one polygon only: gaps through which pyramids leave the room
};

/// Makes polygons that share an edge run it in opposite directions; turns the largest shell of them to face its
/// inside and every other shell to face outward.
///
/// The tracer reflects on both sides of a face; consistent normals pointing
/// into the room (as in the example models) keep the model readable and make
/// a later one-sided use of the faces possible.
OrientationCounts orientMesh(CadMesh& mesh);
