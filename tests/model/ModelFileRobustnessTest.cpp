#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "model/EntityList.h"
#include "model/Face.h"
#include "support/UiFixture.h"

// Malformed model files must never crash the reader, read out of bounds or
// hang; the sanitizer build runs these same tests under AddressSanitizer and
// UndefinedBehaviorSanitizer.
class ModelFileRobustnessTest : public UiFixture {
protected:
    std::uint32_t readCount(const std::string& text) {
        std::istringstream in(text);
        EntityList::lineNumber = 2;
        std::string header;
        readWord(in, header, 79);
        EntityList list;
        list.read(in);
        expectKeptEntitiesValid(list);
        return list.count;
    }

    // Whatever the input, what the reader keeps is usable: valid entities,
    // faces of 3 to 64 vertices with as many edge lines and probes.
    static void expectKeptEntitiesValid(const EntityList& list) {
        std::uint32_t count = 0;
        for (const Entity* e = list.first; e; e = e->next, ++count) {
            ASSERT_TRUE(e->isValid()) << e->typeName();
            if (const auto* face = dynamic_cast<const Face*>(e)) {
                ASSERT_GE(face->vertexCount, 3);
                ASSERT_LE(face->vertexCount, 64);
                ASSERT_EQ(face->vertices.size(), face->vertexCount);
                ASSERT_EQ(face->edgeProbes.size(), face->vertexCount);
            }
            if (const auto* inner = dynamic_cast<const EntityList*>(e)) expectKeptEntitiesValid(*inner);
        }
        ASSERT_EQ(count, list.count);
    }
};

TEST_F(ModelFileRobustnessTest, BinaryGarbage) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        std::string text = "EntityList\n";
        const int length = 1 + static_cast<int>(random() % 4000);
        for (int i = 0; i < length; ++i) text += static_cast<char>(random() % 256);
        readCount(text);
    }
}

TEST_F(ModelFileRobustnessTest, ShuffledKeywordsAndNumbers) {
    // Valid words in random order reach every branch of the reader with odd neighbours.
    const char* words[] = {"Face", "Wall", "Hole", "Door", "End", "EntityList", "Source", "Receiver", "Ray",
                           "Text", "0",    "1",    "3",    "4",   "64",         "65",     "-1",       "1e308",
                           "nan",  "\"",   "\n",   "\r\n", "x",   "65535",      "2.5",    "-0"};
    std::mt19937 random(777);
    for (int round = 0; round < 300; ++round) {
        std::string text = "EntityList ";
        for (int i = 0; i < 300; ++i) text += std::string(words[random() % std::size(words)]) + " ";
        readCount(text);
    }
}

TEST_F(ModelFileRobustnessTest, HugeCountsAndTruncatedRecords) {
    EXPECT_EQ(readCount("EntityList\n Face 1 1 65535 0 0 0 1 0 0\n"), 0u);
    EXPECT_EQ(readCount("EntityList\n Face 1 1 4 0 0 0 1 0"), 0u);
    EXPECT_EQ(readCount("EntityList\n Source 1 2"), 1u);  // kept with what was read
    EXPECT_EQ(readCount("EntityList\n Receiver"), 1u);
    EXPECT_EQ(readCount("EntityList\n Face 4294967296 1 3 0 0 0 1 0 0 0 1 0\n"), 0u);
    EXPECT_EQ(readCount("EntityList"), 0u);
    EXPECT_EQ(readCount(""), 0u);
}

TEST_F(ModelFileRobustnessTest, DeepNestingAndLongLines) {
    std::string nested = "EntityList\n";
    for (int i = 0; i < 500; ++i) nested += "EntityList\n";
    EXPECT_EQ(readCount(nested + "Receiver 1 1 1 2 2 2\n"), 1u);
    EXPECT_TRUE(ui.boxes.empty());
    // Far deeper than any model: refused with a message instead of exhausting the stack.
    std::string abyss;
    for (int i = 0; i < 200000; ++i) abyss += "EntityList ";
    EXPECT_EQ(readCount(abyss), 0u);  // the innermost lists are empty, and so all the others
    EXPECT_EQ(boxTexts(), std::vector<std::string>{
                              "Warning: Lists nested deeper than 1000 levels in line 1002: the model file is read no further"});
    ui.boxes.clear();

    const std::string megabyte(1 << 20, 'a');
    // A megabyte keyword is one unknown word; the line after it is read on.
    EXPECT_EQ(readCount("EntityList\n" + megabyte + "\n Receiver 1 1 1 2 2 2\nEnd\n"), 1u);
    // A megabyte loudspeaker name keeps the source but ends the file.
    EXPECT_EQ(readCount("EntityList\n Source 0 0 0 1 0 0 0 " + megabyte + "\n Receiver 1 1 1 2 2 2\nEnd\n"), 1u);
    EXPECT_EQ(readCount("EntityList\n Text " + megabyte + "\n Receiver 1 1 1 2 2 2\nEnd\n"), 0u);
    EXPECT_EQ(ui.boxes.size(), 3u);
}

TEST_F(ModelFileRobustnessTest, DegenerateFacesStayFinite) {
    // Collinear and coincident vertices: a zero normal must give no NaN anywhere.
    std::istringstream in("1 1 4 0 0 0 1 0 0 2 0 0 3 0 0");
    Face face;
    face.read(in);
    ASSERT_TRUE(face.isValid());
    EXPECT_EQ(face.plane.normal().squaredModulus(), 1.0);  // a versor reports 1 by contract
    EXPECT_EQ(face.plane.x, 0.0);
    EXPECT_EQ(face.plane.z, 0.0);
    EXPECT_TRUE(std::isfinite(face.area));
    for (const Coord& p : face.edgeProbes) EXPECT_TRUE(std::isfinite(p.x + p.y + p.z));
    Coord point;
    double t = 0;
    EXPECT_EQ(hitBy(Line(Coord(0.5, -1, 0), Coord(0.5, 1, 0)), face, point, t, 10), nullptr);
}
