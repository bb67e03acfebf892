#pragma once
#include "model/EntityList.h"

class Face;

/// A wall: a main face with holes and doors in it, read as a list.
class Wall : public EntityList {
public:
    int typeCode() const override { return EntityType::wall; }
    const char* typeName() const override { return "Wall"; }
    /// Compares the main face.
    bool isSameAs(const Entity& other) const override;
    /// Reads the children, takes the first plain face as the main face and moves the openings onto it.
    void read(std::istream& in) override;
    /// The main face's box.
    void extendBox(Coord& min, Coord& max) const override;

    /// The face of the wall met at a point inside the main face: an opening there, else the main face.
    Face* faceAt(const Coord& p) const;

    /// The main face (one of the children, not owned separately); null when the wall has none.
    Face* face = nullptr;
};
