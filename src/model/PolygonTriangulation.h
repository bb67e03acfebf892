#pragma once
#include <vector>

#include "model/CadMesh.h"

/// Splits a polygon into triangles of its material that keep its orientation.
///
/// The corners are projected onto the polygon's best-fit plane (Newell's
/// normal) and ears are cut off one at a time (ear clipping, after Meisters
/// 1975). For a simple polygon, convex or not, the triangles cover it exactly
/// once; an outline that crosses itself still gives n - 2 triangles, which may overlap.
std::vector<CadPolygon> triangulate(const CadMesh& mesh, const CadPolygon& polygon);
