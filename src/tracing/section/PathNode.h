#pragma once
#include <cstdint>

#include "geometry/Vector.h"
#include "tracing/section/X2DEntity.h"

/// A candidate diffraction point of a section: its section coordinates, the
/// point of space it stands for and the number of the face it comes from.
class PathNode : public X2DPoint {
public:
    /// The face number of the source node.
    static constexpr std::int64_t sourceFace = 0;
    /// The face number of the receiver node.
    static constexpr std::int64_t receiverFace = -1;

    PathNode() = default;
    /// A node at section point at, standing for point of space and lying on the face numbered face.
    PathNode(const X2DPoint& at, const Coord& point, std::int64_t face) : X2DPoint(at), point(point), face(face) {}

    std::unique_ptr<X2DEntity> clone() const override { return std::make_unique<PathNode>(*this); }

    /// Whether the node is the source node.
    bool isSource() const { return face == sourceFace; }
    /// Whether the node is the receiver node.
    bool isReceiver() const { return face == receiverFace; }

    /// The point of space the node stands for.
    Coord point;
    /// The number of the face the node lies on (sourceFace, receiverFace for the two ends of a path).
    std::int64_t face = sourceFace;
};
