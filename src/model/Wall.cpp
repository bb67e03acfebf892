#include "model/Wall.h"

#include "model/Face.h"
#include "ui/Messages.h"

bool Wall::isSameAs(const Entity& other) const { return face && face->isSameAs(other); }

void Wall::extendBox(Coord& min, Coord& max) const {
    if (face) face->extendBox(min, max);
}

void Wall::read(std::istream& in) {
    EntityList::read(in);
    for (Entity* child = first; child && !face; child = child->next)
        if (child->typeCode() == EntityType::face) face = static_cast<Face*>(child);
    if (!face) {
        reportError("Wall with no face in line %d", static_cast<int>(lineNumber));
        return;
    }
    face->setOwner(this);
    for (Entity* child = first; child; child = child->next)
        if (child->typeCode() == EntityType::door || child->typeCode() == EntityType::hole)
            static_cast<Face*>(child)->setOwner(this);
}

Face* Wall::faceAt(const Coord& p) const {
    for (Entity* child = first; child; child = child->next) {
        if (child == face) continue;
        const Face* opening = static_cast<const Face*>(child);
        if (!opening->isValid() || !opening->inBox(p)) continue;
        const bool inside = opening->isBoxRectangle ||
                            (opening->isConvex ? opening->containsByArea(p) : opening->containsByCrossing(p));
        if (!inside) continue;
        if (face->flags & FaceFlag::reversed) return face;
        if (face->isTransparent()) return nullptr;
        return static_cast<Face*>(child);
    }
    return face;
}
