#include "model/BoxTree.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace {
constexpr std::uint32_t leafSize = 4;
// Beyond this a node is cut even where the heuristic sees no gain (boxes nested
// in one another): the test of the smaller nodes can still pass over some.
constexpr std::uint32_t maxLeafSize = 8;
constexpr int binCount = 16;
constexpr int maxDepth = 60;

// Widens a box so that a test computed in double precision cannot pass over a
// point on its edge: 1 µm, and one part in 10^9 of the coordinate for far-away
// models. A wider box only costs an exact test that answers "no".
double padOf(double v) { return 1e-6 + 1e-9 * std::fabs(v); }

float floatBelow(double v) {
    float f = static_cast<float>(v);
    return f > v ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}

float floatAbove(double v) {
    float f = static_cast<float>(v);
    return f < v ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

double component(const Coord& c, int axis) { return axis == 0 ? c.x : axis == 1 ? c.y : c.z; }

struct Bounds {
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
    void add(const BoxTree::Box& b) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], component(b.lo, a));
            hi[a] = std::max(hi[a], component(b.hi, a));
        }
    }
    void add(const Coord& c) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], component(c, a));
            hi[a] = std::max(hi[a], component(c, a));
        }
    }
    void add(const Bounds& b) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], b.lo[a]);
            hi[a] = std::max(hi[a], b.hi[a]);
        }
    }
    double area() const {
        if (lo[0] > hi[0]) return 0;
        const double x = hi[0] - lo[0], y = hi[1] - lo[1], z = hi[2] - lo[2];
        return 2 * (x * y + y * z + z * x);
    }
};
}  // namespace

void BoxTree::clear() {
    nodes_.clear();
    entries_.clear();
    entryCount_ = 0;
    built_ = false;
}

void BoxTree::build(const std::vector<Box>& given) {
    clear();
    const auto n = static_cast<std::uint32_t>(given.size());
    entryCount_ = n;
    built_ = true;
    if (n == 0) return;
    std::vector<Box> boxes(given);
    std::vector<Coord> centres(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        Box& b = boxes[i];
        b.lo = Coord(b.lo.x - padOf(b.lo.x), b.lo.y - padOf(b.lo.y), b.lo.z - padOf(b.lo.z));
        b.hi = Coord(b.hi.x + padOf(b.hi.x), b.hi.y + padOf(b.hi.y), b.hi.z + padOf(b.hi.z));
        centres[i] = Coord((b.lo + b.hi) * 0.5);
    }
    entries_.resize(n);
    std::iota(entries_.begin(), entries_.end(), 0u);
    nodes_.reserve(2 * (n / leafSize + 1));
    nodes_.push_back({});
    split(0, boxes, centres, 0, n);
    nodes_.shrink_to_fit();
}

namespace {
struct Cut {
    int axis = -1, bin = -1;
    double cost = 1e300;
};

int binOf(const Coord& centre, const Bounds& centres, int axis) {
    const double lo = centres.lo[axis], extent = centres.hi[axis] - lo;
    return std::min(static_cast<int>(binCount * (component(centre, axis) - lo) / extent), binCount - 1);
}

// The cheapest cut of the entries along axis between bins of their centres:
// the children's areas times their entry counts, plus one box test (about an
// eighth of the test of an entry) for the node itself.
void cheapestCut(const std::vector<BoxTree::Box>& boxes, const std::vector<Coord>& centres,
                 const std::uint32_t* entries, std::uint32_t count, const Bounds& centreBounds, double area, int axis,
                 Cut& best) {
    Bounds binBounds[binCount];
    std::uint32_t binCounts[binCount] = {};
    for (std::uint32_t k = 0; k < count; ++k) {
        const int b = binOf(centres[entries[k]], centreBounds, axis);
        ++binCounts[b];
        binBounds[b].add(boxes[entries[k]]);
    }
    // Areas of the bins left of each cut, summed from the left; the right side from the right.
    double leftArea[binCount];
    std::uint32_t leftCount[binCount];
    Bounds side;
    std::uint32_t n = 0;
    for (int b = 0; b < binCount; ++b) {
        side.add(binBounds[b]);
        n += binCounts[b];
        leftArea[b] = side.area();
        leftCount[b] = n;
    }
    side = Bounds{};
    n = 0;
    for (int b = binCount - 1; b > 0; --b) {
        side.add(binBounds[b]);
        n += binCounts[b];
        if (n == 0 || leftCount[b - 1] == 0) continue;
        const double cost = 0.125 * area + leftCount[b - 1] * leftArea[b - 1] + n * side.area();
        if (cost < best.cost) best = {axis, b - 1, cost};
    }
}
}  // namespace

// Surface-area heuristic over binned centres along each axis (Wald 2007; pbrt-v4
// bins along the widest axis only, which leaves the floor and the ceiling of a
// room in one node): each node is cut where the heuristic is least, or left a
// leaf when no cut beats testing its entries.
void BoxTree::split(std::uint32_t index, std::vector<Box>& boxes, std::vector<Coord>& centres, std::uint32_t begin,
                      std::uint32_t end) {
    struct Pending {
        std::uint32_t node, begin, end;
        int depth;
    };
    std::vector<Pending> work{{index, begin, end, 0}};
    while (!work.empty()) {
        const Pending job = work.back();
        work.pop_back();
        Bounds bounds, centreBounds;
        for (std::uint32_t k = job.begin; k < job.end; ++k) {
            bounds.add(boxes[entries_[k]]);
            centreBounds.add(centres[entries_[k]]);
        }
        Node& node = nodes_[job.node];
        for (int a = 0; a < 3; ++a) {
            node.lo[a] = floatBelow(bounds.lo[a]);
            node.hi[a] = floatAbove(bounds.hi[a]);
        }
        const std::uint32_t count = job.end - job.begin;
        Cut cut;
        if (count > leafSize && job.depth < maxDepth)
            for (int axis = 0; axis < 3; ++axis)
                if (centreBounds.hi[axis] > centreBounds.lo[axis])
                    cheapestCut(boxes, centres, &entries_[job.begin], count, centreBounds, bounds.area(), axis, cut);
        if (cut.axis < 0 || (cut.cost >= count * bounds.area() && count <= maxLeafSize)) {
            node.first = job.begin;
            node.count = count;
            continue;
        }
        const auto middle = std::partition(entries_.begin() + job.begin, entries_.begin() + job.end, [&](std::uint32_t e) {
            return binOf(centres[e], centreBounds, cut.axis) <= cut.bin;
        });
        const auto half = static_cast<std::uint32_t>(middle - entries_.begin());
        const auto first = static_cast<std::uint32_t>(nodes_.size());
        node.first = first;
        node.count = 0;
        nodes_.push_back({});
        nodes_.push_back({});
        work.push_back({first, job.begin, half, job.depth + 1});
        work.push_back({first + 1, half, job.end, job.depth + 1});
    }
}
