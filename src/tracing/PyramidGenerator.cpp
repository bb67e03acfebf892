#include "tracing/PyramidGenerator.h"

#include <climits>

namespace {
constexpr std::uint32_t noPyramids = UINT32_MAX;
// Exact cosines and sines of the quarter turns, so the octahedron has no rounding.
constexpr double quarterCos[] = {1, 0, -1, 0, 1};
constexpr double quarterSin[] = {0, 1, 0, -1, 0};
}  // namespace

std::uint32_t PyramidGenerator::pyramidCount(std::uint32_t level) {
    if (level == noPyramids) return 1;
    return level <= maxLevel ? 8u << level : 0;
}

void PyramidGenerator::start(const Coord& sourcePosition, std::uint32_t level, bool balloon) {
    // Every pyramid starts from a point just beside the source, so that no
    // central ray runs exactly along a coordinate plane of a model built on a grid.
    apex = sourcePosition + Vector(0.0001, 0.0002, 0.0003);
    level_ = level;
    count_ = 0;
    if (balloon) {
        balloon_.open("ball.ray", std::ios::out | std::ios::trunc);
        balloon_ << "EntityList\n";
    }
    if (level == noPyramids || level > maxLevel) return;
    stack_.assign(level + 8, PyramidSeed{});
    for (int i = 0; i < 4; ++i) {
        for (const double z : {-1.0, 1.0}) {
            PyramidSeed& seed = stack_[count_++];
            seed.apex = apex;
            seed.level = 0;
            seed.section.set(Vector(quarterCos[i], quarterSin[i], 0), Vector(quarterCos[i + 1], quarterSin[i + 1], 0),
                             Vector(0, 0, z));
        }
    }
}

// The new vertex comes first in both halves, so the next halving of each
// half splits the edge between its second and third vertices.
const PyramidSeed& PyramidGenerator::next() {
    current_ = stack_[--count_];
    while (current_.level < level_) {
        const Versor v0 = current_.section.edge0;
        const Versor v1 = current_.section.edge1;
        const Versor v2 = current_.section.edge2;
        const Versor middle((v1 + v2) * 0.5);
        const std::uint32_t level = current_.level + 1;
        PyramidSeed& first = stack_[count_++];
        first.apex = apex;
        first.level = level;
        first.section.set(middle, v0, v1);
        current_.level = level;
        current_.section.set(middle, v2, v0);
    }
    if (balloon_.is_open()) writeBalloonFace(current_.section);
    return current_;
}

void PyramidGenerator::writeBalloonFace(const PyramidSection& section) {
    // Adding 0.0 turns a negative zero into a zero, which prints without a sign.
    const auto point = [this](const Versor& v) { balloon_ << "  " << v.x * 10 + 0.0 << ' ' << v.y * 10 + 0.0 << ' ' << v.z * 10 + 0.0; };
    balloon_ << " Face 0 0 3";
    point(section.edge0);
    point(section.edge1);
    point(section.edge2);
    balloon_ << '\n';
}

void PyramidGenerator::finish() {
    stack_.clear();
    stack_.shrink_to_fit();
    count_ = 0;
    if (balloon_.is_open()) {
        balloon_ << "End\n";
        balloon_.close();
    }
}
