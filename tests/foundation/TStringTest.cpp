#include <gtest/gtest.h>

#include <sstream>

#include "foundation/TArray.h"
#include "foundation/TFilename.h"
#include "foundation/TString.h"

TEST(TObjectTest, ClassNamesAndKinds) {
    TObject object;
    TString text;
    TFilename name;
    EXPECT_STREQ(object.className(), "TObject");
    EXPECT_STREQ(text.className(), "TString");
    EXPECT_STREQ(name.className(), "TString");  // a file name is a string by its own account
    EXPECT_TRUE(name.isKindOf("TString"));
    EXPECT_TRUE(name.isKindOf("TObject"));
    EXPECT_FALSE(object.isKindOf("TString"));
    EXPECT_FALSE(text.isKindOf("TFilename"));
    std::istringstream in("x");
    std::ostringstream out;
    EXPECT_FALSE(object.read(in));
    EXPECT_FALSE(object.write(out));
}

TEST(TStringTest, GrowthRules) {
    TString s;
    EXPECT_EQ(s.capacity(), 7u);
    s.assign("12345678901");  // longer than the capacity: exactly its length
    EXPECT_EQ(s.capacity(), 11u);
    s.append("abcd");  // 15 > 11: 15 * 3 / 2
    EXPECT_EQ(s.str(), "12345678901abcd");
    EXPECT_EQ(s.capacity(), 22u);
    s.prepend("xyzxyzxy");  // 23 > 22: 34
    EXPECT_EQ(s.str(), "xyzxyzxy12345678901abcd");
    EXPECT_EQ(s.capacity(), 34u);
    s.append("");
    EXPECT_EQ(s.capacity(), 34u);
    s.assign("short");  // a shorter text keeps the buffer
    EXPECT_EQ(s.capacity(), 34u);

    TString zero(0);
    zero.assign("");
    EXPECT_EQ(zero.capacity(), 15u);
    EXPECT_TRUE(zero.empty());
}

TEST(TStringTest, TrimRemovesBlanksOnly) {
    TString s("  \tkey value\t  ");
    s.trim();
    EXPECT_EQ(s.str(), "\tkey value\t");
    TString blanks("    ");
    blanks.trim();
    EXPECT_EQ(blanks.str(), "");
}

TEST(TStringTest, CompareIsUnsignedBytewise) {
    TString low("abc"), high("abd"), accented("\xe9t\xe9"), same("abc");
    EXPECT_EQ(low.compare(high), -1);
    EXPECT_EQ(high.compare(low), 1);
    EXPECT_EQ(low.compare(same), 0);
    // 0xE9 is above every ASCII letter when bytes are unsigned.
    EXPECT_EQ(accented.compare(low), 1);
    EXPECT_EQ(TString("ab").compare(low), -1);
}

TEST(TStringTest, ReadTakesOneLineWithoutItsEnd) {
    std::istringstream in("first line\r\nsecond\n\nlast");
    TString s;
    EXPECT_TRUE(s.read(in));
    EXPECT_EQ(s.str(), "first line");
    EXPECT_TRUE(s.read(in));
    EXPECT_EQ(s.str(), "second");
    EXPECT_FALSE(s.read(in));  // an empty line
    EXPECT_TRUE(s.read(in));
    EXPECT_EQ(s.str(), "last");
}

TEST(TFilenameTest, Extensions) {
    struct Case {
        const char* name;
        bool has;
        const char* extension;
    };
    const Case cases[] = {
        {"room.ray", true, "ray"},
        {"room", false, ""},
        {"room.", true, ""},
        {"models/room.v2.ray", true, "ray"},
        {"..\\room", false, ""},
        {"../room", false, ""},
        {"c:\\my.dir\\room", true, "dir\\room"},  // the last dot is in the folder, no separator after it
    };
    for (const Case& c : cases) {
        TFilename f(c.name);
        EXPECT_EQ(f.hasExtension(), c.has) << c.name;
        EXPECT_EQ(f.extension(), c.extension) << c.name;
    }
}

TEST(TFilenameTest, SetExtension) {
    struct Case {
        const char* name;
        const char* extension;
        const char* result;
    };
    const Case cases[] = {
        {"room.ray", "ini", "room.ini"},
        {"room", "ray", "room.ray"},
        {"room.ray", ".bak", "room.bak"},
        {"room.ray", "", "room"},
        {"c:\\my.dir\\room", "ini", "c:\\my.ini"},
        {"../room", "ray", "../room.ray"},
        {"room.", "ray", "room..ray"},  // an empty extension is not removed
    };
    for (const Case& c : cases) {
        TFilename f(c.name);
        f.setExtension(c.extension);
        EXPECT_EQ(f.str(), c.result) << c.name << " + " << c.extension;
    }
}

TEST(TFilenameTest, NameAndDirectoryParts) {
    EXPECT_EQ(TFilename("c:\\models\\room.ray").fileNamePart(), "room.ray");
    EXPECT_EQ(TFilename("a/b\\c/room.ray").fileNamePart(), "c/room.ray");  // the backslash is looked for first
    EXPECT_EQ(TFilename("models/room.ray").fileNamePart(), "room.ray");
    EXPECT_EQ(TFilename("c:room.ray").fileNamePart(), "room.ray");
    EXPECT_EQ(TFilename("room.ray").fileNamePart(), "room.ray");

    EXPECT_EQ(TFilename("c:\\models\\room.ray").directoryPart(), "c:\\models\\");
    EXPECT_EQ(TFilename("/home/user/models/room.ray").directoryPart(), "/home/user/models/");
    EXPECT_EQ(TFilename("room.ray").directoryPart(), "");
    EXPECT_EQ(TFilename("c:room.ray").directoryPart(), "c:");
}

TEST(TFilenameTest, LowerCase) {
    TFilename f("Models/Room.RAY");
    f.toLower();
    EXPECT_EQ(f.str(), "models/room.ray");
}

namespace {
struct Counted : TObject {
    explicit Counted(int& alive) : alive(alive) { ++alive; }
    ~Counted() override { --alive; }
    int& alive;
};
}  // namespace

TEST(TArrayTest, PutGrowsAndReplaces) {
    int alive = 0;
    TArray<Counted> array;
    EXPECT_EQ(array.capacity(), 4);
    EXPECT_EQ(array.put(std::make_unique<Counted>(alive), 9), 9);
    EXPECT_EQ(array.capacity(), 14);  // 9 * 3 / 2 + 1
    EXPECT_EQ(array.count(), 1);
    EXPECT_EQ(array.at(3), nullptr);
    EXPECT_EQ(array.at(14), nullptr);
    EXPECT_EQ(array.at(-1), nullptr);

    array.put(std::make_unique<Counted>(alive), 9);  // replaces: the old element dies, the count stays
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(array.count(), 1);

    array.clear();
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(array.count(), 0);
    EXPECT_EQ(array.capacity(), 14);
}

TEST(TArrayTest, PutAtMinusOneTakesTheFirstEmptySlot) {
    int alive = 0;
    TArray<Counted> array;
    array.put(std::make_unique<Counted>(alive), 0);
    array.put(std::make_unique<Counted>(alive), 1);
    EXPECT_EQ(array.put(std::make_unique<Counted>(alive)), 2);
    array.put(std::make_unique<Counted>(alive), 3);
    // All four slots taken: the slot just past the last, which grows the array.
    EXPECT_EQ(array.put(std::make_unique<Counted>(alive)), 4);
    EXPECT_EQ(array.capacity(), 7);
    EXPECT_EQ(array.count(), 5);
}

TEST(TArrayTest, DestroysItsElements) {
    int alive = 0;
    {
        TArray<Counted> array;
        array.put(std::make_unique<Counted>(alive), 2);
        array.put(std::make_unique<Counted>(alive), 20);
        EXPECT_EQ(alive, 2);
    }
    EXPECT_EQ(alive, 0);
}
