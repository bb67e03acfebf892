#pragma once
#include <array>

#include "geometry/Vector.h"

class Face;
class Model;

/// The faces that meet along a diffracting edge, seen end-on: each is a half-plane leaving the edge (a face
/// that runs on past the edge, as the ground under the foot of a barrier, is two of them).
///
/// Sound bent at the edge goes around it through the open space between these half-planes. A path that
/// would have to pass one of them there (under a barrier standing on the ground, through the junction of a
/// sealed partition with the floor) is no diffracted path, however clear its two legs are.
class EdgeWedge {
public:
    /// The wedge of the edge from a to b in model.
    EdgeWedge(const Model& model, const Coord& a, const Coord& b);

    /// Whether a path coming from before and going on to after, bent at the edge, can turn around it
    /// without passing a half-plane, one way or the other, and without running along a face that goes
    /// on across the edge.
    bool opens(const Coord& before, const Coord& after) const;

    /// The most half-planes kept (two for each of eight faces).
    static constexpr int capacity = 16;

private:
    double angleOf(const Vector& v) const;
    bool freeArc(double from, double to) const;

    Coord origin_;
    Vector across_;
    Vector up_;
    bool alongSeam(double angle) const;

    std::array<double, capacity> sides_{};
    int sideCount_ = 0;
    // The half-planes of faces that run on across the edge (a floor under a partition): a path along
    // them passes through the joint, not around the edge.
    std::array<double, capacity> seams_{};
    int seamCount_ = 0;
};

/// The edge a diffraction point lies on: a face and the index of its edge (from vertex edge to the next).
struct PathEdge {
    const Face* face = nullptr;
    /// -1: the point is on no edge to test (a corner of an opening, a node beside a face).
    int edge = -1;
};

/// Whether a diffracted path from start through points (on edges) to receiver turns around every
/// edge through open space (EdgeWedge::opens at each point).
bool bendsAreOpen(const Model& model, const Coord& start, const Coord& receiver, int count, const Coord* points,
                  const PathEdge* edges);

/// The first edge of face whose segment passes within tolerance of point, or -1.
int edgeThrough(const Face& face, const Coord& point, double tolerance);
