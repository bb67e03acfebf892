#include "tracing/Pyramid.h"

#include <cmath>

#include "geometry/Geometry.h"

Pyramid::Pyramid(const PyramidSeed& seed, const BandEnergies& energy)
    : apex(seed.apex), section(seed.section), level(seed.level), ray(seed.apex, seed.section.axis), energy(energy) {}

Pyramid Pyramid::clone() const {
    Pyramid copy = *this;
    copy.scattered.fill(0);
    return copy;
}

void Pyramid::reflect(const Plane& plane) {
    const Versor& n = plane.normal();
    const auto mirror = [&n](const Versor& v) { return Versor::unnormalised(v - 2 * dot(v, n) * n); };
    section.edge0 = mirror(section.edge0);
    section.edge1 = mirror(section.edge1);
    section.edge2 = mirror(section.edge2);
    section.axis = mirror(section.axis);
    section.updateShape();
    const double s = -dot(n, n);
    if (std::fabs(s) < 1e-6) return;
    const double tau = plane.signedDistance(apex) / s;
    const Coord foot = apex + tau * n;
    apex = Coord(2 * Vector(foot) - apex);
}

void Pyramid::retroReflect() {
    section.edge0 = Versor::unnormalised(-section.edge0);
    section.edge1 = Versor::unnormalised(-section.edge1);
    section.edge2 = Versor::unnormalised(-section.edge2);
    section.axis = Versor::unnormalised(-section.axis);
    section.updateShape();
    apex = apex + 2 * (hitPoint - apex);
}

void Pyramid::record(std::uint32_t faceNumber, const Coord& point) {
    if (historyCount < historyCapacity) history[historyCount++] = {faceNumber, point};
}

// The component-sign test is cheap and rejects most points before the plane
// intersection and the area test.
bool Pyramid::contains(const Coord& q) const {
    const Versor u(q - apex);
    const Versor& axis = section.axis;
    if (u.x * axis.x < 0 || u.y * axis.y < 0 || u.z * axis.z < 0) return false;
    Coord onSection;
    if (!intersect(Line(ORIGIN, u), section.plane, onSection)) return false;
    return section.contains(onSection);
}
