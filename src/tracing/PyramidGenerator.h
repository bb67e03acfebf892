#pragma once
#include <cstdint>
#include <fstream>
#include <vector>

#include "tracing/PyramidSeed.h"

/// Produces the pyramids of one source, one at a time: the eight faces of an
/// octahedron around the source, each halved depth first down to the level.
///
/// With the balloon switch on, every triangle returned is also written to
/// "ball.ray" as a face on a sphere of radius 10, so the subdivision can be
/// viewed like a room model.
class PyramidGenerator {
public:
    /// Fills the stack with the eight octahedron faces around the (displaced) source position.
    /// A level of all bits set yields no pyramid.
    void start(const Coord& sourcePosition, std::uint32_t level, bool balloon);
    /// The seeds still on the stack; the run asks for the next seed while it is above 0.
    int count() const { return count_; }
    /// The next seed, halved down to the level (valid until the next call).
    const PyramidSeed& next();
    /// Releases the stack and closes the balloon file.
    void finish();

    /// The number of pyramids a source radiates at a level: 8 << level, 1 for a level of all bits set.
    static std::uint32_t pyramidCount(std::uint32_t level);
    /// The highest level whose pyramid count fits 32 bits.
    static constexpr std::uint32_t maxLevel = 28;

    Coord apex;

private:
    void writeBalloonFace(const PyramidSection& section);

    std::vector<PyramidSeed> stack_;
    int count_ = 0;
    std::uint32_t level_ = 0;
    PyramidSeed current_;
    std::ofstream balloon_;
};
