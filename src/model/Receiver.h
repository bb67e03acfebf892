#pragma once
#include "model/Entity.h"

/// A receiver: a position and the point it is aimed at.
class Receiver : public Entity {
public:
    int typeCode() const override { return EntityType::receiver; }
    const char* typeName() const override { return "Receiver"; }
    bool isSameAs(const Entity& other) const override;
    void write(std::ostream& out) const override;
    /// Reads position and aim point; an aim at the position itself becomes position + (1, 1, 0).
    void read(std::istream& in) override;
    void extendBox(Coord& min, Coord& max) const override { extendBoxBy(position, min, max); }
    bool isValid() const override { return true; }

    Coord position;
    Coord aimPoint;
};
