#include "tracing/EdgeWedge.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "model/Model.h"
#include "run/RunParameters.h"

namespace {
// Directions closer than this (radians) to a half-plane run along it: a path
// to the next edge of a thick barrier runs along its top face, it does not
// pass it.
constexpr double alongFace = 1e-6;
constexpr double fullTurn = 2 * std::numbers::pi;

// The angle from `from` counter-clockwise to `to`, in [0, 2 pi).
double turn(double from, double to) {
    const double a = std::fmod(to - from, fullTurn);
    return a < 0 ? a + fullTurn : a;
}
}  // namespace

EdgeWedge::EdgeWedge(const Model& model, const Coord& a, const Coord& b) : origin_(a) {
    const Versor axis(b - a);
    const Vector helper = std::fabs(axis.x) < 0.9 ? Vector(1, 0, 0) : Vector(0, 1, 0);
    across_ = Versor(cross(axis, helper));
    up_ = cross(axis, across_);
    const Face* faces[capacity / 2];
    const int n = model.findFacesAlong(a, b, faces, capacity / 2);
    const double tolerance = parameters.CrackTolerance;
    for (int i = 0; i < n; ++i) {
        // The face leaves the edge on the side(s) where its vertices lie.
        const Versor side(cross(faces[i]->plane.normal(), axis));
        bool ahead = false, behind = false;
        for (const Coord& v : faces[i]->vertices) {
            const double s = dot(v - a, side);
            ahead = ahead || s > tolerance;
            behind = behind || s < -tolerance;
        }
        const double angle = angleOf(side);
        if (ahead) sides_[sideCount_++] = angle;
        if (behind) sides_[sideCount_++] = angle + std::numbers::pi;
        if (ahead && behind) {
            seams_[seamCount_++] = angle;
            seams_[seamCount_++] = angle + std::numbers::pi;
        }
    }
}

double EdgeWedge::angleOf(const Vector& v) const { return std::atan2(dot(v, up_), dot(v, across_)); }

// Whether no half-plane lies strictly inside the counter-clockwise arc from `from` to `to`.
bool EdgeWedge::freeArc(double from, double to) const {
    const double arc = turn(from, to);
    for (int i = 0; i < sideCount_; ++i) {
        const double at = turn(from, sides_[i]);
        if (at > alongFace && at < arc - alongFace) return false;
    }
    return true;
}

bool EdgeWedge::alongSeam(double angle) const {
    for (int i = 0; i < seamCount_; ++i) {
        const double off = turn(seams_[i], angle);
        if (off < alongFace || off > fullTurn - alongFace) return true;
    }
    return false;
}

bool EdgeWedge::opens(const Coord& before, const Coord& after) const {
    const Vector b = before - origin_, a = after - origin_;
    // A path that reaches the edge along its own line turns around nothing.
    const auto offAxis = [this](const Vector& v) { return std::hypot(dot(v, up_), dot(v, across_)) > EPSILON; };
    if (!offAxis(b) || !offAxis(a)) return true;
    const double from = angleOf(b);
    const double to = angleOf(a);
    if (alongSeam(from) || alongSeam(to)) return false;
    return freeArc(from, to) || freeArc(to, from);
}

bool bendsAreOpen(const Model& model, const Coord& start, const Coord& receiver, int count, const Coord* points,
                  const PathEdge* edges) {
    for (int i = 0; i < count; ++i) {
        const Face* face = edges[i].face;
        const int e = edges[i].edge;
        if (!face || e < 0) continue;
        const Coord& a = face->vertices[e];
        const Coord& b = face->vertices[(e + 1) % face->vertices.size()];
        const Coord& before = i == 0 ? start : points[i - 1];
        const Coord& after = i == count - 1 ? receiver : points[i + 1];
        if (!EdgeWedge(model, a, b).opens(before, after)) return false;
    }
    return true;
}

int edgeThrough(const Face& face, const Coord& point, double tolerance) {
    const std::size_t n = face.vertices.size();
    for (std::size_t e = 0; e < n; ++e) {
        const Coord& a = face.vertices[e];
        const Vector along = face.vertices[(e + 1) % n] - a;
        const double length2 = along.squaredModulus();
        if (length2 == 0) continue;
        const double t = std::clamp(dot(point - a, along) / length2, 0.0, 1.0);
        if (distance(point, Coord(a + t * along)) <= tolerance) return static_cast<int>(e);
    }
    return -1;
}
