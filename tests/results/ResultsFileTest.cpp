#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "results/ResultsFile.h"
#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"
#include "ui/RunMonitor.h"

namespace fs = std::filesystem;

class ResultsFileTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.modelFile.assign("room.ray");
        parameters.Time = 0.003;  // three classes and the last row: four rows
        parameters.Precision = 0.001;
        std::istringstream in("EntityList\n Face 1 1 3 0 0 0 1 0 0 0 1 0\n"  // obstructing
                              " Face 2 1 3 0 0 5 1 0 5 0 1 5\n Face 0 1 3 0 0 9 1 0 9 0 1 9\n"  // monopermeable, plain
                              " Source 1 2 3 2 2 3 0 omni-test.spk\n Source 1 2 3 2 2 3 0 omni-test.spk\n"
                              " Receiver 1 1 1 2 1 1\n Receiver 4 4 4 5 4 4\nEnd\n");
        model.load(in);
        ui.boxes.clear();  // the loudspeaker file that loading does not find
        statistics = {0, 5, 6, 12.3456789, 2.5, 7.25, "00:01:02"};
    }

    /// The lines of a file that start with prefix.
    static std::vector<std::string> lines(const std::string& name, const std::string& prefix) {
        std::vector<std::string> found;
        std::istringstream in(readFile(name));
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        return found;
    }

    Model model;
    RunStatistics statistics;
};

TEST_F(ResultsFileTest, NamesBesideTheModel) {
    const struct { const char* model; bool saveAll; unsigned source; const char *results, *hits; } cases[] = {
        {"room.ray", false, 27, "room.___", "room.@__"},  // one file for all sources
        {"room.ray", true, 0, "room.__a", "room.@_a"},
        {"room.ray", true, 52, "room._ba", "room.@ba"},
        // Beyond the alphabet the middle byte is 96 + i div 26 modulo 256: 2616 mod 256 = 56, "8".
        {"room.ray", true, 65535, "room._8p", "room.@8p"},
        {"room", false, 0, "room.___", "room.@__"},
        {"room.", false, 0, "room.___", "room.@__"},
        // A dot before a separator belongs to a folder; any other last dot starts the extension.
        {"..\\room", false, 0, "..\\room.___", "..\\room.@__"},
        {"my./room", false, 0, "my./room.___", "my./room.@__"},
        {"my.dir/room", false, 0, "my.___", "my.@__"},
        {"a.b/room.v2.ray", false, 0, "a.b/room.v2.___", "a.b/room.v2.@__"},
    };
    for (const auto& c : cases) {
        parameters.modelFile.assign(c.model);
        parameters.SaveAll = c.saveAll;
        EXPECT_EQ(resultsFileName(c.source), c.results) << c.model << " " << c.source;
        EXPECT_EQ(hitsFileName(c.source), c.hits) << c.model << " " << c.source;
    }
}

// A small run written whole and compared with golden/small-run.___, made by the layout rules. The build date and time
// of [Version] change from build to build (their forms are checked); the [Source] blocks hold the loudspeaker's own
// description. Microphone 2 holds values that are not finite, which are written as 0, and a negative zero.
TEST_F(ResultsFileTest, TheWholeFileOfASmallRun) {
    TConfig ini("room.ini", "[Parameters]\nLevel=2\nHistory=3\nHumidity=50\nTemperature=20\nAlfa=1.23456789012\n"
                            "Beta=0.1\nDiffraction=1\nDiffusion=1\nDiffusionMode=-7\nAlwaysObstructing=0\n"
                            "SaveEscaped=1\nHitLevel=-1\nRandomizeAfter=-1\nSaveAll=0\nCrackTolerance=0.001\n"
                            "OpenMP=2\nTime=0.003\n");
    ASSERT_TRUE(ini.selectParagraph("Parameters"));
    parameters.applySettings(ini);
    parameters.SoundSpeed = 343.5;
    parameters.author = "Ann Other";
    fs::create_directory("models");
    parameters.modelFile.assign("models/room.ray");

    Microphone& first = *microphones().at(1);
    first.axis.origin = Coord(1.234567890123, -2, 0.5);
    static_cast<Vector&>(first.axis.direction()) = Vector(0.6, 0.8, 0);
    first.response.earliestDirectDelay = 0.0123456789;
    // The early energies, then the LFC, LE and LF sums; band 1 has no early energy: its sums stand as they are.
    first.lateral = {2, 0, 2, 2, 2, 2, 2, 2, 2, 3, 1,   1,   1,   1,   1,   1,   1,   1,   1,   1,
                     .5, .5, .5, .5, .5, .5, .5, .5, .5, 2, .25, .25, .25, .25, .25, .25, .25, .25, .25, .25};
    first.response.row(0) = {1, 2.5f, 1e-7f, 123456.789f, 0, 0, 0, 0, 0, 0.001f};
    first.response.row(3).fill(3);

    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    Microphone& second = *microphones().at(2);
    second.axis.origin = Coord(4, nan, 4);
    second.response.earliestDirectDelay = 0;  // warned, and written
    second.lateral[0] = 1e-45f;               // the smallest float: the ratio overflows
    for (int b = 0; b < bandCount; ++b) second.lateral[10 + b] = 3;
    second.lateral[21] = nan;
    second.response.row(1) = {nan, inf, -inf, 1, 0, 0, 0, 0, 0, 0};
    second.response.row(2)[9] = -0.0f;  // not a silent row: its sign is written
    second.response.row(3).fill(1e-20f);
    statistics.standardDeviation = std::sqrt(-1e-18);  // a variance that rounding made negative

    RunMonitor monitor;
    monitor.createStatusBox();
    ASSERT_TRUE(writeResults(model, statistics));
    EXPECT_EQ(ui.text(StatusItem::status), "Writing room.___");
    std::string text = readFile("models/room.___");
    std::smatch build;
    const std::regex buildForm("\nDate    = (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] [0-9]{4}\n"
                               "Time    = [0-2][0-9]:[0-5][0-9]:[0-6][0-9]\n");
    ASSERT_TRUE(std::regex_search(text, build, buildForm)) << text;
    text.replace(build.position(), build.length(), "\nDate    = <build date>\nTime    = <build time>\n");
    std::ostringstream description;
    model.sources.at(0).writeDescription(description);
    std::string golden = readFile(TOLVENO_TEST_DATA "/results/golden/small-run.___");
    for (std::size_t at; (at = golden.find("<source>\n")) != std::string::npos;)
        golden.replace(at, 9, description.str());
    EXPECT_EQ(text, golden);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Direct wave = 0"});
    EXPECT_FALSE(fs::exists("models/room.___.tmp"));
    EXPECT_FALSE(fs::exists("models/room.bak"));

    // With SaveAll, the file of a source holds its [Source] section only.
    parameters.SaveAll = true;
    parameters.HitLevel = 0;
    ASSERT_TRUE(writeResults(model, {.sourceIndex = 1, .processingTime = ""}));
    EXPECT_EQ(ui.text(StatusItem::status), "Saving hits ...");
    EXPECT_EQ(lines("models/room.__b", "Code"), std::vector<std::string>{"Code       = B"});
    EXPECT_EQ(lines("models/room.__b", "Number"), std::vector<std::string>{"Number     = 2 of 2"});
}

TEST_F(ResultsFileTest, RevisionsCountUpAndTheEarlierFileBecomesTheBackup) {
    // The stale temporary files of a killed run are replaced, never published.
    writeFile("room.___.tmp", std::string(100000, 'x'));
    writeFile("room.bak.tmp", "half a backup");
    // The earlier file of each row; nullptr: the one the row before left.
    const struct { const char *earlier, *revision, *box; } cases[] = {
        {nullptr, "Revision = 1", nullptr},
        {nullptr, "Revision = 2", nullptr},
        {nullptr, "Revision = 3", nullptr},
        // The truncated revision plus 1; 1 again beyond the int range or without the key or the section.
        {"[File]\nName     = room.___\nRevision = 41.7\n\n[End]\n", "Revision = 42", nullptr},
        {"[File]\nRevision = 2147483647\n\n[End]\n", "Revision = 1", nullptr},
        {"[File]\nName = room.___\n\n[End]\n", "Revision = 1", nullptr},
        {"[Statistics]\nPyramids traced = 8\n\n[End]\n", "Revision = 1", "Error: Can't find the paragraph [File]"},
    };
    for (const auto& c : cases) {
        ui.boxes.clear();
        if (c.earlier) writeFile("room.___", c.earlier);
        const std::string earlier = readFile("room.___");  // "" when none
        ASSERT_TRUE(writeResults(model, statistics));
        EXPECT_EQ(lines("room.___", "Revision"), std::vector<std::string>{c.revision});
        EXPECT_EQ(readFile("room.bak"), earlier) << c.revision;
        EXPECT_EQ(boxTexts(), c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{}) << c.revision;
    }
    EXPECT_FALSE(fs::exists("room.___.tmp"));
    EXPECT_FALSE(fs::exists("room.bak.tmp"));
}

TEST_F(ResultsFileTest, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    parameters.modelFile.assign("missing/room.ray");
    EXPECT_FALSE(writeResults(model, statistics));
    // A folder of the results name is neither read, backed up nor replaced.
    parameters.modelFile.assign("room.ray");
    fs::create_directory("room.___");
    EXPECT_FALSE(writeResults(model, statistics));
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Error: Can't write results file missing/room.___",
                                                    "Error: Can't write results file room.___"}));
    EXPECT_TRUE(fs::is_empty("room.___"));
    EXPECT_FALSE(fs::exists("room.___.tmp"));
    EXPECT_FALSE(fs::exists("room.bak"));
}

TEST_F(ResultsFileTest, PyramidsTracedAndHistoryTexts) {
    // 8 << Level, unsigned: Level 28 gives 2^31. The all-bits-set Level (-1 given) generates none and counts one.
    for (const auto& [level, count] : {std::pair{4u, "128"}, {28u, "2147483648"}, {UINT32_MAX, "1"}}) {
        parameters.Level = level;
        ASSERT_TRUE(writeResults(model, statistics));
        EXPECT_NE(readFile("room.___").find("\nPyramids traced    = " + std::string(count) + "\n"), std::string::npos);
    }
    for (const auto& [history, text] :
         {std::pair{-1, "-1 Time dependent"}, {0, "0 Direct wave"}, {1, "1 Reflection"}, {2, "2 Reflections"}}) {
        parameters.History = history;
        std::ostringstream out;
        writeParameters(out);
        EXPECT_NE(out.str().find("\nHistory           = " + std::string(text) + "\n"), std::string::npos) << text;
    }
}
