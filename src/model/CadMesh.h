#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "geometry/Vector.h"

/// A polygon of a CAD mesh: its corners as indices into the mesh's vertices, and its material's index.
struct CadPolygon {
    std::vector<std::uint32_t> corners;  ///< in the order the edges run
    std::uint32_t material = 0;          ///< index into CadMesh::materials
};

/// A point the CAD file names (a point on a layer or in a group): a candidate source or receiver.
struct CadPoint {
    Coord position;
    std::string name;  ///< the layer or group it is on
};

/// What a CAD reader hands on: vertices, polygons, material names and named points.
struct CadMesh {
    std::vector<Coord> vertices;         ///< metres once transform has run
    std::vector<CadPolygon> polygons;    ///< the faces of the file, then of the repair and the merging
    std::vector<std::string> materials;  ///< CAD material, group or layer names, in order of first use
    std::vector<CadPoint> points;        ///< named points, candidates for sources and receivers
    /// Metres per drawing unit as the file declares it; 0 when it declares none.
    double declaredUnit = 0;

    /// The index of a material name, added on first use.
    std::uint32_t materialIndex(const std::string& name);
    /// The polygon's area vector (Newell's method): normal to it by the right-hand rule, twice its area long.
    Vector areaVector(const CadPolygon& polygon) const;
    /// Scales every coordinate and, for a Y-up file, turns +y into +z (a right-handed quarter turn about x).
    void transform(double scale, bool yUp);
};

/// A problem that stops an import; the text names the file and the problem.
class CadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
