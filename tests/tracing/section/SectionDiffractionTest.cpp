#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

#include "support/TracingFixture.h"
#include "tracing/section/SectionDiffraction.h"
#include "tracing/section/SectionDrawing.h"

// Ground and barriers between a leg start S = (0, 0, 1) and a receiver, by default R = (10, 0.7, 1.3) (the vertical
// section then meets a barrier x = a at y = 0.07 a), diffracted by the section methods for a pyramid whose apex is S.
class SectionDiffractionTest : public TracingFixture {
protected:
    void field(const std::string& faces, const std::string& flags, const std::string& receivers = defaultReceiver) {
        SectionDrawing::resetCount();
        const std::string body = " Face 0 2 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n" + faces + receivers;
        writeFile("room.ray", "EntityList\n" + body + "End\n");
        parameters = RunParameters{};
        ASSERT_TRUE(parameters.parse("room /T0.2 /P0.0001 /U50 /C20 /S0 " + flags));
        load(*(model = std::make_unique<Model>()), body);
        receiver = microphones().at(1)->axis.origin;
    }
    bool diffract(int order = 0, const Face* lastFace = nullptr, unsigned microphone = 1) {
        PyramidSeed seed;
        seed.apex = Coord(0, 0, 1);
        Pyramid p(seed, energy);
        p.order = order;
        p.lastFace = const_cast<Face*>(lastFace);
        ObstructionList list;  // the obstructions of the straight path, as the tracer finds them
        model->findObstructions(microphones().at(static_cast<int>(microphone))->axis.origin, p.ray.origin, false, list,
                                p.lastFace, nullptr);
        return sectionDiffraction(*model, p, microphone, list, energy, nullptr);
    }
    /// Expects receiver 1 to hold one arrival for each path from S over its points to R, with the straight energy
    /// times the Kurze-Anderson share of its detour (1e-5: the single-precision steps), and nothing else.
    void expectPaths(const std::vector<std::vector<Coord>>& paths) const {
        const ImpulseResponse& response = microphones().at(1)->response;
        const Coord start(0, 0, 1);
        std::map<std::uint32_t, std::array<double, bandCount>> wanted;
        for (const std::vector<Coord>& points : paths) {
            double length = distance(start, points.front()) + distance(points.back(), receiver);
            for (std::size_t i = 1; i < points.size(); ++i) length += distance(points[i - 1], points[i]);
            for (int k = 0; k < bandCount; ++k)
                wanted[classOf(length)][k] += energy[k] * kurzeAnderson(length - distance(start, receiver), k);
        }
        for (std::uint32_t j = 0; j <= response.classCount; ++j)
            for (int k = 0; k < bandCount; ++k)
                ASSERT_NEAR(response.row(j)[k], wanted[j][k], wanted[j][k] * 1e-5) << "class " << j << " band " << k;
    }
    std::unique_ptr<Model> model;
    BandEnergies energy = [] { BandEnergies e; e.fill(1e6f); return e; }();
    Coord receiver;
    static inline const std::string defaultReceiver = " Receiver 10 0.7 1.3 0 0 1\n";
    const std::string thin = " Face 1 1 4 5 -50 0 5 50 0 5 50 3 5 -50 3\n", ahead = " Receiver 10 0 1.3 0 0 1\n";
};

TEST_F(SectionDiffractionTest, EachMethodFindsItsPathsOverTheCutFaces) {
    const std::string two = " Face 1 1 4 3 -50 0 3 50 0 3 50 3 3 -50 3\n Face 1 1 4 7 -50 0 7 50 0 7 50 4 7 -50 4\n";
    // 10 m high from y = -2 to 3, S and R level: the vertical section passes over its top, 5 mm above it; the
    // inclined one (here z = 1) around its side by y = -2.005, the shorter way.
    const std::string narrow = " Face 1 1 4 5 -2 0 5 3 0 5 3 10 5 -2 10\n", level = " Receiver 10 0 1 20 0 1\n";
    // R under a balcony slab at z = 2 from a 10 m facade at x = 6 to x = 10.002: over the facade, then around the
    // slab's end, whose node stands 5 mm beyond it, within the 1 cm the window reaches past R.
    const std::string balcony = " Face 1 1 4 6 -50 0 6 50 0 6 50 10 6 -50 10\n"
                                " Face 1 1 4 6 -50 2 10.002 -50 2 10.002 50 2 6 50 2\n";
    // 420 walls 6 m high, 1 cm apart from x = 5 to 9.19: 420 nodes, crossed straight from the first top to the last.
    std::string block;
    for (int i = 0; i < 420; ++i) {
        const std::string x = std::to_string(5 + 0.01 * i);
        block += " Face 1 1 4 " + x + " -50 0 " + x + " 50 0 " + x + " 50 6 " + x + " -50 6\n";
    }
    const std::tuple<const char*, std::string, std::vector<std::vector<Coord>>, std::string, int> cases[] = {
        {"/D3", " Face 1 1 4 5 -50 0 5 50 0 5 50 1.1 5 -50 1.1\n", {}, "", 0},  // its top under the line S-R
        {"/D2", thin, {}, "", 0},                                                // no section below 3
        // The hull method (3 to 49) and the top-point method (50 to 97) find the same top.
        {"/D3", thin, {{{5, 0.35, 3}}}, "", 0}, {"/D49", thin, {{{5, 0.35, 3}}}, "", 0},
        {"/D50", thin, {{{5, 0.35, 3}}}, "", 0}, {"/D97", thin, {{{5, 0.35, 3}}}, "", 0},
        // Two barriers: the top of largest detour (10.95 to 10.41 m); the hull and the graph (5 mm above) over both.
        {"/D50", two, {{{7, 0.49, 4}}}, "", 0},
        {"/D3", two, {{{3, 0.21, 3}, {7, 0.49, 4}}}, "", 0},
        {"/D98", two, {{{3, 0.21, 3.005}, {7, 0.49, 4.005}}}, "", 0},
        // A canopy wholly above S and R (x = 7, z from 4 to 5) lifts the hull over its top; the barrier stays below.
        {"/D3", thin + " Face 1 1 4 7 -50 4 7 50 4 7 50 5 7 -50 5\n", {{{7, 0.49, 5}}}, "", 0},
        // From 99 a direct leg is also searched sideways; a reflected leg only in the vertical section.
        {"/D99", narrow, {{{5, 0, 10.005}}, {{5, -2.005, 1}}}, level, 0},
        {"/D98", narrow, {{{5, 0, 10.005}}}, level, 0},
        {"/D99", narrow, {{{5, 0, 10.005}}}, level, 1},
        {"/D98", balcony, {{{6, 0, 10.005}, {10.007, 0, 2}}}, ahead, 0},
        {"/D98", block, {{{5, 0.35, 6.005}, {9.19, 0.07 * 9.19, 6.005}}}, "", 0},
    };
    // Drawn, a section takes every face; undrawn (the drawings used up), those near it: the same paths either way.
    for (const auto& [flags, faces, paths, receivers, order] : cases)
        for (const bool drawn : {true, false}) {
            SCOPED_TRACE(std::string(flags) + ", order " + std::to_string(order) + (drawn ? ", drawn: " : ": ") +
                         faces.substr(0, 200));
            field(faces, flags, receivers.empty() ? defaultReceiver : receivers);
            if (!drawn) SectionDrawing::stop();
            EXPECT_EQ(diffract(order), !paths.empty());
            expectPaths(paths);
            if (paths.empty()) { EXPECT_FALSE(std::filesystem::exists("room$1.dxf")) << "a drawing only with a path"; }
        }
}

// A reflected leg from S on the wall x = 0 (face 2), whose cut runs through S: it is no obstacle of the leg. Arrivals
// too weak (A-weighted below 1 in the source's units) are dropped.
TEST_F(SectionDiffractionTest, TheFaceALegStartsOnIsNoObstacleAndWeakArrivalsAreDropped) {
    field(" Face 1 1 4 0 -50 0 0 50 0 0 50 5 0 -50 5\n" + thin, "/D98");
    EXPECT_FALSE(diffract(1));
    EXPECT_TRUE(diffract(1, model->faceNumbered(2)));
    expectPaths({{{5, 0.35, 3.005}}});
    field(thin, "/D50");
    energy.fill(1e-3f);
    EXPECT_FALSE(diffract());
    expectPaths({});
}

// The hull section of the thin barrier, R straight ahead: the barrier's cut from (5, -1) to (5, 2), a wall; the ground's
// from x = 100 to -100 at -1; nodes S, (5, 0) and (5, 2) (the cut inside the window), R (10, 0.3); the path S, (5, 2), R.
// Of the first receiver only; at most nine a run, numbered from 1, even when a file cannot be made (a folder's name).
TEST_F(SectionDiffractionTest, AtMostNineSectionDrawingsARun) {
    field(thin, "/D3", ahead + ahead);
    EXPECT_TRUE(diffract(0, nullptr, 2));
    EXPECT_FALSE(std::filesystem::exists("room$1.dxf"));
    EXPECT_TRUE(diffract());
    EXPECT_EQ(readFile("room$1.dxf"), readFile(TOLVENO_TEST_DATA "/tracing/golden/hull-section.dxf"));
    std::filesystem::create_directory("room$3.dxf");
    for (int k = 2; k <= 10; ++k) EXPECT_TRUE(diffract()) << k;
    for (int k = 2; k <= 10; ++k)
        EXPECT_EQ(std::filesystem::is_regular_file("room$" + std::to_string(k) + ".dxf"), k != 3 && k < 10) << k;
}

namespace {
X2DArray nodesAt(const std::vector<X2DPoint>& points) {  // PathNodes, the first the source, the last the receiver
    X2DArray nodes;
    for (const X2DPoint& q : points) nodes.add(std::make_unique<PathNode>(q, Coord(q.x, 0, q.y), nodes.count()));
    static_cast<PathNode&>(nodes.at(nodes.count() - 1)).face = PathNode::receiverFace;
    return nodes;
}

X2DSegmentsArray walls(const std::vector<std::pair<X2DPoint, X2DPoint>>& ends) {
    X2DSegmentsArray segments;
    for (const auto& [a, b] : ends) segments.add(X2DSegment(a, b));
    return segments;
}

using Path = std::vector<std::size_t>;
}  // namespace

TEST(SectionTest, TheUpperHullKeepsTheHighestNodeAboveEachChord) {
    const std::pair<std::vector<X2DPoint>, std::vector<double>> cases[] = {
        // Chord 0-6 (y = 0): (4, 1.5) highest joins; chord 0-4: (2, 1) above 0.75 joins, (3, 0.2) under 1.125 not.
        {{{0, 0}, {1, -0.5}, {2, 1}, {3, 0.2}, {4, 1.5}, {5, 0.1}, {6, 0}}, {0, 2, 4, 6}},
        // The chord rises 1/16 per metre: 0.125 at x = 2 (above 0.1), 0.25 at x = 4 (on it: dropped too).
        {{{0, 0}, {2, 0.1}, {4, 0.25}, {8, 0.5}}, {0, 8}},
        // (9, 9.5) is higher than (2, 8) and joins first; then (2, 8) lies above the chord to (9, 9.5) and joins too.
        {{{0, 0}, {2, 8}, {9, 9.5}, {10, 10}}, {0, 2, 9, 10}},
    };
    for (const auto& [points, kept] : cases) {
        X2DArray nodes = nodesAt(points);
        upperHull(nodes);
        std::vector<double> xs;
        for (std::size_t i = 0; i < nodes.count(); ++i) xs.push_back(static_cast<const X2DPoint&>(nodes.at(i)).x);
        EXPECT_EQ(xs, kept);
    }
}

TEST(SectionTest, TheShortestPathGoesAroundTheObstacles) {
    // Around x = 5 from -1 to 1, over (5, 1.1) or under (5, -1.1), equally long: the lower index, unless not usable.
    const X2DArray around = nodesAt({{0, 0}, {5, 1.1}, {5, -1.1}, {10, 0}});
    std::vector<char> usable(4, 1);
    EXPECT_EQ(shortestPath(around, walls({{{5, -1}, {5, 1}}}), usable), (Path{0, 1, 3}));
    usable[1] = 0;
    EXPECT_EQ(shortestPath(around, walls({{{5, -1}, {5, 1}}}), usable), (Path{0, 2, 3}));
    // Walls x = 3 up to 2 and x = 7 up to 3, nodes above their tops: source to the second top passes x = 3 at
    // 1.29, the first top to the receiver x = 7 at 1.14: the path goes over both. A wall at x = 5 up to 40 closes it.
    const X2DArray tops = nodesAt({{0, 0}, {3, 2.005}, {7, 3.005}, {10, 0}});
    X2DSegmentsArray both = walls({{{3, -1}, {3, 2.001}}, {{7, -1}, {7, 3.001}}});
    EXPECT_EQ(sectionPath(tops, both, false), (Path{0, 1, 2, 3}));
    both.add(X2DSegment(X2DPoint(5, -1), X2DPoint(5, 40)));
    EXPECT_TRUE(sectionPath(tops, both, false).empty());
    // A comb of 600 teeth x = 1 ... 600 from -1 up to tops rising towards the middle, a node just above each:
    // more nodes than the dense search it replaced could afford, and a path over them.
    std::vector<X2DPoint> points{{0, 0}};
    X2DSegmentsArray teeth;
    for (int i = 1; i <= 600; ++i) {
        const double top = 1 + 0.001 * i * (601 - i) / 600.0;
        teeth.add(X2DSegment(X2DPoint(i, -1), X2DPoint(i, top)));
        points.emplace_back(i, top + 0.005);
    }
    points.emplace_back(601, 0);
    const Path path = shortestPath(nodesAt(points), teeth, std::vector<char>(points.size(), 1));
    EXPECT_TRUE(path.size() > 2 && path.front() == 0 && path.back() == points.size() - 1);
}

TEST(SectionTest, CutNodesStandAtTheEndsOfACutInsideTheWindow) {
    const SectionFrame frame = SectionFrame::vertical(Coord(0, 0, 0), Coord(20, 0, 0));
    const std::tuple<Coord, Coord, double, std::vector<Coord>> cases[] = {  // cut, offset, nodes
        // Where a barrier from z = -1 to 120 leaves the window (x -8 to 20.01, y 0 to 100); moved outward, outside.
        {{5, 0, -1}, {5, 0, 120}, 0, {{5, 0, 0}, {5, 0, 100}}},
        {{5, 0, -1}, {5, 0, 120}, 0.005, {}},
        {{6, 0, 1}, {6, 0, 3}, 0.005, {{6, 0, 0.995}, {6, 0, 3.005}}},  // beyond both ends
        // Wholly behind the source: none; behind it only nodes below 10 m count.
        {{-3, 0, 1}, {-3, 0, 2}, 0, {}},
        {{-3, 0, 5}, {2, 0, 15}, 0, {{-3, 0, 5}, {2, 0, 15}}},
        {{-3, 0, 12}, {2, 0, 15}, 0, {{2, 0, 15}}},
    };
    for (const auto& [low, high, offset, wanted] : cases) {
        X2DArray added;
        addCutNodes(FaceCut{true, low, high}, 3, frame, X2DRectangle(-8, 0, 28.01, 100), offset, added);
        ASSERT_EQ(added.count(), wanted.size()) << low.x << ' ' << low.z;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto& node = static_cast<const PathNode&>(added.at(i));
            EXPECT_TRUE(node.face == 3 && nearlyEqual(node.point, wanted[i]) && nearlyEqual(frame.toSpace(node), node.point));
        }
    }
}
