#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "results/JobMode.h"
#include "results/ResultsFile.h"
#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"

namespace {

namespace fs = std::filesystem;

// Classes of the runs written below: Time 0.02 s and Precision 0.001 s give N = 20, rows 0 to 20.
constexpr std::uint32_t lastClass = 20;

/// The energy a filled receiver holds in class k, band b: distinct everywhere, whole numbers the six digits of
/// the file keep exactly (at most 2010 times the scale).
float energy(float scale, std::uint32_t k, int b) { return scale * static_cast<float>(100 * k + b + 1); }

/// The lateral value (group 1 LFC, 2 LE, 3 LF) a filled receiver writes for band b; quarters stay exact.
float lateralValue(float scale, int group, int b) { return scale * (static_cast<float>(group) + 0.25f * static_cast<float>(b)); }

/// A receiver of a written run: its values are scaled by scale, its position is (scale, 2 scale, 3 scale).
struct Receiver {
    float scale;
    double direct;
};

/// The values of one microphone section of a results file, read by the rules of the layout.
struct SectionValues {
    std::vector<double> position;
    double direct = 0;
    std::array<std::array<double, bandCount>, 3> lateral{};
    std::vector<std::array<double, bandCount>> rows;
};

std::vector<double> numbersAfterEquals(const std::string& line) {
    std::vector<double> numbers;
    std::istringstream in(line.substr(line.find('=') + 1));
    for (double value; in >> value;) numbers.push_back(value);
    return numbers;
}

/// Every "[Microphone_k]" section of a results file text, by k.
std::map<int, SectionValues> microphoneSections(const std::string& text) {
    std::map<int, SectionValues> sections;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("[Microphone_", 0) != 0) continue;
        SectionValues& s = sections[std::stoi(line.substr(12))];
        std::getline(in, line);
        s.position = numbersAfterEquals(line);
        std::getline(in, line);
        s.direct = numbersAfterEquals(line).at(0);
        for (auto& group : s.lateral) {
            std::getline(in, line);
            const std::vector<double> values = numbersAfterEquals(line);
            for (int b = 0; b < bandCount; ++b) group[b] = values.at(b);
        }
        std::getline(in, line);  // " Impulse response ="
        while (std::getline(in, line) && !line.empty()) {
            std::istringstream row(line);
            std::array<double, bandCount> values{};
            for (double& value : values) row >> value;
            s.rows.push_back(values);
        }
    }
    return sections;
}

/// One file's part in an expected sum: its receiver's scale, its delay in whole classes and its gains.
struct Part {
    float scale;
    std::uint32_t shift = 0;
    std::array<double, bandCount> gains{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
};

/// The rows of a sum of filled receivers: row k of a part goes to row k + shift, the last row taking all beyond.
std::vector<std::array<double, bandCount>> expectedRows(const std::vector<Part>& parts) {
    std::vector<std::array<double, bandCount>> rows(lastClass + 1, std::array<double, bandCount>{});
    for (const Part& part : parts)
        for (std::uint32_t k = 0; k <= lastClass; ++k)
            for (int b = 0; b < bandCount; ++b)
                rows[std::min(lastClass, k + part.shift)][b] += energy(part.scale, k, b) * part.gains[b];
    return rows;
}

void expectRows(const SectionValues& section, const std::vector<std::array<double, bandCount>>& expected) {
    ASSERT_EQ(section.rows.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k)
        for (int b = 0; b < bandCount; ++b)
            // Six significant digits survive the file.
            EXPECT_NEAR(section.rows[k][b], expected[k][b], std::abs(expected[k][b]) * 1e-5) << "row " << k << " band " << b;
}

/// The lateral values expected from the sum of the given scales divided by count.
void expectLateral(const SectionValues& section, float scaleSum, double count) {
    for (int g = 1; g <= 3; ++g)
        for (int b = 0; b < bandCount; ++b)
            EXPECT_NEAR(section.lateral[g - 1][b], lateralValue(scaleSum, g, b) / count, 1e-5)
                << "group " << g << " band " << b;
}

/// Records what job mode shows in the wait box.
class WatchingWindowSystem : public RecordingWindowSystem {
public:
    void setItemText(WindowHandle window, int id, std::string_view text) override {
        if (id == WaitItem::fileName) texts.emplace_back(text);
        RecordingWindowSystem::setItemText(window, id, text);
    }
    void setProgressRange(WindowHandle window, int id, std::uint32_t low, std::uint32_t high) override {
        if (id == WaitItem::progress) ranges.emplace_back(low, high);
        RecordingWindowSystem::setProgressRange(window, id, low, high);
    }
    void setProgressPosition(WindowHandle window, int id, std::uint32_t position) override {
        if (id == WaitItem::progress) positions.push_back(position);
        RecordingWindowSystem::setProgressPosition(window, id, position);
    }
    WindowHandle createDialog(const char* templateName, WindowHandle parent) override {
        templates.emplace_back(templateName);
        return RecordingWindowSystem::createDialog(templateName, parent);
    }

    std::vector<std::string> texts;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    std::vector<std::uint32_t> positions;
    std::vector<std::string> templates;
};

}  // namespace

class JobModeTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.Time = 0.02;
        parameters.Precision = 0.001;
        parameters.Level = 2;  // 8 << 2 = 32 pyramids traced
        parameters.History = -1;
        parameters.Alfa = 2;
        parameters.Beta = 0.1;
        parameters.SaveAll = false;
    }

    /// Writes the results file of a run of stem.ray with the results writer, one filled receiver per entry
    /// (slots from 1), and answers its name.
    static std::string writeRun(const std::string& stem, const std::vector<Receiver>& receivers, unsigned source = 0,
                                double meanFreePath = 12.3456789) {
        parameters.modelFile.assign(stem + ".ray");
        microphones().destroyAll();
        int slot = 1;
        for (const Receiver& r : receivers) {
            auto microphone = std::make_unique<Microphone>();
            microphone->axis.origin = Coord(r.scale, 2 * r.scale, 3 * r.scale);
            microphone->response.earliestDirectDelay = r.direct;
            // No early energy: the file holds the lateral values as they stand.
            for (int g = 1; g <= 3; ++g)
                for (int b = 0; b < bandCount; ++b) microphone->lateral[g * bandCount + b] = lateralValue(r.scale, g, b);
            for (std::uint32_t k = 0; k <= microphone->response.classCount; ++k)
                for (int b = 0; b < bandCount; ++b) microphone->response.row(k)[b] = energy(r.scale, k, b);
            microphones().add(std::move(microphone), slot++);
        }
        Model model;
        RunStatistics statistics;
        statistics.sourceIndex = source;
        statistics.meanFreePath = meanFreePath;
        EXPECT_TRUE(writeResults(model, statistics));
        return resultsFileName(source);
    }

    /// The state of a fresh process, in which job mode starts: no receivers, initial parameters, no boxes.
    void freshProcess() {
        microphones().destroyAll();
        parameters = RunParameters{};
        ui.boxes.clear();
    }

    /// Writes a job file with an empty folder prefix and model "room", listing the given lines, and runs it.
    void runJobOf(const std::vector<std::string>& lines, const std::string& lineEnd = "\n") {
        std::string text = lineEnd + "room" + lineEnd;
        for (const std::string& line : lines) text += line + lineEnd;
        writeFile("room.job", text);
        freshProcess();
        runJob("room.job");
    }

    /// The microphone sections of the output room.___, which must exist.
    std::map<int, SectionValues> output() {
        EXPECT_TRUE(fs::exists("room.___"));
        return microphoneSections(readFile("room.___"));
    }
};

// ---------------------------------------------------------------- the fields of a line

TEST_F(JobModeTest, FieldsOfAResultsFileLine) {
    // A name and one number: the number is the delay in ms and every band's gain in dB.
    JobLine line = parseJobLine("b.___,10", "");
    EXPECT_EQ(line.fileName, "b.___");
    EXPECT_DOUBLE_EQ(line.delay, 0.010);  // 10 / 1000 s
    for (int b = 0; b < bandCount; ++b) EXPECT_DOUBLE_EQ(line.gains[b], 10.0) << b;  // 10^(10 / 10)

    // Ten gains, one per band in order: g dB gives 10^(g / 10).
    line = parseJobLine("c.___,0,-3,-3,-3,-3,-3,-3,-3,-3,-3,-3", "");
    EXPECT_EQ(line.delay, 0);
    for (int b = 0; b < bandCount; ++b) EXPECT_NEAR(line.gains[b], 0.501187233627, 1e-12) << b;  // 10^-0.3
    line = parseJobLine("d.___,2.5,0,10,20,30,40,50,60,70,80,90", "");
    EXPECT_DOUBLE_EQ(line.delay, 0.0025);
    for (int b = 0; b < bandCount; ++b) EXPECT_DOUBLE_EQ(line.gains[b], std::pow(10.0, b)) << b;  // 10 b dB

    // The missing fields repeat the last one present: here the first gain, 3 dB.
    line = parseJobLine("e.___,5,3", "");
    EXPECT_DOUBLE_EQ(line.delay, 0.005);
    for (int b = 0; b < bandCount; ++b) EXPECT_NEAR(line.gains[b], 1.99526231497, 1e-10) << b;  // 10^0.3
    line = parseJobLine("e.___,5,0,6", "");
    EXPECT_DOUBLE_EQ(line.gains[0], 1.0);
    for (int b = 1; b < bandCount; ++b) EXPECT_NEAR(line.gains[b], 3.98107170553, 1e-10) << b;  // 10^0.6

    // A name only: the name itself is the text of every field; a leading number counts.
    line = parseJobLine("c.___", "");
    EXPECT_EQ(line.delay, 0);
    for (int b = 0; b < bandCount; ++b) EXPECT_EQ(line.gains[b], 1.0) << b;  // 10^0
    line = parseJobLine("20room.___", "");
    EXPECT_EQ(line.fileName, "20room.___");
    EXPECT_DOUBLE_EQ(line.delay, 0.020);
    for (int b = 0; b < bandCount; ++b) EXPECT_DOUBLE_EQ(line.gains[b], 100.0) << b;  // 10^(20 / 10)

    // Text that is no number reads as 0; fields after the twelfth are not read.
    line = parseJobLine("f.___,soon,loud", "");
    EXPECT_EQ(line.delay, 0);
    for (int b = 0; b < bandCount; ++b) EXPECT_EQ(line.gains[b], 1.0) << b;
    line = parseJobLine("f.___,0,0,0,0,0,0,0,0,0,0,10,20", "");
    EXPECT_DOUBLE_EQ(line.gains[9], 10.0);  // 10 dB, not the 20 of a thirteenth field

    // Double quotes leave the name, and the folder prefix is put in front as it stands.
    line = parseJobLine("\"my run.___\",1", "data/");
    EXPECT_EQ(line.fileName, "data/my run.___");
    EXPECT_DOUBLE_EQ(line.delay, 0.001);
}

// ---------------------------------------------------------------- adding

// The example of a job: b.___ 10 ms late, 10 as the only number also every band's gain in dB.
TEST_F(JobModeTest, ASecondFileIsAddedLateAndWeighted) {
    writeRun("a", {{1, 0.004}});
    parameters.Level = 3;  // b's statistics: 8 << 3 = 64 pyramids
    writeRun("b", {{2, 0.003}}, 0, 7.25);
    runJobOf({"a.___", "b.___,10"});
    EXPECT_TRUE(ui.boxes.empty()) << boxTexts().front();

    const auto sections = output();
    ASSERT_EQ(sections.size(), 1u);
    const SectionValues& section = sections.at(1);
    // 10 ms of 1 ms classes: b's rows ten classes later, its rows 10 to 20 all in row 20; 10 dB is a factor 10.
    expectRows(section, expectedRows({{1}, {2, 10, {10, 10, 10, 10, 10, 10, 10, 10, 10, 10}}}));
    EXPECT_EQ(section.direct, 0.004);  // a's 0.004 s is earlier than b's 0.003 + 0.010 s
    EXPECT_EQ(section.position, (std::vector<double>{2, 4, 6, 1, 0, 0}));  // the position of the last file read
    expectLateral(section, 1 + 2, 1);  // one section in the last file: the sum divided by 1, without gains

    const std::string text = readFile("room.___");
    EXPECT_EQ(text.rfind("[Version]\nProgram = Tolveno 3.0\n", 0), 0u);
    // The last file's statistics; the parameters of the first file (Level 2).
    EXPECT_NE(text.find("\n[Statistics]\nPyramids traced = 64\nMean free path  = 7.25\n\n[Parameters]\n"
                        "Level             = 2\nTime              = 0.02 s\nPrecision         = 0.001 s\n"),
              std::string::npos);
    EXPECT_EQ(text.find("[File]"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 7), "\n[End]\n");
    EXPECT_EQ(parameters.modelFile.str(), "room.___");
    EXPECT_FALSE(fs::exists("room.___.tmp"));
}

TEST_F(JobModeTest, GainsInDecibelsWeightEveryBand) {
    writeRun("a", {{1, 0.004}});
    writeRun("c", {{3, 0.002}}, 0, 9.5);
    runJobOf({"a.___", "c.___,0,-3,-3,-3,-3,-3,-3,-3,-3,-3,-3"});
    const auto sections = output();
    // c at half power, 10^-0.3 = 0.501187 in every band, without delay.
    constexpr double half = 0.501187233627;
    expectRows(sections.at(1), expectedRows({{1}, {3, 0, {half, half, half, half, half, half, half, half, half, half}}}));
    EXPECT_EQ(sections.at(1).direct, 0.002);
    EXPECT_NE(readFile("room.___").find("Mean free path  = 9.5\n"), std::string::npos);
}

TEST_F(JobModeTest, TheListEndsAfter128LinesOrAtAnEmptyLine) {
    writeRun("a", {{1, 0.004}});
    writeRun("b", {{2, 0.005}});
    writeRun("c", {{3, 0.006}});
    // 129 lines of the same file: 128 of them are added.
    runJobOf(std::vector<std::string>(129, "a.___"));
    auto sections = output();
    expectRows(sections.at(1), expectedRows({{128}}));
    expectLateral(sections.at(1), 128, 1);

    // An empty line ends the list: c is neither added nor the last.
    runJobOf({"a.___", "b.___", "", "c.___"});
    sections = output();
    expectRows(sections.at(1), expectedRows({{1}, {2}}));
    EXPECT_EQ(sections.at(1).position[0], 2);
}

TEST_F(JobModeTest, ASecondFileWithFewerOrMoreReceivers) {
    writeRun("a", {{1, 0.004}, {10, 0.007}, {100, 0.008}});
    writeRun("b", {{2, 0.003}, {20, 0.009}});
    runJobOf({"a.___", "b.___"});
    auto sections = output();
    ASSERT_EQ(sections.size(), 3u);
    expectRows(sections.at(1), expectedRows({{1}, {2}}));
    EXPECT_EQ(sections.at(1).direct, 0.003);
    expectLateral(sections.at(1), 1 + 2, 2);  // the last file's 2 sections
    expectLateral(sections.at(2), 10 + 20, 2);
    // Receiver 3 keeps the first file's values; it is beyond the last file's sections and not divided.
    expectRows(sections.at(3), expectedRows({{100}}));
    EXPECT_EQ(sections.at(3).direct, 0.008);
    EXPECT_EQ(sections.at(3).position, (std::vector<double>{100, 200, 300, 1, 0, 0}));
    expectLateral(sections.at(3), 100, 1);

    // More receivers in the later file: only those of the first one are summed.
    runJobOf({"b.___", "a.___"});
    sections = output();
    ASSERT_EQ(sections.size(), 2u);
    expectRows(sections.at(1), expectedRows({{2}, {1}}));
    expectRows(sections.at(2), expectedRows({{20}, {10}}));
}

TEST_F(JobModeTest, LateralValuesAreAveragedOverTheSectionsOfTheLastFile) {
    writeRun("a", {{1, 0.004}, {4, 0.004}});
    writeRun("b", {{2, 0.004}, {5, 0.004}});
    writeRun("c", {{3, 0.004}, {6, 0.004}});
    runJobOf({"a.___", "b.___", "c.___"});
    const auto sections = output();
    ASSERT_EQ(sections.size(), 2u);
    // Three files summed, divided by the last file's 2 sections (not by the 3 files).
    expectLateral(sections.at(1), 1 + 2 + 3, 2);
    expectLateral(sections.at(2), 4 + 5 + 6, 2);
    EXPECT_NEAR(sections.at(1).lateral[0][9], 9.75, 1e-9);  // LFC, band 9: (1 + 2 + 3) · (1 + 0.25 · 9) / 2
    expectRows(sections.at(2), expectedRows({{4}, {5}, {6}}));
}

TEST_F(JobModeTest, ASingleFileWritesNothing) {
    writeRun("a", {{1, 0.004}});
    runJobOf({"a.___"});
    EXPECT_FALSE(fs::exists("room.___"));
    EXPECT_FALSE(fs::exists("room.___.tmp"));
    EXPECT_TRUE(ui.boxes.empty());
    // It was read all the same.
    EXPECT_EQ(microphones().receiverCount(), 1u);
}

// The separate files of a run with SaveAll, one per source, added without delay or gain.
TEST_F(JobModeTest, TheFilesOfASaveAllRunAddUpUnderTheNameOfSource65535) {
    parameters.SaveAll = true;
    const std::string first = writeRun("hall", {{1, 0.006}, {4, 0.009}}, 0);
    const std::string second = writeRun("hall", {{2, 0.005}, {5, 0.008}}, 1);
    const std::string third = writeRun("hall", {{3, 0.007}, {6, 0.004}}, 2);
    ASSERT_EQ(first, "hall.__a");
    ASSERT_EQ(third, "hall.__c");
    std::string job = "\nhall\n" + first + "\n" + second + "\n" + third + "\n";
    writeFile("hall.job", job);
    freshProcess();
    runJob("hall.job");
    EXPECT_TRUE(ui.boxes.empty());

    // SaveAll came in as on: the source code of 65535, "_" then (96 + 65535 div 26) mod 256 = 2616 mod 256 = 56,
    // then a + 65535 mod 26 = a + 15.
    std::string name = "hall._";
    name += static_cast<char>((96 + 65535 / 26) % 256);
    name += static_cast<char>('a' + 65535 % 26);
    ASSERT_EQ(name, "hall._8p");
    ASSERT_TRUE(fs::exists(name));
    EXPECT_EQ(parameters.modelFile.str(), name);
    const auto sections = microphoneSections(readFile(name));
    ASSERT_EQ(sections.size(), 2u);
    expectRows(sections.at(1), expectedRows({{1}, {2}, {3}}));
    expectRows(sections.at(2), expectedRows({{4}, {5}, {6}}));
    EXPECT_EQ(sections.at(1).direct, 0.005);
    EXPECT_EQ(sections.at(2).direct, 0.004);
    EXPECT_EQ(sections.at(2).position[0], 6);
    expectLateral(sections.at(1), 1 + 2 + 3, 2);
    EXPECT_NE(readFile(name).find("SaveAll           = On\n"), std::string::npos);
}

TEST_F(JobModeTest, AddingOneFileByItself) {
    writeRun("a", {{1, 0.004}});
    freshProcess();
    parameters.modelFile.assign("room.ray");
    parameters.Time = 0.02;
    parameters.Precision = 0.001;
    const std::array<double, bandCount> unit{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

    // A later file that finds no receiver 1 to add to counts for nothing: no output either.
    microphones().add(std::make_unique<Microphone>(), 2);
    {
        TConfig file("a.___");
        addResultsFile(file, lastResultsFile, unit, 0);
    }
    EXPECT_FALSE(fs::exists("room.___"));
    EXPECT_EQ(microphones().at(1), nullptr);
    EXPECT_EQ(microphones().at(2)->response.row(0)[0], 0);

    // With no microphones at all, a call flagged last only is the first as well: it reads the parameters and the
    // receivers, and writes nothing.
    microphones().destroyAll();
    parameters.Time = 1;
    {
        TConfig file("a.___");
        addResultsFile(file, lastResultsFile, unit, 0);
    }
    EXPECT_EQ(parameters.Time, 0.02);
    EXPECT_FALSE(fs::exists("room.___"));
    ASSERT_NE(microphones().at(1), nullptr);
    EXPECT_EQ(microphones().at(1)->response.row(3)[2], energy(1, 3, 2));
    EXPECT_TRUE(ui.boxes.empty());
}

// ---------------------------------------------------------------- the job file

TEST_F(JobModeTest, LinesEndWithLfOrCrLfAndALongLineEndsTheReading) {
    writeRun("a", {{1, 0.004}});
    writeRun("b", {{2, 0.005}});
    writeRun("c", {{3, 0.006}});
    // "./" steps make long names of the same files: 127 of them and "b.___" give 259 characters, one more
    // slash 260.
    std::string steps;
    for (int i = 0; i < 127; ++i) steps += "./";
    const std::string longest = steps + "b.___";
    const std::string tooLong = steps + "/a.___";
    ASSERT_EQ(longest.size(), 259u);
    ASSERT_EQ(tooLong.size(), 260u);
    for (const std::string lineEnd : {"\n", "\r\n"}) {
        // Reading ends at the 260 characters: a and b are added, c is not, and b is the last.
        runJobOf({"a.___", longest, tooLong, "c.___"}, lineEnd);
        const auto sections = output();
        expectRows(sections.at(1), expectedRows({{1}, {2}}));
        EXPECT_EQ(sections.at(1).position[0], 2);
        EXPECT_TRUE(ui.boxes.empty());
        fs::remove("room.___");
    }
}

TEST_F(JobModeTest, TheFolderPrefixAndTheModelLoseTheirQuotes) {
    fs::create_directory("sub");
    writeRun("sub/Run", {{1, 0.004}});
    writeRun("sub/b", {{2, 0.005}});
    // The folder's capitals (the scratch folder is named after this test) and those of Run.___ stay: the
    // parameters are read from the file as named.
    writeFile("Job.job", "\"" + folder.string() + "/sub/\"\n\"Room\"\nRun.___\n\"b.___\",1,0\n");
    freshProcess();
    runJob("Job.job");
    EXPECT_TRUE(ui.boxes.empty()) << boxTexts().front();
    // The model name: quotes removed, lower case, extension "ray"; the output beside it.
    EXPECT_EQ(parameters.modelFile.str(), "room.___");
    const auto sections = output();
    // Time 0.02 s and Level 2 of the first file: 21 rows.
    expectRows(sections.at(1), expectedRows({{1}, {2, 1}}));
    EXPECT_NE(readFile("room.___").find("Level             = 2\n"), std::string::npos);
    EXPECT_EQ(parameters.settingsFile.str(), "");  // a results file is no settings file
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
        EXPECT_EQ(entry.path().filename().string().find("tolveno-parameters-" + std::to_string(::getpid())),
                  std::string::npos);
}

// ---------------------------------------------------------------- failures

TEST_F(JobModeTest, FilesThatCannotBeUsedAreSkipped) {
    writeRun("a", {{1, 0.004}});
    writeRun("b", {{2, 0.005}});
    // Above 80 bytes, but without [Parameters].
    writeFile("plain.___", "[Statistics]\nPyramids traced = 8\n\n[Microphone_1]\n Position = 9 9 9 1 0 0\n"
                           " Direct Wave = 0.001 s\n");
    writeFile("tiny.___", "[Parameters]\nTime = 0.02 s\n\n[End]\n");  // 35 bytes
    runJobOf({"plain.___", "a.___", "missing.___", "tiny.___", "b.___"});
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Error: Can't find the paragraph [Parameters]",
                                                    "Error: Can't find file missing.___",
                                                    "Error: Can't read tiny.___"}));
    // a, treated as the first since nothing came before it, and b.
    const auto sections = output();
    ASSERT_EQ(sections.size(), 1u);
    expectRows(sections.at(1), expectedRows({{1}, {2}}));
}

TEST_F(JobModeTest, AnUnreadableFirstSectionStillHoldsItsPlace) {
    writeRun("b", {{2, 0.005}});
    writeFile("bad.___", "[Parameters]\nTime = 0.02 s\nPrecision = 0.001 s\n\n[Microphone_1]\n"
                         " Position 1 2 3 (no equals sign)\n\n[End]\n");
    runJobOf({"bad.___", "b.___"});
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find Position of Microphone_1 in file bad.___"});
    // The paragraph is read as a settings file: the missing SaveAll takes its default, on, which names the
    // output by the source code of 65535.
    ASSERT_TRUE(fs::exists("room._8p"));
    EXPECT_FALSE(fs::exists("room.___"));
    // Receiver 1 was made from the bad section, empty: b's section is added to it.
    const auto sections = microphoneSections(readFile("room._8p"));
    ASSERT_EQ(sections.size(), 1u);
    expectRows(sections.at(1), expectedRows({{2}}));
    EXPECT_EQ(sections.at(1).position, (std::vector<double>{2, 4, 6, 1, 0, 0}));
}

TEST_F(JobModeTest, TheSettingsOfTheModelComeFirst) {
    writeRun("a", {{1, 0.004}});
    writeRun("b", {{2, 0.005}});
    writeFile("room.ray", "EntityList\nEnd\n");
    writeFile("room.ini", "[Parameters]\nAlfa = 3\nBeta = 0.25\nTime = 5\n");
    runJobOf({"a.___", "b.___"});
    EXPECT_EQ(parameters.settingsFile.str(), "room.ini");
    const std::string text = readFile("room.___");
    // Alfa and Beta are taken from the first settings read; Time (0.02 s) from the first results file.
    EXPECT_NE(text.find("Time              = 0.02 s\n"), std::string::npos);
    EXPECT_NE(text.find("Alfa              = 3\nBeta              =  0.25\n"), std::string::npos);
    expectRows(output().at(1), expectedRows({{1}, {2}}));
}

TEST_F(JobModeTest, ALastFileWithoutMicrophonesStillWritesTheSum) {
    writeRun("a", {{1, 0.004}});
    writeRun("b", {{2, 0.005}});
    writeFile("empty.___", "[Statistics]\nPyramids traced    = 512\nMean free path     = 3.5 m\n\n"
                           "[Parameters]\nTime = 0.5 s\n\n[End]\n");
    runJobOf({"a.___", "b.___", "empty.___"});
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find the paragraph [Microphone_1]"});
    const auto sections = output();
    expectRows(sections.at(1), expectedRows({{1}, {2}}));
    // No section of the last file: the lateral sums are divided by nothing.
    expectLateral(sections.at(1), 1 + 2, 1);
    EXPECT_NE(readFile("room.___").find("[Statistics]\nPyramids traced = 512\nMean free path  = 3.5\n\n"),
              std::string::npos);
}

TEST_F(JobModeTest, LaterFilesWithOtherClassCounts) {
    writeRun("a", {{1, 0.004}, {10, 0.004}});
    parameters.Time = 0.025;  // N = 25: b's sections are 5 rows longer
    writeRun("b", {{2, 0.005}, {20, 0.005}});
    parameters.Time = 0.01;  // N = 10: c's sections are 10 rows shorter
    writeRun("c", {{3, 0.006}, {30, 0.006}});

    // The extra rows of b's first section stop the search for the next position.
    runJobOf({"a.___", "b.___"});
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find Position of Microphone_2 in file b.___"});
    auto sections = output();
    expectRows(sections.at(1), expectedRows({{1}, {2}}));  // b's rows 0 to 20
    expectRows(sections.at(2), expectedRows({{10}}));

    // c's short first section fails the stream at the next heading: the file is read no further.
    runJobOf({"a.___", "c.___"});
    EXPECT_TRUE(ui.boxes.empty());
    sections = output();
    std::vector<std::array<double, bandCount>> expected = expectedRows({{1}});
    for (std::uint32_t k = 0; k <= 10; ++k)
        for (int b = 0; b < bandCount; ++b) expected[k][b] += energy(3, k, b);
    expectRows(sections.at(1), expected);
    expectRows(sections.at(2), expectedRows({{10}}));
}

TEST_F(JobModeTest, AMissingJobFileIsReported) {
    freshProcess();
    runJob("nothing.job");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find file nothing.job"});
}

// ---------------------------------------------------------------- output file

TEST_F(JobModeTest, TheOutputReplacesAnEarlierFileWhole) {
    writeRun("a", {{1, 0.004}});
    writeRun("b", {{2, 0.005}});
    writeFile("room.___", std::string(100000, 'x'));
    runJobOf({"a.___", "b.___"});
    const std::string text = readFile("room.___");
    EXPECT_EQ(text.find('x'), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 7), "\n[End]\n");
    EXPECT_FALSE(fs::exists("room.___.tmp"));

    // A folder in the way: nothing is written, and no temporary file stays behind.
    fs::remove("room.___");
    fs::create_directory("room.___");
    runJobOf({"a.___", "b.___"});
    EXPECT_TRUE(fs::is_directory("room.___"));
    EXPECT_TRUE(fs::is_empty("room.___"));
    EXPECT_FALSE(fs::exists("room.___.tmp"));
}

// ---------------------------------------------------------------- wait box

TEST_F(JobModeTest, TheWaitBoxShowsTheFileAndItsProgress) {
    writeRun("a", {{1, 0.004}, {4, 0.004}});
    writeRun("b", {{2, 0.005}, {5, 0.005}});
    const std::string a = readFile("a.___");
    const std::string b = readFile("b.___");
    WatchingWindowSystem watch;
    installWindowSystem(&watch);
    runJobOf({"a.___", "b.___"});

    EXPECT_EQ(watch.templates, (std::vector<std::string>{"WaitBox", "WaitBox"}));
    EXPECT_EQ(watch.texts, (std::vector<std::string>{"a.___", "Writing results...", "b.___", "Writing results..."}));
    EXPECT_EQ(watch.ranges, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                {0u, static_cast<std::uint32_t>(a.size())}, {0u, static_cast<std::uint32_t>(b.size())}}));
    // Before each section: the position just after its heading line.
    const auto after = [](const std::string& text, const std::string& heading) {
        return static_cast<std::uint32_t>(text.find(heading + "\n") + heading.size() + 1);
    };
    EXPECT_EQ(watch.positions, (std::vector<std::uint32_t>{after(a, "[Microphone_1]"), after(a, "[Microphone_2]"),
                                                           after(b, "[Microphone_1]"), after(b, "[Microphone_2]")}));
    EXPECT_EQ(watch.topWindow(), 0);  // closed
    EXPECT_GE(watch.pumpCount, 6);    // one per section and one per file when writing
    EXPECT_TRUE(watch.boxes.empty());
    EXPECT_TRUE(fs::exists("room.___"));
}

TEST_F(JobModeTest, AQuitRequestOrACancelledWaitBoxStopsTheJob) {
    writeRun("a", {{1, 0.004}});
    writeRun("b", {{2, 0.005}});
    ui.postQuit();
    runJobOf({"a.___", "b.___"});
    EXPECT_FALSE(fs::exists("room.___"));
    EXPECT_EQ(ui.topWindow(), 0);

    ui.postCommand(IDCANCEL);
    runJobOf({"a.___", "b.___"});
    EXPECT_FALSE(fs::exists("room.___"));
    EXPECT_EQ(ui.topWindow(), 0);

    // Nothing left over: the same job now runs to its end.
    runJobOf({"a.___", "b.___"});
    EXPECT_TRUE(fs::exists("room.___"));
}
