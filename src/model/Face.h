#pragma once
#include <cstdint>
#include <vector>

#include "geometry/Line.h"
#include "geometry/Geometry.h"
#include "geometry/Plane.h"
#include "model/Entity.h"

class Wall;

/// Bits of a face's flags.
namespace FaceFlag {
constexpr std::uint32_t obstructing = 1;    ///< blocks the visibility between points
constexpr std::uint32_t monopermeable = 2;  ///< lets sound through in one direction only
constexpr std::uint32_t reversed = 4;       ///< reverses the transparency rule of the class
constexpr std::uint32_t open = 8;           ///< an open door (or face)
}  // namespace FaceFlag

/// A point of a face's two-dimensional copy.
struct Point2 {
    double first;
    double second;
};

/// A planar polygon of 3 to 64 vertices, with everything the tracer needs to
/// test it precomputed when its vertices are set.
class Face : public Entity {
public:
    /// The most vertices a face may have.
    static constexpr std::uint32_t maxVertices = 64;

    Face() = default;
    /// A face of four vertices and a material (flags 0, no number, no owner).
    Face(const Coord& a, const Coord& b, const Coord& c, const Coord& d, std::uint16_t material);
    /// A copy of another face's flags, material, owner and vertices (number 0), derived fields recomputed.
    explicit Face(const Face& other);

    int typeCode() const override { return EntityType::face; }
    const char* typeName() const override { return "Face"; }
    bool isSameAs(const Entity& other) const override;
    void write(std::ostream& out) const override;
    void read(std::istream& in) override;
    void exportDxf(std::ostream& out) const override;
    void extendBox(Coord& min, Coord& max) const override;
    /// True when the face has a vertex array of at least 3 vertices.
    bool isValid() const override { return !vertices.empty() && vertexCount >= 3; }

    /// Whether the face lets rays through instead of reflecting them.
    virtual bool isTransparent() const;
    /// Records the wall that contains the face.
    virtual void setOwner(Wall* wall) { owner = wall; }

    /// Checks and reduces the vertices, then computes every derived field; false when the face is unusable.
    bool setVertices(const Coord* points, std::uint32_t count);
    /// Computes the plane, flattens the vertices onto it and derives box, edges, area and convexity.
    void computePlane();
    /// Recomputes the centroid and the edge lines.
    void computeEdges();
    /// Whether a point of the face's plane lies in the face (bounds widened by the crack tolerance).
    bool contains(const Coord& p) const;
    /// The area test of a convex face: p lies in it when the edge triangles add up to no more than the area.
    bool containsByArea(const Coord& p) const;
    /// The crossing test of a concave face in its projected plane.
    bool containsByCrossing(const Coord& p) const;
    /// Whether p lies in the widened box (bounds included).
    bool inBox(const Coord& p) const;
    /// The edge common to this face and other: i on this face, j on the other (the j-1 rule included).
    bool findSharedEdge(const Face& other, int& i, int& j) const;

    std::uint32_t flags = 0;
    std::uint16_t material = 0;
    std::vector<Coord> vertices;
    std::vector<Line> edgeLines;
    std::uint16_t vertexCount = 0;
    double area = 0;
    Plane plane;
    Coord centroid;
    std::uint32_t number = 0;
    Coord boxMin;
    Coord boxMax;
    bool isBoxRectangle = false;
    bool isConvex = false;
    std::vector<Point2> projected;
    Wall* owner = nullptr;

protected:
    /// Fills vertices and derived fields from the face copied.
    void copyFrom(const Face& other);

private:
    bool computeConvexity() const;
    void computeProjected();
    Point2 projectedPoint(const Vector& p) const;
};

/// Where a ray meets a plain face or a wall (the main face's plane, then the opening met there).
///
/// Answers the face hit (for a wall: the face of it met, unless that is
/// transparent) or null; t is the distance along the ray, 1e12 for a ray
/// parallel to the plane.
Face* hitBy(const Line& ray, Entity& entity, Coord& point, double& t, double tMax);
/// The same for an entry whose face and wall (null for a plain face) are known.
Face* hitBy(const Line& ray, Face& face, Wall* wall, Coord& point, double& t, double tMax);
