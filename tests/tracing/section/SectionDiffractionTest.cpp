#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "support/TracingFixture.h"
#include "tracing/section/SectionDiffraction.h"
#include "tracing/section/SectionDrawing.h"

// Flat ground and barriers between a leg start S = (0, 0, 1) and a receiver, by default R = (10, 0.7, 1.3),
// diffracted by calling the section methods for a pyramid whose apex is S. The vertical section runs along
// (x, 0.07 x): it meets a barrier x = a at y = 0.07 a.
class SectionDiffractionTest : public TracingFixture {
protected:
    void SetUp() override {
        TracingFixture::SetUp();
        SectionDrawing::resetCount();
        energy.fill(1e6f);
    }
    void TearDown() override {
        SectionDrawing::resetCount();
        TracingFixture::TearDown();
    }
    void field(const std::string& faces, const std::string& flags, const std::string& receivers = " Receiver 10 0.7 1.3 0 0 1\n") {
        writeFile("room.ray", "EntityList\n Face 0 2 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n" + faces + receivers + "End\n");
        parameters = RunParameters{};
        ASSERT_TRUE(parameters.parse("room /T0.2 /P0.0001 /U50 /C20 /S0 " + flags));
        model = std::make_unique<Model>();
        std::ifstream in("room.ray", std::ios::binary);
        model->load(in);
        receiver = microphones().at(1)->axis.origin;
    }
    bool diffract(Pyramid p, unsigned microphone = 1, const Face* monopermeable = nullptr) {
        ObstructionList list;  // the obstructions of the straight path, as the tracer finds them
        model->findObstructions(microphones().at(static_cast<int>(microphone))->axis.origin, p.ray.origin, false, list,
                                p.lastFace, nullptr);
        return sectionDiffraction(*model, p, microphone, list, energy, monopermeable);
    }
    Pyramid leg(int order = 0, const Coord& apex = Coord(0, 0, 1)) const {  // from S, its apex at S unless given
        PyramidSeed seed;
        seed.apex = Coord(0, 0, 1);
        Pyramid p(seed, energy);
        p.order = order;
        p.apex = apex;
        return p;
    }
    /// Expects the response of receiver 1 to hold exactly one arrival for each path from the apex over its points to
    /// R, with the straight-path energy times the Kurze-Anderson share of its detour, and nothing else.
    void expectPaths(const std::vector<std::vector<Coord>>& paths, const Coord& apex = Coord(0, 0, 1)) const {
        const ImpulseResponse& response = microphones().at(1)->response;
        std::map<std::uint32_t, std::array<double, bandCount>> wanted;
        for (const std::vector<Coord>& points : paths) {
            double length = distance(apex, points.front()) + distance(points.back(), receiver);
            for (std::size_t i = 1; i < points.size(); ++i) length += distance(points[i - 1], points[i]);
            for (int k = 0; k < bandCount; ++k) wanted[classOf(length)][k] += energy[k] * kurzeAnderson(length - distance(apex, receiver), k);
        }
        for (std::uint32_t j = 0; j <= response.classCount; ++j)
            for (int k = 0; k < bandCount; ++k) {
                const double e = wanted.count(j) ? wanted[j][k] : 0.0;
                // Float energies: a relative 1e-5 covers the single-precision steps.
                ASSERT_NEAR(response.row(j)[k], e, e * 1e-5) << "class " << j << " band " << k;
            }
    }
    std::unique_ptr<Model> model;
    BandEnergies energy{};
    Coord receiver;
    const std::string thin = " Face 1 1 4 5 -50 0 5 50 0 5 50 3 5 -50 3\n";
    const std::string ahead = " Receiver 10 0 1.3 0 0 1\n";  // straight ahead: the section is the plane y = 0
};

TEST_F(SectionDiffractionTest, EachMethodFindsItsPathsOverTheCutFaces) {
    const std::string two = " Face 1 1 4 3 -50 0 3 50 0 3 50 3 3 -50 3\n Face 1 1 4 7 -50 0 7 50 0 7 50 4 7 -50 4\n";
    // A barrier 10 m high from y = -2 to 3, S and R level: the vertical section passes over its top, 5 mm above it;
    // the horizontal one (z = 1) around its side by y = -2.005, the shorter way.
    const std::string narrow = " Face 1 1 4 5 -2 0 5 3 0 5 3 10 5 -2 10\n", level = " Receiver 10 0 1 20 0 1\n";
    // R under a balcony slab at z = 2 from a 10 m facade at x = 6 to x = 10.002: over the facade, then around the
    // slab's end, whose node stands 5 mm beyond it, within the 1 cm the window reaches past R.
    const std::string balcony = " Face 1 1 4 6 -50 0 6 50 0 6 50 10 6 -50 10\n Face 1 1 4 6 -50 2 10.002 -50 2 10.002 50 2 6 50 2\n";
    const std::tuple<const char*, std::string, std::vector<std::vector<Coord>>, std::string, int> cases[] = {
        // A barrier 1.1 m high: its top is in the window (from the height of S up) but under the line S-R.
        {"/D3", " Face 1 1 4 5 -50 0 5 50 0 5 50 1.1 5 -50 1.1\n", {}, "", 0},
        {"/D2", thin, {}, "", 0},  // below 3 no section is searched
        // The hull method (3 to 49) and the top-point method (50 to 97) find the same top.
        {"/D3", thin, {{{5, 0.35, 3}}}, "", 0},
        {"/D49", thin, {{{5, 0.35, 3}}}, "", 0},
        {"/D50", thin, {{{5, 0.35, 3}}}, "", 0},
        {"/D97", thin, {{{5, 0.35, 3}}}, "", 0},
        // Two barriers: the top point with the largest detour (10.95 against 10.41 m); the hull over both tops,
        // neither under the line from the other to an end; the graph too, its nodes 5 crack tolerances above them.
        {"/D50", two, {{{7, 0.49, 4}}}, "", 0},
        {"/D3", two, {{{3, 0.21, 3}, {7, 0.49, 4}}}, "", 0},
        {"/D98", two, {{{3, 0.21, 3.005}, {7, 0.49, 4.005}}}, "", 0},
        // From 99 a direct leg is also searched sideways; a reflected leg only in the vertical section.
        {"/D99", narrow, {{{5, 0, 10.005}}, {{5, -2.005, 1}}}, level, 0},
        {"/D98", narrow, {{{5, 0, 10.005}}}, level, 0},
        {"/D99", narrow, {{{5, 0, 10.005}}}, level, 1},
        {"/D98", balcony, {{{6, 0, 10.005}, {10.007, 0, 2}}}, ahead, 0},
    };
    for (const auto& [flags, faces, paths, receivers, order] : cases) {
        SCOPED_TRACE(std::string(flags) + ", order " + std::to_string(order) + ": " + faces);
        field(faces, flags, receivers.empty() ? " Receiver 10 0.7 1.3 0 0 1\n" : receivers);
        EXPECT_EQ(diffract(leg(order)), !paths.empty());
        expectPaths(paths);
        // The first two cases find nothing, and a section is drawn only when a path was found.
        if (paths.empty()) { EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(1))); }
    }
}

TEST_F(SectionDiffractionTest, TheFacesALegStartsOnOrPassesAreNoObstacles) {
    // A reflected leg from S on the wall x = 0 (face 2), its image source at (-0.5, 0, 1): the wall's cut runs
    // through S, so that S would see nothing if it counted. Faces are compared by number.
    field(" Face 1 1 4 0 -50 0 0 50 0 0 50 5 0 -50 5\n" + thin, "/D98");
    Pyramid p = leg(1, Coord(-0.5, 0, 1));
    EXPECT_FALSE(diffract(p));
    Face copy(*model->faceNumbered(2));
    copy.number = 2;
    p.lastFace = &copy;
    EXPECT_TRUE(diffract(p));
    expectPaths({{{5, 0.35, 3.005}}}, p.apex);
    // The leg's monopermeable face is passed. Arrivals too weak to matter (A-weighted below 1 in the source's
    // units) are not recorded.
    field(thin, "/D50");
    EXPECT_FALSE(diffract(leg(), 1, model->faceNumbered(2)));
    energy.fill(1e-3f);
    EXPECT_FALSE(diffract(leg()));
    expectPaths({});
}

TEST_F(SectionDiffractionTest, AThickBarrierOfHundredsOfWallsIsCrossedOverItsFirstAndLastTops) {
    // 420 walls 6 m high, 1 cm apart from x = 5 to 9.19: the section cuts every one, 420 nodes stand above their
    // tops, and the graph method still finds the path, straight from the first top to the last.
    std::string walls;
    for (int i = 0; i < 420; ++i) {
        const std::string x = std::to_string(5 + 0.01 * i);
        walls += " Face 1 1 4 " + x + " -50 0 " + x + " 50 0 " + x + " 50 6 " + x + " -50 6\n";
    }
    field(walls, "/D98");
    EXPECT_TRUE(diffract(leg()));
    expectPaths({{{5, 0.35, 6.005}, {9.19, 0.07 * 9.19, 6.005}}});
}

// The section drawing of the thin barrier and R straight ahead, in section coordinates: the barrier's cut from its
// foot (5, -1) to its top (5, 2), a wall; the ground's from x = 100 to -100 at -1; the nodes S, the barrier's cut
// inside the window (which starts at the height of S) from (5, 0) to (5, 2), and R at (10, 0.3); and the path S,
// (5, 2), R. Hull sections are drawn for the first receiver up to the hit level, graph sections always; at most
// nine a run, numbered from 1 after the results file, a number taken even when its file cannot be created (here a
// folder of its name), and never one number by two threads.
TEST_F(SectionDiffractionTest, AtMostNineSectionDrawingsARun) {
    field(thin, "/D3", ahead + ahead);
    EXPECT_TRUE(diffract(leg(), 2));
    EXPECT_FALSE(std::filesystem::exists("room$1.dxf")) << "only the first receiver is drawn";
    EXPECT_TRUE(diffract(leg()));
    EXPECT_EQ(readFile("room$1.dxf"), readFile(TOLVENO_TEST_DATA "/tracing/golden/hull-section.dxf"));
    parameters.HitLevel = -1;
    EXPECT_TRUE(diffract(leg()));
    EXPECT_FALSE(std::filesystem::exists("room$2.dxf"));
    parameters.Diffraction = 98;
    EXPECT_TRUE(diffract(leg()));
    EXPECT_TRUE(std::filesystem::exists("room$2.dxf"));
    parameters.SaveAll = true;  // the results file's extension names the source: it is removed all the same
    EXPECT_EQ(SectionDrawing::fileName(7), "room$7.dxf");
    SectionDrawing::resetCount();
    std::filesystem::remove("room$1.dxf");
    std::filesystem::create_directory("room$1.dxf");
    const X2DSegmentsArray obstacles;
    const X2DArray nodes;
    const X2DPolygon path;
    const SectionDrawing drawing(obstacles, nodes, path);
    std::vector<char> saved(16, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < saved.size(); ++t) threads.emplace_back([&, t] { saved[t] = drawing.save(); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::count(saved.begin(), saved.end(), 1), 8);
    for (unsigned k = 2; k <= 9; ++k) EXPECT_EQ(readFile("room$" + std::to_string(k) + ".dxf"), "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n");
    EXPECT_FALSE(std::filesystem::exists("room$10.dxf"));
    EXPECT_FALSE(SectionDrawing::available());
}
