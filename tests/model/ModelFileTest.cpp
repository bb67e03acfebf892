#include <gtest/gtest.h>

#include <sstream>

#include "model/EntityList.h"
#include "model/Face.h"
#include "model/Opening.h"
#include "model/Receiver.h"
#include "model/Source.h"
#include "model/Wall.h"
#include "support/UiFixture.h"
#include "ui/RunMonitor.h"

/// Reads model-file text the way the model loading does: the counter starts
/// at 2, the header word is read, then the list body.
class ModelFileTest : public UiFixture {
protected:
    std::unique_ptr<EntityList> read(const std::string& text) {
        std::istringstream in(text);
        EntityList::lineNumber = 2;
        std::string header;
        readWord(in, header, 79);
        auto list = std::make_unique<EntityList>();
        list->read(in);
        return list;
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
        for (int i = 0; i < index; ++i) e = e->next;
        return dynamic_cast<const T&>(*e);
    }
};

TEST_F(ModelFileTest, KeywordsInAnyCase) {
    auto list = read("entitylist\n FACE 1 3 4 0 0 0 10 0 0 10 10 0 0 10 0\n receiver 2 3 1.2 3 3 1.2\n eNd\n"
                     "Receiver 9 9 9 1 1 1\n");
    ASSERT_EQ(list->count, 2u);  // nothing after the closing word is read
    EXPECT_EQ(child<Face>(*list, 0).material, 3);
    EXPECT_EQ(child<Receiver>(*list, 1).position.y, 3);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ModelFileTest, TextAndRayLinesAreSkippedSilently) {
    auto list = read("EntityList\n Text anything 'at all' 1 2 3\n Ray 0 0 0 1 1 1 Face junk\n"
                     " Receiver 1 2 3 4 5 6\nEnd\n");
    ASSERT_EQ(list->count, 1u);
    EXPECT_EQ(list->first->typeCode(), EntityType::receiver);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ModelFileTest, UnknownWordsAreReportedWithTheirLine) {
    // The first record after the header is line 3; a wall counts its keyword and its End.
    auto list = read("EntityList\n Receiver 1 1 1 2 2 2\n Wall\n  Face 0 1 3 0 0 0 1 0 0 0 1 0\n End\n"
                     " Speaker 1 2 3\n Receiver 3 3 3 4 4 4\nEnd\n");
    EXPECT_EQ(list->count, 3u);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Unknown entity in line 7: 'Speaker'"});
}

TEST_F(ModelFileTest, LongKeywordsAreCutInTheMessageOnly) {
    const std::string word(500, 'K');
    auto list = read("EntityList\n " + word + " 1 2 3\n Receiver 1 1 1 2 2 2\nEnd\n");
    EXPECT_EQ(list->count, 1u);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Unknown entity in line 3: '" + word.substr(0, 79) + "'"});
}

TEST_F(ModelFileTest, SkippedLinesUpTo2047CharactersWhateverTheLineEnd) {
    // The rest of an unknown entity's line is skipped: 2047 characters fit, 2048 end the reading. A
    // Windows line end's carriage return belongs to the line end, not to the line.
    for (const char* end : {"\n", "\r\n"})
        for (std::size_t length : {2047u, 2048u}) {
            ui.boxes.clear();
            auto list = read("EntityList\n Text " + std::string(length - 1, 't') + end + " Receiver 1 1 1 2 2 2\nEnd\n");
            const bool fits = length == 2047;
            EXPECT_EQ(list->count, fits ? 1u : 0u) << length << (end[0] == '\r' ? " CR LF" : " LF");
            EXPECT_EQ(boxTexts(), fits ? std::vector<std::string>{}
                                       : std::vector<std::string>{"Warning: Line 3 is longer than 2047 characters: "
                                                                  "the model file is read no further"});
        }
}

TEST_F(ModelFileTest, WallTakesItsFirstPlainFaceAndMovesItsOpenings) {
    auto list = read("EntityList\n Wall\n  Door 8 2 4 0.01 1 0 0.01 2 0 -0.02 2 2 0 1 2\n"
                     "  Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n  Hole 0 1 3 0 3 1 0 4 1 0.5 4 2\n End\nEnd\n");
    ASSERT_EQ(list->count, 1u);
    const Wall& wall = child<Wall>(*list, 0);
    ASSERT_NE(wall.face, nullptr);
    EXPECT_EQ(wall.face->typeCode(), EntityType::face);
    EXPECT_EQ(wall.face->owner, &wall);
    const Door& door = child<Door>(wall, 0);
    EXPECT_EQ(door.owner, &wall);
    for (const Coord& p : door.vertices) EXPECT_NEAR(p.x, 0, 1e-12) << "moved onto the plane x = 0";
    EXPECT_NEAR(door.vertices[1].y, 2, 1e-12) << "along the normal only";
    const Hole& hole = child<Hole>(wall, 2);
    EXPECT_NEAR(hole.vertices[2].x, 0, 1e-12);
    EXPECT_NEAR(hole.vertices[2].z, 2, 1e-12);
}

TEST_F(ModelFileTest, WallWithoutAFace) {
    auto list = read("EntityList\n Wall\n  Door 8 2 4 0 1 0 0 2 0 0 2 2 0 1 2\n End\nEnd\n");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Wall with no face in line 5"});
    ASSERT_EQ(list->count, 1u);  // kept: it has a child; the assembly drops it
    EXPECT_EQ(child<Wall>(*list, 0).face, nullptr);
}

TEST_F(ModelFileTest, ReceiverAimedAtItself) {
    auto list = read("EntityList\n Receiver 2 3 1.2 2 3.0000005 1.2\nEnd\n");
    const Receiver& r = child<Receiver>(*list, 0);
    EXPECT_EQ(r.aimPoint.x, 3);
    EXPECT_EQ(r.aimPoint.y, 4);
    EXPECT_EQ(r.aimPoint.z, 1.2);
}

TEST_F(ModelFileTest, SourceNamesRunToTheLineEnd) {
    auto list = read("EntityList\n Source 1 1 1.5 5 1 1.5 0 omni.spk\r\n"
                     " Source 2 2 2 3 3 3 90 \"my speaker.spk\"\n"
                     " Source 3 3 3 4 4 4 -45 la\"b\"el.spk \n"
                     "End\n");
    ASSERT_EQ(list->count, 3u);
    EXPECT_EQ(child<Source>(*list, 0).speakerFile.str(), "omni.spk");
    EXPECT_EQ(child<Source>(*list, 1).speakerFile.str(), "my speaker.spk");
    EXPECT_EQ(child<Source>(*list, 1).roll, 90);
    EXPECT_EQ(child<Source>(*list, 2).speakerFile.str(), "label.spk ");
}

TEST_F(ModelFileTest, SourceNameLimit) {
    const std::string fits(259, 'n');
    auto list = read("EntityList\n Source 1 1 1 2 2 2 0 " + fits + "\r\n Receiver 1 1 1 2 2 2\nEnd\n");
    ASSERT_EQ(list->count, 2u);
    EXPECT_EQ(child<Source>(*list, 0).speakerFile.str(), fits);

    auto tooLong = read("EntityList\n Receiver 1 1 1 2 2 2\n Source 1 1 1 2 2 2 0 " + fits + "n\n Receiver 1 1 1 2 2 2\nEnd\n");
    EXPECT_EQ(tooLong->count, 2u);  // the receiver before, and the source itself (valid); nothing after
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Loudspeaker file name longer than 259 characters in line 4: "
                                                   "the model file is read no further"});
}

TEST_F(ModelFileTest, AlwaysObstructingAppliesToPlainFacesOnly) {
    parameters.AlwaysObstructing = true;
    auto list = read("EntityList\n Face 0 1 3 0 0 0 1 0 0 0 1 0\n Face 2 1 3 0 0 1 1 0 1 0 1 1\n"
                     " Wall\n  Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n  Hole 0 1 3 0 3 1 0 4 1 0 4 2\n End\nEnd\n");
    EXPECT_EQ(child<Face>(*list, 0).flags, 1u);
    EXPECT_EQ(child<Face>(*list, 1).flags, 2u);
    const Wall& wall = child<Wall>(*list, 2);
    EXPECT_EQ(wall.face->flags, 1u);
    EXPECT_EQ(child<Hole>(wall, 1).flags, 0u);
    EXPECT_NE(written(*list).find(" Face 1 1 3 "), std::string::npos);
}

TEST_F(ModelFileTest, AFileCutShortKeepsWhatWasRead) {
    auto noEnd = read("EntityList\n Receiver 1 1 1 2 2 2\n EntityList\n  Receiver 3 3 3 4 4 4\n");
    ASSERT_EQ(noEnd->count, 2u);
    EXPECT_EQ(child<EntityList>(*noEnd, 1).count, 1u);
    EXPECT_TRUE(ui.boxes.empty());

    // Letters where a number is due end every list quietly.
    auto garbled = read("EntityList\n Receiver 1 1 1 2 2 2\n Receiver 1 x 1 2 2 2\n Receiver 5 5 5 6 6 6\nEnd\n");
    EXPECT_EQ(garbled->count, 2u);
    EXPECT_TRUE(ui.boxes.empty());

    auto outOfRange = read("EntityList\n Face 1 70000 3 0 0 0 1 0 0 0 1 0\n Receiver 5 5 5 6 6 6\nEnd\n");
    EXPECT_EQ(outOfRange->count, 0u);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ModelFileTest, StatusEveryTenThousandRecords) {
    RunMonitor monitor;
    monitor.createStatusBox();
    std::string text = "EntityList\n";
    for (int i = 0; i < 10005; ++i) text += " Receiver 1 1 1 2 2 2\n";
    auto list = read(text + "End\n");
    EXPECT_EQ(list->count, 10005u);
    // Records are lines 3 to 10007: line 10000 is the only multiple of ten thousand.
    EXPECT_EQ(ui.text(109), "Reading line 10000...");
}

TEST_F(ModelFileTest, WriterGrammar) {
    auto list = read("EntityList\n Face 1 3 4 0 0 0 10 0 0 10 10 0 0 10 0\n Receiver 2 3 1.2 3 3 1.2\n"
                     " Source 1 1 1.5 5 1 1.5 0 \"big speaker.spk\"\n Wall\n  Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n"
                     "  Door 8 2 4 0 1 0 0 2 0 0 2 2 0 1 2\n End\nEnd\n");
    EXPECT_EQ(written(*list),
              "EntityList\n"
              " Face 1 3 4  0 0 0  10 0 0  10 10 0  0 10 0\n"
              " Receiver 2 3 1.2 3 3 1.2\n"
              "\n"
              " Source 1 1 1.5 5 1 1.5 0 big speaker.spk\n"
              " Wall \n"
              "  Face 0 1 4  0 0 0  0 5 0  0 5 3  0 0 3\n"
              "  Door 8 2 4  0 1 0  0 2 0  0 2 2  0 1 2\n"
              " End\n"
              "End\n");
    EXPECT_EQ(EntityList::writeDepth, 0);
}

TEST_F(ModelFileTest, ReadWriteReadGivesTheSameTree) {
    auto first = read("EntityList\n Face 5 7 5 0.1234567 0 0 10 0 0 10 10 0 5 12 0 0 10 0\n"
                      " Receiver 2.7182818 3 1.2 3 3 1.2\n Source 1 1 1.5 5 1 1.5 12.5 omni.spk\n"
                      " EntityList\n  Wall\n   Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n   Hole 4 1 3 0 1 1 0 2 1 0 2 2\n  End\n End\nEnd\n");
    const std::string once = written(*first);
    auto second = read(once);
    EXPECT_EQ(written(*second), once);
    const Face& a = child<Face>(*first, 0);
    const Face& b = child<Face>(*second, 0);
    EXPECT_EQ(b.flags, 5u);
    EXPECT_EQ(b.material, 7);
    ASSERT_EQ(b.vertexCount, 5);
    EXPECT_NEAR(b.vertices[0].x, a.vertices[0].x, 1e-6);  // six significant digits
    EXPECT_NE(b.vertices[0].x, a.vertices[0].x);
    EXPECT_EQ(child<Receiver>(*second, 1).position.x, 2.71828);
    EXPECT_EQ(child<Source>(*second, 2).roll, 12.5);
    const Wall& wall = child<Wall>(child<EntityList>(*second, 3), 0);
    EXPECT_TRUE(wall.isSameAs(child<Wall>(child<EntityList>(*first, 3), 0)));
    EXPECT_EQ(child<Hole>(wall, 1).flags, 4u);
}

TEST(EntityListTest, RemoveAndPrepend) {
    EntityList list;
    auto* a = new Receiver;
    auto* b = new Receiver;
    auto* c = new Receiver;
    list.prepend(b);  // an empty list appends
    list.append(c);
    list.prepend(a);
    EXPECT_EQ(list.first, a);
    EXPECT_EQ(list.last, c);
    EXPECT_EQ(list.count, 3u);
    EXPECT_TRUE(list.remove(c, false));
    EXPECT_EQ(list.last, b);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_FALSE(list.remove(c, true));
    delete c;
    EXPECT_EQ(list.takeFirst(), a);
    EXPECT_EQ(list.first, b);
    EXPECT_EQ(list.count, 1u);
    delete a;
}

TEST(EntityBoxTest, EmptyListGivesTheWidestBox) {
    EntityList list;
    const auto [low, high] = list.box();
    EXPECT_EQ(low.x, -1e12);
    EXPECT_EQ(high.z, 1e12);
    auto* r = new Receiver;
    r->position = Coord(1, -2, 3);
    list.append(r);
    const auto [low2, high2] = list.box();
    EXPECT_EQ(low2.y, -2);
    EXPECT_EQ(high2.y, -2);
}
