#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "support/UiFixture.h"
#include "tracing/Pyramid.h"
#include "tracing/section/SectionDiffraction.h"
#include "tracing/section/SectionDrawing.h"

// Flat ground and barriers between a leg start S = (0, 0, 1) and a receiver R = (10, 0.7, 1.3),
// diffracted by calling the section methods for a pyramid whose apex is S.
//
// The vertical section through S and R runs along (x, 0.07 x); in section coordinates R lies at
// (d, 0.3) with d = sqrt(100.49), and a point of space (x, 0.07 x, z) at (x d / 10, z - 1).
class SectionDiffractionTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        SectionDrawing::resetCount();
        energy.fill(1e6f);
    }

    void TearDown() override {
        SectionDrawing::resetCount();
        UiFixture::TearDown();
    }

    /// Loads the ground, faces and the receivers (the first at R unless given) with the flags.
    void load(const std::string& faces, const std::string& flags, const std::string& receivers = "") {
        const std::string placed = receivers.empty() ? " Receiver 10 0.7 1.3 0 0 1\n" : receivers;
        writeFile("field.ray",
                  "EntityList\n Face 0 2 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n" + faces + placed + "End\n");
        ASSERT_TRUE(parameters.parse("field /T0.2 /P0.0001 /U50 /C20 /S0 " + flags));
        std::ifstream in("field.ray", std::ios::binary);
        model.load(in);
        receiver = microphones().at(1)->axis.origin;
    }

    /// A direct pyramid from S.
    Pyramid direct() const {
        PyramidSeed seed;
        seed.apex = start;
        return Pyramid(seed, energy);
    }

    /// The obstructions of the straight path, as the tracer finds them.
    ObstructionList obstructions(const Pyramid& p, unsigned microphone = 1) const {
        ObstructionList list;
        model.findObstructions(microphones().at(static_cast<int>(microphone))->axis.origin, p.ray.origin, false, list,
                               p.lastFace, nullptr);
        return list;
    }

    bool diffract(Pyramid& p, unsigned microphone = 1) {
        return sectionDiffraction(model, p, microphone, obstructions(p, microphone), energy, nullptr);
    }

    bool diffract() {
        Pyramid p = direct();
        return diffract(p);
    }

    /// The length of the path from `from` over points to the receiver.
    double pathLength(const Coord& from, std::initializer_list<Coord> points) const {
        double length = 0;
        Coord last = from;
        for (const Coord& q : points) {
            length += distance(last, q);
            last = q;
        }
        return length + distance(last, receiver);
    }

    /// Expects the response of microphone to hold exactly one arrival per path length, each the
    /// straight-path energy times the Kurze-Anderson factor tanh^2(sqrt x) / (sqrt 10 x) of its detour,
    /// x = 4 pi detour f / c, and nothing else.
    void expectArrivals(const std::vector<double>& lengths, const Coord& apex, unsigned microphone = 1) const {
        const ImpulseResponse& response = microphones().at(static_cast<int>(microphone))->response;
        const double direct = distance(apex, receiver);
        const double c = parameters.SoundSpeed;
        std::map<std::uint32_t, std::array<double, bandCount>> expected;
        for (double length : lengths) {
            ASSERT_GT(length, direct);
            auto& row = expected[response.classOf(length / c)];
            for (int k = 0; k < bandCount; ++k) {
                const double x = 4 * std::numbers::pi * (length - direct) * bandFrequencies[k] / c;
                row[k] += energy[k] * std::pow(std::tanh(std::sqrt(x)), 2) / (std::sqrt(10.0) * x);
            }
        }
        for (std::uint32_t j = 0; j <= response.classCount; ++j) {
            const auto found = expected.find(j);
            for (int k = 0; k < bandCount; ++k) {
                const double e = found == expected.end() ? 0.0 : found->second[k];
                // Float energies: a relative 1e-5 covers the single-precision steps.
                if (e == 0)
                    ASSERT_EQ(response.row(j)[k], 0.0f) << "class " << j << " band " << k;
                else
                    EXPECT_NEAR(response.row(j)[k], e, e * 1e-5) << "class " << j << " band " << k;
            }
        }
    }

    void expectSilence(unsigned microphone = 1) const { expectArrivals({}, start, microphone); }

    Model model;
    BandEnergies energy{};
    const Coord start = Coord(0, 0, 1);
    Coord receiver;
    const std::string thinBarrier = " Face 1 1 4 5 -50 0 5 50 0 5 50 3 5 -50 3\n";
    const std::string twoBarriers =
        " Face 1 1 4 3 -50 0 3 50 0 3 50 3 3 -50 3\n Face 1 1 4 7 -50 0 7 50 0 7 50 4 7 -50 4\n";
};

TEST_F(SectionDiffractionTest, NothingAboveTheStraightLineRecordsNothing) {
    // A barrier 1.1 m high: its top lies in the section at height 0.1 above S, inside the window
    // (from 0 up), but under the straight line S-R, which is 0.15 above S half way.
    load(" Face 1 1 4 5 -50 0 5 50 0 5 50 1.1 5 -50 1.1\n", "/D3");
    EXPECT_FALSE(diffract());
    expectSilence();
    EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(1)));
}

class ThinBarrierTest : public SectionDiffractionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ThinBarrierTest, OnePathOverTheTop) {
    load(thinBarrier, GetParam());
    EXPECT_TRUE(diffract());
    // The section meets the barrier x = 5 at y = 0.35; its top is at z = 3.
    const Coord top(5, 0.35, 3);
    expectArrivals({pathLength(start, {top})}, start);
}

// The hull method (3 to 49) and the top-point method (50 to 97) find the same top.
INSTANTIATE_TEST_SUITE_P(Methods, ThinBarrierTest, ::testing::Values("/D3", "/D49", "/D50", "/D97"));

TEST_F(SectionDiffractionTest, TopPointMethodTakesTheLargestDetour) {
    load(twoBarriers, "/D50");
    const Pyramid p = direct();
    const ObstructionList list = obstructions(p);
    // Both barriers block the straight path, the one at x = 3 found first.
    ASSERT_EQ(list.count, 2u);
    ASSERT_NEAR(list.entries[0].face->vertices[0].x, 3, 1e-12);
    // The section meets x = 3 at y = 0.21 and x = 7 at y = 0.49.
    const Coord first(3, 0.21, 3), second(7, 0.49, 4);
    const double overFirst = pathLength(start, {first}), overSecond = pathLength(start, {second});
    ASSERT_GT(overSecond, overFirst);  // 10.95 against 10.41 m
    EXPECT_TRUE(diffract());
    expectArrivals({overSecond}, start);
}

TEST_F(SectionDiffractionTest, HullMethodGoesOverBothTops) {
    load(twoBarriers, "/D3");
    // In the section the tops are at (0.3 d, 2) and (0.7 d, 3). The line from S to the second passes
    // 3 x 3/7 = 1.29 over S at the first, below 2; the line from the first to R passes
    // 2 - 1.7 x 4/7 = 1.03 at the second, below 3: both are on the hull.
    EXPECT_TRUE(diffract());
    expectArrivals({pathLength(start, {Coord(3, 0.21, 3), Coord(7, 0.49, 4)})}, start);
}

TEST_F(SectionDiffractionTest, GraphMethodFindsThePathOverTwoBarriers) {
    load(twoBarriers, "/D98");
    // The nodes stand 5 crack tolerances (5 mm) beyond the tops. The path over both tops is the
    // only one (the same sight lines as for the hull are blocked), so Dijkstra's algorithm finds it.
    EXPECT_TRUE(diffract());
    expectArrivals({pathLength(start, {Coord(3, 0.21, 3.005), Coord(7, 0.49, 4.005)})}, start);
}

// S and R level on the x axis; a barrier 10 m high from y = -2 to 3. The second section is the
// horizontal plane z = 1, where the barrier is cut from (5, -2) to (5, 3): the shorter way round
// is by y = -2.005. The vertical section gives the path over the top, 5 mm above it.
class SidePassTest : public SectionDiffractionTest {
protected:
    const std::string barrier = " Face 1 1 4 5 -2 0 5 3 0 5 3 10 5 -2 10\n";
    const std::string levelReceiver = " Receiver 10 0 1 20 0 1\n";
    const Coord overTop = Coord(5, 0, 10.005);
    const Coord aroundSide = Coord(5, -2.005, 1);
};

TEST_F(SidePassTest, From99ADirectLegIsAlsoSearchedSideways) {
    load(barrier, "/D99", levelReceiver);
    EXPECT_TRUE(diffract());
    expectArrivals({pathLength(start, {overTop}), pathLength(start, {aroundSide})}, start);
}

TEST_F(SidePassTest, With98OnlyTheVerticalSectionIsSearched) {
    load(barrier, "/D98", levelReceiver);
    EXPECT_TRUE(diffract());
    expectArrivals({pathLength(start, {overTop})}, start);
}

TEST_F(SidePassTest, AReflectedLegIsSearchedInTheVerticalSectionOnly) {
    load(barrier, "/D99", levelReceiver);
    Pyramid p = direct();
    p.order = 1;  // the apex stays at S: the same paths, but one pass
    EXPECT_TRUE(diffract(p));
    expectArrivals({pathLength(start, {overTop})}, start);
}

TEST_F(SectionDiffractionTest, TheFaceTheLegStartsOnIsNoObstacle) {
    // A reflected leg from S on the wall x = 0 (face number 2, after the ground), its image source
    // at (-0.5, 0, 1). The wall's cut runs through S, so that S would see nothing if it counted.
    load(" Face 1 1 4 0 -50 0 0 50 0 0 50 5 0 -50 5\n" + thinBarrier, "/D98");
    const Face* wall = nullptr;
    for (std::uint32_t i = 0; i < model.count(); ++i)
        if (model.faceAt(i)->number == 2) wall = model.faceAt(i);
    ASSERT_NE(wall, nullptr);
    ASSERT_NEAR(wall->vertices[0].x, 0, 1e-12);
    Pyramid p = direct();
    p.apex = Coord(-0.5, 0, 1);
    p.order = 1;
    EXPECT_FALSE(diffract(p));
    expectSilence();
    // Faces are compared by number: a copy of the wall with its number stands for it.
    Face copy(*wall);
    copy.number = wall->number;
    p.lastFace = &copy;
    EXPECT_TRUE(diffract(p));
    expectArrivals({pathLength(p.apex, {Coord(5, 0.35, 3.005)})}, p.apex);
}

TEST_F(SectionDiffractionTest, TheMonopermeableFaceIsNoObstacle) {
    load(thinBarrier, "/D50");
    Pyramid p = direct();
    const ObstructionList list = obstructions(p);
    ASSERT_EQ(list.count, 1u);
    EXPECT_FALSE(sectionDiffraction(model, p, 1, list, energy, list.entries[0].face));
    expectSilence();
}

TEST_F(SectionDiffractionTest, BelowThreeNothingIsDone) {
    load(thinBarrier, "/D2");
    EXPECT_FALSE(diffract());
    expectSilence();
}

namespace {
/// One entity of a DXF entity section: its type, its layer and its numeric group values.
struct DxfEntity {
    std::string type;
    std::string layer;
    std::map<int, double> values;
};

/// The entities between "SECTION"/"ENTITIES" and "ENDSEC"/"EOF"; empty when the frame is wrong.
std::vector<DxfEntity> readEntities(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::pair<int, std::string>> pairs;
    std::string code, value;
    while (std::getline(in, code) && std::getline(in, value)) pairs.emplace_back(std::stoi(code), value);
    const std::size_t n = pairs.size();
    if (n < 4 || pairs[0] != std::make_pair(0, std::string("SECTION")) ||
        pairs[1] != std::make_pair(2, std::string("ENTITIES")) ||
        pairs[n - 2] != std::make_pair(0, std::string("ENDSEC")) ||
        pairs[n - 1] != std::make_pair(0, std::string("EOF")))
        return {};
    std::vector<DxfEntity> entities;
    for (std::size_t i = 2; i + 2 < n; ++i) {
        if (pairs[i].first == 0)
            entities.push_back({pairs[i].second, "", {}});
        else if (entities.empty())
            return {};
        else if (pairs[i].first == 8)
            entities.back().layer = pairs[i].second;
        else
            entities.back().values[pairs[i].first] = std::stod(pairs[i].second);
    }
    return entities;
}

// Six significant digits are written.
void expectNumber(double actual, double expected) { EXPECT_NEAR(actual, expected, 1e-5 * std::fabs(expected) + 1e-9); }
}  // namespace

TEST_F(SectionDiffractionTest, TheHullSectionDrawing) {
    load(thinBarrier, "/D3");
    EXPECT_TRUE(diffract());
    ASSERT_TRUE(std::filesystem::exists("field$1.dxf"));
    const std::vector<DxfEntity> entities = readEntities(readFile("field$1.dxf"));
    ASSERT_EQ(entities.size(), 8u);
    const double d = std::sqrt(100.49);
    // The obstacles, in model order (obstructing faces first): the barrier's cut from the foot
    // (d/2, -1) to the top (d/2, 2), a wall; the ground's cut at y = -1 from the edge x = -100
    // to x = 100 of the ground, that is over 100 sqrt(1.0049) to either side.
    EXPECT_EQ(entities[0].type, "LINE");
    EXPECT_EQ(entities[0].layer, "MURI");
    expectNumber(entities[0].values.at(10), d / 2);
    expectNumber(entities[0].values.at(20), -1);
    expectNumber(entities[0].values.at(11), d / 2);
    expectNumber(entities[0].values.at(21), 2);
    EXPECT_EQ(entities[1].type, "LINE");
    EXPECT_EQ(entities[1].layer, "GROUND");
    expectNumber(std::fabs(entities[1].values.at(10)), 100 * std::sqrt(1.0049));
    expectNumber(entities[1].values.at(20), -1);
    expectNumber(entities[1].values.at(21), -1);
    // The nodes: S; the barrier's cut inside the window (which starts at the height of S), from
    // (d/2, 0) to (d/2, 2); R. The ground lies below the window and gives none.
    // The two barrier nodes have the same x up to rounding: their order is not fixed.
    const bool footFirst = entities[3].values.at(20) < entities[4].values.at(20);
    const char* layers[] = {"SORGENTI", "PUNTI", "PUNTI", "SENSORI"};
    const double centres[][2] = {{0, 0}, {d / 2, footFirst ? 0.0 : 2.0}, {d / 2, footFirst ? 2.0 : 0.0}, {d, 0.3}};
    for (int i = 0; i < 4; ++i) {
        const DxfEntity& circle = entities[2 + i];
        EXPECT_EQ(circle.type, "CIRCLE") << i;
        EXPECT_EQ(circle.layer, layers[i]) << i;
        expectNumber(circle.values.at(10), centres[i][0]);
        expectNumber(circle.values.at(20), centres[i][1]);
        expectNumber(circle.values.at(40), SectionDrawing::nodeRadius);
    }
    // The path: S to the top, the top to R.
    const double legs[][4] = {{0, 0, d / 2, 2}, {d / 2, 2, d, 0.3}};
    for (int i = 0; i < 2; ++i) {
        const DxfEntity& leg = entities[6 + i];
        EXPECT_EQ(leg.type, "LINE");
        EXPECT_EQ(leg.layer, "RAGGI");
        expectNumber(leg.values.at(10), legs[i][0]);
        expectNumber(leg.values.at(20), legs[i][1]);
        expectNumber(leg.values.at(11), legs[i][2]);
        expectNumber(leg.values.at(21), legs[i][3]);
    }
}

TEST_F(SectionDiffractionTest, TheTenthSectionDrawingIsNeverWritten) {
    load(thinBarrier, "/D3");
    for (int call = 1; call <= 10; ++call) EXPECT_TRUE(diffract()) << call;
    for (unsigned k = 1; k <= 9; ++k) EXPECT_TRUE(std::filesystem::exists(SectionDrawing::fileName(k))) << k;
    EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(10)));
    EXPECT_EQ(SectionDrawing::fileName(9), "field$9.dxf");
}

TEST_F(SectionDiffractionTest, OnlyTheFirstReceiverIsDrawn) {
    load(thinBarrier, "/D3", " Receiver 10 0.7 1.3 0 0 1\n Receiver 10 0.7 1.3 0 0 1\n");
    Pyramid p = direct();
    EXPECT_TRUE(diffract(p, 2));
    EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(1)));
    expectArrivals({pathLength(start, {Coord(5, 0.35, 3)})}, start, 2);
}

TEST_F(SectionDiffractionTest, HullDrawingsFollowTheHitLevelGraphDrawingsDoNot) {
    load(thinBarrier, "/D3 /S-1");
    EXPECT_TRUE(diffract());
    EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(1)));
    parameters.Diffraction = 98;
    EXPECT_TRUE(diffract());
    EXPECT_TRUE(std::filesystem::exists(SectionDrawing::fileName(1)));
}

TEST_F(SectionDiffractionTest, TheSectionsOfSeveralThreadsStayApart) {
    load(thinBarrier, "/D98");
    int recorded = 0;
#pragma omp parallel for num_threads(4) reduction(+ : recorded)
    for (int call = 0; call < 12; ++call) {
        Pyramid p = direct();
        recorded += diffract(p) ? 1 : 0;
    }
    EXPECT_EQ(recorded, 12);
    // Twelve equal arrivals in one class.
    const Coord top(5, 0.35, 3.005);
    const double length = pathLength(start, {top});
    const ImpulseResponse& response = microphones().at(1)->response;
    const double x =
        4 * std::numbers::pi * (length - distance(start, receiver)) * bandFrequencies[5] / parameters.SoundSpeed;
    const double one = energy[5] * std::pow(std::tanh(std::sqrt(x)), 2) / (std::sqrt(10.0) * x);
    EXPECT_NEAR(response.row(response.classOf(length / parameters.SoundSpeed))[5], 12 * one, 12 * one * 1e-5);
    for (unsigned k = 1; k <= 9; ++k) EXPECT_TRUE(std::filesystem::exists(SectionDrawing::fileName(k))) << k;
    EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(10)));
}

TEST_F(SectionDiffractionTest, ABarrierOfStripsGivesThePathOfTheSolidOne) {
    // A 6 m barrier at x = 5, as one face and as 240 strips 2.5 cm high: the section cuts every
    // strip, nearly 500 nodes, and the graph method still finds the path over the top.
    std::string strips;
    for (int i = 0; i < 240; ++i) {
        const std::string z0 = std::to_string(0.025 * i), z1 = std::to_string(0.025 * (i + 1));
        strips += " Face 1 1 4 5 -50 " + z0 + " 5 50 " + z0 + " 5 50 " + z1 + " 5 -50 " + z1 + "\n";
    }
    std::vector<std::vector<BandEnergies>> rows;
    for (const std::string& barrier : {std::string(" Face 1 1 4 5 -50 0 5 50 0 5 50 6 5 -50 6\n"), strips}) {
        load(barrier, "/D98");
        EXPECT_TRUE(diffract());
        rows.push_back(microphones().at(1)->response.rows);
    }
    EXPECT_EQ(rows[0], rows[1]);
}
