#include <filesystem>
#include <map>
#include <memory>

#include "support/TracingFixture.h"
#include "tracing/section/SectionDiffraction.h"
#include "tracing/section/SectionDrawing.h"

// Ground and barriers between a leg start S = (0, 0, 1) and a receiver, by default R = (10, 0.7, 1.3) (the vertical
// section then meets a barrier x = a at y = 0.07 a), diffracted by the section methods for a pyramid whose apex is S.
class SectionDiffractionTest : public TracingFixture {
protected:
    void field(const std::string& faces, const std::string& flags, const std::string& receivers = " Receiver 10 0.7 1.3 0 0 1\n") {
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
            for (int k = 0; k < bandCount; ++k) wanted[classOf(length)][k] += energy[k] * kurzeAnderson(length - distance(start, receiver), k);
        }
        for (std::uint32_t j = 0; j <= response.classCount; ++j)
            for (int k = 0; k < bandCount; ++k)
                ASSERT_NEAR(response.row(j)[k], wanted[j][k], wanted[j][k] * 1e-5) << "class " << j << " band " << k;
    }
    std::unique_ptr<Model> model;
    BandEnergies energy = [] { BandEnergies e; e.fill(1e6f); return e; }();
    Coord receiver;
    const std::string thin = " Face 1 1 4 5 -50 0 5 50 0 5 50 3 5 -50 3\n", ahead = " Receiver 10 0 1.3 0 0 1\n";
};

TEST_F(SectionDiffractionTest, EachMethodFindsItsPathsOverTheCutFaces) {
    const std::string two = " Face 1 1 4 3 -50 0 3 50 0 3 50 3 3 -50 3\n Face 1 1 4 7 -50 0 7 50 0 7 50 4 7 -50 4\n";
    // 10 m high from y = -2 to 3, S and R level: the vertical section passes over its top, 5 mm above it; the
    // inclined one (here z = 1) around its side by y = -2.005, the shorter way.
    const std::string narrow = " Face 1 1 4 5 -2 0 5 3 0 5 3 10 5 -2 10\n", level = " Receiver 10 0 1 20 0 1\n";
    // R under a balcony slab at z = 2 from a 10 m facade at x = 6 to x = 10.002: over the facade, then around the
    // slab's end, whose node stands 5 mm beyond it, within the 1 cm the window reaches past R.
    const std::string balcony = " Face 1 1 4 6 -50 0 6 50 0 6 50 10 6 -50 10\n Face 1 1 4 6 -50 2 10.002 -50 2 10.002 50 2 6 50 2\n";
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
        // Two barriers: the top with the largest detour (10.95 against 10.41 m); the hull over both tops, neither
        // under the line from the other to an end; the graph too, its nodes 5 crack tolerances above them.
        {"/D50", two, {{{7, 0.49, 4}}}, "", 0},
        {"/D3", two, {{{3, 0.21, 3}, {7, 0.49, 4}}}, "", 0},
        {"/D98", two, {{{3, 0.21, 3.005}, {7, 0.49, 4.005}}}, "", 0},
        // From 99 a direct leg is also searched sideways; a reflected leg only in the vertical section.
        {"/D99", narrow, {{{5, 0, 10.005}}, {{5, -2.005, 1}}}, level, 0},
        {"/D98", narrow, {{{5, 0, 10.005}}}, level, 0},
        {"/D99", narrow, {{{5, 0, 10.005}}}, level, 1},
        {"/D98", balcony, {{{6, 0, 10.005}, {10.007, 0, 2}}}, ahead, 0},
        {"/D98", block, {{{5, 0.35, 6.005}, {9.19, 0.07 * 9.19, 6.005}}}, "", 0},
    };
    for (const auto& [flags, faces, paths, receivers, order] : cases) {
        SCOPED_TRACE(std::string(flags) + ", order " + std::to_string(order) + ": " + faces.substr(0, 200));
        field(faces, flags, receivers.empty() ? " Receiver 10 0.7 1.3 0 0 1\n" : receivers);
        EXPECT_EQ(diffract(order), !paths.empty());
        expectPaths(paths);
        if (paths.empty()) { EXPECT_FALSE(std::filesystem::exists("room$1.dxf")) << "a drawing only with a path"; }
    }
}

// A reflected leg from S on the wall x = 0 (face 2): the wall's cut runs through S, which would see nothing if it
// counted. Arrivals too weak (A-weighted below 1 in the source's units) are dropped.
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

// The hull section of the thin barrier with R straight ahead, in section coordinates: the barrier's cut from its foot
// (5, -1) to its top (5, 2), a wall; the ground's from x = 100 to -100 at -1; the nodes S, the barrier's cut inside the
// window (from the height of S) from (5, 0) to (5, 2), and R (10, 0.3); the path S, (5, 2), R. Of the first receiver
// only; at most nine a run, numbered from 1, a number taken even when its file cannot be created (a folder's name).
TEST_F(SectionDiffractionTest, AtMostNineSectionDrawingsARun) {
    field(thin, "/D3", ahead + ahead);
    EXPECT_TRUE(diffract(0, nullptr, 2));
    EXPECT_FALSE(std::filesystem::exists("room$1.dxf"));
    EXPECT_TRUE(diffract());
    EXPECT_EQ(readFile("room$1.dxf"), readFile(TOLVENO_TEST_DATA "/tracing/golden/hull-section.dxf"));
    std::filesystem::create_directory("room$3.dxf");
    for (int k = 2; k <= 10; ++k) EXPECT_TRUE(diffract()) << k;
    for (int k = 2; k <= 10; ++k) EXPECT_EQ(std::filesystem::is_regular_file("room$" + std::to_string(k) + ".dxf"), k != 3 && k < 10) << k;
}
