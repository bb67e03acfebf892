#include "run/PyramidBatch.h"

#include <algorithm>

#include "foundation/ByteForm.h"
#include "tracing/PyramidGenerator.h"

using ByteForm::get;
using ByteForm::put;

namespace {
// Every field of a seed, so that a field added to it is not silently left behind (the size check below fails).
static_assert(sizeof(PyramidSection) == 4 * sizeof(Versor) + sizeof(Coord) + 2 * sizeof(double) + sizeof(Plane));
static_assert(sizeof(PyramidSeed) <= sizeof(Coord) + sizeof(PyramidSection) + 2 * sizeof(std::uint32_t));
}  // namespace

void PyramidBatch::pack(std::string& out) const {
    out.clear();
    put(out, first);
    put(out, static_cast<std::uint32_t>(seeds.size()));
    for (const PyramidSeed& seed : seeds) {
        const PyramidSection& s = seed.section;
        put(out, seed.apex);
        put(out, s.edge0);
        put(out, s.edge1);
        put(out, s.edge2);
        put(out, s.axis);
        put(out, s.centroid);
        put(out, s.radius);
        put(out, static_cast<const Vector&>(s.plane));
        put(out, s.plane.d);
        put(out, s.area);
        put(out, seed.level);
    }
}

bool PyramidBatch::unpack(std::string_view in) {
    seeds.clear();
    std::uint32_t count = 0;
    if (!get(in, first) || !get(in, count)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        PyramidSeed seed;
        PyramidSection& s = seed.section;
        // The unit vectors are set as they were sent: normalising them again could move their last bits.
        Vector edge0, edge1, edge2, axis, normal;
        const bool whole = get(in, seed.apex) && get(in, edge0) && get(in, edge1) && get(in, edge2) &&
                           get(in, axis) && get(in, s.centroid) && get(in, s.radius) && get(in, normal) &&
                           get(in, s.plane.d) && get(in, s.area) && get(in, seed.level);
        if (!whole) {
            seeds.clear();
            return false;
        }
        s.edge0 = Versor::unnormalised(edge0);
        s.edge1 = Versor::unnormalised(edge1);
        s.edge2 = Versor::unnormalised(edge2);
        s.axis = Versor::unnormalised(axis);
        s.plane = Plane(Versor::unnormalised(normal), s.plane.d);
        seeds.push_back(seed);
    }
    if (in.empty()) return true;
    seeds.clear();
    return false;
}

bool PyramidBatch::take(PyramidGenerator& generator, const bool& stop, std::uint32_t& handedOut,
                        std::uint32_t pyramids, int takers, std::uint32_t most) {
    seeds.clear();
    {
        std::lock_guard<std::mutex> hold(handingOut);
        first = handedOut;
        for (std::uint32_t n = stop ? 0 : std::min(most, size(pyramids - handedOut, takers)); n > 0 && generator.count() > 0;
             --n)
            seeds.push_back(generator.next());
        handedOut += static_cast<std::uint32_t>(seeds.size());
    }
    return !seeds.empty();
}

void PyramidBatch::startLogs(std::uint32_t first, std::uint32_t count, std::string& out) {
    out.clear();
    put(out, first);
    put(out, count);
}

bool PyramidBatch::readLogsStart(std::string_view& in, std::uint32_t& first, std::uint32_t& count) {
    return get(in, first) && get(in, count);
}

std::uint32_t PyramidBatch::size(std::uint32_t remaining, int processes) {
    const std::uint32_t share = remaining / (4 * static_cast<std::uint32_t>(std::max(processes, 1)));
    return std::min({remaining, maxSize, std::max(share, 1u)});
}
