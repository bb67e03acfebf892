#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <sstream>

#include "acoustics/PlacedSource.h"
#include "support/UiFixture.h"

namespace {

using SpeakerInfoTest = UiFixture;
using PlacedSourceTest = UiFixture;
using Blocks = std::vector<std::pair<std::string, std::string>>;

// The value written for row r, column c of band number n: every entry differs, so one read into a
// wrong row, column or band shows.
int code(int r, int c, int n) { return r * 10000 + c * 100 + n; }

// A .spk text announcing count bands, with a block per {band number, level} holding code() of the
// number, free text with commas wherever the reader skips, and tail after the blocks.
std::string spk(const std::string& count, const Blocks& blocks, const std::string& tail = "") {
    std::string text = "Loudspeaker, test, 1\nMaker, none\n\nMeasured, 2026\nBands," + count + " blocks\n";
    for (const auto& [number, level] : blocks) {
        text += "Band," + number + " (octave, centre)\nFree, text\nPower,dB," + level + " re 1 pW\nA, 10\nB, c\nC, d\n";
        for (int r = 0; r < SpeakerInfo::rowCount; ++r, text += r == 1 ? " end of row\n" : "\n") {
            text.append("Plane ").append(std::to_string(r)).append(",").append(std::to_string(10 * r));
            for (int c = 0; c < SpeakerInfo::columnCount; ++c)
                text.append(",").append(std::to_string(code(r, c, std::atoi(number.c_str()))));
        }
    }
    return text + tail;
}
// text with the value code(r, c, n), not in the last column, written as value.
std::string patched(std::string text, int r, int c, int n, const std::string& value) {
    const std::string old = std::to_string(code(r, c, n));
    return text.replace(text.find(',' + old + ',') + 1, old.size(), value);
}
const std::string omni = "Warning: Using omnidirectional source at 110 dB";
bool read(SpeakerInfo& speaker, const std::string& text) {
    std::istringstream in(text);
    return speaker.read(in, "x.spk");
}
// Blocks for the band numbers 1 to count, at 70 dB.
Blocks bands(int count) {
    Blocks blocks;
    for (int n = 1; n <= count; ++n) blocks.push_back({std::to_string(n), "70"});
    return blocks;
}

TEST_F(SpeakerInfoTest, EveryValueLandsAsThousandthsTruncatedTowardZeroAtItsRowColumnAndBand) {
    const std::pair<std::string, std::int32_t> special[] = {{"0.0007", 0} /* not rounded */, {"-1.2345", -1234},
        {"2.0019", 2001}, {"-0.0009", 0}, {"1e300", INT32_MAX}, {"-1e300", INT32_MIN}, {" 3.5", 3500}};
    std::string text = spk("3", {{"1", "90"}, {"4", "-30"}, {"10", "123"}});
    for (int c = 0; c < 7; ++c) text = patched(text, 1, c, 4, special[c].first);
    SpeakerInfo speaker;
    for (auto& row : speaker.directivity) for (auto& column : row) column.fill(7);  // bands without a block: 0
    ASSERT_TRUE(read(speaker, text));
    EXPECT_EQ(std::make_pair(speaker.firstBand, speaker.lastBand), std::make_pair(0, 9));
    for (int r = 0; r < SpeakerInfo::rowCount; ++r)
        for (int c = 0; c < SpeakerInfo::columnCount; ++c)
            for (int b = 0; b < bandCount; ++b)
                ASSERT_EQ(speaker.directivity[r][c][b], b == 3 && r == 1 && c < 7 ? special[c].second
                                                        : b == 0 || b == 3 || b == 9 ? code(r, c, b + 1) * 1000 : 0)
                    << r << ", " << c << ", " << b;
    // 10^(Lw / 10); the bands without a block keep 110 dB.
    const double powers[bandCount] = {1e9, 1e11, 1e11, 1e-3, 1e11, 1e11, 1e11, 1e11, 1e11, std::pow(10, 12.3)};
    for (int b = 0; b < bandCount; ++b) EXPECT_DOUBLE_EQ(speaker.bandPower[b], powers[b]) << b;
}

TEST_F(SpeakerInfoTest, MessagesOfFilesNotUsedWhole) {
    const std::string noBands = "Warning: No bands for source x.spk", two = spk("2", {{"1", "0"}, {"2", "0"}}),
                      badLine = "Warning: Can't read the band number in line ";
    const auto edit = [&](std::string a, const char* b) { return std::string(two).replace(two.find(a), a.size(), b); };
    const struct { std::string text; bool loaded; std::vector<std::string> boxes; } cases[] = {
        {spk("0", {{"1", "0"}}), false, {noBands, omni}},
        {spk("many", {{"1", "0"}}), false, {noBands, omni}},
        {spk("12", bands(11)), true, {"Warning: Too many bands for source x.spk"}},  // band 11 is not read
        {spk("1", {{"11", "0"}}), false, {"Error: Frequency band 11 out of range (max 10)"}},
        {spk("2", {{"3", "0"}, {"-0.5", "0"}}), false, {"Error: Frequency band 0 out of range (max 10)"}},
        {edit("Band,1 (octave, centre)", "Band 1"), false, {badLine + "6 of x.spk", omni}},
        {edit("Band,2 (octave, centre)\nFree, text", "Band 2\nFree,2"), false, {badLine + "30 of x.spk", omni}},
        // The cabinet follows EntityList alone on its line, in any case; 6 + 24 + 3 lines before the unknown word.
        {spk("\n1", {{"1", "0"}}, "Cabinet\nentitylist\r\n Face 0 1 3 0 0 0 1 0 0 0 1 0\n Speaker 1 2 3\nEnd\n"), true,
         {"Warning: Unknown entity in line 34: 'Speaker'", "Warning: The unknown entity 'Speaker' is in line 34 of the file"}},
        {spk("1", {{"1", "0"}}, "Cabinet\nEntityList, 1\n Speaker 1 2 3\nEnd\n"), true, {}}};
    for (const auto& c : cases) {
        ui.boxes.clear();
        EntityList::lineNumber = 77;
        SpeakerInfo speaker;
        EXPECT_EQ(read(speaker, c.text), c.loaded) << c.text.substr(0, 200);
        EXPECT_EQ(boxTexts(), c.boxes);
        EXPECT_EQ(EntityList::lineNumber, 77u) << "the count of the file being read before is given back";
    }
}

TEST_F(SpeakerInfoTest, WhatIsKeptWhenTheBlocksEndEarly) {
    const std::string cut = spk("2", {{"6", "90"}});
    struct Case { const char* what; std::string text; int first, last, r, c, b, value, band; double power; };
    const Case cases[] = {
        {"a count of 2.9", spk("2.9", {{"1", "0"}, {"2", "0"}, {"3", "80"}}), 0, 1, 5, 5, 2, 0, 2, 1e11},
        {"more than ten", spk("12", bands(11)), 0, 9, 17, 35, 9, code(17, 35, 10) * 1000, 9, 1e7},
        {"a later band out of range", spk("2", {{"3", "90"}, {"0", "0"}}), 2, 2, 0, 0, 2, 3000, 2, 1e9},
        {"repeats", spk("3", {{"5", "90"}, {"10.9", "0"}, {"5", "60"}}), 4, 4, 3, 7, 9, code(3, 7, 10) * 1000, 4, 1e6},
        {"ends in a block", cut.substr(0, cut.find("Plane 10,")), 5, 5, 9, 35, 5, code(9, 35, 6) * 1000, 5, 1e9},
        {"nothing after the count", "a\nb\nc\nd\nBands,3\n", -1, -1, 0, 0, 0, 0, 0, 1e11},
        {"text for a number", patched(spk("2", {{"1", "0"}, {"2", "90"}}), 2, 4, 1, "loud"), 0, 0, 2, 5, 0, 0, 1, 1e11},
        {"a power too large", spk("1", {{"1", "4000"}}), 0, 0, 17, 35, 0, code(17, 35, 1) * 1000, 0, 1e11},
        {"an unreadable power", spk("2", {{"1", "1e999"}, {"2", "0"}}), 0, 0, 0, 0, 0, 0, 0, 1e11}};
    for (const auto& c : cases) {
        SpeakerInfo speaker;
        read(speaker, c.text);
        EXPECT_EQ(std::make_pair(speaker.firstBand, speaker.lastBand), std::make_pair(c.first, c.last)) << c.what;
        EXPECT_EQ(speaker.directivity[c.r][c.c][c.b], c.value) << c.what;
        EXPECT_EQ(speaker.bandPower[c.band], c.power) << c.what;
    }
}

TEST_F(SpeakerInfoTest, LoadReadsTheFileAsNamedElseTheOneBesideTheModelOncePerName) {
    parameters.modelFile.assign("models/room.mod");
    writeFile("speakers/horn.spk", spk("1", {{"3", "0"}}));
    writeFile("models/horn.spk", spk("1", {{"2", "0"}}));
    writeFile("models/flat.spk", spk("0", {}));
    for (const char* folder : {"models/box.spk", "box.spk"}) std::filesystem::create_directories(folder);  // no files
    // The first band tells the file read: 2 as named, 1 beside the model, 0 (as before) none.
    const struct { std::string name, alias; int first; std::vector<std::string> boxes; } cases[] = {
        {"speakers/horn.spk", "", 2, {}},
        {"C:\\audio/old\\horn.spk", "models/horn.spk", 1, {"Warning: Using \"models/horn.spk\""}},
        {"x/flat.spk", "models/flat.spk", 0,
         {"Warning: Using \"models/flat.spk\"", "Warning: No bands for source x/flat.spk", omni}},
        {"lost/gone.spk", "omni.spk", 0, {omni}},
        {"box.spk", "omni.spk", 0, {omni}}};
    for (const auto& c : cases) {
        ui.boxes.clear();
        SpeakerInfo speaker;
        EXPECT_EQ(speaker.load(c.name), c.first > 0) << c.name;
        EXPECT_EQ(speaker.name.str() + " " + speaker.alias.str() + " " + std::to_string(speaker.firstBand),
                  c.name + " " + c.alias + " " + std::to_string(c.first));
        std::vector<std::string> boxes = c.boxes;
        if (!c.alias.empty()) boxes.insert(boxes.begin(), "Warning: Can't load source \"" + c.name + "\":");
        EXPECT_EQ(boxTexts(), boxes);
    }
    ui.boxes.clear();  // one loudspeaker per file name, ignoring case; a missing file is tried once
    SpeakerInfo *horn = findOrLoadSpeaker("speakers/horn.spk"), *lost = findOrLoadSpeaker("lost.spk");
    EXPECT_TRUE(horn->loaded && horn != lost && findOrLoadSpeaker("LOST.spk") == lost);
    EXPECT_EQ(findOrLoadSpeaker("SPEAKERS/Horn.SPK"), horn);
    EXPECT_EQ(boxTexts().size(), 2u);
}

// A source at the origin whose loudspeaker has ten bands at 70 dB but band 3 at 90 dB.
PlacedSource aimedAt(const Coord& aim, double roll = 0) {
    Blocks blocks = bands(bandCount);
    blocks[2].second = "90";
    std::ofstream("full.spk") << patched(spk("10", blocks), 4, 3, 2, "-2.5");  // a negative value radiates too
    return PlacedSource(ORIGIN, aim, "full.spk", roll);
}
// The unit direction at theta degrees from +X, in the plane turned phi degrees from +Y toward +Z.
Vector fromX(double theta, double phi) {
    const double t = theta * std::numbers::pi / 180, p = phi * std::numbers::pi / 180;
    return {std::cos(t), std::sin(t) * std::cos(p), std::sin(t) * std::sin(p)};
}

TEST_F(PlacedSourceTest, DirectivityEntryOfADirection) {
    // Column: the angle from the axis in tens of degrees, rounded. Row: the plane from the frame's +Y toward +Z plus
    // the roll, in tens of degrees, halves away from zero; past 180° it is the other half of the plane 180° less,
    // with the column mirrored (36 - column). Frames: axis +Y: Y -X, Z +Z; axis (1, 0, 1)/√2: Y +Y, Z (-1, 0, 1)/√2.
    const double s = std::sqrt(0.5);
    const Coord y{0, 1, 0}, xz{1, 0, 1}, xyz{1, 1, 1};
    const struct { Vector v; int row, column; double roll = 0; Coord aim = {1, 0, 0}; } cases[] = {
        {fromX(14, 0), 0, 1}, {fromX(16, 0), 0, 2}, {fromX(50, 34), 3, 5}, {fromX(50, 36), 4, 5},
        {fromX(50, 170), 17, 5}, {fromX(30, -40), 14, 33}, {fromX(30, 178), 0, 33}, {{-1, 0, 0}, 0, 9, 0, y},
        {Z_AXIS, 9, 9, 0, y}, {{-s, 0, s}, 9, 9, 0, xz}, {fromX(30, 40), 7, 3, 30}, {fromX(30, 40), 4, 33, 180},
        {X_AXIS, 0, 0, 180}, {fromX(30, 40), 0, 33, -220}, {fromX(30, 40), 17, 3, -230}, {Y_AXIS, 3, 9, 25},
        {Y_AXIS, 15, 27, -25}, {Y_AXIS, 17, 27, -5}, {Versor(1, 1, 1), 0, 0, 0, xyz} /* dot with itself past 1 */,
        {Versor(-1, -1, -1), 0, 18, 0, xyz}};
    for (const auto& c : cases)
        EXPECT_EQ(aimedAt(c.aim, c.roll).directivityIndex(c.v), std::make_pair(c.row, c.column))
            << c.v.x << " " << c.v.y << " " << c.v.z << ", roll " << c.roll;
    // A vertical axis (never built, but possible) has no plane but the roll, whatever the sign of a zero.
    PlacedSource vertical = aimedAt(Coord(1, 0, 0), 30);
    vertical.axis.direction() = Versor::unnormalised(Z_AXIS);
    EXPECT_EQ(vertical.directivityIndex(Vector(0.6, -0.8, 0)), std::make_pair(3, 9));
}

TEST_F(PlacedSourceTest, EnergyIsTheTableEntryTimesTheBandPower) {
    const BandEnergies e = aimedAt(Coord(1, 0, 0)).radiatedEnergy(fromX(30, 40));  // row 4, column 3
    for (int b = 0; b < bandCount; ++b)
        EXPECT_EQ(e[b], (b == 1 ? -2.5f : code(4, 3, b + 1)) * (b == 2 ? 1e9f : 1e7f)) << b;
    const PlacedSource omni(ORIGIN, Coord(0, 1, 0), "missing.spk", 45);  // 110 dB everywhere
    for (float energy : omni.radiatedEnergy(fromX(30, 40))) EXPECT_EQ(energy, 1e11f);
}

TEST_F(PlacedSourceTest, DescriptionsAreWrittenAndFlushedLineByLine) {
    writeFile("some.spk", spk("4", {{"1", "85"}, {"2", "91.5"}, {"3", "100.25"}, {"5", "-4000"}}));
    PlacedSource some(Coord(1.5, -2, 1e-7), Coord(4.5, 2, 1e-7), "some.spk", 22.5);
    some.speaker->name.assign("D:\\audio\\some.spk");  // a drive letter is dropped
    some.processingTime = 3723000;                     // 1 h 2 min 3 s
    PlacedSource lost(Coord(0, 0, 1), Coord(0, 0, 1), "ab:lost.spk", -90);
    lost.processingTime = 999;  // under a second, but a time
    writeFile("bad.spk", "a\nb\nc\nd\nBands,1\nBand,12\n");
    // No band read, no processing time; aimed straight up: at 0.01 along +X beside the aim point; 1e-9 off: as is.
    PlacedSource bad(Coord(0, 2, 3), Coord(0, 2, 8), "bad.spk", 0), off(Coord(1, 2, 3), {1 + 1e-9, 2, 8}, "bad.spk", 0);
    struct : std::stringbuf { long flushes = 0; int sync() override { return ++flushes, 0; } } buffer;
    std::ostream out(&buffer);
    for (const PlacedSource* source : {&some, &lost, &bad, &off}) source->writeDescription(out);
    const std::string text = buffer.str();
    EXPECT_EQ(text, readFile(TOLVENO_TEST_DATA "/acoustics/golden/source-descriptions.txt"));
    EXPECT_EQ(buffer.flushes, std::count(text.begin(), text.end(), '\n')) << "one flush per line";
}

}  // namespace
