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

FaceList::EntryFaces FaceList::facesOf(Entity* entry) {
    Wall* wall = entry->typeCode() == EntityType::wall ? static_cast<Wall*>(entry) : nullptr;
    return {faceOf(entry), wall};
}

void FaceList::add(Entity* entity) {
    EntityArray::add(entity);
    if (entity) entries_.push_back(facesOf(entity));
}

void FaceList::replace(std::uint32_t index, Entity* entity) {
    const bool inPlace = index < count();
    EntityArray::replace(index, entity);
    if (inPlace) entries_[index] = facesOf(entity);
}

void FaceList::indexEntries() {
    entries_.clear();
    for (Entity* entry : items_) entries_.push_back(facesOf(entry));
}
