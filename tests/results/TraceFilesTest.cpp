#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <sys/wait.h>

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

// The impulse-response rows of every microphone section of a results file.
std::vector<std::vector<double>> responseRows(const std::string& text) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    std::string line;
    bool inResponse = false;
    while (std::getline(in, line)) {
        if (line == " Impulse response =") {
            inResponse = true;
            continue;
        }
        if (line.empty()) inResponse = false;
        if (!inResponse) continue;
        std::istringstream values(line);
        rows.emplace_back(std::istream_iterator<double>(values), std::istream_iterator<double>());
    }
    return rows;
}
}  // namespace

TEST_F(TraceFilesTest, HitRecordOfADirectWave) {
    BandEnergies energy{};
    for (int k = 0; k < bandCount; ++k) energy[k] = static_cast<float>(k + 1) * 0.5f;
    const Pyramid direct = pyramidOfOrder(0);
    EXPECT_EQ(HitsFile::record(direct, 3, 1, energy, 0.0125),
              "   3,  1,0.0125,0.5,1,1.5,2,2.5,3,3.5,4,4.5,5,0");
}

TEST_F(TraceFilesTest, HitRecordAfterTwoReflections) {
    Pyramid p = pyramidOfOrder(2);
    p.record(17, Coord(1, 2.5, 3));
    p.record(4, Coord(-1, 0, 0.125));
    const std::string line = HitsFile::record(p, 1234, 12, BandEnergies{}, 0.5);
    EXPECT_EQ(line, "1234, 12,0.5,0,0,0,0,0,0,0,0,0,0,2,17,1,2.5,3,4,-1,0,0.125");
}

TEST_F(TraceFilesTest, HitsAreSavedUpToTheHitLevelOnly) {
    writeFile("room.ray", "EntityList\nEnd\n");
    parameters.modelFile.assign("room.ray");
    parameters.HitLevel = 1;
    HitsFile::open(0);
    EXPECT_TRUE(HitsFile::save(pyramidOfOrder(1), 1, BandEnergies{}, 0.1));
    EXPECT_FALSE(HitsFile::save(pyramidOfOrder(2), 1, BandEnergies{}, 0.2));
    HitsFile::close();
    EXPECT_FALSE(HitsFile::save(pyramidOfOrder(0), 1, BandEnergies{}, 0.3)) << "no file open";
    EXPECT_EQ(readFile("room.@__"), "   1,  1,0.1,0,0,0,0,0,0,0,0,0,0,0\n");
    // A later source appends when the results accumulate.
    HitsFile::open(1);
    HitsFile::save(pyramidOfOrder(0), 2, BandEnergies{}, 0.4);
    HitsFile::close();
    EXPECT_EQ(readFile("room.@__"), "   1,  1,0.1,0,0,0,0,0,0,0,0,0,0,0\n   2,  2,0.4,0,0,0,0,0,0,0,0,0,0,0\n");
}

TEST_F(TraceFilesTest, EscapedRaysOfAnOpenField) {
    // Nothing to hit: every pyramid escapes on its first leg, and the file lists each.
    writeFile("open.ray", "EntityList\n Source 0 0 0 1 0 0 0 none.spk\n Receiver 5 1 1 0 0 0\nEnd\n");
    ASSERT_TRUE(parameters.parse("open /L0 /E1 /O1 /T0.1 /P0.001"));
    RayManager manager;
    manager.run();
    const std::string text = readFile("escaped.ray");
    EXPECT_EQ(text.rfind("Entitylist\n Ray 0.0001 0.0002 0.0003 ", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "End\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 8);
    // The escaped-rays file is a model file: its "Ray" lines read as nothing.
    std::istringstream in(text);
    Model model;
    model.load(in);
    EXPECT_EQ(model.count(), 0u);
}

TEST_F(TraceFilesTest, AnEdgeHitIsListedWithoutADirection) {
    // Two walls meeting in the corner line x = 5, y = 5.0001, which the central rays from the apex
    // 0.0001 0.0002 0.0003 along (1, 1, 1) and (1, 1, -1) meet: each hits both walls at once.
    writeFile("corner.ray", "EntityList\n Face 1 1 4 5 -10 -10 5 5.0001 -10 5 5.0001 10 5 -10 10\n"
                            " Face 1 1 4 -10 5.0001 -10 -10 5.0001 10 5 5.0001 10 5 5.0001 -10\n"
                            " Source 0 0 0 1 0 0 0 none.spk\n Receiver 1 -1 1 0 0 0\nEnd\n");
    ASSERT_TRUE(parameters.parse("corner /L0 /E1 /O1 /H0 /T0.1 /P0.001"));
    RayManager manager;
    manager.run();
    const std::string text = readFile("escaped.ray");
    std::size_t edgeLines = 0;
    for (std::size_t at = text.find("\n Ray 0.0001 0.0002 0.0003 0 0 0\n"); at != std::string::npos;
         at = text.find("\n Ray 0.0001 0.0002 0.0003 0 0 0\n", at + 1))
        ++edgeLines;
    EXPECT_EQ(edgeLines, 2u) << text;
    EXPECT_EQ(manager.statistics.edgeHitCount, 2u);
}

TEST_F(TraceFilesTest, NoEscapedRaysFileWithoutPyramids) {
    writeFile("open.ray", "EntityList\n Source 0 0 0 1 0 0 0 none.spk\n Receiver 5 1 1 0 0 0\nEnd\n");
    ASSERT_TRUE(parameters.parse("open /L-1 /E1 /O1 /T0.1 /P0.001"));
    RayManager manager;
    manager.run();
    EXPECT_FALSE(std::filesystem::exists("escaped.ray"));
}

// Adding the per-source files of a SaveAll run with a job gives what one run
// without SaveAll accumulates, to the six digits the files hold.
TEST_F(TraceFilesTest, AJobOverSeparateSourcesEqualsTheAccumulatedRun) {
    writeFile("hall.ray", "EntityList\n Face 1 1 4 0 0 0 10 0 0 10 8 0 0 8 0\n Face 1 1 4 0 0 3 0 8 3 10 8 3 10 0 3\n"
                          " Source 2 2 1.5 3 2 1.5 0 a.spk\n Source 7 5 1.2 6 5 1.2 0 b.spk\n"
                          " Receiver 5 3 1.1 0 0 1\n Receiver 8 6 1.4 0 0 1\nEnd\n");
    writeFile("hall.material", "1 Plaster, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n");
    writeFile("hall.ini", "[Parameters]\nLevel=4\nTime=0.1\nPrecision=0.001\nHistory=3\nOpenMP=1\nDiffraction=0\n");
    const auto run = [](const std::string& arguments) {
        const std::string command = std::string("\"") + TOLVENO_BINARY + "\" " + arguments + " </dev/null 2>/dev/null";
        return std::system(command.c_str());
    };
    ASSERT_EQ(run("hall /A1"), 0);
    ASSERT_EQ(run("hall /A0"), 0);
    writeFile("sum.job", "\nhall\nhall.__a\nhall.__b\n");
    ASSERT_EQ(run("sum.job"), 0);
    const auto accumulated = responseRows(readFile("hall.___"));
    const auto added = responseRows(readFile("hall._8p"));
    ASSERT_EQ(accumulated.size(), 2u * 101u);
    ASSERT_EQ(added.size(), accumulated.size());
    int nonZero = 0;
    for (std::size_t r = 0; r < added.size(); ++r) {
        ASSERT_EQ(added[r].size(), 10u);
        for (std::size_t k = 0; k < 10; ++k) {
            // Each file rounds to six digits: the sum of two rounded values is within 2 units of the sixth digit.
            EXPECT_NEAR(added[r][k], accumulated[r][k], 2e-5 * std::fabs(accumulated[r][k])) << r << ' ' << k;
            nonZero += accumulated[r][k] != 0;
        }
    }
    EXPECT_GT(nonZero, 20);

    // Files whose lines end with CR LF (edited on Windows) add up the same.
    for (const char* name : {"hall.__a", "hall.__b"}) {
        std::string text = readFile(name), crlf;
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        writeFile(std::string("w") + name, crlf);
    }
    writeFile("windows.job", "\r\nhall\r\nwhall.__a\r\nwhall.__b\r\n");
    const std::string before = readFile("hall._8p");
    std::filesystem::remove("hall._8p");
    ASSERT_EQ(run("windows.job"), 0);
    EXPECT_EQ(responseRows(readFile("hall._8p")), responseRows(before));
}
