#include "support/UiFixture.h"

using TConfigTest = UiFixture;

TEST_F(TConfigTest, ParagraphsAndKeys) {
    const std::string longest(TConfig::maxLineLength - 2, 'y');  // with "x=": the longest line accepted
    const struct {
        std::string text;
        const char *paragraph, *key, *value;
    } rows[] = {
        {"[parameters]\nlevel=2\n   Time   =  1.5  \n", "Parameters", "Time", "1.5"},  // headers ignore case
        {"[parameters]\nlevel=2\n", "Parameters", "Level", "no key"},                   // keys do not
        {"[P]\nKey = a = b\n", "P", "Key", "a = b"},
        {"[A]\nx=1\n\nz=3\n", "A", "z", "no key"},  // the keys end at the first line without "="
        {"[A]\nx=1\n[B]\nw=4\n", "B", "w", "4"},
        {"; comment\n[P]\nL=3\n", "P", "L", "no paragraph"},  // a file must open with a header
        {"[A]\n\tL=3\n[B]\nx=1\n", "B", "x", "no paragraph"},  // a tab or an 8-bit byte at a line start ends the search
        {"[A]\n\xe9t\xe9=1\n[B]\nx=1\n", "B", "x", "no paragraph"},
        {"[A]\n   indented=1\n\n[B]\nx=1\n", "B", "x", "1"},
        {"[P\nLevel=1\n[P]\nLevel=2\n", "P", "Level", "2"},  // no closing bracket: no header
        {"[P]\r\nLevel = 3\r\n\r\n[B]\r\n", "P", "Level", "3"},
        {"[A]\nx=" + longest + "\r\n[B]\nz=1\n", "B", "z", "1"},  // the CR is no part of the line
        {"[A]\nx=y" + longest + "\n[B]\nz=1\n", "B", "z", "no paragraph"},
    };
    for (const auto& row : rows) {
        ui.boxes.clear();
        TConfig config("x.ini", row.text);
        const bool found = config.selectParagraph(row.paragraph);
        const int i = config.find(row.key);
        EXPECT_EQ(!found ? "no paragraph" : i < 0 ? "no key" : config.value(i), row.value) << row.text.substr(0, 40);
        const std::string error = std::string("Error: Can't find the paragraph [") + row.paragraph + "]";
        EXPECT_EQ(boxTexts(), found ? std::vector<std::string>{} : std::vector{error}) << row.text.substr(0, 40);
    }
}

TEST_F(TConfigTest, ANumberWithoutItsEqualsSignOrLineEndIsFatal) {
    const std::pair<const char*, const char*> rows[] = {
        {"[M]\nno number\n[N]\nx = 1\n", "Can't find an = symbol in file r"}, {"[M]\nx = 5", "Unexpected End of File"}};
    for (const auto& [text, message] : rows) {
        ui.boxes.clear();
        TConfig bad("r", text);
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
