#include <gtest/gtest.h>

#include "foundation/TConfig.h"
#include "support/UiFixture.h"

using TConfigTest = UiFixture;

namespace {
std::string keyText(TConfig& config, const char* key) {
    const int i = config.find(key);
    return i < 0 ? "<missing>" : config.value(i);
}
}  // namespace

TEST_F(TConfigTest, HeaderIgnoresCaseKeysDoNot) {
    TConfig config("model.ini", "[parameters]\nlevel=2\nTime = 1.5\n");
    ASSERT_TRUE(config.selectParagraph("Parameters"));
    EXPECT_EQ(config.find("Level"), -1);
    EXPECT_EQ(keyText(config, "level"), "2");
    EXPECT_EQ(keyText(config, "Time"), "1.5");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(TConfigTest, KeyAndValueAreTrimmedOfBlanks) {
    TConfig config("x.ini", "[P]\nLevel=3\nHistory = 4\n   Time   =   5   \nKey = a = b\n");
    ASSERT_TRUE(config.selectParagraph("P"));
    EXPECT_EQ(keyText(config, "Level"), "3");
    EXPECT_EQ(keyText(config, "History"), "4");
    EXPECT_EQ(keyText(config, "Time"), "5");
    EXPECT_EQ(keyText(config, "Key"), "a = b");
    EXPECT_EQ(config.keyCount(), 4);
}

TEST_F(TConfigTest, KeysEndAtTheFirstLineWithoutEquals) {
    TConfig config("x.ini", "[A]\nx=1\ny=2\n\nz=3\n[B]\nw=4\n");
    ASSERT_TRUE(config.selectParagraph("A"));
    EXPECT_EQ(config.keyCount(), 2);
    EXPECT_EQ(config.find("z"), -1);
    ASSERT_TRUE(config.selectParagraph("B"));
    EXPECT_EQ(config.keyCount(), 1);
    EXPECT_EQ(keyText(config, "w"), "4");
}

TEST_F(TConfigTest, SelectionLeavesTheStreamAtTheFirstKeyLine) {
    TConfig config("x.ini", "[A]\nq=1\n[Data]\nfirst = 1\nsecond = 2\n");
    ASSERT_TRUE(config.selectParagraph("Data"));
    std::string line;
    std::getline(config, line);
    EXPECT_EQ(line, "first = 1");
}

TEST_F(TConfigTest, AFileThatDoesNotStartWithAHeaderHasNoParagraphs) {
    for (const char* text : {"\n[Parameters]\nLevel=3\n", "; comment\n[Parameters]\nLevel=3\n"}) {
        ui.boxes.clear();
        TConfig config("x.ini", text);
        EXPECT_FALSE(config.selectParagraph("Parameters"));
        EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find the paragraph [Parameters]"});
    }
}

TEST_F(TConfigTest, TabOrHighByteLedLinesEndTheSearch) {
    TConfig tabbed("x.ini", "[A]\n\tLevel=3\n[B]\nx=1\n");
    EXPECT_FALSE(tabbed.findParagraph("B"));
    ASSERT_TRUE(tabbed.selectParagraph("A"));
    EXPECT_EQ(keyText(tabbed, "\tLevel"), "3");  // the tab stays part of the key

    TConfig accented("x.ini", "[A]\n\xe9t\xe9=1\n[B]\nx=1\n");
    EXPECT_FALSE(accented.findParagraph("B"));

    TConfig blanks("x.ini", "[A]\n   indented=1\n\n[B]\nx=1\n");
    EXPECT_TRUE(blanks.findParagraph("B"));
}

TEST_F(TConfigTest, HeaderWithoutClosingBracketIsNoMatch) {
    TConfig config("x.ini", "[Parameters\nLevel=1\n[Parameters]\nLevel=2\n");
    ASSERT_TRUE(config.selectParagraph("Parameters"));
    EXPECT_EQ(keyText(config, "Level"), "2");
}

TEST_F(TConfigTest, WindowsLineEndsReadAsUnix) {
    TConfig config("x.ini", "[Parameters]\r\nLevel = 3\r\nTime=2\r\n\r\n[Other]\r\n");
    ASSERT_TRUE(config.selectParagraph("Parameters"));
    EXPECT_EQ(keyText(config, "Level"), "3");
    EXPECT_EQ(keyText(config, "Time"), "2");
    EXPECT_TRUE(config.findParagraph("Other"));
}

TEST_F(TConfigTest, ALineLongerThanTheBufferFailsTheSearch) {
    TConfig config("x.ini", "[A]\nx=" + std::string(5000, 'y') + "\n[B]\nz=1\n");
    EXPECT_FALSE(config.findParagraph("B"));
    EXPECT_FALSE(config.findParagraph("A"));  // the stream stays failed
    // 4095 characters fit, with either line end; 4096 do not.
    for (const char* end : {"\n", "\r\n"}) {
        TConfig fits("x.ini", "[A]\nx=" + std::string(4093, 'y') + end + "[B]\nz=1\n");
        EXPECT_TRUE(fits.findParagraph("B")) << (end[0] == '\r' ? "CR LF" : "LF");
        TConfig over("x.ini", "[A]\nx=" + std::string(4094, 'y') + end + "[B]\nz=1\n");
        EXPECT_FALSE(over.findParagraph("B")) << (end[0] == '\r' ? "CR LF" : "LF");
    }
}

TEST_F(TConfigTest, AMissingFileIsReportedAndNeverFound) {
    TConfig config("absent.ini");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find file absent.ini"});
    EXPECT_FALSE(config.findParagraph("Parameters"));
}

TEST_F(TConfigTest, ReadsFromAFile) {
    writeFile("settings.ini", "[Parameters]\nLevel=7\n");
    TConfig config("settings.ini");
    ASSERT_TRUE(config.selectParagraph("Parameters"));
    EXPECT_EQ(keyText(config, "Level"), "7");
}

TEST_F(TConfigTest, TheFirstIniNameBecomesTheDefault) {
    writeFile("first.INI", "[A]\nk=first\n");
    writeFile("second.ini", "[A]\nk=second\n");
    { TConfig notIni("data.txt", ""); }
    EXPECT_EQ(TConfig::defaultName(), "");
    { TConfig first("first.INI"); }
    { TConfig second("second.ini"); }
    EXPECT_EQ(TConfig::defaultName(), "first.INI");
    TConfig byDefault("");
    ASSERT_TRUE(byDefault.selectParagraph("A"));
    EXPECT_EQ(keyText(byDefault, "k"), "first");
}

TEST_F(TConfigTest, SkipToEqualsStopsAtTheNextParagraph) {
    const std::string text = "[A]\nnothing here\n[B]\nv = 1\n";
    TConfig config("x.ini", text);
    ASSERT_TRUE(config.findParagraph("A"));
    EXPECT_FALSE(config.skipToEquals());
    EXPECT_TRUE(config.good());  // the end-of-file state is cleared...
    EXPECT_EQ(config.tellg(), std::streampos(text.size()));  // ...and the stream stands at the end
    ASSERT_TRUE(config.findParagraph("B"));
    EXPECT_TRUE(config.skipToEquals());
}

TEST_F(TConfigTest, ReadNumberReadsOnToTheNextLine) {
    TConfig config("r.txt", "[M]\nTime = 0.0125 s\nGain = -3e-2\n");
    ASSERT_TRUE(config.findParagraph("M"));
    EXPECT_DOUBLE_EQ(config.readNumber(), 0.0125);
    EXPECT_DOUBLE_EQ(config.readNumber(), -0.03);
}

TEST_F(TConfigTest, ReadNumberWithoutEqualsIsFatal) {
    TConfig config("r.txt", "[M]\nno number\n[N]\nx = 1\n");
    ASSERT_TRUE(config.findParagraph("M"));
    try {
        config.readNumber();
        FAIL() << "readNumber went on without an = sign";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(exit.status, 1);
    }
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find an = symbol in file r.txt"});
}

TEST_F(TConfigTest, ReadNumberAtTheEndOfTheFileIsFatal) {
    TConfig config("r.txt", "[M]\nx = 5");
    ASSERT_TRUE(config.findParagraph("M"));
    EXPECT_THROW(config.readNumber(), ProcessExit);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Unexpected End of File"});
}

TEST(BooleanTextTest, TrueWordsIgnoreCase) {
    for (const char* yes : {"1", "On", "on", "TRUE", "true", "Yes", "yES", "Ok", "OK", "X", "x"})
        EXPECT_TRUE(isTrueText(yes)) << yes;
    for (const char* no : {"", "0", "2", "Off", "no", "y", "Yes ", " 1", "truest"}) EXPECT_FALSE(isTrueText(no)) << no;
}
