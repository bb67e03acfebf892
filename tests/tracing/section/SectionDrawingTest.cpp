#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "support/UiFixture.h"
#include "tracing/section/PathNode.h"
#include "tracing/section/SectionDrawing.h"

class SectionDrawingTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        SectionDrawing::resetCount();
        writeFile("room.ray", "EntityList\nEnd\n");
        ASSERT_TRUE(parameters.parse("room"));
        obstacles.add(X2DSegment(X2DPoint(1, 0), X2DPoint(1, 2)));
        obstacles.add(X2DSegment(X2DPoint(0, -1), X2DPoint(4, -0.5)));
        nodes.add(std::make_unique<PathNode>(X2DPoint(0, 0), Coord(), PathNode::sourceFace));
        nodes.add(std::make_unique<PathNode>(X2DPoint(1, 2.5), Coord(), 7));
        nodes.add(std::make_unique<PathNode>(X2DPoint(4, 0.5), Coord(), PathNode::receiverFace));
        nodes.add(std::make_unique<X2DPoint>(2, 2));
        path.add(nodes.at(0).clone());
        path.add(nodes.at(1).clone());
        path.add(nodes.at(2).clone());
    }

    void TearDown() override {
        SectionDrawing::resetCount();
        UiFixture::TearDown();
    }

    X2DSegmentsArray obstacles;
    X2DArray nodes;
    X2DPolygon path;
};

TEST_F(SectionDrawingTest, EntitiesAndLayers) {
    std::ostringstream out;
    SectionDrawing(obstacles, nodes, path).write(out);
    EXPECT_EQ(out.str(),
              "0\nSECTION\n2\nENTITIES\n"
              // A segment with both ends at x = 1 is a wall; the other one is ground.
              "0\nLINE\n8\nMURI\n10\n1\n20\n0\n11\n1\n21\n2\n"
              "0\nLINE\n8\nGROUND\n10\n0\n20\n-1\n11\n4\n21\n-0.5\n"
              // Source, a node on face 7, receiver, and a plain point, which counts as a node.
              "0\nCIRCLE\n8\nSORGENTI\n10\n0\n20\n0\n40\n0.1\n"
              "0\nCIRCLE\n8\nPUNTI\n10\n1\n20\n2.5\n40\n0.1\n"
              "0\nCIRCLE\n8\nSENSORI\n10\n4\n20\n0.5\n40\n0.1\n"
              "0\nCIRCLE\n8\nPUNTI\n10\n2\n20\n2\n40\n0.1\n"
              // The two legs of the path.
              "0\nLINE\n8\nRAGGI\n10\n0\n20\n0\n11\n1\n21\n2.5\n"
              "0\nLINE\n8\nRAGGI\n10\n1\n20\n2.5\n11\n4\n21\n0.5\n"
              "0\nENDSEC\n0\nEOF\n");
}

TEST_F(SectionDrawingTest, AWallWithinAMicrometre) {
    X2DSegmentsArray walls;
    walls.add(X2DSegment(X2DPoint(3, 0), X2DPoint(3.0000009, 1)));  // within 1e-6: a wall
    walls.add(X2DSegment(X2DPoint(3, 0), X2DPoint(3.00001, 1)));    // not
    std::ostringstream out;
    SectionDrawing(walls, X2DArray(), X2DPolygon()).write(out);
    const std::string text = out.str();
    const std::size_t muri = text.find("MURI"), ground = text.find("GROUND");
    ASSERT_NE(muri, std::string::npos);
    ASSERT_NE(ground, std::string::npos);
    EXPECT_LT(muri, ground);
    EXPECT_EQ(text.find("MURI", muri + 1), std::string::npos);
    EXPECT_EQ(text.find("GROUND", ground + 1), std::string::npos);
}

TEST_F(SectionDrawingTest, FileNamesFollowTheResultsFile) {
    EXPECT_EQ(SectionDrawing::fileName(1), "room$1.dxf");
    // With SaveAll the results file's extension names the source; it is removed all the same.
    parameters.SaveAll = true;
    EXPECT_EQ(SectionDrawing::fileName(7), "room$7.dxf");
}

TEST_F(SectionDrawingTest, AtMostNineFilesARun) {
    const SectionDrawing drawing(obstacles, nodes, path);
    std::ostringstream expected;
    drawing.write(expected);
    for (unsigned k = 1; k <= 9; ++k) {
        EXPECT_TRUE(SectionDrawing::available()) << k;
        EXPECT_TRUE(drawing.save()) << k;
        EXPECT_EQ(readFile(SectionDrawing::fileName(k)), expected.str()) << k;
    }
    EXPECT_FALSE(SectionDrawing::available());
    EXPECT_FALSE(drawing.save());
    EXPECT_FALSE(drawing.save());
    EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(10)));
    EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(11)));
    // A new run starts again from 1.
    SectionDrawing::resetCount();
    std::filesystem::remove(SectionDrawing::fileName(1));
    EXPECT_TRUE(drawing.save());
    EXPECT_TRUE(std::filesystem::exists(SectionDrawing::fileName(1)));
}

TEST_F(SectionDrawingTest, ThreadsNeverShareOrExceedTheNumbers) {
    const SectionDrawing drawing(obstacles, nodes, path);
    std::vector<char> saved(16, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < saved.size(); ++t) threads.emplace_back([&, t] { saved[t] = drawing.save(); });
    for (std::thread& thread : threads) thread.join();
    int count = 0;
    for (char s : saved) count += s;
    EXPECT_EQ(count, 9);
    std::ostringstream expected;
    drawing.write(expected);
    for (unsigned k = 1; k <= 9; ++k) EXPECT_EQ(readFile(SectionDrawing::fileName(k)), expected.str()) << k;
    EXPECT_FALSE(std::filesystem::exists(SectionDrawing::fileName(10)));
}

TEST_F(SectionDrawingTest, AFileThatCannotBeCreatedStillTakesItsNumber) {
    // A folder of the name of the first file keeps it from being created.
    std::filesystem::create_directory(SectionDrawing::fileName(1));
    const SectionDrawing drawing(obstacles, nodes, path);
    EXPECT_FALSE(drawing.save());
    EXPECT_TRUE(drawing.save());
    EXPECT_TRUE(std::filesystem::is_regular_file(SectionDrawing::fileName(2)));
}
