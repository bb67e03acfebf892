#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "acoustics/SpeakerInfo.h"
#include "model/Face.h"
#include "support/UiFixture.h"

namespace {

/// The value written for row r, column c of band number n (1-10): every entry
/// differs, so a wrong row, column or band index reads back a wrong number.
double code(int r, int c, int n) { return r * 10000 + c * 100 + n; }

/// One band block of a .spk file: the band-number and level fields as written,
/// and the text of each directivity value (code() of the band by default).
struct Block {
    std::string number;
    std::string level = "0";
    std::function<std::string(int, int)> value;
};

Block band(int n, const std::string& level = "0") {
    return {std::to_string(n), level, [n](int r, int c) { return std::to_string(static_cast<int>(code(r, c, n))); }};
}

/// A .spk text: free lines holding commas where the reader skips whole lines,
/// and trailing text wherever the layout allows it.
std::string spk(const std::string& count, const std::vector<Block>& blocks, const std::string& tail = "") {
    std::string text = "Loudspeaker, test, 1\nMaker, none\n\nMeasured, 2026\nBands," + count + " blocks\n";
    for (const Block& b : blocks) {
        text += "Band," + b.number + " (octave, centre)\n";
        text += "Free, text\n";
        text += "Power,dB," + b.level + " re 1 pW, free\n";
        text += "Angles, 10 deg\nRows, planes\nColumns, axis\n";
        for (int r = 0; r < SpeakerInfo::rowCount; ++r) {
            text += "Plane " + std::to_string(r) + "," + std::to_string(10 * r);
            for (int c = 0; c < SpeakerInfo::columnCount; ++c) text += "," + b.value(r, c);
            text += r == 0 ? " end of row\n" : "\n";
        }
    }
    return text + tail;
}

class SpeakerInfoTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        clearSpeakers();
    }
    void TearDown() override {
        clearSpeakers();
        UiFixture::TearDown();
    }

    /// Reads text into speaker as the file "x.spk"; answers what read answers.
    bool read(SpeakerInfo& speaker, const std::string& text) {
        std::istringstream in(text);
        return speaker.read(in, "x.spk");
    }

    static std::vector<std::string> omniWarnings(const std::string& name) {
        return {"Warning: Can't load source \"" + name + "\":", "Warning: Using omnidirectional source at 110 dB"};
    }
};

TEST_F(SpeakerInfoTest, StartsOmnidirectionalAt110dB) {
    SpeakerInfo speaker;
    EXPECT_FALSE(speaker.loaded);
    EXPECT_EQ(speaker.firstBand, 0);
    EXPECT_EQ(speaker.lastBand, 9);
    for (double power : speaker.bandPower) EXPECT_EQ(power, 1e11);
    EXPECT_TRUE(speaker.name.empty());
    EXPECT_TRUE(speaker.alias.empty());
    EXPECT_EQ(speaker.geometry.count, 0u);
}

TEST_F(SpeakerInfoTest, EveryValueLandsAtItsRowColumnAndBand) {
    SpeakerInfo speaker;
    // Whatever the table held before, bands without a block read back as 0.
    for (auto& row : speaker.directivity)
        for (auto& column : row) column.fill(7);
    ASSERT_TRUE(read(speaker, spk("3", {band(1, "90"), band(4, "-30"), band(10, "123")})));
    EXPECT_TRUE(speaker.loaded);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(speaker.firstBand, 0);
    EXPECT_EQ(speaker.lastBand, 9);
    for (int r = 0; r < SpeakerInfo::rowCount; ++r)
        for (int c = 0; c < SpeakerInfo::columnCount; ++c) {
            const auto& entry = speaker.directivity[r][c];
            ASSERT_EQ(entry[0], code(r, c, 1) * 1000) << r << "," << c;
            ASSERT_EQ(entry[3], code(r, c, 4) * 1000) << r << "," << c;
            ASSERT_EQ(entry[9], code(r, c, 10) * 1000) << r << "," << c;
            for (int b : {1, 2, 4, 5, 6, 7, 8}) ASSERT_EQ(entry[b], 0) << "band " << b << " is not in the file";
        }
    // 10^(Lw/10): 90 dB is 1e9, -30 dB is 1e-3, 123 dB is 10^12.3 = 1.99526e12.
    EXPECT_DOUBLE_EQ(speaker.bandPower[0], 1e9);
    EXPECT_DOUBLE_EQ(speaker.bandPower[3], 1e-3);
    EXPECT_NEAR(speaker.bandPower[9], 1.99526231e12, 1e4);
    for (int b : {1, 2, 4, 5, 6, 7, 8}) EXPECT_EQ(speaker.bandPower[b], 1e11) << "band " << b;
}

TEST_F(SpeakerInfoTest, ValuesAreThousandthsTruncatedTowardZero) {
    Block b = band(2);
    b.value = [](int r, int c) -> std::string {
        if (r == 1 && c == 0) return "0.0005";   // 0.5 thousandths: 0
        if (r == 1 && c == 1) return "0.0007";   // 0.7: 0, where rounding would give 1
        if (r == 1 && c == 2) return "-1.2345";  // -1234.5: -1234
        if (r == 1 && c == 3) return "2.0019";   // 2001.9: 2001
        if (r == 1 && c == 4) return "-0.0009";  // -0.9: 0
        if (r == 1 && c == 5) return "1e300";    // beyond 32 bits: saturates
        if (r == 1 && c == 6) return "-1e300";
        if (r == 1 && c == 7) return " 3.5";     // white space before a number is skipped
        return "1";
    };
    SpeakerInfo speaker;
    ASSERT_TRUE(read(speaker, spk("1", {b})));
    const auto& row = speaker.directivity[1];
    EXPECT_EQ(row[0][1], 0);
    EXPECT_EQ(row[1][1], 0);
    EXPECT_EQ(row[2][1], -1234);
    EXPECT_EQ(row[3][1], 2001);
    EXPECT_EQ(row[4][1], 0);
    EXPECT_EQ(row[5][1], INT32_MAX);
    EXPECT_EQ(row[6][1], INT32_MIN);
    EXPECT_EQ(row[7][1], 3500);
    EXPECT_EQ(row[8][1], 1000);
    EXPECT_EQ(speaker.directivity[17][35][1], 1000);
}

TEST_F(SpeakerInfoTest, BandCountOfZeroOrLessLeavesTheSourceOmnidirectional) {
    // 0.9 truncates to 0; text where the count should be reads as no count at all.
    for (const std::string count : {"0", "-2", "0.9", "many"}) {
        ui.boxes.clear();
        SpeakerInfo speaker;
        EXPECT_FALSE(read(speaker, spk(count, {band(1, "90")}))) << count;
        EXPECT_FALSE(speaker.loaded) << count;
        EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Warning: No bands for source x.spk",
                                                        "Warning: Using omnidirectional source at 110 dB"}))
            << count;
        EXPECT_EQ(speaker.firstBand, 0) << count;
        EXPECT_EQ(speaker.lastBand, 9) << count;
        EXPECT_EQ(speaker.bandPower[0], 1e11) << count;
    }
}

TEST_F(SpeakerInfoTest, BandCountLimitsTheBlocksRead) {
    // A count of 2.9 reads two blocks: the third (band 3) stays unread.
    SpeakerInfo two;
    ASSERT_TRUE(read(two, spk("2.9", {band(1, "80"), band(2, "80"), band(3, "80")})));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(two.lastBand, 1);
    EXPECT_EQ(two.directivity[5][5][2], 0);
    EXPECT_EQ(two.bandPower[2], 1e11);

    // More than ten: a warning, and only ten blocks; an eleventh, out of range, would stop the reading.
    std::vector<Block> blocks;
    for (int n = 1; n <= 10; ++n) blocks.push_back(band(n, "70"));
    blocks.push_back(band(11));
    SpeakerInfo many;
    EXPECT_TRUE(read(many, spk("12", blocks)));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Too many bands for source x.spk"});
    EXPECT_EQ(many.lastBand, 9);
    EXPECT_EQ(many.directivity[17][35][9], code(17, 35, 10) * 1000);
}

TEST_F(SpeakerInfoTest, BandNumberOutOfRangeStopsTheReading) {
    SpeakerInfo high;
    EXPECT_FALSE(read(high, spk("1", {band(11)})));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Frequency band 11 out of range (max 10)"});
    EXPECT_FALSE(high.loaded);
    EXPECT_EQ(high.firstBand, -1);
    EXPECT_EQ(high.lastBand, -1);

    // -0.5 - 1 truncates to -1: the message shows band 0.
    ui.boxes.clear();
    SpeakerInfo low;
    Block negative = band(1);
    negative.number = "-0.5";
    EXPECT_FALSE(read(low, spk("1", {negative})));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Frequency band 0 out of range (max 10)"});

    // A later block out of range keeps what the earlier ones set, but the source is omnidirectional.
    ui.boxes.clear();
    SpeakerInfo later;
    EXPECT_FALSE(read(later, spk("2", {band(3, "90"), band(0)})));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Frequency band 0 out of range (max 10)"});
    EXPECT_FALSE(later.loaded);
    EXPECT_EQ(later.firstBand, 2);
    EXPECT_EQ(later.lastBand, 2);
    EXPECT_DOUBLE_EQ(later.bandPower[2], 1e9);
}

TEST_F(SpeakerInfoTest, AnUnreadableBandLineIsReportedAndTheSourceIsOmnidirectional) {
    // Line 6 is the first block's band line; the second block starts on line 30.
    struct Case {
        std::string band1, band2;
        const char* message;
    } cases[] = {
        {"Band 1\n", "Band,2\n", "Warning: Can't read the band number in line 6 of x.spk"},
        {"Band,one\n", "Band,2\n", "Warning: Can't read the band number in line 6 of x.spk"},
        {"Band,1\n", "Band 2\n", "Warning: Can't read the band number in line 30 of x.spk"},
    };
    for (const Case& c : cases) {
        std::string text = spk("2", {band(1, "90"), band(2, "90")});
        text.replace(text.find("Band,1 (octave, centre)\n"), 24, c.band1);
        text.replace(text.find("Band,2 (octave, centre)\n"), 24, c.band2);
        ui.boxes.clear();
        SpeakerInfo speaker;
        EXPECT_FALSE(read(speaker, text)) << c.band1 << c.band2;
        EXPECT_FALSE(speaker.loaded);
        EXPECT_EQ(boxTexts(), (std::vector<std::string>{c.message, "Warning: Using omnidirectional source at 110 dB"}));
    }
}

TEST_F(SpeakerInfoTest, BandNumbersTruncateAndRepeatedBandsOverwrite) {
    // 10.9 - 1 truncates to 9; the blocks come out of order and band 5 twice.
    Block last = band(10);
    last.number = "10.9";
    Block again = band(5, "60");
    again.value = [](int r, int c) { return std::to_string(-(r * 100 + c)); };
    SpeakerInfo speaker;
    ASSERT_TRUE(read(speaker, spk("4", {band(5, "90"), last, band(2), again})));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(speaker.firstBand, 4);
    EXPECT_EQ(speaker.lastBand, 4);
    EXPECT_EQ(speaker.directivity[3][7][9], code(3, 7, 10) * 1000);
    EXPECT_EQ(speaker.directivity[3][7][1], code(3, 7, 2) * 1000);
    EXPECT_EQ(speaker.directivity[3][7][4], -307000);
    EXPECT_DOUBLE_EQ(speaker.bandPower[4], 1e6);
}

TEST_F(SpeakerInfoTest, AFileThatEndsEarlyKeepsWhatWasRead) {
    // Two blocks announced; the text stops after row 9 of the first.
    const std::string full = spk("2", {band(6, "90")});
    const std::string cut = full.substr(0, full.find("Plane 10,"));
    SpeakerInfo speaker;
    EXPECT_TRUE(read(speaker, cut));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(speaker.firstBand, 5);
    EXPECT_EQ(speaker.lastBand, 5);
    EXPECT_EQ(speaker.directivity[9][35][5], code(9, 35, 6) * 1000);
    EXPECT_EQ(speaker.directivity[10][0][5], 0);
    EXPECT_DOUBLE_EQ(speaker.bandPower[5], 1e9);

    // Nothing after the count: read, but no band at all.
    SpeakerInfo empty;
    EXPECT_TRUE(read(empty, "a\nb\nc\nd\nBands,3\n"));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(empty.firstBand, -1);
    EXPECT_EQ(empty.lastBand, -1);
    EXPECT_EQ(empty.directivity[0][0][0], 0);
}

TEST_F(SpeakerInfoTest, TextWhereANumberBelongsEndsTheReadingQuietly) {
    Block broken = band(1);
    broken.value = [](int r, int c) {
        return r == 2 && c == 4 ? std::string("loud") : std::to_string(static_cast<int>(code(r, c, 1)));
    };
    SpeakerInfo speaker;
    EXPECT_TRUE(read(speaker, spk("2", {broken, band(2, "90")})));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(speaker.directivity[2][3][0], code(2, 3, 1) * 1000);
    EXPECT_EQ(speaker.directivity[2][4][0], 0);
    EXPECT_EQ(speaker.directivity[2][5][0], 0);
    EXPECT_EQ(speaker.lastBand, 0);
    EXPECT_EQ(speaker.bandPower[1], 1e11);
}

TEST_F(SpeakerInfoTest, ABandPowerThatIsNotFiniteKeepsTheBandsPower) {
    // 10^(4000/10) overflows a double; 10^(-4000/10) is 0, a valid (silent) power.
    SpeakerInfo speaker;
    ASSERT_TRUE(read(speaker, spk("3", {band(1, "4000"), band(2, "-4000"), band(3, "1e999")})));
    EXPECT_EQ(speaker.bandPower[0], 1e11);
    EXPECT_EQ(speaker.directivity[17][35][0], code(17, 35, 1) * 1000) << "the rest of the block is read";
    EXPECT_EQ(speaker.bandPower[1], 0.0);
    // 1e999 cannot be read as a double: the power stays and nothing after it is read.
    EXPECT_EQ(speaker.bandPower[2], 1e11);
    EXPECT_EQ(speaker.directivity[0][0][2], 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(SpeakerInfoTest, CabinetFacesFollowTheEntityListLine) {
    const std::string faces = " Face 0 1 3 0 0 0 1 0 0 0 1 0\n Face 0 2 3 0 0 1 1 0 1 0 1 1\nEnd\n";
    SpeakerInfo speaker;
    ASSERT_TRUE(read(speaker, spk("1", {band(1)}, "Cabinet follows, 2 faces\nentitylist\r\n" + faces)));
    EXPECT_EQ(speaker.geometry.count, 2u);
    EXPECT_TRUE(ui.boxes.empty());

    // The word must stand alone on its line.
    SpeakerInfo other;
    ASSERT_TRUE(read(other, spk("1", {band(1)}, "EntityList of the cabinet\n" + faces)));
    EXPECT_EQ(other.geometry.count, 0u);
}

TEST_F(SpeakerInfoTest, CabinetMessagesQuoteTheLinesOfTheSpeakerFile) {
    // The count stands on a line of its own after "Bands,": 6 header lines and
    // 24 block lines; the comment is line 31, EntityList 32, the face 33 and
    // the unknown word 34.
    EntityList::lineNumber = 77;
    SpeakerInfo speaker;
    ASSERT_TRUE(read(speaker, spk("\n1", {band(1)},
                                  "Cabinet\nEntityList\n Face 0 1 3 0 0 0 1 0 0 0 1 0\n Speaker 1 2 3\nEnd\n")));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Unknown entity in line 34: 'Speaker'"});
    EXPECT_EQ(speaker.geometry.count, 1u);
    EXPECT_EQ(EntityList::lineNumber, 77u) << "the counter of the file being read before is restored";
}

TEST_F(SpeakerInfoTest, LoadFindsTheFileAsNamed) {
    writeFile("speakers/horn.spk", spk("1", {band(3, "100")}));
    SpeakerInfo speaker;
    EXPECT_TRUE(speaker.load("speakers/horn.spk"));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(speaker.name.str(), "speakers/horn.spk");
    EXPECT_EQ(speaker.alias.str(), "");
    EXPECT_EQ(speaker.directivity[4][2][2], code(4, 2, 3) * 1000);
    EXPECT_DOUBLE_EQ(speaker.bandPower[2], 1e10);
}

TEST_F(SpeakerInfoTest, LoadFallsBackToTheModelFolder) {
    parameters.modelFile.assign("models/room.mod");
    writeFile("models/horn.spk", spk("1", {band(2)}));
    // The file-name part follows the last backslash, else the last slash, else the colon.
    for (const std::string name : {"C:\\audio/old\\horn.spk", "old/dir/horn.spk", "D:horn.spk"}) {
        ui.boxes.clear();
        SpeakerInfo speaker;
        EXPECT_TRUE(speaker.load(name)) << name;
        EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Warning: Can't load source \"" + name + "\":",
                                                        "Warning: Using \"models/horn.spk\""}));
        EXPECT_EQ(speaker.name.str(), name);
        EXPECT_EQ(speaker.alias.str(), "models/horn.spk");
        EXPECT_EQ(speaker.directivity[1][1][1], code(1, 1, 2) * 1000);
    }
}

TEST_F(SpeakerInfoTest, LoadWithoutAnyFileGivesTheOmnidirectionalSource) {
    parameters.modelFile.assign("models/room.mod");
    std::filesystem::create_directories("models/box.spk");
    std::filesystem::create_directories("box.spk");
    for (const std::string name : {"lost/horn.spk", "box.spk"}) {
        ui.boxes.clear();
        SpeakerInfo speaker;
        EXPECT_FALSE(speaker.load(name)) << "folders are no files: " << name;
        EXPECT_EQ(boxTexts(), omniWarnings(name));
        EXPECT_FALSE(speaker.loaded);
        EXPECT_EQ(speaker.name.str(), name);
        EXPECT_EQ(speaker.alias.str(), "omni.spk");
        EXPECT_EQ(speaker.firstBand, 0);
        EXPECT_EQ(speaker.lastBand, 9);
    }
}

TEST_F(SpeakerInfoTest, LoadMessagesNameTheFileAsGiven) {
    parameters.modelFile.assign("models/room.mod");
    writeFile("models/flat.spk", spk("0", {}));
    SpeakerInfo speaker;
    EXPECT_FALSE(speaker.load("x/flat.spk"));
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Warning: Can't load source \"x/flat.spk\":",
                                                    "Warning: Using \"models/flat.spk\"",
                                                    "Warning: No bands for source x/flat.spk",
                                                    "Warning: Using omnidirectional source at 110 dB"}));
    EXPECT_EQ(speaker.alias.str(), "models/flat.spk");
}

TEST_F(SpeakerInfoTest, OneLoudspeakerPerFileIgnoringCase) {
    writeFile("Horn.spk", spk("1", {band(1)}));
    SpeakerInfo* first = findOrLoadSpeaker("Horn.spk");
    SpeakerInfo* second = findOrLoadSpeaker("HORN.SPK");
    EXPECT_EQ(first, second);
    EXPECT_EQ(speakerList().count(), 1);
    EXPECT_EQ(first->name.str(), "Horn.spk");
    EXPECT_TRUE(first->loaded);

    // A missing file is tried once: its warnings appear once, and the entry is kept.
    SpeakerInfo* lost = findOrLoadSpeaker("lost.spk");
    EXPECT_EQ(findOrLoadSpeaker("LOST.spk"), lost);
    EXPECT_NE(lost, first);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(boxTexts(), omniWarnings("lost.spk"));
    EXPECT_EQ(speakerList().count(), 2);
}

TEST_F(SpeakerInfoTest, TheListIsSearchedFromItsLastSlot) {
    auto lower = std::make_unique<SpeakerInfo>();
    lower->name.assign("a.spk");
    auto upper = std::make_unique<SpeakerInfo>();
    upper->name.assign("A.SPK");
    SpeakerInfo* expected = upper.get();
    speakerList().put(std::move(lower));
    speakerList().put(std::move(upper));
    EXPECT_EQ(findOrLoadSpeaker("a.spk"), expected);
    EXPECT_TRUE(ui.boxes.empty()) << "nothing loaded";
}

TEST_F(SpeakerInfoTest, TheListGrowsByHalfAndIsCleared) {
    // Four slots; the fifth loudspeaker grows the list to 4 * 3 / 2 + 1 = 7.
    for (int i = 0; i < 5; ++i) findOrLoadSpeaker("s" + std::to_string(i) + ".spk");
    EXPECT_EQ(speakerList().count(), 5);
    EXPECT_EQ(speakerList().capacity(), 7);
    EXPECT_EQ(speakerList().at(4)->name.str(), "s4.spk");
    clearSpeakers();
    EXPECT_EQ(speakerList().count(), 0);
    EXPECT_EQ(speakerList().at(0), nullptr);
}

}  // namespace
