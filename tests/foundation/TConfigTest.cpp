#include "foundation/TConfig.h"
#include "support/UiFixture.h"

using TConfigTest = UiFixture;

namespace {
std::string keyText(TConfig& config, const char* key) {
    const int i = config.find(key);
    return i < 0 ? "<missing>" : config.value(i);
}
}  // namespace

TEST_F(TConfigTest, ParagraphsAndKeys) {
    struct Row {
        std::string text;
        const char* paragraph;
        const char* key;  // null: the paragraph is not found
        const char* value;
    };
    const std::string longValue(TConfig::maxLineLength - 2, 'y');  // "x=" and the value: the longest line
    const Row rows[] = {
        {"[parameters]\nlevel=2\nTime = 1.5\n", "Parameters", "Time", "1.5"},  // headers ignore case
        {"[parameters]\nlevel=2\n", "Parameters", "Level", "<missing>"},       // keys do not
        {"[P]\n   Time   =   5   \nKey = a = b\n", "P", "Time", "5"},
        {"[P]\n   Time   =   5   \nKey = a = b\n", "P", "Key", "a = b"},
        {"[A]\nx=1\n\nz=3\n", "A", "z", "<missing>"},  // the keys end at the first line without "="
        {"[A]\nx=1\n[B]\nw=4\n", "A", "w", "<missing>"},
        {"[A]\nx=1\n[B]\nw=4\n", "B", "w", "4"},
        {"\n[P]\nL=3\n", "P", nullptr, nullptr},  // a file that does not open with a header has no paragraphs
        {"; comment\n[P]\nL=3\n", "P", nullptr, nullptr},
        {"[A]\n\tL=3\n[B]\nx=1\n", "B", nullptr, nullptr},  // a tab or an 8-bit byte ends the search
        {"[A]\n\xe9t\xe9=1\n[B]\nx=1\n", "B", nullptr, nullptr},
        {"[A]\n\tL=3\n", "A", "\tL", "3"},  // ...and a tab stays part of the key
        {"[A]\n   indented=1\n\n[B]\nx=1\n", "B", "x", "1"},
        {"[P\nLevel=1\n[P]\nLevel=2\n", "P", "Level", "2"},  // no closing bracket: no header
        {"[P]\r\nLevel = 3\r\n\r\n[B]\r\nx=1\r\n", "P", "Level", "3"},
        {"[P]\r\nLevel = 3\r\n\r\n[B]\r\nx=1\r\n", "B", "x", "1"},
        {"[A]\nx=" + longValue + "\n[B]\nz=1\n", "B", "z", "1"},
        {"[A]\nx=" + longValue + "\r\n[B]\nz=1\n", "B", "z", "1"},  // the CR is no part of the line
        {"[A]\nx=y" + longValue + "\n[B]\nz=1\n", "B", nullptr, nullptr},
        {"[A]\nx=y" + longValue + "\r\n[B]\nz=1\n", "B", nullptr, nullptr},
    };
    for (const Row& row : rows) {
        ui.boxes.clear();
        TConfig config("x.ini", row.text);
        const std::string name = row.text.substr(0, 40) + " [" + row.paragraph + "]";
        ASSERT_EQ(config.selectParagraph(row.paragraph), row.key != nullptr) << name;
        if (row.key) {
            EXPECT_EQ(keyText(config, row.key), row.value) << name;
            EXPECT_TRUE(ui.boxes.empty()) << name;
        } else {
            EXPECT_EQ(boxTexts(), std::vector<std::string>{std::string("Error: Can't find the paragraph [") +
                                                           row.paragraph + "]"}) << name;
        }
    }
}

TEST_F(TConfigTest, SelectionLeavesTheStreamAtTheFirstKeyLine) {
    TConfig config("x.ini", "[A]\nq=1\n[Data]\nfirst = 1\nsecond = 2\n");
    ASSERT_TRUE(config.selectParagraph("Data"));
    EXPECT_EQ(config.keyCount(), 2);
    std::string line;
    std::getline(config, line);
    EXPECT_EQ(line, "first = 1");
}

TEST_F(TConfigTest, AnOverlongLineFailsTheStreamForGood) {
    TConfig config("x.ini", "[A]\nx=" + std::string(5000, 'y') + "\n[B]\nz=1\n");
    EXPECT_FALSE(config.findParagraph("B"));
    EXPECT_FALSE(config.findParagraph("A"));
}

TEST_F(TConfigTest, FilesAndTheDefaultName) {
    TConfig absent("absent.ini");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find file absent.ini"});
    EXPECT_FALSE(absent.findParagraph("Parameters"));
    TConfig::resetDefaultName();
    writeFile("first.INI", "[A]\nk=first\n");
    writeFile("second.ini", "[A]\nk=second\n");
    { TConfig notIni("data.txt", ""); }
    EXPECT_EQ(TConfig::defaultName(), "");
    { TConfig first("first.INI"); }
    { TConfig second("second.ini"); }
    TConfig byDefault("");  // the first name holding ".ini"
    ASSERT_TRUE(byDefault.selectParagraph("A"));
    EXPECT_EQ(keyText(byDefault, "k"), "first");
}

TEST_F(TConfigTest, SkipToEqualsStopsAtTheNextParagraph) {
    const std::string text = "[A]\nnothing here\n[B]\nv = 1\n";
    TConfig config("x.ini", text);
    ASSERT_TRUE(config.findParagraph("A"));
    EXPECT_FALSE(config.skipToEquals());
    EXPECT_TRUE(config.good());
    EXPECT_EQ(config.tellg(), std::streampos(text.size()));
    ASSERT_TRUE(config.findParagraph("B"));
    EXPECT_TRUE(config.skipToEquals());
}

TEST_F(TConfigTest, ReadNumber) {
    TConfig config("r.txt", "[M]\nTime = 0.0125 s\nGain = -3e-2\n");
    ASSERT_TRUE(config.findParagraph("M"));
    EXPECT_DOUBLE_EQ(config.readNumber(), 0.0125);
    EXPECT_DOUBLE_EQ(config.readNumber(), -0.03);
    const std::pair<const char*, const char*> fatal[] = {
        {"[M]\nno number\n[N]\nx = 1\n", "Error: Can't find an = symbol in file r.txt"},
        {"[M]\nx = 5", "Error: Unexpected End of File"}};
    for (const auto& [text, message] : fatal) {
        ui.boxes.clear();
        TConfig bad("r.txt", text);
        ASSERT_TRUE(bad.findParagraph("M"));
        try {
            bad.readNumber();
            ADD_FAILURE() << "readNumber went on: " << text;
        } catch (const ProcessExit& exit) {
            EXPECT_EQ(exit.status, 1);
        }
        EXPECT_EQ(boxTexts(), std::vector<std::string>{message});
    }
}

TEST(BooleanTextTest, TrueWordsIgnoreCase) {
    for (const char* yes : {"1", "On", "on", "TRUE", "true", "Yes", "yES", "Ok", "OK", "X", "x"})
        EXPECT_TRUE(isTrueText(yes)) << yes;
    for (const char* no : {"", "0", "2", "Off", "no", "y", "Yes ", " 1", "truest"}) EXPECT_FALSE(isTrueText(no)) << no;
}
