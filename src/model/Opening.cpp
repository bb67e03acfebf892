#include "model/Opening.h"

#include <ostream>

#include "model/Wall.h"

// Each vertex is moved along the wall's normal onto the wall's plane. On a
// degenerate main face (zero normal) there is no such point: the vertices are
// left where they are, and the opening keeps its own geometry.
void InWallFace::setOwner(Wall* wall) {
    owner = wall;
    if (!wall || !wall->face) return;
    const Plane& plane = wall->face->plane;
    for (Coord& p : vertices) {
        Coord onPlane;
        if (intersect(Line(p, plane.normal()), plane, onPlane)) p = onPlane;
    }
}

bool Door::isTransparent() const { return (flags & FaceFlag::open) && !(flags & FaceFlag::reversed); }

bool Hole::isTransparent() const { return !(flags & FaceFlag::reversed); }

void Hole::exportDxf(std::ostream& out) const {
    out << "0\nPOLYLINE\n8\n1\n66\n1\n10\n0.0\n20\n0.0\n30\n0.0\n70\n8\n";
    const std::size_t n = vertices.size();
    for (std::size_t i = 0; i <= n; ++i) {
        const Coord& p = vertices[i % n];
        out << "0\nVERTEX\n8\n1\n" << "10\n" << p.x << "\n20\n" << p.y << "\n30\n" << p.z << "\n70\n32\n";
    }
    out << "0\nSEQEND\n";
}
