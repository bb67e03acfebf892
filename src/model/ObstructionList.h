#pragma once
#include <array>
#include <cstdint>

class Face;

/// The obstructing faces crossed by a segment, nearest first: at most 64 (face, distance) pairs.
///
/// A fixed array, so that the search allocates nothing; it belongs to the calling thread.
struct ObstructionList {
    static constexpr std::uint32_t capacity = 64;

    struct Entry {
        Face* face;
        double distance;
    };

    /// Empties the list.
    void clear() { count = 0; }
    /// Inserts before the first entry not nearer than distance; what falls past the 64th place is lost.
    void insert(Face* face, double distance);

    // Left uninitialised: only the first count entries are ever read, and
    // the list is made once per leg on the tracing path.
    std::array<Entry, capacity> entries;
    std::uint32_t count = 0;
};
