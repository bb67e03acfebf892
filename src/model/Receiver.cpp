#include "model/Receiver.h"

#include <istream>
#include <ostream>

#include "model/EntityIo.h"

bool Receiver::isSameAs(const Entity& other) const {
    return other.typeCode() == typeCode() && nearlyEqual(position, static_cast<const Receiver&>(other).position);
}

void Receiver::write(std::ostream& out) const {
    writePoint(out, position);
    out << ' ';
    writePoint(out, aimPoint);
    out << '\n';
}

void Receiver::read(std::istream& in) {
    readPoint(in, position);
    readPoint(in, aimPoint);
    // A receiver must look somewhere: one aimed at itself looks along (1, 1, 0).
    if (nearlyEqual(aimPoint, position)) aimPoint = position + Vector(1, 1, 0);
}
