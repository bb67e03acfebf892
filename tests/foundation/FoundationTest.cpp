#include "support/UiFixture.h"

using TConfigTest = UiFixture;

TEST_F(TConfigTest, ParagraphsAndKeys) {
    const std::string longest(TConfig::maxLineLength - 2, 'y');  // with "x=": the longest line accepted
    const struct {
        std::string text;
        const char *paragraph, *key, *value;  // key null: the paragraph is not found
    } rows[] = {
        {"[parameters]\nlevel=2\n   Time   =  1.5  \n", "Parameters", "Time", "1.5"},  // headers ignore case
        {"[parameters]\nlevel=2\n", "Parameters", "Level", "<missing>"},                // keys do not
        {"[P]\nKey = a = b\n", "P", "Key", "a = b"},
        {"[A]\nx=1\n\nz=3\n", "A", "z", "<missing>"},  // the keys end at the first line without "="
        {"[A]\nx=1\n[B]\nw=4\n", "B", "w", "4"},
        {"; comment\n[P]\nL=3\n", "P", nullptr, nullptr},  // a file that does not open with a header has none
        {"[A]\n\tL=3\n[B]\nx=1\n", "B", nullptr, nullptr},  // a tab or an 8-bit byte at a line start ends the search
        {"[A]\n\xe9t\xe9=1\n[B]\nx=1\n", "B", nullptr, nullptr},
        {"[A]\n   indented=1\n\n[B]\nx=1\n", "B", "x", "1"},
        {"[P\nLevel=1\n[P]\nLevel=2\n", "P", "Level", "2"},  // no closing bracket: no header
        {"[P]\r\nLevel = 3\r\n\r\n[B]\r\n", "P", "Level", "3"},
        {"[A]\nx=" + longest + "\r\n[B]\nz=1\n", "B", "z", "1"},  // the CR is no part of the line
        {"[A]\nx=y" + longest + "\n[B]\nz=1\n", "B", nullptr, nullptr},
    };
    for (const auto& row : rows) {
        ui.boxes.clear();
        TConfig config("x.ini", row.text);
        const std::string name = row.text.substr(0, 40) + " [" + row.paragraph + "]";
        ASSERT_EQ(config.selectParagraph(row.paragraph), row.key != nullptr) << name;
        if (row.key) {
            const int i = config.find(row.key);
            EXPECT_EQ(i < 0 ? "<missing>" : config.value(i), row.value) << name;
        }
        const std::string error = std::string("Error: Can't find the paragraph [") + row.paragraph + "]";
        EXPECT_EQ(boxTexts(), row.key ? std::vector<std::string>{} : std::vector<std::string>{error}) << name;
    }
}

TEST_F(TConfigTest, ReadNumber) {
    TConfig config("r.txt", "[M]\nTime = 0.0125 s\nGain = -3e-2\n");
    ASSERT_TRUE(config.findParagraph("M"));
    EXPECT_DOUBLE_EQ(config.readNumber(), 0.0125);
    EXPECT_DOUBLE_EQ(config.readNumber(), -0.03);
    for (const auto& [text, message] : {std::pair{"[M]\nno number\n[N]\nx = 1\n", "Can't find an = symbol in file r.txt"},
                                        std::pair{"[M]\nx = 5", "Unexpected End of File"}}) {
        ui.boxes.clear();
        TConfig bad("r.txt", text);
        ASSERT_TRUE(bad.findParagraph("M"));
        EXPECT_THROW(bad.readNumber(), ProcessExit);
        EXPECT_EQ(boxTexts(), std::vector<std::string>{std::string("Error: ") + message});
    }
}

TEST(BooleanTextTest, TrueWordsIgnoreCase) {
    for (const char* yes : {"1", "On", "on", "TRUE", "Yes", "yES", "Ok", "X", "x"}) EXPECT_TRUE(isTrueText(yes)) << yes;
    for (const char* no : {"", "0", "2", "Off", "no", "y", "Yes ", " 1", "truest"}) EXPECT_FALSE(isTrueText(no)) << no;
}

TEST(TFilenameTest, Parts) {
    const std::pair<const char*, const char*> rows[] = {  // name; extension | file name | directory | with ".ini"
        {"room.", ". | room. |  | room..ini"},  // an empty extension is not replaced
        {"..\\room", "none | room | ..\\ | ..\\room.ini"},
        {"c:\\my.dir\\room", ".dir\\room | room | c:\\my.dir\\ | c:\\my.ini"},  // the last dot of the whole name
        {"a/b\\c/room.v2.ray", ".ray | c/room.v2.ray | a/b\\c/ | a/b\\c/room.v2.ini"},  // "\" is looked for first
        {"c:room.ray", ".ray | room.ray | c: | c:room.ini"},
    };
    for (const auto& [name, expected] : rows) {
        TFilename f(name);
        const std::string parts = (f.hasExtension() ? '.' + f.extension() : "none") + " | " + f.fileNamePart() +
                                  " | " + f.directoryPart() + " | ";
        f.setExtension("ini");
        EXPECT_EQ(parts + f.str(), expected) << name;
    }
}
