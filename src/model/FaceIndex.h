#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/Line.h"

/// A bounding-volume hierarchy over the boxes of a model's entries, built once
/// after assembly and read-only while tracing (so threads share it freely).
///
/// It answers one question: which entries may a segment of a ray meet? Its
/// answers are conservative (boxes are widened, never narrowed, by rounding),
/// so an entry it leaves out is one that no exact face test could report.
/// The exact tests, their order and their ties stay with the caller.
class FaceIndex {
public:
    /// An axis-aligned box, lower and upper corners.
    struct Box {
        Coord lo, hi;
    };

    /// Builds the hierarchy over boxes[0..n): entry i is reported as i.
    void build(const std::vector<Box>& boxes);
    /// Forgets the hierarchy; covers() is then false for every count.
    void clear();
    /// Whether the hierarchy was built over exactly count entries.
    bool covers(std::uint32_t count) const { return built_ && entryCount_ == count; }
    /// Bytes held by the hierarchy (nodes and entry numbers).
    std::size_t bytes() const { return nodes_.capacity() * sizeof(Node) + entries_.capacity() * sizeof(std::uint32_t); }

    /// Calls visit(entry) for every entry whose box the points ray.origin + t·direction, t in
    /// [tMin, tMax], may meet, nearer boxes first. visit answers the tMax to go on with (it may
    /// only shrink the range); boxes beyond it are skipped.
    template <class Visit>
    void visit(const Line& ray, double tMin, double tMax, Visit&& visit) const;

    /// Calls visit(entry) for every entry in a node whose box passes mayHold(lo, hi) (float corners), in
    /// no particular order; mayHold must answer true for every box holding an entry that matters.
    template <class MayHold, class Visit>
    void visitWhere(MayHold&& mayHold, Visit&& visit) const;

private:
    // 32 bytes: an inner node's children are nodes first and first + 1; a leaf's entries
    // are entries_[first .. first + count).
    struct Node {
        float lo[3];
        std::uint32_t first;
        float hi[3];
        std::uint32_t count;
    };
    struct Slab {
        double origin[3];
        double inverse[3];
    };
    static Slab slabOf(const Line& ray);
    static bool meets(const Node& node, const Slab& slab, double tMin, double tMax, double& tEnter);
    void split(std::uint32_t node, std::vector<Box>& boxes, std::vector<Coord>& centres, std::uint32_t begin,
               std::uint32_t end);

    std::vector<Node> nodes_;
    std::vector<std::uint32_t> entries_;
    std::uint32_t entryCount_ = 0;
    bool built_ = false;
};

inline FaceIndex::Slab FaceIndex::slabOf(const Line& ray) {
    Slab slab;
    const double o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const double d[3] = {ray.x, ray.y, ray.z};
    for (int a = 0; a < 3; ++a) {
        slab.origin[a] = o[a];
        // A direction along a box face would make 0 × ∞: a tiny component gives instead
        // distances so large (beyond 1e280 m for any origin not exactly on the plane) that they
        // exclude a box the ray runs beside and include one it runs through.
        const double component = std::fabs(d[a]) < 1e-300 ? std::copysign(1e-300, d[a]) : d[a];
        slab.inverse[a] = 1.0 / component;
    }
    return slab;
}

inline bool FaceIndex::meets(const Node& node, const Slab& slab, double tMin, double tMax, double& tEnter) {
    double enter = tMin, leave = tMax;
    for (int a = 0; a < 3; ++a) {
        double t0 = (node.lo[a] - slab.origin[a]) * slab.inverse[a];
        double t1 = (node.hi[a] - slab.origin[a]) * slab.inverse[a];
        if (t0 > t1) std::swap(t0, t1);
        enter = t0 > enter ? t0 : enter;
        leave = t1 < leave ? t1 : leave;
    }
    tEnter = enter;
    return enter <= leave;
}

template <class Visit>
void FaceIndex::visit(const Line& ray, double tMin, double tMax, Visit&& visit) const {
    if (!built_ || nodes_.empty()) return;
    const Slab slab = slabOf(ray);
    double enter = 0;
    if (!meets(nodes_[0], slab, tMin, tMax, enter)) return;
    // The depth is bounded by the build (at most 64 levels), so a fixed stack serves.
    std::uint32_t stack[64];
    int top = 0;
    std::uint32_t current = 0;
    for (;;) {
        const Node& node = nodes_[current];
        if (node.count > 0) {
            for (std::uint32_t k = node.first; k < node.first + node.count; ++k) tMax = visit(entries_[k]);
        } else {
            double nearEnter = 0, farEnter = 0;
            std::uint32_t a = node.first, b = node.first + 1;
            bool hitA = meets(nodes_[a], slab, tMin, tMax, nearEnter);
            bool hitB = meets(nodes_[b], slab, tMin, tMax, farEnter);
            if (hitA && hitB) {
                if (farEnter < nearEnter) std::swap(a, b);
                stack[top++] = b;
                current = a;
                continue;
            }
            if (hitA || hitB) {
                current = hitA ? a : b;
                continue;
            }
        }
        // Pop, skipping the boxes that now lie beyond the shrunk range.
        for (;;) {
            if (top == 0) return;
            current = stack[--top];
            if (meets(nodes_[current], slab, tMin, tMax, enter)) break;
        }
    }
}

template <class MayHold, class Visit>
void FaceIndex::visitWhere(MayHold&& mayHold, Visit&& visit) const {
    if (!built_ || nodes_.empty()) return;
    std::uint32_t stack[64];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes_[stack[--top]];
        if (!mayHold(node.lo, node.hi)) continue;
        if (node.count > 0) {
            for (std::uint32_t k = node.first; k < node.first + node.count; ++k) visit(entries_[k]);
        } else {
            stack[top++] = node.first;
            stack[top++] = node.first + 1;
        }
    }
}
