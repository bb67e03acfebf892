#include "model/Face.h"

#include <istream>
#include <ostream>

#include "foundation/NumberReader.h"
#include "model/EntityIo.h"
#include "model/Wall.h"
#include "run/RunParameters.h"

bool Face::isSameAs(const Entity& other) const {
    const Face* that = nullptr;
    if (other.typeCode() == typeCode())
        that = static_cast<const Face*>(&other);
    else if (typeCode() == EntityType::face && other.typeCode() == EntityType::wall)
        that = static_cast<const Wall&>(other).face;
    if (!that || that->vertexCount != vertexCount || that->vertices.size() != vertices.size()) return false;
    for (std::size_t i = 0; i < vertices.size(); ++i)
        if (!nearlyEqual(vertices[i], that->vertices[i])) return false;
    return true;
}

void Face::write(std::ostream& out) const {
    out << flags << ' ' << material << ' ' << vertexCount;
    for (const Coord& p : vertices) out << "  " << p.x << ' ' << p.y << ' ' << p.z;
}

// Numbers that cannot be read fail the stream, which ends every list being
// read; coordinates not reached stay 0, and the face is kept if what was
// read still makes a valid polygon.
void Face::read(std::istream& in) {
    readNumber(in, flags);
    if (flags == 0 && typeCode() == EntityType::face && parameters.AlwaysObstructing) flags = FaceFlag::obstructing;
    std::uint16_t count = 0;
    readNumber(in, material);
    readNumber(in, count);
    if (!in) return;
    vertexCount = count;
    // Buffers for the faces a thread reads, not allocations for each.
    thread_local std::vector<double> numbers;
    thread_local std::vector<Coord> points;
    numbers.assign(3 * std::size_t{count}, 0.0);
    readNumbers(in, numbers.data(), numbers.size());
    points.resize(count);
    for (std::size_t i = 0; i < count; ++i) points[i] = Coord(numbers[3 * i], numbers[3 * i + 1], numbers[3 * i + 2]);
    setVertices(points.data(), static_cast<std::uint32_t>(points.size()));
}

void Face::extendBox(Coord& min, Coord& max) const {
    for (const Coord& p : vertices) extendBoxBy(p, min, max);
}

bool Face::isTransparent() const { return (flags & (FaceFlag::reversed | FaceFlag::open)) != 0; }

