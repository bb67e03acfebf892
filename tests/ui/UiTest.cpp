#include <cmath>

#include "support/UiFixture.h"
#include "ui/Format.h"
#include "ui/Messages.h"
#include "ui/RunMonitor.h"
#include "ui/StatusPanel.h"

class RunMonitorTest : public UiFixture {
protected:
    /// A monitor with its box on source index of count, of total pyramids, whose run and source began at 10 s.
    std::unique_ptr<RunMonitor> startedMonitor(int index, int count, std::uint32_t total) {
        writeFile("m/hall.ray", "");
        writeFile("m/hall.ini", "[Parameters]\nLevel=8\nTime=1.5\nDiffraction=2\nOpenMP=2\nDiffusion=1\nHitLevel=0\n");
        EXPECT_TRUE(parameters.parse("m/hall /A0"));
        auto monitor = std::make_unique<RunMonitor>();
        monitor->createStatusBox();
        monitor->showSource("omni.spk", index, count);
        monitor->statusBox->setItemText(StatusItem::pyramidTotal, std::to_string(total));
        ui.clockStep = 0;
        monitor->pyramidTotal = total;
        monitor->sourceStart = monitor->runStart = 10000;
        return monitor;
    }
};

TEST_F(RunMonitorTest, ARunShowsItsProgressAndLogsItsMessages) {
    auto monitor = startedMonitor(1, 3, 96);
    reportWarning("first %d", 1);
    EXPECT_FALSE(reportError("second"));
    showStatus("Reading line %u...", 20000u);
    monitor->runStart = 1000;  // the run began 10 s before this source
    ui.now = 15000;            // 5 s into the source, 14 s into the run
    const int pumps = ui.pumpCount;
    EXPECT_FALSE(monitor->update(47, 2, 1));  // seven of eight calls return at once
    EXPECT_EQ(ui.pumpCount, pumps);
    EXPECT_FALSE(monitor->update(48, 2, 1));
    // The estimates: 96 pyramids in 10 s for the source; 144 of 288 pyramids done in 14 s for the run.
    std::string panel;
    for (const std::string& line : panelLines(*ui.window(ui.topWindow()), 6)) panel += line + "\n";
    EXPECT_EQ(panel, readFile(TOLVENO_TEST_DATA "/ui/golden/status-panel.txt"));
    ui.now = 15900;  // the same second: no refresh
    monitor->update(56, 3, 1);
    EXPECT_EQ(ui.text(StatusItem::pyramidsDone), "48");
    monitor->update(96, 3, 1);  // the last batch of a source always refreshes
    EXPECT_EQ(ui.text(StatusItem::pyramidsDone) + " " + ui.text(StatusItem::escapes), "96 3");
    ui.clockStep = 1;  // startSource waits for the clock to tick
    monitor->startSource(96);
    EXPECT_EQ(monitor->runStart, 1000u) << "the next source keeps the start of the run";
    EXPECT_TRUE(running && activeMonitor() == monitor.get() && ui.boxes.empty());
    monitor.reset();
    EXPECT_FALSE(running || activeMonitor());
    const std::string start = " \n- Start Sun Dec  6 02:15:16 2026\n\n- Model m/hall.ray\n- Defaults m/hall.ini\n";
    const std::string stop = "- Stop Sun Dec  6 02:15:16 2026\n\n";
    { RunMonitor second; }
    EXPECT_EQ(readFile("tolveno.log"), start + "! first 1\n? second\n" + stop + start + stop);  // runs append
    // Past 256 sources the bar counts sources.
    monitor = startedMonitor(41, 300, 512);
    monitor->update(512, 0, 0);
    const ControlState& bar = ui.window(ui.topWindow())->controls.at(StatusItem::progress);
    EXPECT_EQ(std::to_string(bar.position) + " of " + std::to_string(bar.high), "41 of 300");
}

TEST_F(RunMonitorTest, CancelAsksFirstAndAQuitRequestDoesNot) {
    auto monitor = startedMonitor(0, 1, 64);
    ui.answers = {false};
    ui.postCommand(IDCANCEL);
    ui.now = 11000;
    EXPECT_FALSE(monitor->update(8, 0, 0));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Tolveno 3.0: Do you really want to cancel the calculation?"});
    EXPECT_EQ(ui.boxes[0].kind, BoxKind::Question);
    EXPECT_EQ(monitor->totalElapsedText(), "00:00:01");
    ui.postCommand(IDCANCEL);  // answered yes: the run stops and the box closes
    EXPECT_TRUE(monitor->update(16, 0, 0));
    EXPECT_FALSE(running || monitor->statusBox->exists());
    EXPECT_EQ(monitor->totalElapsedText(), "");
    EXPECT_TRUE(monitor->update(24, 0, 0));  // stays stopped
    monitor.reset();
    monitor = startedMonitor(0, 1, 64);
    ui.postQuit();
    EXPECT_TRUE(monitor->update(8, 0, 0));
    EXPECT_EQ(ui.boxes.size(), 2u);  // no new question
}

using MessagesTest = UiFixture;

TEST_F(MessagesTest, BoxesHaveTheirCaptionsBeepsAndKinds) {
    const std::string longText(5000, 'w');  // no length limit
    EXPECT_FALSE(showError("Can't open %s (%d)", longText.c_str(), 3));
    EXPECT_FALSE(showWarning("Low %.1f", 2.5));
    ui.answers = {false};
    EXPECT_FALSE(confirm("Go?"));
    EXPECT_TRUE(confirm("Again?"));
    reportWarning("Face %d", 4);  // outside a run: a box, and nothing logged
    EXPECT_FALSE(reportError("Line %u", 3u));
    showStatus("Reading line %u...", 10000u);  // nothing to show it in
    try {  // a fatal error ends the process with status 1
        fatalError("Can't create %s", "x.hit");
        ADD_FAILURE() << "fatalError returned";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(exit.status, static_cast<int>(ExitStatus::internalError));
    }
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Error: Can't open " + longText + " (3)", "Warning: Low 2.5",
                                                    "Confirmation: Go?", "Confirmation: Again?", "Warning: Face 4",
                                                    "Warning: Line 3", "Error: Can't create x.hit"}));
    std::string kinds, beeps;  // E W Q: error, warning, question boxes; S E Q: stop, exclamation, question beeps
    for (const RecordedBox& box : ui.boxes) kinds += "EWQ"[static_cast<int>(box.kind)];
    for (Beep beep : ui.beeps) beeps += "SEQ"[static_cast<int>(beep)];
    EXPECT_EQ(kinds + " " + beeps, "EWQQWWE SEQQQSS");
    EXPECT_FALSE(std::filesystem::exists("tolveno.log"));
}

TEST(FormatTest, DurationsNumbersLetterCodesAndBars) {
    const std::pair<double, const char*> durations[] = {
        {0.4, "00:00:00"}, {0.5, "00:00:01"}, {59.5, "00:01:00"}, {3599.5, "01:00:00"}, {3661, "01:01:01"},
        {360000, "100:00:00"}, {-3, "00:00:00"}, {std::nan(""), "00:00:00"}, {1 / 0.0, "1000000000:00:00"}};
    for (const auto& [seconds, text] : durations) EXPECT_EQ(formatDuration(seconds), text) << seconds;
    const std::pair<double, const char*> numbers[] = {{0.001, "0.001"}, {50, "50"}, {-2.25, "-2.25"}, {100, "100"},
                                                      {1e-9, "0"},      {1.123456789, "1.12345679"}};
    for (const auto& [value, text] : numbers) EXPECT_EQ(formatNumber(value), text) << value;
    const std::pair<std::uint32_t, const char*> codes[] = {{1, "A"},   {26, "Z"},   {27, "AA"},  {28, "AB"},
                                                           {52, "AZ"}, {53, "BA"}, {702, "ZZ"}, {703, "AAA"}};
    for (const auto& [n, code] : codes) EXPECT_EQ(letterCode(n), code) << n;
    ControlState bar;  // past the end: full, never beyond; without a range: empty
    bar.position = 5000;
    EXPECT_EQ(progressBar(bar, 4), "[####] 100%");
    bar.high = 0;
    EXPECT_EQ(progressBar(bar, 4), "[----] 0%");
}
