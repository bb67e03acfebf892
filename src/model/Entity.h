#pragma once
#include <cstdint>
#include <iosfwd>
#include <utility>

#include "geometry/Vector.h"

/// Type codes of the entity classes, as the model file and the assembly know them.
namespace EntityType {
constexpr int entity = 1, list = 2, receiver = 3, source = 4, face = 11, wall = 12, door = 13, hole = 14;
}

/// An element of a room model: a face, a wall, a source, a receiver or a list of them.
///
/// Every entity belongs to exactly one list at a time, which links it
/// through next and destroys it with itself.
class Entity {
public:
    virtual ~Entity() = default;
    Entity() = default;
    Entity(const Entity&) = delete;
    Entity& operator=(const Entity&) = delete;

    /// The type code of the class.
    virtual int typeCode() const { return EntityType::entity; }
    /// The class name, as the model file writes it.
    virtual const char* typeName() const { return "Entity"; }
    /// Geometric identity with another entity.
    virtual bool isSameAs(const Entity& other) const = 0;
    /// Prints the record's fields (the keyword is written by the list).
    virtual void write(std::ostream& out) const = 0;
    /// Reads the record's fields (the keyword has been read).
    virtual void read(std::istream& in) = 0;
    /// Prints the entity as DXF drawing entities (nothing by default).
    virtual void exportDxf(std::ostream&) const {}
    /// Widens the box [min, max] to contain the entity.
    virtual void extendBox(Coord& min, Coord& max) const = 0;
    /// The entity's axis-aligned box, lower corner first.
    virtual std::pair<Coord, Coord> box() const;
    /// Sets the box to the empty (inverted) one, then widens it by the entity.
    virtual void extent(Coord& min, Coord& max) const;
    /// Whether the entity is kept after reading.
    virtual bool isValid() const = 0;

    /// The following sibling in the owning list (null at the end).
    Entity* next = nullptr;
};

/// Widens the box [min, max] to contain point p.
void extendBoxBy(const Vector& p, Coord& min, Coord& max);
