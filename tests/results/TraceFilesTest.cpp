#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "results/HitsFile.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "tracing/Pyramid.h"

using TraceFilesTest = UiFixture;

namespace {
Pyramid pyramidOfOrder(int order) {
    PyramidSeed seed;
    seed.section.set(Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
    Pyramid p(seed, BandEnergies{});
    p.order = order;
    return p;
}
}  // namespace

TEST_F(TraceFilesTest, HitRecords) {
    BandEnergies energy{};
    for (int k = 0; k < bandCount; ++k) energy[k] = static_cast<float>(k + 1) * 0.5f;
    EXPECT_EQ(HitsFile::record(pyramidOfOrder(0), 3, 1, energy, 0.0125), "   3,  1,0.0125,0.5,1,1.5,2,2.5,3,3.5,4,4.5,5,0");
    Pyramid p = pyramidOfOrder(2);
    p.record(17, Coord(1, 2.5, 3));
    p.record(4, Coord(-1, 0, 0.125));
    EXPECT_EQ(HitsFile::record(p, 1234, 12, BandEnergies{}, 0.5), "1234, 12,0.5,0,0,0,0,0,0,0,0,0,0,2,17,1,2.5,3,4,-1,0,0.125");
}

TEST_F(TraceFilesTest, HitsAreSavedUpToTheHitLevelOnly) {
    parameters.modelFile.assign("room.ray");
    parameters.HitLevel = 1;
    HitsFile::open(0);
    EXPECT_TRUE(HitsFile::save(pyramidOfOrder(1), 1, BandEnergies{}, 0.1));
    EXPECT_FALSE(HitsFile::save(pyramidOfOrder(2), 1, BandEnergies{}, 0.2));
    HitsFile::close();
    EXPECT_FALSE(HitsFile::save(pyramidOfOrder(0), 1, BandEnergies{}, 0.3)) << "no file open";
    // A later source appends (numbered from 1) when the results accumulate; the first source of a run replaces.
    HitsFile::open(1);
    HitsFile::save(pyramidOfOrder(0), 2, BandEnergies{}, 0.4);
    HitsFile::close();
    EXPECT_EQ(readFile("room.@__"), "   1,  1,0.1,0,0,0,0,0,0,0,0,0,0,0\n   2,  2,0.4,0,0,0,0,0,0,0,0,0,0,0\n");
    HitsFile::open(0);
    HitsFile::close();
    EXPECT_EQ(readFile("room.@__"), "");
}

TEST_F(TraceFilesTest, EscapedRaysAndEdgeHitsAreListed) {
    // Two walls meet in the line x = 5, y = 5.0001, which the central rays from the apex 0.0001 0.0002 0.0003 along
    // (1, 1, ±1) meet: these two pyramids hit an edge, listed without a direction. Those along (−1, −1, ±1) escape,
    // listed with their direction (1/√3 to six digits); with History 0 the four that reflect are traced no further.
    writeFile("corner.ray", "EntityList\n Face 1 1 4 5 -10 -10 5 5.0001 -10 5 5.0001 10 5 -10 10\n"
                            " Face 1 1 4 -10 5.0001 -10 -10 5.0001 10 5 5.0001 10 5 5.0001 -10\n"
                            " Source 0 0 0 1 0 0 0 none.spk\n Receiver 1 -1 1 0 0 0\nEnd\n");
    ASSERT_TRUE(parameters.parse("corner /L-1 /E1 /O1 /H0 /T0.1 /P0.001"));
    RayManager().run();
    EXPECT_FALSE(std::filesystem::exists("escaped.ray")) << "without pyramids";
    ASSERT_TRUE(parameters.parse("corner /L0 /E1 /O1 /H0 /T0.1 /P0.001"));
    RayManager manager;
    manager.run();
    EXPECT_EQ(manager.statistics.edgeHitCount, 2u);
    std::istringstream in(readFile("escaped.ray"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u);
    std::sort(lines.begin() + 1, lines.end() - 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"Entitylist", " Ray 0.0001 0.0002 0.0003 -0.57735 -0.57735 -0.57735",
                                               " Ray 0.0001 0.0002 0.0003 -0.57735 -0.57735 0.57735",
                                               " Ray 0.0001 0.0002 0.0003 0 0 0", " Ray 0.0001 0.0002 0.0003 0 0 0", "End"}));
}
