#include <gtest/gtest.h>

#include <sstream>

#include "foundation/TArray.h"
#include "foundation/TFilename.h"

TEST(TStringTest, TrimCompareAndRead) {
    TString s("  \tkey value\t  "), blanks("    ");
    s.trim();
    blanks.trim();
    EXPECT_EQ(s.str(), "\tkey value\t");  // blanks only: tabs stay
    EXPECT_EQ(blanks.str(), "");
    // Bytes compare unsigned: 0xE9 is above every ASCII letter.
    EXPECT_EQ(TString("abc").compare(TString("abd")), -1);
    EXPECT_EQ(TString("\xe9").compare(TString("abc")), 1);
    EXPECT_EQ(TString("ab").compare(TString("ab")), 0);
    std::istringstream in("first line\r\n\nlast");
    EXPECT_TRUE(s.read(in));
    EXPECT_EQ(s.str(), "first line");
    EXPECT_FALSE(s.read(in));  // an empty line
    EXPECT_TRUE(s.read(in));
    EXPECT_EQ(s.str(), "last");
}

TEST(TFilenameTest, Parts) {
    struct Row {
        const char* name;
        const char* extension;  // null: none
        const char* withIni;    // setExtension("ini")
        const char* fileName;
        const char* directory;
    };
    const Row rows[] = {
        {"room.ray", "ray", "room.ini", "room.ray", ""},
        {"room", nullptr, "room.ini", "room", ""},
        {"room.", "", "room..ini", "room.", ""},  // an empty extension is not replaced
        {"models/room.v2.ray", "ray", "models/room.v2.ini", "room.v2.ray", "models/"},
        {"../room", nullptr, "../room.ini", "room", "../"},
        {"..\\room", nullptr, "..\\room.ini", "room", "..\\"},
        {"c:\\my.dir\\room", "dir\\room", "c:\\my.ini", "room", "c:\\my.dir\\"},  // the last dot of the whole name
        {"a/b\\c/room.ray", "ray", "a/b\\c/room.ini", "c/room.ray", "a/b\\c/"},  // "\" is looked for first
        {"c:room.ray", "ray", "c:room.ini", "room.ray", "c:"},
        {"/home/u/room.ray", "ray", "/home/u/room.ini", "room.ray", "/home/u/"},
    };
    for (const Row& row : rows) {
        TFilename f(row.name);
        EXPECT_EQ(f.hasExtension(), row.extension != nullptr) << row.name;
        EXPECT_EQ(f.extension(), row.extension ? row.extension : "") << row.name;
        EXPECT_EQ(f.fileNamePart(), row.fileName) << row.name;
        EXPECT_EQ(f.directoryPart(), row.directory) << row.name;
        f.setExtension("ini");
        EXPECT_EQ(f.str(), row.withIni) << row.name;
    }
    TFilename f("Models/Room.RAY");
    f.setExtension(".bak");
    EXPECT_EQ(f.str(), "Models/Room.bak");
    f.setExtension("");
    f.toLower();
    EXPECT_EQ(f.str(), "models/room");
}

namespace {
struct Counted : TObject {
    explicit Counted(int& alive) : alive(alive) { ++alive; }
    ~Counted() override { --alive; }
    int& alive;
};
}  // namespace

TEST(TArrayTest, SlotsAndOwnership) {
    int alive = 0;
    {
        TArray<Counted> array;
        for (int slot : {0, 1, 3}) array.put(std::make_unique<Counted>(alive), slot);
        EXPECT_EQ(array.put(std::make_unique<Counted>(alive)), 2);  // the first empty slot
        EXPECT_EQ(array.put(std::make_unique<Counted>(alive)), 4);  // all taken: one past the last
        EXPECT_EQ(array.put(std::make_unique<Counted>(alive), 30), 30);
        EXPECT_NE(array.at(30), nullptr);
        EXPECT_EQ(array.at(29), nullptr);
        EXPECT_EQ(array.at(-1), nullptr);
        array.put(std::make_unique<Counted>(alive), 30);  // replaces: the old element dies
        EXPECT_EQ(alive, 6);
        EXPECT_EQ(array.count(), 6);
        array.clear();
        EXPECT_EQ(alive, 0);
        EXPECT_EQ(array.count(), 0);
        array.put(std::make_unique<Counted>(alive), 2);
    }
    EXPECT_EQ(alive, 0);  // the array destroys its elements
}
