// One leg of a pyramid: the receivers it serves, then what the face hit does to it.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "run/RunParameters.h"
#include "tracing/Diffraction.h"
#include "tracing/EnergyModel.h"
#include "tracing/PyramidLog.h"

namespace {
int side(const Plane& plane, const Coord& q) {
    const double s = plane.signedDistance(q);
    return (s > 0) - (s < 0);
}

bool anyAbove0(const BandEnergies& energy) {
    for (float e : energy)
        if (e > 0) return true;
    return false;
}

// The receivers found, each once, put from the highest number down, the order in which the loop over them all
// serves them: through a bitmap of all the receivers where it is short beside the list (sorting the 65 found among
// 1,000 at each leg took a sixth of such a run), by a sort otherwise.
void listHighestFirst(std::vector<std::uint32_t>& found, std::uint32_t count) {
    const std::size_t words = (static_cast<std::size_t>(count) + 63) / 64;
    if (words > 4 * found.size()) {
        std::sort(found.begin(), found.end(), std::greater<>());
        return;
    }
    thread_local std::vector<std::uint64_t> bits;
    bits.assign(words, 0);
    for (const std::uint32_t entry : found) bits[entry / 64] |= std::uint64_t{1} << (entry % 64);
    found.clear();
    for (std::size_t w = words; w-- > 0;)
        for (std::uint64_t b = bits[w]; b != 0;) {
            const int top = 63 - std::countl_zero(b);
            found.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(top)));
            b &= ~(std::uint64_t{1} << top);
        }
}

// The distance from a hit point to the nearest line of a face's edges.
double edgeDistance(const Face& face, const Coord& point) {
    double nearest = 1e12;
    for (const Line& edge : face.edgeLines)
        nearest = std::min(nearest, cross(point - edge.origin, edge.direction()).modulus());
    return nearest;
}
}  // namespace

// The receivers that may lie inside p, highest number first; false when the
// pyramid is too wide for the test to reject much.
//
// A receiver inside p is seen from the apex within the section's circle around
// its centroid (the containment test checks that circle first), hence within
// the cone around the centroid's direction whose half-angle has the sine
// radius / |centroid|. Each receiver is tested against that cone; with many,
// a tree of their positions first passes over the nodes whose bounding sphere
// lies wholly outside it.
bool Model::receiversMaybeInside(const Pyramid& p, std::vector<std::uint32_t>& found) const {
    const PyramidSection& s = p.section;
    const double length = static_cast<const Vector&>(s.centroid).modulus();
    const double sine = s.radius / length * (1 + 1e-6) + 1e-9;
    if (!(sine < 0.9)) return false;
    const double cosine = std::sqrt(1 - sine * sine);
    // Squared, so that each receiver costs no root: inside the cone means a
    // non-negative dot product with dot² ≥ cos²·|v|²; the factor keeps rounding on the side of serving.
    const double cosine2 = cosine * cosine * (1 - 1e-9);
    const Vector axis = (1 / length) * s.centroid;
    found.clear();
    auto consider = [&](std::uint32_t entry) {
        const Vector v = receiverAt(entry) - p.apex;
        const double along = dot(v, axis), squared = v.squaredModulus();
        if ((along >= 0 && along * along >= cosine2 * squared) || squared < 1e-18) found.push_back(entry);
    };
    if (!receiverIndex_.covers(receiverCount())) {
        insideCone(p.apex, axis, cosine2, found);
        return true;
    }
    receiverIndex_.visitWhere(
        [&](const float* lo, const float* hi) {
            const Vector half(0.5 * (hi[0] - lo[0]), 0.5 * (hi[1] - lo[1]), 0.5 * (hi[2] - lo[2]));
            const Vector v = Coord(lo[0], lo[1], lo[2]) + half - p.apex;
            const double d2 = v.squaredModulus(), r2 = half.squaredModulus();
            if (d2 <= r2) return true;
            // The node's sphere (radius r, seen at distance d under the half-angle phi) meets the cone when the
            // angle between v and the axis is at most the cone's plus phi: cos >= cos(theta + phi), here times d,
            // with d cos(phi) = sqrt(d^2 - r^2) and d sin(phi) = r, the side that holds the root squared, and the
            // tolerance times a distance no shorter than d. One root and no division: as a chain of two roots and
            // two divisions they held up this test, a quarter of a run among a thousand receivers.
            const double near =
                dot(v, axis) + sine * std::sqrt(r2) + 1e-9 * (std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z));
            return near >= 0 && near * near >= cosine * cosine * (d2 - r2);
        },
        consider);
    listHighestFirst(found, receiverCount());
    return true;
}

// Compiled twice on x86-64: for AVX2 (four receivers at a time) and for any processor (two), the processor's best
// chosen when the program starts. The same operations in both (no fused multiply-add), so the same verdicts. Not
// under ThreadSanitizer, whose runtime is not ready when the choice is made.
#if defined(__SANITIZE_THREAD__)
#define TOLVENO_THREAD_SANITIZED
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TOLVENO_THREAD_SANITIZED
#endif
#endif
#if defined(__x86_64__) && !defined(TOLVENO_THREAD_SANITIZED)
#define TOLVENO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TOLVENO_VECTOR_CLONES
#endif

// The test of consider above for every receiver, in blocks of 64 whose tests the compiler runs several at a time
// (no branch inside, the columns read in a row); the receivers inside are then listed, the highest first.
TOLVENO_VECTOR_CLONES void Model::insideCone(const Coord& apex, const Vector& axis, double cosine2,
                                             std::vector<std::uint32_t>& found) const {
    const std::size_t count = receiverCount();
    const double* xs = receiverColumns_[0].data();
    const double* ys = receiverColumns_[1].data();
    const double* zs = receiverColumns_[2].data();
    const double ax = apex.x, ay = apex.y, az = apex.z, ux = axis.x, uy = axis.y, uz = axis.z;
    constexpr std::size_t block = 64;
    for (std::size_t end = count; end > 0;) {
        const std::size_t start = end > block ? end - block : 0, n = end - start;
        const double *x = xs + start, *y = ys + start, *z = zs + start;
        // In doubles (1 inside, 0 not), which the compiler turns into vector masks; as bools or integers it did not.
        double inside[block];
        for (std::size_t j = 0; j < n; ++j) {
            const double vx = x[j] - ax, vy = y[j] - ay, vz = z[j] - az;
            const double along = vx * ux + vy * uy + vz * uz, squared = vx * vx + vy * vy + vz * vz;
            const double ahead = along >= 0 ? 1.0 : 0.0, within = along * along >= cosine2 * squared ? 1.0 : 0.0;
            inside[j] = ahead * within + (squared < 1e-18 ? 1.0 : 0.0);
        }
        for (std::size_t j = n; j-- > 0;)
            if (inside[j] > 0) found.push_back(static_cast<std::uint32_t>(start + j));
        end = start;
    }
}

// Serves receiver i from the leg of p that starts at its ray's origin: the
// arrival, through whatever stands between, or diffracted around it.
void Model::serve(Pyramid& p, unsigned i, int apexSide, Face* passed, Face* monopermeable) const {
    const RunParameters& run = parameters;
    Microphone* microphone = microphones().at(static_cast<int>(i));
    if (!microphone) return;
    const Coord& legStart = p.ray.origin;
    const Coord& receiver = microphone->axis.origin;
    if (p.order > 0 && side(p.lastFace->plane, receiver) * apexSide >= 0) return;
    bool inside = p.contains(receiver);
    // A receiver nearer the image source than the path travelled lies
    // before the last reflecting face along the unfolded path.
    if (inside && p.order > 0 && distance(p.apex, receiver) < p.pathLength) inside = false;
    if (!inside && (p.order == 0 || !run.Diffusion)) return;
    ObstructionList obstructions;
    // Only a diffraction looks at which faces stand in the way; without one, an
    // opaque face ends the search, the arrival being lost whatever lies beyond it.
    const bool mayDiffract = inside && run.Diffraction != 0;
    const int k = mayDiffract ? findObstructions(receiver, legStart, false, obstructions, p.lastFace, monopermeable)
                              : findObstructionsToOpaque(receiver, legStart, obstructions, p.lastFace, monopermeable);
    // Distances run along the path travelled, not from the image source.
    const double d1 = p.order > 0 ? p.pathLength : distance(receiver, p.apex);
    const double d2 = p.order > 0 ? distance(receiver, legStart) : 0;
    const double time = (d1 + d2) / run.SoundSpeed;
    BandEnergies energy = p.order > 0 && run.Diffusion ? splitArrival(p.energy, p.scattered, inside, d1, d2)
                                                       : arrivalEnergy(p.energy, d1 + d2);
    if (passed && side(passed->plane, legStart) != side(passed->plane, receiver))
        applyMonopermeable(energy, passed->material);
    if (k == 0) {
        recordArrival(p, *microphone, i, energy, static_cast<unsigned>(p.order), time, inside || run.SaveDiffuseHits);
        return;
    }
    if (inside && ((k <= 2 && run.Diffraction != 0) || (k >= 3 && run.Diffraction > 2)))
        diffract(*this, p, i, obstructions, energy, monopermeable);
    bool through = true;
    for (std::uint32_t j = 0; j < obstructions.count && through; ++j) {
        applyObstruction(energy, obstructions.entries[j].face->material);
        through = anyAbove0(energy);
    }
    if (through) recordArrival(p, *microphone, i, energy, static_cast<unsigned>(p.order), time, true);
}

int Model::traceLeg(Pyramid& p, Face*& monopermeable) const {
    Face* faces[4] = {};
    Coord hit;
    double d = 1e12;
    const int n = findHit(p, hit, d, faces, monopermeable);
    const RunParameters& run = parameters;
    // A reflected pyramid serves only receivers strictly on the other side of
    // the reflecting face from its image source.
    const int apexSide = p.order > 0 ? side(p.lastFace->plane, p.apex) : 0;
    const bool passesMonopermeable = monopermeable && (monopermeable->flags & FaceFlag::obstructing);
    MicrophoneList& list = microphones();
    // Only receivers inside the pyramid are served, unless it scatters: then those
    // the index leaves out would be passed over anyway.
    thread_local std::vector<std::uint32_t> candidates;
    const bool indexed = (p.order == 0 || !run.Diffusion) && receiversCulled_ &&
                         receiverCount() == list.receiverCount() &&
                         receiversMaybeInside(p, candidates);
    const unsigned count = indexed ? static_cast<unsigned>(candidates.size()) : list.receiverCount();
    for (unsigned k = 0; k < count; ++k) {
        const unsigned i = indexed ? candidates[k] + 1 : list.receiverCount() - k;
        serve(p, i, apexSide, passesMonopermeable ? monopermeable : nullptr, monopermeable);
    }
    if (passesMonopermeable) applyMonopermeable(p.energy, monopermeable->material);
    if (n == 0) return 0;
    // At an edge or a corner every face met absorbs its share.
    for (int j = n - 1; j >= 0; --j) applyAbsorption(p.energy, faces[j]->material);
    if (run.Diffusion) updateScattering(p, faces[0]->material, edgeDistance(*faces[0], hit));
    ++p.order;
    p.lastLeg = d;
    p.pathLength += d;
    p.pathLengthSquares += d * d;
    p.hitPoint = hit;
    p.lastFace = faces[0];
    p.record(faces[0]->number, hit);
    return n;
}
