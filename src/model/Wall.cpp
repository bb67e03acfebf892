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
