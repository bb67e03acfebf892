#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "results/JobMode.h"
#include "results/ResultsFile.h"
#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"

namespace {

namespace fs = std::filesystem;

// The runs written below have Time 0.02 s and Precision 0.001 s: rows 0 to 20.
constexpr std::uint32_t lastClass = 20;

// A receiver of scale s holds distinct whole numbers (which the six digits of a file keep) and lateral quarters.
double energy(double s, std::uint32_t k, int b) { return s * (100 * k + b + 1); }
double lateralValue(double s, int group, int b) { return s * (group + 0.25 * b); }

/// A microphone section: its position, its direct wave, then its LFC, LE and LF lines and its rows as one list.
struct Section { std::vector<double> position; double direct = 0; std::vector<double> values; };

/// The microphone sections of a results file's text, by number, read by the layout rules.
std::map<int, Section> sectionsOf(const std::string& text) {
    std::map<int, Section> sections;
    std::istringstream in(text);
    Section* s = nullptr;
    for (std::string line; std::getline(in, line);) {
        // The numbers after the "=", or of the whole line when it has none (npos + 1 is 0).
        std::istringstream numbers(line.substr(line.find('=') + 1));
        const std::vector<double> values{std::istream_iterator<double>(numbers), std::istream_iterator<double>()};
        if (line.rfind("[Microphone_", 0) == 0) s = &sections[std::stoi(line.substr(12))];
        else if (!s || line.empty() || line[0] == '[') s = nullptr;
        else if (line.rfind(" Position =", 0) == 0) s->position = values;
        else if (line.rfind(" Direct Wave =", 0) == 0) s->direct = values.at(0);
        else s->values.insert(s->values.end(), values.begin(), values.end());
    }
    return sections;
}

/// One file's part in a sum: its receiver's scale, its delay in whole classes and its gain factor.
struct Part { double scale; std::uint32_t shift = 0; double gain = 1; };

/// The sum expected in one section: its parts, the divisor of its lateral values, its direct wave (unchecked when
/// NaN) and the x of its position (that of the last file read).
struct Sum { int slot; std::vector<Part> parts; double divisor, direct, x; };

/// Row k of a part lands in row k + shift (the last row takes all beyond); the lateral values are summed without
/// gains and divided. A file keeps six significant digits of these values and fifteen of the others.
::testing::AssertionResult isSum(const std::map<int, Section>& sections, const Sum& sum) {
    if (!sections.count(sum.slot)) return ::testing::AssertionFailure() << "no section " << sum.slot;
    const Section& s = sections.at(sum.slot);
    std::vector<double> expected((3 + lastClass + 1) * bandCount);
    for (const Part& p : sum.parts)
        for (int b = 0; b < bandCount; ++b) {
            for (int g = 1; g <= 3; ++g) expected[(g - 1) * bandCount + b] += lateralValue(p.scale, g, b) / sum.divisor;
            for (std::uint32_t k = 0; k <= lastClass; ++k)
                expected[(3 + std::min(lastClass, k + p.shift)) * bandCount + b] += energy(p.scale, k, b) * p.gain;
        }
    if (s.values.size() != expected.size()) return ::testing::AssertionFailure() << s.values.size() << " values";
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (std::abs(s.values[i] - expected[i]) > 1e-5 * std::abs(expected[i]))
            return ::testing::AssertionFailure() << "value " << i << " of " << sum.slot << ": " << s.values[i];
    if ((!std::isnan(sum.direct) && std::abs(s.direct - sum.direct) > 1e-15) ||
        s.position != std::vector<double>{sum.x, 2 * sum.x, 3 * sum.x, 1, 0, 0})
        return ::testing::AssertionFailure() << "direct wave " << s.direct << " or position of " << sum.slot;
    return ::testing::AssertionSuccess();
}

}  // namespace

class JobModeTest : public UiFixture {
protected:
    /// Writes the results file of a run of stem.ray with the results writer: receivers of the given scales and
    /// direct waves in slots from 1, Time 0.02 s, Precision 1 ms. Answers the file's text.
    static std::string writeRun(const std::string& stem, const std::vector<std::pair<double, double>>& receivers,
                                double meanFreePath = 12.5) {
        parameters.modelFile.assign(stem + ".ray");
        parameters.Time = 0.02;
        parameters.Precision = 0.001;
        parameters.SaveAll = false;
        microphones().destroyAll();
        int slot = 1;
        for (const auto& [scale, direct] : receivers) {
            auto m = std::make_unique<Microphone>();
            m->axis.origin = Coord(scale, 2 * scale, 3 * scale);
            m->response.earliestDirectDelay = direct;
            // No early energy: the file holds the lateral values as they stand.
            for (int g = 1; g <= 3; ++g)
                for (int b = 0; b < bandCount; ++b) m->lateral[g * bandCount + b] = float(lateralValue(scale, g, b));
            for (std::uint32_t k = 0; k <= lastClass; ++k)
                for (int b = 0; b < bandCount; ++b) m->response.row(k)[b] = float(energy(scale, k, b));
            microphones().add(std::move(m), slot++);
        }
        EXPECT_TRUE(writeResults(Model(), {.meanFreePath = meanFreePath, .processingTime = ""}));
        return readFile(resultsFileName(0));
    }
};

TEST_F(JobModeTest, FieldsOfAResultsFileLine) {
    const struct { const char *line, *prefix, *name; double delay; std::array<double, bandCount> dB; } cases[] = {
        // The delay in ms, then the gains of the bands in dB.
        {"d.___,2.5,0,10,20,30,40,50,60,70,80,-90", "", "d.___", 0.0025, {0, 10, 20, 30, 40, 50, 60, 70, 80, -90}},
        // Missing fields repeat the last one present, even the name (whose leading number counts).
        {"e.___,5,0,6", "", "e.___", 0.005, {0, 6, 6, 6, 6, 6, 6, 6, 6, 6}},
        {"20room.___", "", "20room.___", 0.020, {20, 20, 20, 20, 20, 20, 20, 20, 20, 20}},
        // Text that is no number reads as 0; fields after the twelfth are not read.
        {"f.___,soon,loud", "", "f.___", 0, {}},
        {"f.___,0,0,0,0,0,0,0,0,0,0,10,20", "", "f.___", 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 10}},
        // Double quotes leave the name; the folder prefix goes in front as it stands.
        {"\"my run.___\",1", "data/", "data/my run.___", 0.001, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    };
    for (const auto& c : cases) {
        const JobLine line = parseJobLine(c.line, c.prefix);
        EXPECT_EQ(line.fileName, c.name) << c.line;
        EXPECT_DOUBLE_EQ(line.delay, c.delay) << c.line;
        for (int b = 0; b < bandCount; ++b)
            EXPECT_NEAR(line.gains[b] / std::pow(10.0, c.dB[b] / 10), 1, 1e-12) << c.line << ", band " << b;
    }
}

TEST_F(JobModeTest, TheResultsFilesOfAJobAddUp) {
    parameters.Level = 2;
    const std::string a = writeRun("a", {{1, 0.004}, {10, 0.004}, {100, 0.008}});
    parameters.Level = 3;
    const std::string b = writeRun("b", {{2, 0.003}, {20, 0.004}}, 7.25);
    writeFile("crlf.___", std::regex_replace(b, std::regex("\n"), "\r\n"));
    writeRun("c", {{3, 0.004}, {30, 0.004}});
    writeRun("zero", {{4, 0}});
    fs::create_directory("sub");
    writeRun("sub/Run", {{1, 0.004}});
    writeRun("sub/b", {{2, 0.004}});
    writeFile("plain.___", a.substr(a.find("[Microphone_1]")));       // no [Parameters]
    writeFile("tiny.___", "[Parameters]\nTime = 0.02 s\n\n[End]\n");  // below 80 bytes
    writeFile("bad.___", "[Parameters]\nTime = 0.02\nPrecision = 0.001\n\n[Microphone_1]\n Position 1 2 3\n\n[End]\n");
    writeFile("empty.___",
              "[Statistics]\nPyramids traced = 512\nMean free path = 3.5 m\n\n[Parameters]\nTime = 1\n\n[End]\n");
    // Slashes lengthen names of the same files: 259 characters are read, 260 end the reading.
    const std::string longest = std::string(".").append(253, '/') + "b.___";
    const std::string tooLong = std::string(".").append(254, '/') + "a.___";

    const struct {
        std::vector<std::string> lines;
        std::vector<Sum> sums;
        std::size_t sections = 3;
        std::vector<std::string> boxes = {};
        const char* output = "room.___";  // nullptr: none
        const char* text = "";            // a part of the output
        const char* head = "\nroom\n";    // the folder prefix and the model
        const char* lineEnd = "\n";
        int message = -1;  // a window message waiting when the job starts
    } cases[] = {
        // A quit request (0) or the wait box cancelled stops the job: nothing is written.
        {.lines = {"a.___", "b.___"}, .sums = {}, .output = nullptr, .message = 0},
        {.lines = {"a.___", "b.___"}, .sums = {}, .output = nullptr, .message = IDCANCEL},
        // b 10 ms (ten classes) late and 10 dB (a factor 10) up, a 2 ms late at 0 dB. The statistics of the last file,
        // the parameters of the first; lateral values divided by b's 2 sections; receiver 3, beyond them, is a's.
        {.lines = {"a.___,2,0", "b.___,10"},
         .sums = {{1, {{1, 2}, {2, 10, 10}}, 2, 0.006, 2}, {3, {{100, 2}}, 1, 0.010, 100}},
         .text = "\n\n[Statistics]\nPyramids traced = 64\nMean free path  = 7.25\n\n[Parameters]\n"
                 "Level             = 2\nTime              = 0.02 s\nPrecision         = 0.001 s\n"},
        // Divided by the last file's 2 sections, not by the 3 files.
        {.lines = {"a.___", "b.___", "c.___"}, .sums = {{2, {{10}, {20}, {30}}, 2, 0.004, 30}}},
        // More receivers in a later file: only those of the first are summed.
        {.lines = {"b.___", "a.___"}, .sums = {{2, {{20}, {10}}, 2, 0.004, 10}}, .sections = 2},
        // A negative delay is neither added to the direct wave nor shifts the rows.
        {.lines = {"a.___,-3,0", "b.___,-1,0"}, .sums = {{1, {{1}, {2}}, 2, 0.003, 2}}},
        // The list ends after 128 files, at an empty line, and at a line longer than 259 characters.
        {.lines = std::vector<std::string>(129, "a.___"), .sums = {{1, {{128}}, 3, 0.004, 1}}},
        {.lines = {"a.___", "b.___", "", "c.___"}, .sums = {{1, {{1}, {2}}, 2, 0.003, 2}}},
        {.lines = {"a.___", longest, tooLong, "c.___"}, .sums = {{1, {{1}, {2}}, 2, 0.003, 2}}},
        // Job and results files whose lines end with CR LF (edited on Windows); 259 characters and CR LF are read.
        {.lines = {"a.___", longest, "c.___"}, .sums = {{1, {{1}, {2}, {3}}, 2, 0.003, 3}}, .head = "\r\nroom\r\n",
         .lineEnd = "\r\n"},
        {.lines = {"a.___", "crlf.___"}, .sums = {{2, {{10}, {20}}, 2, 0.004, 20}}},
        // The folder prefix and the model lose their quotes; the model's name is made lower case, its extension "ray".
        {.lines = {"Run.___", "\"b.___\",1,0"}, .sums = {{1, {{1}, {2, 1}}, 1, 0.004, 2}}, .sections = 1,
         .head = "\"sub/\"\n\"Room\"\n"},
        // Files that cannot be used are reported and skipped; a is the first since nothing came before it.
        {.lines = {"plain.___", "a.___", "missing.___", "tiny.___", "b.___"}, .sums = {{1, {{1}, {2}}, 2, 0.003, 2}},
         .boxes = {"Error: Can't find the paragraph [Parameters]", "Error: Can't find file missing.___",
                   "Error: Can't read tiny.___"}},
        // An unreadable first section holds its place. Read as settings, bad's paragraph leaves SaveAll at its
        // default, on: the output is named by the source code of 65535. (The direct wave is not checked: the sum
        // keeps "none", 1e12 s, rather than b's 3 ms.)
        {.lines = {"bad.___", "b.___"}, .sums = {{1, {{2}}, 1, NAN, 2}}, .sections = 1,
         .boxes = {"Error: Can't find Position of Microphone_1 in file bad.___"}, .output = "room._8p"},
        // A direct wave at 0 is made 0.1 ms.
        {.lines = {"zero.___", "c.___"}, .sums = {{1, {{4}, {3}}, 1, 0.0001, 3}}, .sections = 1,
         .boxes = {"Warning: Invalid Direct Wave Time = 0"}},
        // A last file without receivers gives its statistics; the lateral sums stay as they are.
        {.lines = {"a.___", "b.___", "empty.___"}, .sums = {{1, {{1}, {2}}, 1, 0.003, 2}},
         .boxes = {"Error: Can't find the paragraph [Microphone_1]"},
         .text = "\n[Statistics]\nPyramids traced = 512\nMean free path  = 3.5\n\n"},
        // A single file is read but is no sum: nothing is written.
        {.lines = {"a.___"}, .sums = {}, .output = nullptr},
    };
    for (const auto& c : cases) {
        const std::string what = "job #" + std::to_string(&c - cases) + " to " + c.lines.back();
        std::string job = c.head;
        for (const std::string& line : c.lines) job += line + c.lineEnd;
        writeFile("room.job", job);
        fs::remove("room.___");
        fs::remove("room._8p");
        // The state of a fresh process.
        microphones().destroyAll();
        parameters = RunParameters{};
        ui.boxes.clear();
        if (c.message >= 0) ui.posted.push_back(c.message);
        runJob("room.job");
        EXPECT_EQ(boxTexts(), c.boxes) << what;
        EXPECT_EQ(fs::exists("room.___"), c.output && c.output == std::string("room.___")) << what;
        EXPECT_EQ(parameters.settingsFile.str(), "") << what;  // a results file is no settings file
        EXPECT_EQ(ui.topWindow(), 0) << what;                  // the wait box is closed
        if (!c.output) continue;
        EXPECT_EQ(parameters.modelFile.str(), c.output) << what;
        const std::string text = readFile(c.output);
        EXPECT_EQ(text.rfind("[Version]\nProgram = Tolveno 3.0\n", 0), 0u) << what;
        EXPECT_EQ(text.find("[File]"), std::string::npos) << what;
        EXPECT_EQ(text.substr(text.size() - 7), "\n[End]\n") << what;
        EXPECT_NE(text.find(c.text), std::string::npos) << what << ": " << c.text;
        const auto sections = sectionsOf(text);
        EXPECT_EQ(sections.size(), c.sections) << what;
        for (const Sum& sum : c.sums) EXPECT_TRUE(isSum(sections, sum)) << what;
    }
    ui.boxes.clear();
    runJob("nothing.job");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find file nothing.job"});
}

// The per-source files of a SaveAll run added by a job give what one run without SaveAll accumulates.
TEST_F(JobModeTest, AJobOverSeparateSourcesEqualsTheAccumulatedRun) {
    writeFile("hall.ray", "EntityList\n Face 1 1 4 0 0 0 10 0 0 10 8 0 0 8 0\n Face 1 1 4 0 0 3 0 8 3 10 8 3 10 0 3\n"
                          " Source 2 2 1.5 3 2 1.5 0 a.spk\n Source 7 5 1.2 6 5 1.2 0 b.spk\n"
                          " Receiver 5 3 1.1 0 0 1\n Receiver 8 6 1.4 0 0 1\nEnd\n");
    writeFile("hall.material", "1 Plaster, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n");
    writeFile("hall.ini", "[Parameters]\nLevel=4\nTime=0.1\nPrecision=0.001\nHistory=3\nOpenMP=1\nDiffraction=0\n");
    writeFile("sum.job", "\nhall\nhall.__a\nhall.__b\n");
    for (const std::string arguments : {"hall /A1", "hall /A0", "sum.job"})
        ASSERT_EQ(runProgram("\"" TOLVENO_BINARY "\" " + arguments), 0) << arguments << ": " << errors;
    const auto accumulated = sectionsOf(readFile("hall.___")), added = sectionsOf(readFile("hall._8p"));
    // The sum has its parameter table too; holding no [Source], it gives no strength.
    const std::string table = readFile("hall._8p.csv");
    EXPECT_TRUE(table.starts_with("receiver,band,parameter,value,unit\n1,31.5,EDT,"));
    EXPECT_NE(table.find("\n2,1000,G,,dB\n"), std::string::npos);
    int nonZero = 0;
    for (int slot : {1, 2}) {
        const std::vector<double>&sum = added.at(slot).values, &one = accumulated.at(slot).values;
        ASSERT_EQ(one.size(), (3 + 101u) * bandCount);
        ASSERT_EQ(sum.size(), one.size());
        // The rows, after the lateral lines. Each file rounds to six digits (half a unit of the sixth): a sum of two
        // rounded values and the accumulated one differ by at most 1.5 units, within 2.
        for (std::size_t i = 3 * bandCount; i < one.size(); ++i) {
            EXPECT_NEAR(sum[i], one[i], 2e-5 * std::fabs(one[i])) << "receiver " << slot << ", value " << i;
            nonZero += one[i] != 0;
        }
    }
    EXPECT_GT(nonZero, 20);
}
