#pragma once
#include <cstdint>
#include <vector>

#include "geometry/Line.h"

/// A bounding-volume hierarchy over boxes (the receivers' positions), built once
/// before tracing and read-only while tracing (so threads share it freely).
///
/// It answers which entries lie in the nodes a test lets through; the test sees
/// each node's box widened, never narrowed, by rounding, so it can be conservative.
class BoxTree {
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
    void split(std::uint32_t node, std::vector<Box>& boxes, std::vector<Coord>& centres, std::uint32_t begin,
               std::uint32_t end);

    std::vector<Node> nodes_;
    std::vector<std::uint32_t> entries_;
    std::uint32_t entryCount_ = 0;
    bool built_ = false;
};

template <class MayHold, class Visit>
void BoxTree::visitWhere(MayHold&& mayHold, Visit&& visit) const {
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
