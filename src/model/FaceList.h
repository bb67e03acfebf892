#pragma once
#include "model/EntityArray.h"
#include "model/Face.h"

/// The reflecting entries of a model: plain faces and walls (whose main face stands for them).
class FaceList : public EntityArray {
public:
    FaceList() : EntityArray(true) {}

    /// The face of an entry: the entry itself for a face, the main face for a wall (null when it has none).
    static Face* faceOf(Entity* entry);
    /// The face of entry index.
    Face* faceAt(std::uint32_t index) const { return faceOf(at(index)); }

    /// Entries whose face has the obstructing bit: they come first once the list is sorted.
    std::uint32_t obstructingCount = 0;
    /// The last face number given.
    std::uint32_t faceCounter = 0;
};
