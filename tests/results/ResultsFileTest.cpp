#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <cctype>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "results/ResultsFile.h"
#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"
#include "ui/RunMonitor.h"

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

/// The text of one section: from its heading up to (not including) the next heading or the end.
std::string section(const std::string& text, const std::string& heading) {
    const std::size_t start = text.find(heading + "\n");
    if (start == std::string::npos) return "";
    const std::size_t next = text.find("\n[", start + heading.size());
    return text.substr(start, next == std::string::npos ? std::string::npos : next + 1 - start);
}

/// Every line of text that starts with prefix.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : splitLines(text))
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

/// True for the compiler's build-date form "Dec  6 2016": month, day padded with a blank to two places, year.
bool isBuildDate(const std::string& text) {
    static const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const auto digit = [&text](std::size_t i) { return std::isdigit(static_cast<unsigned char>(text[i])) != 0; };
    if (text.size() != 11 || text[3] != ' ' || text[6] != ' ') return false;
    const std::size_t month = months.find(text.substr(0, 3));
    if (month == std::string::npos || month % 3 != 0) return false;
    if (!(text[4] == ' ' || (text[4] >= '1' && text[4] <= '3')) || !digit(5)) return false;
    return digit(7) && digit(8) && digit(9) && digit(10);
}

/// True for the form "12:16:07".
bool isClockTime(const std::string& text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
    for (std::size_t i : {0, 1, 3, 4, 6, 7})
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

}  // namespace

class ResultsFileTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.modelFile.assign("room.ray");
        parameters.author = "Quarlen";
        parameters.Time = 0.003;  // three classes and the last row: four rows
        parameters.Precision = 0.001;
    }

    void load(const std::string& body) {
        std::istringstream in("EntityList\n" + body + "End\n");
        model.load(in);
        // Loading reports the loudspeaker files it does not find; the tests look at what writing reports.
        ui.boxes.clear();
    }

    /// A source at (1, 2, 3) facing +x whose loudspeaker file does not exist (omnidirectional 110 dB).
    void addSources(int count) {
        for (int i = 0; i < count; ++i) model.sources.emplace_back(Coord(1, 2, 3), Coord(2, 2, 3), "omni-test.spk", 0);
        ui.boxes.clear();
    }

    static RunStatistics statistics(unsigned sourceIndex = 0) {
        RunStatistics s;
        s.sourceIndex = sourceIndex;
        s.escapedCount = 5;
        s.edgeHitCount = 6;
        s.meanFreePath = 12.3456789;
        s.standardDeviation = 2.5;
        s.meanHistory = 7.25;
        s.processingTime = "00:01:02";
        return s;
    }

    static std::string parametersText() {
        std::ostringstream out;
        writeParameters(out);
        return out.str();
    }

    Model model;
};

// ---------------------------------------------------------------- names

TEST_F(ResultsFileTest, NamesBesideTheModel) {
    EXPECT_EQ(resultsFileName(0), "room.___");
    EXPECT_EQ(resultsFileName(27), "room.___");  // one file for all sources
    EXPECT_EQ(hitsFileName(0), "room.@__");
    EXPECT_EQ(withExtension(resultsFileName(0), "bak"), "room.bak");

    parameters.SaveAll = true;
    EXPECT_EQ(resultsFileName(0), "room.__a");
    EXPECT_EQ(resultsFileName(1), "room.__b");
    EXPECT_EQ(resultsFileName(25), "room.__z");
    EXPECT_EQ(resultsFileName(26), "room._aa");
    EXPECT_EQ(resultsFileName(27), "room._ab");
    EXPECT_EQ(resultsFileName(51), "room._az");
    EXPECT_EQ(resultsFileName(52), "room._ba");
    EXPECT_EQ(hitsFileName(27), "room.@ab");
    EXPECT_EQ(hitsFileName(2), "room.@_c");
    // Beyond the alphabet the middle byte is 96 + i div 26 modulo 256: 2616 mod 256 = 56, "8".
    EXPECT_EQ(sourceCode(65535), "_8p");
    EXPECT_EQ(sourceCode(0), "__a");
    EXPECT_EQ(sourceCode(701), "_zz");
}

TEST_F(ResultsFileTest, NamesWithoutAnExtensionOrWithDotsInFolders) {
    parameters.modelFile.assign("room");
    EXPECT_EQ(resultsFileName(0), "room.___");
    parameters.modelFile.assign("..\\room");
    EXPECT_EQ(resultsFileName(0), "..\\room.___");
    EXPECT_EQ(hitsFileName(0), "..\\room.@__");
    parameters.modelFile.assign("../models/room.ray");
    EXPECT_EQ(resultsFileName(0), "../models/room.___");
    parameters.modelFile.assign("my./room");
    EXPECT_EQ(resultsFileName(0), "my./room.___");
    // Any other last dot starts the extension, even inside a folder name.
    parameters.modelFile.assign("my.dir/room");
    EXPECT_EQ(resultsFileName(0), "my.___");
    parameters.modelFile.assign("a.b/room.v2.ray");
    EXPECT_EQ(resultsFileName(0), "a.b/room.v2.___");
    parameters.modelFile.assign("room.");
    EXPECT_EQ(resultsFileName(0), "room.___");
}

// ---------------------------------------------------------------- the whole file

// A small run written whole and compared with a text built line by line from the layout rules.
TEST_F(ResultsFileTest, TheWholeFileOfASmallRun) {
    RunParameters& p = parameters;
    p.Level = 2;
    p.History = 3;
    p.Humidity = 50;
    p.Temperature = 20;
    p.SoundSpeed = 343.5;
    p.Alfa = 1.23456789012;  // 12 digits: only precision 15 keeps them
    p.Beta = 0.1;
    p.Diffraction = 1;
    p.Diffusion = true;
    p.DiffusionMode = -7;
    p.AlwaysObstructing = false;
    p.SaveEscaped = true;
    p.HitLevel = -1;
    p.RandomizeAfter = -1;
    p.SaveAll = false;
    p.CrackTolerance = 0.001;
    p.OpenMP = 2;
    load(" Face 1 1 3 0 0 0 1 0 0 0 1 0\n"  // obstructing
         " Face 2 1 3 0 0 5 1 0 5 0 1 5\n"  // monopermeable
         " Face 0 1 3 0 0 9 1 0 9 0 1 9\n"
         " Source 1 2 3 2 2 3 0 omni-test.spk\n"
         " Receiver 1 1 1 2 1 1\n Receiver 4 4 4 5 4 4\n");
    ASSERT_EQ(model.count(), 3u);
    ASSERT_EQ(model.obstructingCount, 1u);
    ASSERT_EQ(model.monopermeableCount(), 1u);
    ASSERT_EQ(model.sources.size(), 1u);
    ASSERT_EQ(microphones().receiverCount(), 2u);

    Microphone& first = *microphones().at(1);
    ASSERT_EQ(first.response.classCount, 3u);
    first.axis.origin = Coord(1.234567890123, -2, 0.5);
    first.axis.x = 0.6;
    first.axis.y = 0.8;
    first.axis.z = 0;
    first.response.earliestDirectDelay = 0.0123456789;
    for (int b = 0; b < bandCount; ++b) {
        first.lateral[b] = b == 1 ? 0.0f : 2.0f;
        first.lateral[10 + b] = 1;
        first.lateral[20 + b] = 0.5;
        first.lateral[30 + b] = 0.25;
    }
    first.lateral[9] = 3;
    first.lateral[29] = 2;
    first.response.row(0) = {1, 2.5f, 1e-7f, 123456.789f, 0, 0, 0, 0, 0, 0.001f};
    first.response.row(3).fill(3);

    Microphone& second = *microphones().at(2);
    second.axis.origin = Coord(4, 4, 4);
    second.axis.direction() = X_AXIS;
    second.response.earliestDirectDelay = 0.5;
    for (int b = 0; b < bandCount; ++b) second.lateral[10 + b] = 3;
    second.response.row(3).fill(1e-20f);

    ASSERT_TRUE(writeResults(model, statistics()));
    const std::string text = readFile("room.___");

    // The build date and time differ from build to build: their forms are checked, then they take part as they are.
    const std::vector<std::string> lines = splitLines(text);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[4].substr(0, 10), "Date    = ");
    EXPECT_TRUE(isBuildDate(lines[4].substr(10))) << lines[4];
    EXPECT_EQ(lines[5].substr(0, 10), "Time    = ");
    EXPECT_TRUE(isClockTime(lines[5].substr(10))) << lines[5];

    std::ostringstream description;
    model.sources[0].writeDescription(description);
    const std::string expected =
        "[Version]\n"
        "Program = Tolveno 3.0\n"
        "Version = 300\n"
        "Author  = Quarlen\n" +
        lines[4] + "\n" + lines[5] + "\n" +
        "\n"
        "[File]\n"
        "Name     = room.___\n"
        "Revision = 1\n"
        "Author   = Quarlen\n"
        "Date     = Dec 06 2026\n"  // the local time "Sun Dec  6 02:15:16 2026", day as two digits
        "Time     = 02:15:16\n"
        "\n"
        "[Model]\n"
        "Name          = room.ray\n"
        "Microphones   = 2\n"
        "Sources       = 1\n"
        "Walls         = 3\n"
        "Obstructing   = 1\n"
        "Monopermeable = 1\n"
        "\n"
        "[Source]\n" +
        description.str() +
        "Code       = A\n"
        "Number     = 1 of 1\n"
        "\n"
        "[Statistics]\n"
        "Pyramids traced    = 32\n"
        "Mean free path     = 12.3457 m\n"
        "Standard deviation = 2.5 m\n"
        "Mean history       = 7.25 reflections\n"
        "Pyramids escaped   = 5\n"
        "Edges hit          = 6\n"
        "Processing time    = 00:01:02\n"
        "\n"
        "[Parameters]\n"
        "Level             = 2\n"
        "Time              = 0.003 s\n"
        "Precision         = 0.001 s\n"
        "History           = 3 Reflections\n"
        "Humidity          = 50 %\n"
        "Temperature       = 20 \xB0"
        "C\n"
        "SoundSpeed        = 343.5 m/s\n"
        "Alfa              = 1.23456789012\n"
        "Beta              =  0.1\n"
        "Diffraction       = 1\n"
        "Diffusion         = On\n"
        "DiffusionMode     = -7\n"
        "AlwaysObstructing = Off\n"
        "Format            = 1.2\n"
        "SaveEscaped       = On\n"
        "HitLevel          = -1\n"
        "RandomizeAfter    = -1\n"
        "SaveAll           = Off\n"
        "CrackTolerance    = 0.001\n"
        "OpenMP            = 2\n"
        "\n"
        "[Microphone_1]\n"
        " Position = 1.234567890123 -2 0.5 0.6 0.8 0\n"
        " Direct Wave = 0.0123456789 s\n"
        // Band 1 has no early energy: its sums stand as they are; band 9 divides by 3.
        " LFC = 0.5 1 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.333333\n"
        " LE  = 0.25 0.5 0.25 0.25 0.25 0.25 0.25 0.25 0.25 0.666667\n"
        " LF  = 0.125 0.25 0.125 0.125 0.125 0.125 0.125 0.125 0.125 0.0833333\n"
        " Impulse response =\n"
        " 1 2.5 1e-07 123457 0 0 0 0 0 0.001\n"
        " 0 0 0 0 0 0 0 0 0 0\n"
        " 0 0 0 0 0 0 0 0 0 0\n"
        " 3 3 3 3 3 3 3 3 3 3\n"
        "\n"
        "[Microphone_2]\n"
        " Position = 4 4 4 1 0 0\n"
        " Direct Wave = 0.5 s\n"
        // No early energy in any band: every sum stands as it is.
        " LFC = 3 3 3 3 3 3 3 3 3 3\n"
        " LE  = 0 0 0 0 0 0 0 0 0 0\n"
        " LF  = 0 0 0 0 0 0 0 0 0 0\n"
        " Impulse response =\n"
        " 0 0 0 0 0 0 0 0 0 0\n"
        " 0 0 0 0 0 0 0 0 0 0\n"
        " 0 0 0 0 0 0 0 0 0 0\n"
        " 1e-20 1e-20 1e-20 1e-20 1e-20 1e-20 1e-20 1e-20 1e-20 1e-20\n"
        "\n"
        "[End]\n";
    EXPECT_EQ(text, expected);
    // The source block is the loudspeaker's own description, written with the default 6 digits.
    EXPECT_EQ(description.str().rfind("Name       = omni-test.spk\nAlias      = omni.spk\n", 0), 0u) << description.str();
    EXPECT_NE(description.str().find("Position   = 1 2 3\nDirection  = 1 0 0\n"), std::string::npos);
    EXPECT_TRUE(ui.boxes.empty()) << boxTexts().front();
    EXPECT_FALSE(std::filesystem::exists("room.___.tmp"));
    EXPECT_FALSE(std::filesystem::exists("room.bak"));
}

TEST_F(ResultsFileTest, TheFileDateComesFromTheLocalTimeOnce) {
    load(" Receiver 0 0 0 1 0 0\n");
    ui.localTimeText = "Mon Jan 15 23:59:58 2024\n";
    ASSERT_TRUE(writeResults(model, statistics()));
    const std::string file = section(readFile("room.___"), "[File]");
    EXPECT_EQ(file,
              "[File]\nName     = room.___\nRevision = 1\nAuthor   = Quarlen\nDate     = Jan 15 2024\n"
              "Time     = 23:59:58\n\n");
}

TEST_F(ResultsFileTest, TheNameInTheFileSectionIsTheFilePartOnly) {
    writeFile("models/hall.ray", "");
    parameters.modelFile.assign("models/hall.ray");
    parameters.author = "";
    load(" Receiver 0 0 0 1 0 0\n");
    ASSERT_TRUE(writeResults(model, statistics()));
    const std::string text = readFile("models/hall.___");
    EXPECT_EQ(linesStartingWith(text, "Name     = "), std::vector<std::string>{"Name     = hall.___"});
    EXPECT_EQ(linesStartingWith(text, "Name          = "), std::vector<std::string>{"Name          = models/hall.ray"});
    EXPECT_EQ(linesStartingWith(text, "Author   = "), std::vector<std::string>{"Author   = "});
    EXPECT_EQ(linesStartingWith(text, "Author  = "), std::vector<std::string>{"Author  = Quarlen"});
}

// ---------------------------------------------------------------- revisions and backup

TEST_F(ResultsFileTest, RevisionsCountUpAndTheEarlierFileBecomesTheBackup) {
    load(" Receiver 0 0 0 1 0 0\n");
    ASSERT_TRUE(writeResults(model, statistics()));
    const std::string first = readFile("room.___");
    EXPECT_NE(first.find("\nRevision = 1\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("room.bak"));

    RunStatistics later = statistics();
    later.escapedCount = 77;
    ASSERT_TRUE(writeResults(model, later));
    const std::string second = readFile("room.___");
    EXPECT_NE(second.find("\nRevision = 2\n"), std::string::npos);
    EXPECT_NE(second.find("\nPyramids escaped   = 77\n"), std::string::npos);
    EXPECT_EQ(readFile("room.bak"), first);

    // A third writing replaces the earlier backup.
    ASSERT_TRUE(writeResults(model, statistics()));
    EXPECT_NE(readFile("room.___").find("\nRevision = 3\n"), std::string::npos);
    EXPECT_EQ(readFile("room.bak"), second);

    // Nothing but the model's files is left behind: no temporary file of either name.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"room.___", "room.bak"}));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ResultsFileTest, TheRevisionOfAnEarlierFileIsTruncatedPlusOne) {
    load(" Receiver 0 0 0 1 0 0\n");
    writeFile("room.___", "[Version]\nProgram = x\n\n[File]\nName     = room.___\nRevision = 41.7\n\n[End]\n");
    writeFile("room.bak", "an old backup\n");
    ASSERT_TRUE(writeResults(model, statistics()));
    EXPECT_NE(readFile("room.___").find("\nRevision = 42\n"), std::string::npos);
    EXPECT_EQ(readFile("room.bak").rfind("[Version]\nProgram = x\n", 0), 0u);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ResultsFileTest, AnEarlierFileWithoutRevisionStartsAgainAtOne) {
    load(" Receiver 0 0 0 1 0 0\n");
    // A sum written by job mode has no [File] section.
    writeFile("room.___", "[Version]\nProgram = x\n\n[Statistics]\nPyramids traced = 8\n\n[End]\n");
    ASSERT_TRUE(writeResults(model, statistics()));
    EXPECT_NE(readFile("room.___").find("\nRevision = 1\n"), std::string::npos);
    EXPECT_EQ(readFile("room.bak"), "[Version]\nProgram = x\n\n[Statistics]\nPyramids traced = 8\n\n[End]\n");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find the paragraph [File]"});

    // A [File] section without the key: revision 1 again, quietly.
    ui.boxes.clear();
    writeFile("room.___", "[File]\nName = room.___\n\n[End]\n");
    ASSERT_TRUE(writeResults(model, statistics()));
    EXPECT_NE(readFile("room.___").find("\nRevision = 1\n"), std::string::npos);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ResultsFileTest, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    load(" Receiver 0 0 0 1 0 0\n");
    parameters.modelFile.assign("missing/room.ray");
    EXPECT_FALSE(writeResults(model, statistics()));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't write results file missing/room.___"});
    EXPECT_FALSE(std::filesystem::exists("missing"));

    // A folder of the results name: it is neither read, backed up nor replaced.
    ui.boxes.clear();
    parameters.modelFile.assign("room.ray");
    std::filesystem::create_directory("room.___");
    EXPECT_FALSE(writeResults(model, statistics()));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't write results file room.___"});
    EXPECT_TRUE(std::filesystem::is_directory("room.___"));
    EXPECT_FALSE(std::filesystem::exists("room.___.tmp"));
    EXPECT_FALSE(std::filesystem::exists("room.bak"));
}

TEST_F(ResultsFileTest, AStaleTemporaryFileOfAKilledRunIsReplaced) {
    load(" Receiver 0 0 0 1 0 0\n");
    writeFile("room.___", "[File]\nRevision = 4\n\n[End]\n");
    writeFile("room.___.tmp", std::string(100000, 'x'));
    writeFile("room.bak.tmp", "half a backup");
    ASSERT_TRUE(writeResults(model, statistics()));
    const std::string text = readFile("room.___");
    EXPECT_NE(text.find("\nRevision = 5\n"), std::string::npos);
    EXPECT_EQ(text.find('x' + std::string(10, 'x')), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 6), "[End]\n");
    EXPECT_EQ(readFile("room.bak"), "[File]\nRevision = 4\n\n[End]\n");
    EXPECT_FALSE(std::filesystem::exists("room.___.tmp"));
    EXPECT_FALSE(std::filesystem::exists("room.bak.tmp"));
}

TEST_F(ResultsFileTest, StatusTextsDuringARun) {
    load(" Receiver 0 0 0 1 0 0\n");
    RunMonitor monitor;
    monitor.createStatusBox();
    parameters.HitLevel = -1;
    const int pumps = ui.pumpCount;
    ASSERT_TRUE(writeResults(model, statistics()));
    EXPECT_EQ(ui.text(StatusItem::status), "Writing room.___");
    EXPECT_GT(ui.pumpCount, pumps);

    parameters.HitLevel = 0;
    parameters.modelFile.assign("models/hall.ray");
    std::filesystem::create_directory("models");
    ASSERT_TRUE(writeResults(model, statistics()));
    EXPECT_EQ(ui.text(StatusItem::status), "Saving hits ...");
    EXPECT_TRUE(std::filesystem::exists("models/hall.___"));
}

// ---------------------------------------------------------------- sections

TEST_F(ResultsFileTest, PyramidsTracedFollowTheLevel) {
    load(" Receiver 0 0 0 1 0 0\n");
    const auto pyramids = [this](std::uint32_t level) {
        parameters.Level = level;
        EXPECT_TRUE(writeResults(model, statistics()));
        return linesStartingWith(readFile("room.___"), "Pyramids traced    = ");
    };
    EXPECT_EQ(pyramids(0), std::vector<std::string>{"Pyramids traced    = 8"});
    EXPECT_EQ(pyramids(4), std::vector<std::string>{"Pyramids traced    = 128"});
    EXPECT_EQ(pyramids(28), std::vector<std::string>{"Pyramids traced    = 2147483648"});
    EXPECT_EQ(pyramids(29), std::vector<std::string>{"Pyramids traced    = 0"});  // 32-bit arithmetic wraps
    EXPECT_EQ(pyramids(UINT32_MAX), std::vector<std::string>{"Pyramids traced    = 1"});
    EXPECT_EQ(linesStartingWith(readFile("room.___"), "Level "), std::vector<std::string>{"Level             = 4294967295"});
}

TEST_F(ResultsFileTest, HistoryTexts) {
    const auto history = [](std::int32_t value) {
        parameters.History = value;
        return linesStartingWith(parametersText(), "History");
    };
    EXPECT_EQ(history(-1), std::vector<std::string>{"History           = -1 Time dependent"});
    EXPECT_EQ(history(0), std::vector<std::string>{"History           = 0 Direct wave"});
    EXPECT_EQ(history(1), std::vector<std::string>{"History           = 1 Reflection"});
    EXPECT_EQ(history(2), std::vector<std::string>{"History           = 2 Reflections"});
    EXPECT_EQ(history(3), std::vector<std::string>{"History           = 3 Reflections"});
}

TEST_F(ResultsFileTest, ParameterKeysAreTwentyCharactersWideWithFifteenDigits) {
    parameters.Time = 1.0 / 3;
    parameters.Temperature = -12.5;
    parameters.SaveAll = true;
    parameters.AlwaysObstructing = true;
    const std::vector<std::string> lines = splitLines(parametersText());
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines.front(), "[Parameters]");
    EXPECT_EQ(lines.back(), "");
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].find('='), 18u) << lines[i];
        EXPECT_EQ(lines[i][17], ' ') << lines[i];
        EXPECT_EQ(lines[i][19], ' ') << lines[i];
    }
    EXPECT_EQ(lines[2], "Time              = 0.333333333333333 s");
    EXPECT_EQ(lines[6], "Temperature       = -12.5 \xB0" "C");
    EXPECT_EQ(lines[9], "Beta              =  -1");
    EXPECT_EQ(lines[13], "AlwaysObstructing = On");
    EXPECT_EQ(lines[14], "Format            = 1.2");
    EXPECT_EQ(lines[18], "SaveAll           = On");
}

TEST_F(ResultsFileTest, ThirtySourcesRunFromAToAD) {
    load(" Receiver 0 0 0 1 0 0\n");
    addSources(30);
    ASSERT_TRUE(writeResults(model, statistics(29)));
    const std::string text = readFile("room.___");
    const std::vector<std::string> codes = linesStartingWith(text, "Code       = ");
    const std::vector<std::string> numbers = linesStartingWith(text, "Number     = ");
    ASSERT_EQ(codes.size(), 30u);
    ASSERT_EQ(numbers.size(), 30u);
    const char* const expectedCodes[30] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O",
                                           "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "AA", "AB", "AC", "AD"};
    for (int j = 0; j < 30; ++j) {
        EXPECT_EQ(codes[j], std::string("Code       = ") + expectedCodes[j]);
        EXPECT_EQ(numbers[j], "Number     = " + std::to_string(j + 1) + " of 30");
    }
    EXPECT_NE(text.find("\nSources       = 30\n"), std::string::npos);
    // The sections follow one another: heading, description, code, number, empty line.
    EXPECT_NE(text.find("Number     = 1 of 30\n\n[Source]\nName       = omni-test.spk\n"), std::string::npos);
    EXPECT_NE(text.find("Number     = 30 of 30\n\n[Statistics]\n"), std::string::npos);
}

TEST_F(ResultsFileTest, WithSaveAllOnlyTheSourceOfTheFileIsWritten) {
    load(" Receiver 0 0 0 1 0 0\n");
    addSources(30);
    parameters.SaveAll = true;
    ASSERT_TRUE(writeResults(model, statistics(27)));
    const std::string text = readFile("room._ab");
    EXPECT_EQ(linesStartingWith(text, "Code       = "), std::vector<std::string>{"Code       = AB"});
    EXPECT_EQ(linesStartingWith(text, "Number     = "), std::vector<std::string>{"Number     = 28 of 30"});
    EXPECT_EQ(linesStartingWith(text, "Name     = "), std::vector<std::string>{"Name     = room._ab"});
    EXPECT_EQ(linesStartingWith(text, "SaveAll "), std::vector<std::string>{"SaveAll           = On"});
    EXPECT_FALSE(std::filesystem::exists("room.___"));
}

TEST_F(ResultsFileTest, ADirectWaveAtZeroIsWarnedAndWrittenAnyway) {
    load(" Receiver 0 0 0 1 0 0\n Receiver 2 0 0 3 0 0\n");
    microphones().at(1)->response.earliestDirectDelay = 0;
    microphones().at(2)->response.earliestDirectDelay = 1e-300;
    ASSERT_TRUE(writeResults(model, statistics()));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Direct wave = 0"});
    const std::string text = readFile("room.___");
    EXPECT_EQ(linesStartingWith(text, " Direct Wave = "),
              (std::vector<std::string>{" Direct Wave = 0 s", " Direct Wave = 1e-300 s"}));
    EXPECT_NE(text.find("[Microphone_2]\n Position = 2 0 0 1 0 0\n"), std::string::npos);
}

TEST_F(ResultsFileTest, ValuesThatAreNotFiniteAreWrittenAsZero) {
    load(" Receiver 0 0 0 1 0 0\n");
    Microphone& microphone = *microphones().at(1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    microphone.response.row(1) = {nan, inf, -inf, 1, 0, 0, 0, 0, 0, 0};
    microphone.response.earliestDirectDelay = std::numeric_limits<double>::infinity();
    microphone.lateral[0] = 1e-45f;  // the smallest float: the ratio overflows
    microphone.lateral[10] = 1;
    microphone.lateral[21] = nan;
    microphone.axis.origin.y = std::numeric_limits<double>::quiet_NaN();
    RunStatistics s = statistics();
    s.standardDeviation = std::sqrt(-1e-18);  // a variance that rounding made negative
    s.meanFreePath = std::numeric_limits<double>::infinity();
    parameters.Alfa = std::numeric_limits<double>::quiet_NaN();
    ASSERT_TRUE(writeResults(model, s));
    const std::string text = readFile("room.___");
    for (const char* bad : {"nan", "inf", "NAN", "INF"}) EXPECT_EQ(text.find(bad), std::string::npos) << bad;
    EXPECT_NE(text.find("\nMean free path     = 0 m\nStandard deviation = 0 m\n"), std::string::npos);
    EXPECT_NE(text.find("\nAlfa              = 0\n"), std::string::npos);
    EXPECT_NE(text.find(" Position = 0 0 0 1 0 0\n Direct Wave = 0 s\n LFC = 0 0"), std::string::npos) << text;
    EXPECT_NE(text.find(" LE  = 0 0 0"), std::string::npos);
    EXPECT_NE(text.find(" Impulse response =\n 0 0 0 0 0 0 0 0 0 0\n 0 0 0 1 0 0 0 0 0 0\n"), std::string::npos);
}

TEST_F(ResultsFileTest, MicrophoneSectionsOfJobModeIncludeSlotZero) {
    // Job mode may keep an average microphone in slot 0; a run never does.
    load(" Receiver 0 0 0 1 0 0\n");
    auto average = std::make_unique<Microphone>();
    average->response.earliestDirectDelay = 0.25;
    microphones().add(std::move(average), 0);
    std::ostringstream out;
    writeMicrophones(out);
    const std::string text = out.str();
    EXPECT_EQ(text.rfind("[Parameters]\n", 0), 0u);
    EXPECT_NE(text.find("\n\n[Microphone_0]\n Position = 0 0 0 1 0 0\n Direct Wave = 0.25 s\n"), std::string::npos);
    EXPECT_LT(text.find("[Microphone_0]"), text.find("[Microphone_1]"));
    EXPECT_EQ(text.substr(text.size() - 9), "0\n\n[End]\n");
}

TEST_F(ResultsFileTest, VersionSection) {
    std::ostringstream out;
    writeVersion(out);
    const std::vector<std::string> lines = splitLines(out.str());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "[Version]");
    EXPECT_EQ(lines[1], "Program = Tolveno 3.0");
    EXPECT_EQ(lines[2], "Version = 300");
    EXPECT_EQ(lines[3], "Author  = Quarlen");
    // The build date's day is padded with a blank, not a zero.
    EXPECT_EQ(lines[4].substr(0, 10), "Date    = ");
    EXPECT_TRUE(isBuildDate(lines[4].substr(10))) << lines[4];
    EXPECT_EQ(lines[5].substr(0, 10), "Time    = ");
    EXPECT_TRUE(isClockTime(lines[5].substr(10))) << lines[5];
    EXPECT_FALSE(isBuildDate("Dec 06 2016"));
    EXPECT_TRUE(isBuildDate("Dec  6 2016"));
    EXPECT_EQ(lines[6], "");
}
