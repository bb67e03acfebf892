#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "acoustics/Microphone.h"
#include "results/HitsFile.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "tracing/Pyramid.h"
#include "tracing/PyramidLog.h"

using TraceFilesTest = UiFixture;

// One line per arrival of a pyramid of order up to HitLevel: receiver, source, time, band energies and the
// reflections that led to it (face and point).
TEST_F(TraceFilesTest, HitsAreSavedUpToTheHitLevel) {
    const auto pyramidOfOrder = [](int order) {
        PyramidSeed seed;
        seed.section.set(Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
        Pyramid p(seed, BandEnergies{});
        p.order = order;
        return p;
    };
    parameters.modelFile.assign("room.ray");
    parameters.HitLevel = 2;
    BandEnergies energy{};
    for (int k = 0; k < bandCount; ++k) energy[k] = static_cast<float>(k + 1) * 0.5f;
    Pyramid reflected = pyramidOfOrder(2);
    reflected.record(17, Coord(1, 2.5, 3));
    reflected.record(4, Coord(-1, 0, 0.125));
    std::string records;
    HitsFile::open(0);
    EXPECT_TRUE(HitsFile::format(reflected, 3, energy, 0.0125, records));
    EXPECT_FALSE(HitsFile::format(pyramidOfOrder(3), 1, energy, 0.2, records));
    HitsFile::write(records);
    HitsFile::close();
    EXPECT_FALSE(HitsFile::format(pyramidOfOrder(0), 1, energy, 0.3, records)) << "no file open";
    // A process tracing for another formats the records of its source without a file, and writes nothing.
    const std::string earlier = readFile("room.@__");
    std::string formatted;
    HitsFile::formatFor(4);
    EXPECT_TRUE(HitsFile::format(reflected, 3, energy, 0.0125, formatted));
    EXPECT_FALSE(HitsFile::format(pyramidOfOrder(3), 1, energy, 0.2, formatted));
    HitsFile::write(formatted);
    EXPECT_FALSE(HitsFile::isOpen());
    HitsFile::close();
    EXPECT_FALSE(HitsFile::format(pyramidOfOrder(0), 1, energy, 0.3, formatted)) << "formatting ended";
    EXPECT_EQ(formatted, HitsFile::record(reflected, 3, 5, energy, 0.0125) + "\n");
    EXPECT_EQ(readFile("room.@__"), earlier);
    // A later source appends (numbered from 1) when the results accumulate; the first source of a run replaces.
    HitsFile::open(11);
    records.clear();
    HitsFile::format(pyramidOfOrder(0), 1234, BandEnergies{}, 0.5, records);
    HitsFile::write(records);
    HitsFile::close();
    EXPECT_EQ(readFile("room.@__"), "   3,  1,0.0125,0.5,1,1.5,2,2.5,3,3.5,4,4.5,5,2,17,1,2.5,3,4,-1,0,0.125\n"
                                    "1234, 12,0.5,0,0,0,0,0,0,0,0,0,0,0\n");
    HitsFile::open(0);
    HitsFile::close();
    EXPECT_EQ(readFile("room.@__"), "");
    // Of two direct waves committed to one receiver the response takes the first: only its record is written.
    Microphone heard;
    PyramidLog log;
    HitsFile::open(0);
    for (const double time : {0.01, 0.02}) {
        log.arrival(heard, 7, energy, 0, Vector(1, 0, 0), time);
        log.hits(pyramidOfOrder(0), 7, energy, time);
    }
    TraceStatistics statistics;
    log.commit(statistics);
    HitsFile::close();
    const std::string written = readFile("room.@__");
    EXPECT_TRUE(std::count(written.begin(), written.end(), '\n') == 1 && written.starts_with("   7,  1,0.01,")) << written;
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
    const std::string apex = " Ray 0.0001 0.0002 0.0003 ", escaped = apex + "-0.57735 -0.57735 ";
    EXPECT_EQ(lines, (std::vector<std::string>{"Entitylist", escaped + "-0.57735", escaped + "0.57735", apex + "0 0 0",
                                               apex + "0 0 0", "End"}));
}
