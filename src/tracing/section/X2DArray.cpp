#include "tracing/section/X2DArray.h"

X2DArray::X2DArray() { items_.reserve(capacity_); }

X2DArray::X2DArray(const X2DArray& other) : X2DEntity(other), capacity_(other.capacity_) {
    items_.reserve(capacity_);
    for (const auto& item : other.items_) items_.push_back(item->clone());
}

X2DArray& X2DArray::operator=(const X2DArray& other) {
    if (this != &other) {
        X2DArray copy(other);
        *this = std::move(copy);
    }
    return *this;
}

bool X2DArray::add(std::unique_ptr<X2DEntity> entity) {
    if (!entity || !accepts(*entity)) return false;
    if (items_.size() == capacity_) {
        capacity_ *= 2;
        items_.reserve(capacity_);
    }
    items_.push_back(std::move(entity));
    return true;
}

void X2DArray::remove(std::size_t index) {
    if (index < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

bool X2DPolygon::accepts(const X2DEntity& entity) const { return dynamic_cast<const X2DPoint*>(&entity) != nullptr; }

bool X2DSegmentsArray::accepts(const X2DEntity& entity) const {
    return dynamic_cast<const X2DSegment*>(&entity) != nullptr;
}

bool X2DSegmentsArray::blocks(const X2DPoint& a, const X2DPoint& b) const {
    const X2DSegment sight(a, b);
    for (std::size_t i = 0; i < count(); ++i)
        if (sight.crosses(segment(i))) return true;
    return false;
}
