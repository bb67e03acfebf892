#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "acoustics/PlacedSource.h"
#include "support/UiFixture.h"

namespace {

constexpr double degree = std::numbers::pi / 180;

/// The value written for row r, column c of band number n (1-10): every entry differs.
int code(int r, int c, int n) { return r * 10000 + c * 100 + n; }

/// A .spk text with a block for each band number in bands, at the level levels[i] dB;
/// the directivity values are code() but for the entries of special, written as given.
struct Special {
    int row, column, number;
    std::string text;
};
std::string spk(const std::vector<int>& bands, const std::vector<std::string>& levels,
                const std::vector<Special>& special = {}) {
    std::string text = "Speaker\nfree, text\n\n\nBands," + std::to_string(bands.size()) + "\n";
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const int n = bands[i];
        text += "Band," + std::to_string(n) + "\nfree\nPower,dB," + levels[i] + "\na\nb\nc\n";
        for (int r = 0; r < SpeakerInfo::rowCount; ++r) {
            text += "Plane,0";
            for (int c = 0; c < SpeakerInfo::columnCount; ++c) {
                std::string value = std::to_string(code(r, c, n));
                for (const Special& s : special)
                    if (s.row == r && s.column == c && s.number == n) value = s.text;
                text += "," + value;
            }
            text += "\n";
        }
    }
    return text;
}

/// The unit direction at angle theta from +X, in the plane turned phi from +Y toward +Z (degrees).
Vector fromX(double theta, double phi) {
    return {std::cos(theta * degree), std::sin(theta * degree) * std::cos(phi * degree),
            std::sin(theta * degree) * std::sin(phi * degree)};
}

using Index = std::pair<int, int>;

class PlacedSourceTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        clearSpeakers();
        // All ten bands at 0 dB (power 1) but band 3 at 20 dB (power 100).
        std::vector<std::string> levels(10, "0");
        levels[2] = "20";
        writeFile("full.spk", spk({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, levels,
                                  {{4, 3, 1, "0.0005"}, {4, 3, 2, "-2.5"}, {4, 3, 3, "0.25"}}));
    }
    void TearDown() override {
        clearSpeakers();
        UiFixture::TearDown();
    }

    /// A source at the origin aimed at aim, with the full loudspeaker.
    static PlacedSource aimedAt(const Coord& aim, double roll = 0) {
        return PlacedSource(ORIGIN, aim, "full.spk", roll);
    }

    /// What writeDescription writes.
    static std::string description(const PlacedSource& source) {
        std::ostringstream out;
        source.writeDescription(out);
        return out.str();
    }
};

TEST_F(PlacedSourceTest, AimedAtAPointTheAxisPointsThere) {
    const PlacedSource source(Coord(1, 2, 3), Coord(4, 6, 3), "full.spk", 22.5);
    EXPECT_EQ(source.axis.origin.x, 1);
    EXPECT_EQ(source.axis.origin.y, 2);
    EXPECT_EQ(source.axis.origin.z, 3);
    // (3, 4, 0) / 5
    EXPECT_DOUBLE_EQ(source.axis.x, 0.6);
    EXPECT_DOUBLE_EQ(source.axis.y, 0.8);
    EXPECT_EQ(source.axis.z, 0);
    EXPECT_EQ(source.roll, 22.5);
    EXPECT_EQ(source.processingTime, 0);
    ASSERT_NE(source.speaker, nullptr);
    EXPECT_TRUE(source.speaker->loaded);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PlacedSourceTest, AimedAtItselfTheAxisIsPlusX) {
    const PlacedSource source(Coord(1, 2, 3), Coord(1 + 9e-7, 2 - 9e-7, 3 + 9e-7), "full.spk", 0);
    EXPECT_EQ(source.axis.x, 1);
    EXPECT_EQ(source.axis.y, 0);
    EXPECT_EQ(source.axis.z, 0);
}

TEST_F(PlacedSourceTest, AimedStraightUpOrDownTheAxisLeansTowardPlusX) {
    // Toward (0.01, 2, 8) from (0, 2, 3): (0.01, 0, 5) / sqrt(25.0001) = (0.001999996, 0, 0.999998).
    const PlacedSource up(Coord(0, 2, 3), Coord(0, 2, 8), "full.spk", 0);
    EXPECT_NEAR(up.axis.x, 0.01 / std::sqrt(25.0001), 1e-15);
    EXPECT_EQ(up.axis.y, 0);
    EXPECT_NEAR(up.axis.z, 5 / std::sqrt(25.0001), 1e-15);
    EXPECT_EQ(up.axis.origin.z, 3);

    // (0.01, 0, -2) / sqrt(4.0001)
    const PlacedSource down(Coord(0, 2, 3), Coord(0, 2, 1), "full.spk", 0);
    EXPECT_NEAR(down.axis.x, 0.01 / std::sqrt(4.0001), 1e-15);
    EXPECT_NEAR(down.axis.z, -2 / std::sqrt(4.0001), 1e-15);

    // Only an exactly vertical aim leans: 1e-9 off in x is aimed at as it stands, (1e-9, 0, 5) / 5.
    const PlacedSource nearly(Coord(1, 2, 3), Coord(1 + 1e-9, 2, 8), "full.spk", 0);
    EXPECT_NEAR(nearly.axis.x, 2e-10, 1e-15);
    EXPECT_DOUBLE_EQ(nearly.axis.z, 1);
}

TEST_F(PlacedSourceTest, SourcesNamingOneFileShareItsLoudspeaker) {
    writeFile("Horn.spk", spk({1}, {"90"}));
    const PlacedSource a(ORIGIN, Coord(1, 0, 0), "Horn.spk", 0);
    const PlacedSource b(Coord(5, 5, 5), Coord(1, 0, 0), "hORN.SPK", 0);
    EXPECT_EQ(a.speaker, b.speaker);
    EXPECT_EQ(speakerList().count(), 1);
}

TEST_F(PlacedSourceTest, ColumnIsTheAngleFromTheAxisRoundedToTenDegrees) {
    const PlacedSource source = aimedAt(Coord(2, 0, 0));
    EXPECT_EQ(source.directivityIndex(X_AXIS), Index(0, 0));
    EXPECT_EQ(source.directivityIndex(Vector(-1, 0, 0)), Index(0, 18));
    EXPECT_EQ(source.directivityIndex(fromX(30, 40)), Index(4, 3));
    // 14° is 1.4 columns: 1; 16° is 1.6: 2 (not truncated); 176° is 17.6: 18.
    EXPECT_EQ(source.directivityIndex(fromX(14, 0)), Index(0, 1));
    EXPECT_EQ(source.directivityIndex(fromX(16, 0)), Index(0, 2));
    EXPECT_EQ(source.directivityIndex(fromX(176, 0)), Index(0, 18));
}

TEST_F(PlacedSourceTest, RowIsTheMeridianPlaneFromYTowardZ) {
    const PlacedSource source = aimedAt(Coord(2, 0, 0));
    EXPECT_EQ(source.directivityIndex(fromX(50, 34)), Index(3, 5));   // 3.4 rows: 3
    EXPECT_EQ(source.directivityIndex(fromX(50, 36)), Index(4, 5));   // 3.6: 4
    EXPECT_EQ(source.directivityIndex(fromX(50, 170)), Index(17, 5));
    // Below -5° and from 175° on, the direction lies in the other half of a plane: the column mirrors.
    EXPECT_EQ(source.directivityIndex(fromX(30, -40)), Index(14, 33));  // row -4 + 18, column 36 - 3
    EXPECT_EQ(source.directivityIndex(fromX(30, 178)), Index(0, 33));   // row 18 - 18
    EXPECT_EQ(source.directivityIndex(fromX(90, -90)), Index(9, 27));   // -Z: row -9 + 18
}

TEST_F(PlacedSourceTest, RowsFollowTheFrameOfAnyAxis) {
    // Axis +Y: the frame's Y is (-1, 0, 0) and its Z is +Z.
    const PlacedSource alongY = aimedAt(Coord(0, 5, 0));
    EXPECT_EQ(alongY.directivityIndex(Vector(-1, 0, 0)), Index(0, 9));
    EXPECT_EQ(alongY.directivityIndex(Z_AXIS), Index(9, 9));
    EXPECT_EQ(alongY.directivityIndex(X_AXIS), Index(0, 27));  // the plane at 180°: row 18 folds to 0

    // Axis (1, 0, 1)/√2: the frame's Y is +Y and its Z is (-1, 0, 1)/√2.
    const PlacedSource tilted = aimedAt(Coord(3, 0, 3));
    const double s = std::sqrt(0.5);
    EXPECT_EQ(tilted.directivityIndex(Vector(-s, 0, s)), Index(9, 9));
    EXPECT_EQ(tilted.directivityIndex(Vector(s, 0, -s)), Index(9, 27));
    EXPECT_EQ(tilted.directivityIndex(Y_AXIS), Index(0, 9));
    EXPECT_EQ(tilted.directivityIndex(Vector(0, -1, 0)), Index(0, 27));
}

TEST_F(PlacedSourceTest, RollTurnsTheRowsAndFoldsHalfTurns) {
    const Vector v = fromX(30, 40);  // row 4, column 3 without roll
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), 30).directivityIndex(v), Index(7, 3));
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), 180).directivityIndex(v), Index(4, 33));   // 22: one half turn
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), 360).directivityIndex(v), Index(4, 3));    // 40: two
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), -220).directivityIndex(v), Index(0, 33));  // -18: one back
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), -230).directivityIndex(v), Index(17, 3));  // -19: two back
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), -400).directivityIndex(v), Index(0, 3));   // -36: two back
    // Along the axis the column stays 0 whatever the half turns: 36 - 0 is column 0 again.
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), 180).directivityIndex(X_AXIS), Index(0, 0));
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), 94).directivityIndex(X_AXIS), Index(9, 0));
}

TEST_F(PlacedSourceTest, RowRoundingTakesHalvesAwayFromZero) {
    // Along +Y (column 9, plane angle 0) the row is roll * 0.1 exactly.
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), 15).directivityIndex(Y_AXIS), Index(2, 9));
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), 25).directivityIndex(Y_AXIS), Index(3, 9));    // not 2 (halves to even)
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), -25).directivityIndex(Y_AXIS), Index(15, 27));  // -3, not -2
    EXPECT_EQ(aimedAt(Coord(1, 0, 0), -5).directivityIndex(Y_AXIS), Index(17, 27));   // -1, not 0
}

TEST_F(PlacedSourceTest, AVerticalAxisHasOnlyRowZeroBeforeRoll) {
    // The constructor never makes one, but a vertical axis must still index the table.
    // (0.6, -0.8, 0) gives the plane components 0 and -0, whose atan2 would be 180°.
    PlacedSource source = aimedAt(Coord(1, 0, 0));
    source.axis.direction() = Versor::unnormalised(Vector(0, 0, 1));
    EXPECT_EQ(source.directivityIndex(Vector(0.6, -0.8, 0)), Index(0, 9));
    EXPECT_EQ(source.directivityIndex(Vector(0, 0, -1)), Index(0, 18));
    source.roll = 30;
    EXPECT_EQ(source.directivityIndex(Vector(0.6, -0.8, 0)), Index(3, 9));
}

TEST_F(PlacedSourceTest, DotProductsJustPastOneStillGiveAColumn) {
    // (1, 1, 1) normalised has a dot product with itself of 1 + 2^-52.
    const PlacedSource source = aimedAt(Coord(1, 1, 1));
    const Vector d = source.axis;
    ASSERT_GT(dot(d, d), 1.0);
    EXPECT_EQ(source.directivityIndex(d), Index(0, 0));
    EXPECT_EQ(source.directivityIndex(-d), Index(0, 18));
    const BandEnergies back = source.radiatedEnergy(-d);
    EXPECT_EQ(back[0], code(0, 18, 1));
}

TEST_F(PlacedSourceTest, EnergyIsTheTableValueTimesTheBandPower) {
    const PlacedSource source = aimedAt(Coord(1, 0, 0));
    // Row 7, column 12 in every band; band 3 (index 2) has power 100.
    const BandEnergies e = source.radiatedEnergy(fromX(120, 70));
    for (int b = 0; b < 10; ++b) EXPECT_EQ(e[b], code(7, 12, b + 1) * (b == 2 ? 100.0f : 1.0f)) << b;

    // Row 4, column 3: 0.0005 is stored as 0 and radiates nothing, -2.5 radiates -2.5, 0.25 × 100 = 25.
    const BandEnergies special = source.radiatedEnergy(fromX(30, 40));
    EXPECT_EQ(special[0], 0.0f);
    EXPECT_EQ(special[1], -2.5f);
    EXPECT_EQ(special[2], 25.0f);
    EXPECT_EQ(special[3], code(4, 3, 4));
}

TEST_F(PlacedSourceTest, BandsMissingFromTheFileRadiateNothing) {
    writeFile("two.spk", spk({2, 7}, {"30", "10"}));
    const PlacedSource source(ORIGIN, Coord(1, 0, 0), "two.spk", 0);
    const BandEnergies e = source.radiatedEnergy(fromX(30, 40));
    // code(4, 3, n) = 40300 + n, times 10^3 and 10^1.
    const BandEnergies expected = {0, 40302e3f, 0, 0, 0, 0, 403070, 0, 0, 0};
    EXPECT_EQ(e, expected);
}

TEST_F(PlacedSourceTest, AnUnloadedLoudspeakerRadiates110dBEverywhere) {
    const PlacedSource source(ORIGIN, Coord(0, 1, 0), "missing.spk", 45);
    for (const Vector& v : {Vector(0, 1, 0), Vector(0, -1, 0), fromX(30, 40)}) {
        const BandEnergies e = source.radiatedEnergy(v);
        for (float value : e) EXPECT_EQ(value, 1e11f);
    }
}

TEST_F(PlacedSourceTest, DescriptionOfALoadedLoudspeaker) {
    writeFile("some.spk", spk({1, 2, 3, 5}, {"85", "91.5", "100.25", "-4000"}));
    PlacedSource source(Coord(1.5, -2, 1e-7), Coord(4.5, 2, 1e-7), "some.spk", 22.5);
    source.speaker->name.assign("D:\\audio\\some.spk");  // as a model from another system would name it
    source.processingTime = 3723000;
    // Band 4 is not in the file: 110 dB; band 5 at -4000 dB has power 0: -999.9.
    // (3, 4, 0) / 5 is the direction; 3 723 s = 1 h 2 min 3 s.
    EXPECT_EQ(description(source), "Name       = \\audio\\some.spk\n"
                                   "Power      = 85 91.5 100.25 110 -999.9 110 110 110 110 110\n"
                                   "Position   = 1.5 -2 1e-07\n"
                                   "Direction  = 0.6 0.8 0\n"
                                   "Roll angle = 22.5\n"
                                   "First band = 0 (31.5Hz)\n"
                                   "Last band  = 4 (500Hz)\n"
                                   "Processing = 01:02:03\n");
}

TEST_F(PlacedSourceTest, DescriptionOfAnOmnidirectionalSource) {
    PlacedSource source(Coord(0, 0, 1), Coord(0, 0, 1), "ab:lost.spk", -90);
    source.processingTime = 999;  // under a second, but a time: 00:00:00
    EXPECT_EQ(description(source), "Name       = ab:lost.spk\n"
                                   "Alias      = omni.spk\n"
                                   "Power      = 110 110 110 110 110 110 110 110 110 110\n"
                                   "Position   = 0 0 1\n"
                                   "Direction  = 1 0 0\n"
                                   "Roll angle = -90\n"
                                   "First band = 0 (31.5Hz)\n"
                                   "Last band  = 9 (16KHz)\n"
                                   "Processing = 00:00:00\n");
}

TEST_F(PlacedSourceTest, DescriptionAfterABandOutOfRange) {
    writeFile("bad.spk", "a\nb\nc\nd\nBands,1\nBand,12\n");
    PlacedSource source(ORIGIN, Coord(1, 0, 0), "bad.spk", 0);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Frequency band 12 out of range (max 10)"});
    // processingTime 0 writes no processing line.
    const std::string text = description(source);
    EXPECT_NE(text.find("\nFirst band = -1 (0Hz)\nLast band  = -1 (0Hz)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Processing"), std::string::npos);
    EXPECT_EQ(text.find("Alias"), std::string::npos);

    // Indexes 10 and 11 label the sums, which are no frequencies: no "Hz".
    source.speaker->firstBand = 10;
    source.speaker->lastBand = 11;
    EXPECT_NE(description(source).find("\nFirst band = 10 (L)\nLast band  = 11 (A)\n"), std::string::npos);
}

TEST_F(PlacedSourceTest, DescriptionLinesAreFlushedOneByOne) {
    // A buffer that notes what it holds at every flush.
    struct Recorder : std::stringbuf {
        std::vector<std::string> flushed;
        int sync() override {
            flushed.push_back(str());
            return 0;
        }
    } buffer;
    std::ostream out(&buffer);
    PlacedSource source(ORIGIN, Coord(1, 0, 0), "full.spk", 0);
    source.processingTime = 60000;
    source.writeDescription(out);
    ASSERT_EQ(buffer.flushed.size(), 8u);  // name, power, position, direction, roll, two bands, processing
    EXPECT_EQ(buffer.flushed[0], "Name       = full.spk\n");
    for (std::size_t i = 0; i < buffer.flushed.size(); ++i) {
        const std::string& text = buffer.flushed[i];
        EXPECT_EQ(text.back(), '\n') << i;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(i + 1)) << i;
    }
    EXPECT_EQ(buffer.flushed.back().substr(buffer.flushed[6].size()), "Processing = 00:01:00\n");
}

}  // namespace
