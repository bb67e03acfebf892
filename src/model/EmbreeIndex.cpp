#include "model/EmbreeIndex.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <cmath>
#include <embree3/rtcore.h>

namespace {
// Embree works in single precision: a ray rounded to floats strays from the
// exact one by about 6e-8 of the coordinates at its origin plus 6e-8 of the
// distance it runs, both within the model's extent. Boxes are widened by
// 2e-6 of the extent (over six times that) and a micrometre, and the search's
// range by as much, so the rounded ray still enters every box the exact one meets.
// Embree's coordinates are taken from the centre of the model's box, so that the
// extent is the model's size, not its distance from the origin: a site plan in
// national grid coordinates, millions of metres out, would otherwise widen every
// box by metres and leave the index no faster than a scan.
// The next float toward +∞ (−∞ for down) by its bits, as std::nextafter toward ±1e38 answers for the finite values
// here, without its call: above() runs for every candidate of every search.
float nextFloat(float f, bool up) {
    if (f == 0) return up ? std::numeric_limits<float>::denorm_min() : -std::numeric_limits<float>::denorm_min();
    if (!std::isfinite(f) || std::fabs(f) >= 1e38f) return std::nextafter(f, up ? 1e38f : -1e38f);
    const auto bits = std::bit_cast<std::uint32_t>(f);
    return std::bit_cast<float>((f > 0) == up ? bits + 1 : bits - 1);
}
float below(double v, double pad) { return nextFloat(static_cast<float>(v - pad), false); }
float above(double v, double pad) { return nextFloat(static_cast<float>(v + pad), true); }

void boundsOf(const RTCBoundsFunctionArguments* args) {
    const auto* scene = static_cast<const EmbreeIndex::SceneData*>(args->geometryUserPtr);
    const BoxTree::Box& box = scene->boxes[args->primID];
    const double pad = scene->pad;
    const Coord& o = scene->origin;
    *args->bounds_o = {below(box.lo.x - o.x, pad), below(box.lo.y - o.y, pad), below(box.lo.z - o.z, pad), 0,
                       above(box.hi.x - o.x, pad), above(box.hi.y - o.y, pad), above(box.hi.z - o.z, pad), 0};
}

// The context of one query: Embree hands it to every candidate.
struct Query {
    RTCIntersectContext context;  // first: Embree's pointer to it is the query's
    double (*callback)(void*, std::uint32_t);
    void* visitor;
    double pad;
    // How far along the exact ray Embree's starts: distances are told to Embree less this.
    double shift;
};

// A candidate: the caller decides, and answers how far the search still reaches.
void candidate(const RTCIntersectFunctionNArguments* args) {
    if (!args->valid[0]) return;
    auto* query = reinterpret_cast<Query*>(args->context);
    auto* rayHit = reinterpret_cast<RTCRayHit*>(args->rayhit);
    const float far = above(query->callback(query->visitor, args->primID) - query->shift, query->pad);
    if (far < rayHit->ray.tfar) {
        // Reporting a hit is how Embree is told to narrow its search.
        rayHit->ray.tfar = far;
        rayHit->hit.geomID = args->geomID;
        rayHit->hit.primID = args->primID;
    }
}

// What a point query hands to every entry it finds.
struct PointVisit {
    double (*callback)(void*, std::uint32_t);
    void* visitor;
};

bool nearby(RTCPointQueryFunctionArguments* args) {
    const auto* visit = static_cast<const PointVisit*>(args->userPtr);
    visit->callback(visit->visitor, args->primID);
    return false;  // the query's radius stays
}

bool countBytes(void* counter, ssize_t bytes, bool) {
    *static_cast<std::atomic<std::int64_t>*>(counter) += bytes;
    return true;
}
}  // namespace

EmbreeIndex::~EmbreeIndex() { clear(); }

void EmbreeIndex::clear() {
    if (scene_) rtcReleaseScene(scene_);
    if (device_) rtcReleaseDevice(device_);
    scene_ = nullptr;
    device_ = nullptr;
    boxes_.clear();
    count_ = 0;
    bytes_ = 0;
}

void EmbreeIndex::build(const std::vector<BoxTree::Box>& boxes) {
    clear();
    // One building thread: the scene is small, and Embree's own threads would
    // compete with the tracer's.
    device_ = rtcNewDevice("threads=1");
    rtcSetDeviceMemoryMonitorFunction(device_, countBytes, &bytes_);
    boxes_ = boxes;
    count_ = static_cast<std::uint32_t>(boxes.size());
    Coord lo(1e300, 1e300, 1e300), hi(-1e300, -1e300, -1e300);
    for (const BoxTree::Box& b : boxes) {
        lo = Coord(std::min(lo.x, b.lo.x), std::min(lo.y, b.lo.y), std::min(lo.z, b.lo.z));
        hi = Coord(std::max(hi.x, b.hi.x), std::max(hi.y, b.hi.y), std::max(hi.z, b.hi.z));
    }
    const Coord origin = boxes.empty() ? Coord() : Coord((lo + hi) * 0.5);
    const double extent = boxes.empty() ? 0 : std::max({hi.x - origin.x, hi.y - origin.y, hi.z - origin.z});
    const double pad = 1e-6 + 2e-6 * extent;
    sceneData_ = {boxes_.data(), pad, origin, {lo - Vector(pad, pad, pad), hi + Vector(pad, pad, pad)}};
    scene_ = rtcNewScene(device_);
    rtcSetSceneFlags(scene_, RTC_SCENE_FLAG_ROBUST);
    rtcSetSceneBuildQuality(scene_, RTC_BUILD_QUALITY_HIGH);
    RTCGeometry geometry = rtcNewGeometry(device_, RTC_GEOMETRY_TYPE_USER);
    rtcSetGeometryUserPrimitiveCount(geometry, count_);
    rtcSetGeometryUserData(geometry, &sceneData_);
    rtcSetGeometryBoundsFunction(geometry, boundsOf, nullptr);
    rtcSetGeometryIntersectFunction(geometry, candidate);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene_, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene_);
}

// Where the ray enters the box of all the boxes, in the ray's own measure (0 from inside it), by the slab test in
// double precision, whose rounding is far below the widening; false when it misses the box within tMax.
bool EmbreeIndex::entry(const Line& ray, double tMax, double& t) const {
    const BoxTree::Box& b = sceneData_.bounds;
    const Coord& p = ray.origin;
    t = 0;
    // Most searches start inside the model.
    if (p.x >= b.lo.x && p.x <= b.hi.x && p.y >= b.lo.y && p.y <= b.hi.y && p.z >= b.lo.z && p.z <= b.hi.z) return true;
    const double origin[3] = {ray.origin.x, ray.origin.y, ray.origin.z}, direction[3] = {ray.x, ray.y, ray.z};
    const double lo[3] = {b.lo.x, b.lo.y, b.lo.z}, hi[3] = {b.hi.x, b.hi.y, b.hi.z};
    double near = 0, far = tMax + sceneData_.pad;
    for (int a = 0; a < 3; ++a) {
        if (direction[a] == 0) {
            if (origin[a] < lo[a] || origin[a] > hi[a]) return false;
            continue;
        }
        const double t1 = (lo[a] - origin[a]) / direction[a], t2 = (hi[a] - origin[a]) / direction[a];
        near = std::max(near, std::min(t1, t2));
        far = std::min(far, std::max(t1, t2));
        if (near > far) return false;
    }
    t = near;
    return true;
}

void EmbreeIndex::query(const Line& ray, double tMax, Callback callback, void* visitor) const {
    if (!scene_ || count_ == 0) return;
    // A ray from far outside the model (a distant source, a receiver out in the open) is handed to Embree from
    // where it enters the model's box: its rounding to floats is then no larger than a ray's from inside, and
    // no box lies before that point.
    double shift = 0;
    if (!entry(ray, tMax, shift)) return;
    const Coord start = shift > 0 ? Coord(ray.origin + shift * ray.direction()) : ray.origin;
    Query query{{}, callback, visitor, sceneData_.pad, shift};
    rtcInitIntersectContext(&query.context);
    RTCRayHit hit{};
    const Coord& o = sceneData_.origin;
    hit.ray.org_x = static_cast<float>(start.x - o.x);
    hit.ray.org_y = static_cast<float>(start.y - o.y);
    hit.ray.org_z = static_cast<float>(start.z - o.z);
    hit.ray.dir_x = static_cast<float>(ray.x);
    hit.ray.dir_y = static_cast<float>(ray.y);
    hit.ray.dir_z = static_cast<float>(ray.z);
    // The origin rounded to floats may lie a little ahead of the exact one.
    hit.ray.tnear = 0;
    hit.ray.tfar = above(tMax - shift, sceneData_.pad);
    hit.ray.mask = ~0u;
    hit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(scene_, &query.context, &hit);
}

void EmbreeIndex::pointQuery(const Coord& centre, double radius, Callback callback, void* visitor) const {
    if (!scene_ || count_ == 0) return;
    // The centre rounded to floats strays from the exact one by at most 1.1e-7 of its distance from the model's
    // centre, which inside the model is far less than the boxes' widening: a radius larger by both finds every box
    // the exact centre has within radius, wherever the centre lies.
    const Coord& o = sceneData_.origin;
    const double stray = 2e-7 * distance(centre, o);
    RTCPointQuery query{static_cast<float>(centre.x - o.x), static_cast<float>(centre.y - o.y),
                        static_cast<float>(centre.z - o.z), 0, above(radius + stray, sceneData_.pad)};
    RTCPointQueryContext context;
    rtcInitPointQueryContext(&context);
    PointVisit visit{callback, visitor};
    rtcPointQuery(scene_, &query, &context, nearby, &visit);
}
