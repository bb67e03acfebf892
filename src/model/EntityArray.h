#pragma once
#include <cstdint>
#include <vector>

#include "model/Entity.h"

/// A growable array of entities: capacity 0, then 32, then doubled each time it is full.
class EntityArray {
public:
    /// An empty array that destroys what it holds when owns is set.
    explicit EntityArray(bool owns) : owns_(owns) {}
    virtual ~EntityArray();
    EntityArray(const EntityArray&) = delete;
    EntityArray& operator=(const EntityArray&) = delete;

    /// Appends entity (a null entity only makes room).
    virtual void add(Entity* entity);
    /// Puts entity in place of entry index (destroying the old one when owned); past the end it is added.
    virtual void replace(std::uint32_t index, Entity* entity);

    /// Leaves the entities held to the end of the process instead of destroying them with the array: for a program
    /// about to end, where freeing a large model face by face is time lost.
    void keepUntilExit();

    /// The entry at index (no bounds check: callers iterate below count()).
    Entity* at(std::uint32_t index) const { return items_[index]; }
    std::uint32_t count() const { return static_cast<std::uint32_t>(items_.size()); }
    /// The entries there is room for: 32 at the first add, doubled whenever full.
    std::uint32_t capacity() const { return capacity_; }

protected:
    std::vector<Entity*> items_;

private:
    std::uint32_t capacity_ = 0;
    bool owns_;
};
