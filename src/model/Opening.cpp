#include "model/Opening.h"

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
