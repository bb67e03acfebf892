#pragma once
#include <cstddef>
#include <vector>

#include "acoustics/Bands.h"
#include "geometry/Plane.h"
#include "tracing/section/PathNode.h"
#include "tracing/section/X2DArray.h"
#include "tracing/section/X2DRectangle.h"

class Model;
class Face;
struct Pyramid;
struct ObstructionList;

/// Diffracted paths in a section through the leg start and a receiver, by Diffraction: along the upper
/// hull of the cut faces (3 to 49), over the top of the obstruction with the largest detour (50 to 97), or
/// the shortest path around the cut faces (98 and above; from 99 a direct leg is also searched in a second,
/// inclined section). Records its arrivals through recordDiffractedPath; answers whether one was recorded.
bool sectionDiffraction(const Model& model, Pyramid& p, unsigned microphone, const ObstructionList& obstructions,
                        const BandEnergies& energy, const Face* monopermeable);

/// Where the outline of a face crosses a plane.
struct FaceCut {
    /// False when the face is (nearly) parallel to the plane or no edge of it crosses the plane.
    bool cut = false;
    /// The lowest crossing (ties in z: the first along the plane, by its horizontal direction first).
    Coord low;
    /// The highest crossing (ties in z: the last along the plane, by its horizontal direction first).
    Coord high;
};

/// The crossings of face's outline with plane: edges whose vertices lie strictly on opposite sides,
/// none when |n_face . n_plane| > 0.99.
FaceCut cutFace(const Face& face, const Plane& plane);

/// A plane through the leg start and the receiver, with the two axes that give section coordinates.
struct SectionFrame {
    /// The vertical plane through start and receiver: x the horizontal distance from start toward the
    /// receiver, y the height above start. Requires a receiver not straight above or below start.
    static SectionFrame vertical(const Coord& start, const Coord& receiver);
    /// The plane through start and receiver that contains the horizontal normal of the vertical one:
    /// x along start-receiver, y sideways (to the left, looking toward the receiver).
    static SectionFrame inclined(const Coord& start, const Coord& receiver);

    /// The section coordinates of a point of the plane (of its projection, for any other point).
    X2DPoint toSection(const Coord& point) const;
    /// The point of the plane at section coordinates q.
    Coord toSpace(const X2DVector& q) const;

    Coord origin;
    Versor xAxis;
    Versor yAxis;
    Plane plane;
};

/// Appends to nodes the PathNodes that the cut of face number face gives inside window: the ends of the
/// part of the cut inside the window, moved outward along the cut by offset, when they are still inside
/// it and lie at x >= 0.01 or -10 < y < 10. A cut lying wholly at x < 1e-6 gives none.
void addCutNodes(const FaceCut& cut, std::int64_t face, const SectionFrame& frame, const X2DRectangle& window,
                 double offset, X2DArray& nodes);

/// The upper hull of nodes (PathNodes ordered by x, source first, receiver last), found recursively:
/// between two hull nodes, the nodes on or below their chord are dropped and the highest of the others
/// joins the hull. Every dropped node is removed from nodes.
void upperHull(X2DArray& nodes);

/// A shortest path from node 0 to the last node of nodes (points) through the usable ones, along sight lines
/// that cross no obstacle (A*, edges tested as it goes; the lowest indices on ties), as node indices; empty
/// when there is none.
std::vector<std::size_t> shortestPath(const X2DArray& nodes, const X2DSegmentsArray& obstacles,
                                      const std::vector<char>& usable);

/// The shortest path through nodes (source first, receiver last) around obstacles. For a direct leg, a path
/// that runs back behind the source (a later inner node at x <= 0 after a first one ahead of it) is searched
/// once more without the nodes behind the source. Empty when there is none.
std::vector<std::size_t> sectionPath(const X2DArray& nodes, const X2DSegmentsArray& obstacles, bool directLeg);
