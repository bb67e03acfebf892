#pragma once
#include "model/EntityArray.h"
#include "model/Face.h"

class Wall;

/// The reflecting entries of a model: plain faces and walls (whose main face stands for them).
///
/// Beside the entries it keeps each entry's face and wall, so that the
/// searches of the tracer read them without a virtual call per face.
class FaceList : public EntityArray {
public:
    FaceList() : EntityArray(true) {}

    /// The face of an entry: the entry itself for a face, the main face for a wall (null when it has none).
    static Face* faceOf(Entity* entry);
    /// The face of entry index.
    Face* faceAt(std::uint32_t index) const { return entries_[index].face; }
    /// The wall of entry index, or null for a plain face.
    Wall* wallAt(std::uint32_t index) const { return entries_[index].wall; }

    void add(Entity* entity) override;
    void replace(std::uint32_t index, Entity* entity) override;

    /// Entries whose face has the obstructing bit: they come first once the list is sorted.
    std::uint32_t obstructingCount = 0;
    /// The last face number given.
    std::uint32_t faceCounter = 0;

protected:
    /// Rebuilds the faces and walls of the entries after the entries were reordered.
    void indexEntries();

private:
    struct EntryFaces {
        Face* face;
        Wall* wall;
    };
    static EntryFaces facesOf(Entity* entry);
    std::vector<EntryFaces> entries_;
};
