#include "model/FaceList.h"

#include "model/Wall.h"

Face* FaceList::faceOf(Entity* entry) {
    if (!entry) return nullptr;
    switch (entry->typeCode()) {
        case EntityType::face:
        case EntityType::door:
        case EntityType::hole:
            return static_cast<Face*>(entry);
        case EntityType::wall:
            return static_cast<Wall*>(entry)->face;
        default:
            return nullptr;
    }
}
