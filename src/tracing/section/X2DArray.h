#pragma once
#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "tracing/section/X2DEntity.h"
#include "tracing/section/X2DSegment.h"

/// An owning array of two-dimensional entities, in the order they were added.
///
/// The capacity starts at 8 and doubles whenever an entity is added to a full array.
class X2DArray : public X2DEntity {
public:
    /// The capacity of a new array.
    static constexpr std::size_t initialCapacity = 8;

    X2DArray();
    /// A deep copy: every entity is cloned.
    X2DArray(const X2DArray& other);
    X2DArray& operator=(const X2DArray& other);
    X2DArray(X2DArray&&) noexcept = default;
    X2DArray& operator=(X2DArray&&) noexcept = default;

    std::unique_ptr<X2DEntity> clone() const override { return std::make_unique<X2DArray>(*this); }
    /// Whether the array takes entities of that class (any, here).
    virtual bool accepts(const X2DEntity&) const { return true; }

    /// Takes ownership of entity and appends it; false (the entity destroyed) when null or not accepted.
    bool add(std::unique_ptr<X2DEntity> entity);
    /// The number of entities.
    std::size_t count() const { return items_.size(); }
    /// The number of entities the array holds before it grows.
    std::size_t capacity() const { return capacity_; }
    /// The entity at index (below count()).
    X2DEntity& at(std::size_t index) { return *items_[index]; }
    /// The entity at index (below count()).
    const X2DEntity& at(std::size_t index) const { return *items_[index]; }
    /// Destroys the entity at index; the later ones move down by one.
    void remove(std::size_t index);
    /// Destroys every entity; the capacity stays.
    void clear() { items_.clear(); }
    /// Orders the entities by less (comparing const X2DEntity&), keeping the order of equal ones.
    template <class Less>
    void stableSort(Less less) {
        std::stable_sort(items_.begin(), items_.end(),
                         [&less](const std::unique_ptr<X2DEntity>& a, const std::unique_ptr<X2DEntity>& b) {
                             return less(static_cast<const X2DEntity&>(*a), static_cast<const X2DEntity&>(*b));
                         });
    }

private:
    std::vector<std::unique_ptr<X2DEntity>> items_;
    std::size_t capacity_ = initialCapacity;
};

/// A polygon (or an open polyline, such as a path) as an array of points.
class X2DPolygon : public X2DArray {
public:
    std::unique_ptr<X2DEntity> clone() const override { return std::make_unique<X2DPolygon>(*this); }
    /// Points only (any class derived from X2DPoint).
    bool accepts(const X2DEntity& entity) const override;

    using X2DArray::add;
    /// Appends a copy of point (of its own class).
    bool add(const X2DPoint& point) { return X2DArray::add(point.clone()); }
    /// The point at index (below count()).
    const X2DPoint& point(std::size_t index) const { return static_cast<const X2DPoint&>(at(index)); }
};

/// An array of segments.
class X2DSegmentsArray : public X2DArray {
public:
    std::unique_ptr<X2DEntity> clone() const override { return std::make_unique<X2DSegmentsArray>(*this); }
    /// Segments only.
    bool accepts(const X2DEntity& entity) const override;

    using X2DArray::add;
    /// Appends a copy of segment.
    bool add(const X2DSegment& segment) { return X2DArray::add(segment.clone()); }
    /// The segment at index (below count()).
    const X2DSegment& segment(std::size_t index) const { return static_cast<const X2DSegment&>(at(index)); }
    /// Whether the segment from a to b has a point in common with any segment of the array.
    bool blocks(const X2DPoint& a, const X2DPoint& b) const;
};
