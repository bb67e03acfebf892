#pragma once
#include "model/Face.h"

/// A face that lives in a wall: a hole or a door. Its vertices are moved onto the wall's plane.
class InWallFace : public Face {
public:
    /// Records the wall and moves every vertex onto the plane of the wall's main face.
    void setOwner(Wall* wall) override;

protected:
    InWallFace() = default;
};

/// A door in a wall: transparent while open (unless reversed).
class Door : public InWallFace {
public:
    int typeCode() const override { return EntityType::door; }
    const char* typeName() const override { return "Door"; }
    bool isTransparent() const override;
};

/// A hole in a wall: transparent unless reversed (a closed opening).
class Hole : public InWallFace {
public:
    int typeCode() const override { return EntityType::hole; }
    const char* typeName() const override { return "Hole"; }
    bool isTransparent() const override;
    /// A closed 3-D polyline on layer 1.
    void exportDxf(std::ostream& out) const override;
};
