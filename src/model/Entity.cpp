#include "model/Entity.h"

#include <algorithm>

std::pair<Coord, Coord> Entity::box() const {
    Coord min, max;
    extent(min, max);
    // An entity with nothing in it leaves the box inverted; ordering each
    // coordinate turns that into the widest box instead.
    if (min.x > max.x) std::swap(min.x, max.x);
    if (min.y > max.y) std::swap(min.y, max.y);
    if (min.z > max.z) std::swap(min.z, max.z);
    return {min, max};
}

void Entity::extent(Coord& min, Coord& max) const {
    min = Coord(1e12, 1e12, 1e12);
    max = Coord(-1e12, -1e12, -1e12);
    extendBox(min, max);
}

void extendBoxBy(const Vector& p, Coord& min, Coord& max) {
    min.x = std::min(min.x, p.x);
    min.y = std::min(min.y, p.y);
    min.z = std::min(min.z, p.z);
    max.x = std::max(max.x, p.x);
    max.y = std::max(max.y, p.y);
    max.z = std::max(max.z, p.z);
}
