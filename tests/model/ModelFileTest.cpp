// The model file reader and writer. Malformed files must never crash the reader, read out of bounds or hang
// (the sanitizer build runs these tests too); what it keeps must always be usable.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "model/EntityList.h"
#include "model/Opening.h"
#include "model/Receiver.h"
#include "model/Source.h"
#include "model/Wall.h"
#include "support/UiFixture.h"
#include "ui/RunMonitor.h"

class ModelFileTest : public UiFixture {
protected:
    // Reads model-file text as the model loading does: the counter starts at 2, then the header and the body.
    std::unique_ptr<EntityList> read(const std::string& text) {
        std::istringstream in(text);
        EntityList::lineNumber = 2;
        std::string header;
        readWord(in, header, 79);
        auto list = std::make_unique<EntityList>();
        list->read(in);
        expectUsable(*list);
        return list;
    }
    // Valid entities only; faces of 3 to 64 vertices with as many probes.
    static void expectUsable(const EntityList& list) {
        std::uint32_t count = 0;
        for (const Entity* e = list.first; e; e = e->next, ++count) {
            ASSERT_TRUE(e->isValid()) << e->typeName();
            if (const auto* face = dynamic_cast<const Face*>(e))
                ASSERT_TRUE(face->vertexCount >= 3 && face->vertexCount <= 64 && face->vertices.size() == face->vertexCount &&
                            face->edgeProbes.size() == face->vertexCount);
            if (const auto* inner = dynamic_cast<const EntityList*>(e)) expectUsable(*inner);
        }
        ASSERT_EQ(count, list.count);
    }
    static std::string written(const EntityList& list) {
        std::ostringstream out;
        out << "EntityList";
        list.write(out);
        return out.str();
    }
    template <class T>
    static const T& child(const EntityList& list, int index) {
        const Entity* e = list.first;
        while (index-- > 0) e = e->next;
        return dynamic_cast<const T&>(*e);
    }
};

TEST_F(ModelFileTest, WhatTheReaderKeepsAndReports) {
    // The first record after the header is line 3; a wall counts its keyword and its End.
    const std::string noFurther = ": the model file is read no further", r = " Receiver 1 1 1 2 2 2\n";
    const std::string megabyte(1 << 20, 'a'), k500(500, 'K'), name259(259, 'n');
    std::string nested = "EntityList\n", abyss;
    for (int i = 0; i < 500; ++i) nested += "EntityList\n";
    for (int i = 0; i < 200000; ++i) abyss += "EntityList ";
    const struct { std::string text; std::uint32_t count; std::vector<std::string> messages; } cases[] = {
        {"entitylist\n FACE 1 3 4 0 0 0 10 0 0 10 10 0 0 10 0\n receiver 2 3 1.2 3 3 1.2\n eNd\n" + r, 2, {}},
        {"EntityList\n Text anything 'at all' 1 2 3\n Ray 0 0 0 1 1 1 Face junk\n" + r + "End\n", 1, {}},
        {"EntityList\n" + r + " Wall\n  Face 0 1 3 0 0 0 1 0 0 0 1 0\n End\n Speaker 1 2 3\n" + r + "End\n", 3,
         {"Warning: Unknown entity in line 7: 'Speaker'"}},
        {"EntityList\n " + k500 + " 1 2 3\n" + r + "End\n", 1, {"Warning: Unknown entity in line 3: '" + k500.substr(0, 79) + "'"}},
        {"EntityList\n " + megabyte + "\n" + r + "End\n", 1, {"Warning: Unknown entity in line 3: '" + megabyte.substr(0, 79) + "'"}},
        // The rest of a skipped line may have 2047 characters, a Windows line end's carriage return not counted.
        {"EntityList\n Text " + std::string(2046, 't') + "\n" + r + "End\n", 1, {}},
        {"EntityList\n Text " + std::string(2046, 't') + "\r\n" + r + "End\n", 1, {}},
        {"EntityList\n Text " + std::string(2047, 't') + "\n" + r + "End\n", 0, {"Warning: Line 3 is longer than 2047 characters" + noFurther}},
        {"EntityList\n Text " + std::string(2047, 't') + "\r\n" + r + "End\n", 0, {"Warning: Line 3 is longer than 2047 characters" + noFurther}},
        {"EntityList\n Text " + megabyte + "\n" + r + "End\n", 0, {"Warning: Line 3 is longer than 2047 characters" + noFurther}},
        {"EntityList\n Wall\n  Door 8 2 4 0 1 0 0 2 0 0 2 2 0 1 2\n End\nEnd\n", 1, {"Warning: Wall with no face in line 5"}},
        {"EntityList\n Source 1 1 1 2 2 2 0 " + name259 + "\r\n" + r + "End\n", 2, {}},
        // A longer loudspeaker name keeps the source (valid) and ends the file.
        {"EntityList\n" + r + " Source 1 1 1 2 2 2 0 " + name259 + "n\n" + r + "End\n", 2,
         {"Warning: Loudspeaker file name longer than 259 characters in line 4" + noFurther}},
        {"EntityList\n Source 0 0 0 1 0 0 0 " + megabyte + "\n" + r + "End\n", 1,
         {"Warning: Loudspeaker file name longer than 259 characters in line 3" + noFurther}},
        // A file cut short keeps what was read; letters where a number is due end every list quietly.
        {"EntityList\n" + r + " EntityList\n " + r, 2, {}},
        {"EntityList\n" + r + " Receiver 1 x 1 2 2 2\n" + r + "End\n", 2, {}},
        {"EntityList\n Face 1 70000 3 0 0 0 1 0 0 0 1 0\n" + r + "End\n", 0, {}},
        {"EntityList\n Face 4294967296 1 3 0 0 0 1 0 0 0 1 0\n", 0, {}},
        {"EntityList\n Face 1 1 65535 0 0 0 1 0 0\n", 0, {"Warning: Ignoring Face with 65535 edges (max.64) in line 3"}},
        {"EntityList\n Source 1 2", 1, {}},
        {"EntityList\n Receiver", 1, {}},
        {"EntityList", 0, {}},
        {"", 0, {}},
        {nested + r, 1, {}},
        // Far deeper than any model: refused instead of exhausting the stack; every list is then empty.
        {abyss, 0, {"Warning: Lists nested deeper than 1000 levels in line 1002" + noFurther}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ui.boxes.clear();
        EXPECT_EQ(read(c.text)->count, c.count);
        EXPECT_EQ(boxTexts(), c.messages);
    }
}

TEST_F(ModelFileTest, GarbageNeverBreaksTheReader) {
    // Binary noise, and valid words in random order that reach every branch with odd neighbours.
    const char* words[] = {"Face", "Wall", "Hole", "Door", "End", "EntityList", "Source", "Receiver", "Ray", "Text",
                           "0", "1", "3", "4", "64", "65", "-1", "1e308", "nan", "\"", "\n", "\r\n", "x", "65535", "2.5", "-0"};
    std::mt19937 random(12345);
    for (int round = 0; round < 400; ++round) {
        std::string text = "EntityList\n";
        if (round % 2 == 0)
            for (int i = 1 + static_cast<int>(random() % 4000); i > 0; --i) text += static_cast<char>(random() % 256);
        else
            for (int i = 0; i < 300; ++i) text += std::string(words[random() % std::size(words)]) + " ";
        read(text);
    }
}

TEST_F(ModelFileTest, RecordFields) {
    auto list = read("EntityList\n FACE 1 3 4 0 0 0 10 0 0 10 10 0 0 10 0\n Receiver 2 3 1.2 2 3.0000005 1.2\n"
                     " Source 1 1 1.5 5 1 1.5 0 omni.spk\r\n Source 2 2 2 3 3 3 90 \"my speaker.spk\"\n"
                     " Source 3 3 3 4 4 4 -45 la\"b\"el.spk \nEnd\n");
    ASSERT_EQ(list->count, 5u);
    EXPECT_EQ(child<Face>(*list, 0).material, 3);
    // A receiver aimed at itself looks along (1, 1, 0).
    const Receiver& r = child<Receiver>(*list, 1);
    EXPECT_TRUE(r.position.y == 3 && r.aimPoint.x == 3 && r.aimPoint.y == 4 && r.aimPoint.z == 1.2);
    // A loudspeaker name runs to the line end; quotes only protect blanks.
    EXPECT_EQ(child<Source>(*list, 2).speakerFile.str(), "omni.spk");
    EXPECT_EQ(child<Source>(*list, 3).speakerFile.str(), "my speaker.spk");
    EXPECT_EQ(child<Source>(*list, 3).roll, 90);
    EXPECT_EQ(child<Source>(*list, 4).speakerFile.str(), "label.spk ");
}

TEST_F(ModelFileTest, WallTakesItsFirstPlainFaceAndMovesItsOpeningsOntoIt) {
    auto list = read("EntityList\n Wall\n  Door 8 2 4 0.01 1 0 0.01 2 0 -0.02 2 2 0 1 2\n"
                     "  Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n  Hole 0 1 3 0 3 1 0 4 1 0.5 4 2\n End\nEnd\n");
    const Wall& wall = child<Wall>(*list, 0);
    ASSERT_EQ(wall.face, &child<Face>(wall, 1));
    EXPECT_TRUE(wall.face->owner == &wall && child<Door>(wall, 0).owner == &wall);
    // Along the normal only, onto the plane x = 0.
    for (const Coord& p : child<Door>(wall, 0).vertices) EXPECT_NEAR(p.x, 0, 1e-12);
    EXPECT_NEAR(child<Door>(wall, 0).vertices[1].y, 2, 1e-12);
    const Coord& moved = child<Hole>(wall, 2).vertices[2];
    EXPECT_TRUE(std::abs(moved.x) < 1e-12 && std::abs(moved.z - 2) < 1e-12);
}

TEST_F(ModelFileTest, AlwaysObstructingAppliesToPlainFacesWithoutFlagsOnly) {
    parameters.AlwaysObstructing = true;
    auto list = read("EntityList\n Face 0 1 3 0 0 0 1 0 0 0 1 0\n Face 2 1 3 0 0 1 1 0 1 0 1 1\n"
                     " Wall\n  Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n  Hole 0 1 3 0 3 1 0 4 1 0 4 2\n End\nEnd\n");
    const Wall& wall = child<Wall>(*list, 2);
    EXPECT_EQ(child<Face>(*list, 0).flags, 1u);
    EXPECT_EQ(child<Face>(*list, 1).flags, 2u);
    EXPECT_TRUE(wall.face->flags == 1 && child<Hole>(wall, 1).flags == 0);
}

TEST_F(ModelFileTest, StatusEveryTenThousandRecords) {
    RunMonitor monitor;
    monitor.createStatusBox();
    std::string text = "EntityList\n";
    for (int i = 0; i < 10005; ++i) text += " Receiver 1 1 1 2 2 2\n";
    EXPECT_EQ(read(text + "End\n")->count, 10005u);
    EXPECT_EQ(ui.text(109), "Reading line 10000...");  // records are lines 3 to 10007
}

TEST_F(ModelFileTest, WrittenModelsReadBackTheSame) {
    const std::string text = readFile(TOLVENO_TEST_DATA "/model/golden/written.ray");
    auto list = read("EntityList\n Face 1 3 4 0 0 0 10 0 0 10 10 0 0 10 0\n Receiver 2 3 1.2 3 3 1.2\n"
                     " Source 1 1 1.5 5 1 1.5 0 \"big speaker.spk\"\n EntityList\n  Wall\n   Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n"
                     "   Door 8 2 4 0 1 0 0 2 0 0 2 2 0 1 2\n  End\n End\nEnd\n");
    EXPECT_EQ(written(*list), text);
    EXPECT_EQ(EntityList::writeDepth, 0);
    EXPECT_EQ(written(*read(text)), text);
    // Coordinates are written with six significant digits.
    auto precise = read("EntityList\n Face 5 7 3 0.1234567 0 0 10 0 0 10 10 0\n Receiver 2.7182818 3 1.2 3 3 1.2\nEnd\n");
    auto again = read(written(*precise));
    EXPECT_EQ(child<Face>(*again, 0).vertices[0].x, 0.123457);
    EXPECT_EQ(child<Receiver>(*again, 1).position.x, 2.71828);
}

TEST_F(ModelFileTest, ListOperationsAndTheBoxOfAList) {
    EntityList list;
    auto *a = new Receiver, *b = new Receiver, *c = new Receiver;
    list.prepend(b);  // into an empty list
    list.append(c);
    list.prepend(a);
    EXPECT_TRUE(list.first == a && a->next == b && list.last == c && list.count == 3);
    EXPECT_TRUE(list.remove(c, false));
    EXPECT_TRUE(list.last == b && b->next == nullptr && list.count == 2);
    EXPECT_FALSE(list.remove(c, true));
    delete c;
    EXPECT_EQ(list.takeFirst(), a);
    EXPECT_TRUE(list.first == b && list.count == 1);
    delete a;
    b->position = Coord(1, -2, 3);
    const auto [low, high] = list.box();
    EXPECT_TRUE(low.x == 1 && low.y == -2 && low.z == 3 && high.x == 1 && high.y == -2 && high.z == 3);
    list.remove(b, true);
    const auto [lowest, highest] = list.box();  // an empty list gives the widest box
    EXPECT_TRUE(lowest.x == -1e12 && lowest.y == -1e12 && highest.z == 1e12);
}
