// The model file reader and writer. Malformed files must never crash the reader, read out of bounds or hang
// (the sanitizer build runs these tests too); what it keeps must always be usable.
#include <gtest/gtest.h>
#include <cctype>
#include <iterator>
#include <sstream>
#include "model/Opening.h"
#include "model/Receiver.h"
#include "model/Source.h"
#include "model/Wall.h"
#include "support/ChunkBuffer.h"
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
    // Valid entities only; faces of 3 to 64 vertices with a finite area.
    static void expectUsable(const EntityList& list) {
        std::uint32_t count = 0;
        for (const Entity* e = list.first; e; e = e->next, ++count) {
            const auto* face = dynamic_cast<const Face*>(e);
            EXPECT_TRUE(e->isValid() && (!face || (face->vertexCount >= 3 && face->vertexCount <= 64 &&
                        face->vertices.size() == face->vertexCount && std::isfinite(face->area))));
            if (const auto* inner = dynamic_cast<const EntityList*>(e)) expectUsable(*inner);
        }
        EXPECT_EQ(count, list.count);
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
    const std::string noFurther = ": the model file is read no further", r = " Receiver 1 1 1 2 2 2\n", e = "End\n";
    const std::string head = "EntityList\n", k500(500, 'K'), name259(259, 'n');
    std::string nested = head, abyss;
    for (int i = 0; i < 500; ++i) nested += head;
    for (int i = 0; i < 200000; ++i) abyss += "EntityList ";
    const struct { std::string text; std::uint32_t count; std::vector<std::string> messages; } cases[] = {
        {"entitylist\n FACE 1 3 4 0 0 0 10 0 0 10 10 0 0 10 0\n receiver 2 3 1.2 3 3 1.2\n eNd\n" + r, 2, {}},  // nothing read after End
        {head + " Text anything 'at all' 1 2 3\n Ray 0 0 0 1 1 1 Face junk\n" + r + e, 1, {}},
        {head + r + " Wall\n  Face 0 1 3 0 0 0 1 0 0 0 1 0\n End\n Speaker 1 2 3\n" + r + e, 3, {"Warning: Unknown entity in line 7: 'Speaker'", "Warning: The unknown entity 'Speaker' is in line 6 of the file"}},
        {head + " " + k500 + " 1 2 3\n" + r + e, 1, {"Warning: Unknown entity in line 3: '" + k500.substr(0, 79) + "'",
                                              "Warning: The unknown entity '" + k500.substr(0, 79) + "' is in line 2 of the file"}},
        // The rest of a skipped line may have 2047 characters, a Windows line end's carriage return not counted.
        {head + " Text " + std::string(2046, 't') + "\r\n" + r + e, 1, {}},
        {head + " Text " + std::string(2047, 't') + "\n" + r + e, 0, {"Warning: Line 3 is longer than 2047 characters" + noFurther}},
        {head + " Text " + std::string(1 << 20, 't') + "\n" + r + e, 0, {"Warning: Line 3 is longer than 2047 characters" + noFurther}},
        {head + " Wall\n  Door 8 2 4 0 1 0 0 2 0 0 2 2 0 1 2\n End\nEnd\n", 1, {"Warning: Wall with no face in line 5"}},
        // A loudspeaker name of 259 characters fits; a longer one keeps the source (valid) and ends the file.
        {head + " Source 1 1 1 2 2 2 0 " + name259 + "\r\n" + r + e, 2, {}},
        {head + r + " Source 1 1 1 2 2 2 0 " + name259 + "n\n" + r + e, 2,
         {"Warning: Loudspeaker file name longer than 259 characters in line 4" + noFurther}},
        // A file cut short keeps what was read; letters where a number is due end every list quietly.
        {head + r + " EntityList\n " + r, 2, {}},
        {head + r + " Receiver 1 x 1 2 2 2\n" + r + e, 2, {}},
        {head + " Face 1 70000 3 0 0 0 1 0 0 0 1 0\n" + r + e, 0, {}},
        {head + " Face 1 1 65535 0 0 0 1 0 0\n", 0, {"Warning: Ignoring Face with 65535 edges (max.64) in line 3"}},
        {head + " Face 1 1 4 0 0 0 1 0 0 2 0 0 1 1 0.3\n", 1, {}},  // collinear P0 P1 P2: no plane, still usable
        {head + " Source 1 2", 1, {}},
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

TEST_F(ModelFileTest, RecordFields) {
    parameters.AlwaysObstructing = true;  // for plain faces without flags only
    auto list = read("EntityList\n FACE 0 3 4 0 0 0 10 0 0 10 10 0 0 10 0\n Receiver 2 3 1.2 2 3.0000005 1.2\n"
                     " Source 1 1 1.5 5 1 1.5 0 omni.spk\r\n Source 2 2 2 3 3 3 90 \"my speaker.spk\"\n"
                     " Source 3 3 3 4 4 4 -45 la\"b\"el.spk \n Face 2 1 3 0 0 1 1 0 1 0 1 1\n"
                     " Wall\n  Door 8 2 4 0.01 1 0 0.01 2 0 -0.02 2 2 0 1 2\n  Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n"
                     "  Hole 0 1 3 0 3 1 0 4 1 0.5 4 2\n End\nEnd\n");
    ASSERT_EQ(list->count, 7u);
    EXPECT_TRUE(child<Face>(*list, 0).material == 3 && child<Face>(*list, 0).flags == 1 && child<Face>(*list, 5).flags == 2);
    const Receiver& r = child<Receiver>(*list, 1);  // aimed at itself: looks along (1, 1, 0)
    EXPECT_TRUE(r.position.y == 3 && r.aimPoint.x == 3 && r.aimPoint.y == 4 && r.aimPoint.z == 1.2);
    // A loudspeaker name runs to the line end; quotes only protect blanks.
    for (auto [i, name] : {std::pair{2, "omni.spk"}, {3, "my speaker.spk"}, {4, "label.spk "}}) EXPECT_EQ(child<Source>(*list, i).speakerFile.str(), name);
    EXPECT_EQ(child<Source>(*list, 3).roll, 90);
    // A wall takes its first plain face and moves its openings onto it, along the normal only.
    const Wall& wall = child<Wall>(*list, 6);
    ASSERT_EQ(wall.face, &child<Face>(wall, 1));
    EXPECT_TRUE(wall.face->owner == &wall && child<Door>(wall, 0).owner == &wall && wall.face->flags == 1);
    for (const Coord& p : child<Door>(wall, 0).vertices) EXPECT_NEAR(p.x, 0, 1e-12);
    EXPECT_NEAR(child<Door>(wall, 0).vertices[1].y, 2, 1e-12);
    const Hole& hole = child<Hole>(wall, 2);
    EXPECT_TRUE(std::abs(hole.vertices[2].x) < 1e-12 && std::abs(hole.vertices[2].z - 2) < 1e-12 && hole.flags == 0);
}

TEST_F(ModelFileTest, StatusEveryTenThousandRecords) {
    RunMonitor monitor;
    monitor.createStatusBox();
    std::string text = "EntityList\n";
    for (int i = 0; i < 9997; ++i) text += " Receiver 1 1 1 2 2 2\n";
    EXPECT_EQ(read(text + "End\n")->count, 9997u);
    EXPECT_EQ(ui.text(109), "Waiting...") << "records are lines 3 to 9999";
    for (int i = 0; i < 8; ++i) text += " Receiver 1 1 1 2 2 2\n";
    EXPECT_EQ(read(text + "End\n")->count, 10005u);
    EXPECT_EQ(ui.text(109), "Reading line 10000...");
}

TEST_F(ModelFileTest, WrittenModelsReadBackTheSame) {
    auto written = [](const EntityList& list) {
        std::ostringstream out;
        out << "EntityList";
        list.write(out);
        return out.str();
    };
    // Numbers are written with six significant digits.
    const std::string golden = readFile(TOLVENO_TEST_DATA "/model/golden/written.ray");
    EXPECT_EQ(written(*read("EntityList\n Face 1 3 4 0.1234567 0 0 10 0 0 10 10 0 0 10 0\n Receiver 2.7182818 3 1.2 3 3 1.2\n"
                            " Source 1 1 1.5 5 1 1.5 0 \"big speaker.spk\"\n EntityList\n  Wall\n   Face 0 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n"
                            "   Door 8 2 4 0 1 0 0 2 0 0 2 2 0 1 2\n  End\n End\nEnd\n")), golden);
    EXPECT_EQ(EntityList::writeDepth, 0);
    EXPECT_EQ(written(*read(golden)), golden);
}

namespace {
// Two words read from text given out chunk characters at a time (0: a string's one block), by readWord or by
// the stream's own means (white space skipped, then characters up to the next, the end of the input failing a
// word of none): what each holds, the answers, the stream's state and what is left.
std::string twoWords(const std::string& text, std::size_t chunk, std::size_t maxLength, bool byStream) {
    std::istringstream whole(text);
    ChunkBuffer pieces(text, chunk);
    std::istream in(chunk ? static_cast<std::streambuf*>(&pieces) : whole.rdbuf());
    std::string result;
    for (int k = 0; k < 2; ++k) {
        std::string word;
        bool read = false;
        if (byStream) {
            in >> std::ws;
            for (int c = in.peek(); c != std::char_traits<char>::eof() && !std::isspace(c); c = in.peek()) {
                if (word.size() < maxLength) word += static_cast<char>(c);
                in.get();
            }
            if (word.empty()) in.setstate(std::ios::failbit);
            read = !word.empty();
        } else {
            read = readWord(in, word, maxLength);
        }
        result += "[" + word + "]" + (read ? "1" : "0");
    }
    result += " state " + std::to_string(in.rdstate());
    in.clear();
    return result + " rest [" + std::string(std::istreambuf_iterator<char>(in), {}) + "]";
}
}  // namespace

TEST(ReadWordTest, TakesWhatTheStreamTakes) {
    // Words ended by each white space, by the end of the input, cut at the longest kept, none at all.
    const char* rows[] = {"Face 1 2",   "  Wall\n Hole", "End",       "End\n",      "\tDoor\r\nEnd",
                          "",           "   ",            "\n\n",    "Source\vx",   "Receiver\fEnd ",
                          "EntityList", "abcdefghij k",   "ab cdefghij", "\xe9t\xe9 x", "a"};
    for (const char* text : rows)
        for (const std::size_t chunk : {0, 1, 2, 3, 5})
            for (const std::size_t maxLength : {79, 4})
                EXPECT_EQ(twoWords(text, chunk, maxLength, false), twoWords(text, chunk, maxLength, true))
                    << '"' << text << "\" chunk " << chunk << " longest " << maxLength;
}
