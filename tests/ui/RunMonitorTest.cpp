#include <gtest/gtest.h>

#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"
#include "ui/RunMonitor.h"

class RunMonitorTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.modelFile.assign("models/hall.ray");
        parameters.settingsFile.assign("models/hall.ini");
        parameters.Level = 8;
        parameters.History = -1;
        parameters.Time = 1.5;
        parameters.Precision = 0.001;
        parameters.Humidity = 50;
        parameters.Temperature = 20;
        parameters.Diffraction = 2;
        parameters.RandomizeAfter = -1;
        parameters.OpenMP = 2;
        parameters.Diffusion = true;
        parameters.HitLevel = 0;
    }

    /// A monitor with its box, on source index of count, started at a known clock reading.
    std::unique_ptr<RunMonitor> startedMonitor(int index, int count, std::uint32_t total) {
        auto monitor = std::make_unique<RunMonitor>();
        monitor->createStatusBox();
        monitor->showSource("omni.spk", index, count);
        ui.clockStep = 0;
        monitor->pyramidTotal = total;
        monitor->sourceStart = 10000;
        monitor->runStart = 10000;
        return monitor;
    }

    const ControlState& control(const RunMonitor& monitor, int id) {
        return ui.window(monitor.statusBox->window())->controls.at(id);
    }
};

TEST_F(RunMonitorTest, LogLinesOfARun) {
    {
        RunMonitor monitor;
        EXPECT_TRUE(running);
        EXPECT_EQ(activeMonitor(), &monitor);
    }
    EXPECT_FALSE(running);
    EXPECT_EQ(activeMonitor(), nullptr);
    EXPECT_EQ(readFile("tolveno.log"),
              " \n"
              "- Start Sun Dec  6 02:15:16 2026\n\n"
              "- Model models/hall.ray\n"
              "- Defaults models/hall.ini\n"
              "- Stop Sun Dec  6 02:15:16 2026\n\n");
    const std::string first = readFile("tolveno.log");
    { RunMonitor second; }
    EXPECT_EQ(readFile("tolveno.log"), first + first) << "a second run appends";
}

TEST_F(RunMonitorTest, StatusBoxShowsTheParametersInForce) {
    RunMonitor monitor;
    monitor.createStatusBox();
    const WindowState* box = ui.window(monitor.statusBox->window());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->caption, "Tolveno 3.0 - hall.ray");
    EXPECT_EQ(box->icon, "TTRACE");
    using namespace StatusItem;
    EXPECT_EQ(ui.text(level), "8");
    EXPECT_EQ(ui.text(history), "-1");
    EXPECT_EQ(ui.text(StatusItem::time), "1.5");
    EXPECT_EQ(ui.text(resolution), "0.001");
    EXPECT_EQ(ui.text(humidity), "50");
    EXPECT_EQ(ui.text(temperature), "20");
    EXPECT_EQ(ui.text(diffraction), "2");
    EXPECT_EQ(ui.text(randomize), "-1");
    EXPECT_EQ(ui.text(activeCpus), "2");
    EXPECT_TRUE(control(monitor, diffusion).checked);
    EXPECT_TRUE(control(monitor, saveHits).checked);  // HitLevel 0 saves hits
    EXPECT_FALSE(control(monitor, saveAll).checked);
    EXPECT_FALSE(control(monitor, saveEscaped).checked);
    EXPECT_EQ(ui.text(status), "Waiting...");
    EXPECT_EQ(ui.text(elapsed), "00:00:00");
}

TEST_F(RunMonitorTest, ShowSourceWithLetterCode) {
    auto monitor = startedMonitor(27, 30, 64);
    EXPECT_EQ(ui.text(StatusItem::speakerFile), "omni.spk");
    EXPECT_EQ(ui.text(StatusItem::sourceNumber), "AB (28 of 30)");
    EXPECT_EQ(monitor->sourceIndex, 27);
    EXPECT_EQ(monitor->sourceCount, 30);
}

TEST_F(RunMonitorTest, UpdateSkipsSevenOfEight) {
    auto monitor = startedMonitor(0, 1, 64);
    ui.now = 12000;
    const int pumps = ui.pumpCount;
    EXPECT_FALSE(monitor->update(3, 0, 0));
    EXPECT_EQ(ui.pumpCount, pumps);
    EXPECT_EQ(ui.text(StatusItem::pyramidsDone), "0");
    EXPECT_FALSE(monitor->update(8, 0, 0));
    EXPECT_EQ(ui.pumpCount, pumps + 1);
    EXPECT_EQ(ui.text(StatusItem::pyramidsDone), "8");
}

TEST_F(RunMonitorTest, UpdateRefreshesOncePerSecondAndAtTheEnd) {
    auto monitor = startedMonitor(0, 1, 64);
    ui.now = 12500;  // 2.5 s into the source
    monitor->update(16, 2, 1);
    EXPECT_EQ(monitor->elapsedSeconds, 2);
    EXPECT_EQ(ui.text(StatusItem::pyramidsDone), "16");
    EXPECT_EQ(ui.text(StatusItem::escapes), "2");
    EXPECT_EQ(ui.text(StatusItem::edges), "1");
    EXPECT_EQ(ui.text(StatusItem::elapsed), "00:00:02");
    EXPECT_EQ(ui.text(StatusItem::estimated), "00:00:08");  // 64 * 2 / 16
    EXPECT_EQ(ui.text(StatusItem::totalElapsed), "00:00:03");  // 2.5 s rounds up
    EXPECT_EQ(ui.text(StatusItem::totalEstimated), "00:00:10");

    ui.now = 12900;  // the same second: no refresh
    monitor->update(24, 3, 1);
    EXPECT_EQ(ui.text(StatusItem::pyramidsDone), "16");

    ui.now = 12950;  // the last batch of the source always refreshes
    monitor->update(64, 3, 1);
    EXPECT_EQ(ui.text(StatusItem::pyramidsDone), "64");
    EXPECT_EQ(ui.text(StatusItem::escapes), "3");
}

TEST_F(RunMonitorTest, RunEstimateCountsFinishedSources) {
    auto monitor = startedMonitor(1, 3, 96);
    monitor->runStart = 0 + 1000;  // the run began 10 s before this source
    monitor->sourceStart = 11000;
    ui.now = 16000;  // 5 s into the second source, 15 s into the run
    monitor->update(48, 0, 0);
    EXPECT_EQ(ui.text(StatusItem::estimated), "00:00:10");
    // 144 of 288 pyramids in 15 s: 30 s for the run.
    EXPECT_EQ(ui.text(StatusItem::totalEstimated), "00:00:30");
    EXPECT_EQ(ui.text(StatusItem::totalElapsed), "00:00:15");
}

TEST_F(RunMonitorTest, ProgressBarCountsPyramidsUpTo256Sources) {
    auto monitor = startedMonitor(1, 3, 512);
    ui.now = 10000;  // second 0: the range is set
    monitor->update(256, 0, 0);
    const ControlState& bar = control(*monitor, StatusItem::progress);
    EXPECT_EQ(bar.low, 0u);
    EXPECT_EQ(bar.high, 1536u);
    EXPECT_EQ(bar.position, 512u + 256u);
}

TEST_F(RunMonitorTest, ProgressBarCountsSourcesAbove256) {
    auto monitor = startedMonitor(41, 300, 512);
    ui.now = 10000;
    monitor->update(512, 0, 0);
    const ControlState& bar = control(*monitor, StatusItem::progress);
    EXPECT_EQ(bar.high, 300u);
    EXPECT_EQ(bar.position, 41u);
}

TEST_F(RunMonitorTest, CancelAnsweredNoChangesNothing) {
    auto monitor = startedMonitor(0, 1, 64);
    ui.answers = {false};
    ui.postCommand(IDCANCEL);
    ui.now = 11000;
    EXPECT_FALSE(monitor->update(8, 0, 0));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Tolveno 3.0");
    EXPECT_EQ(ui.boxes[0].text, "Do you really want to cancel the calculation?");
    EXPECT_EQ(ui.boxes[0].kind, BoxKind::Question);
    EXPECT_TRUE(monitor->statusBox->exists());
    EXPECT_EQ(monitor->totalElapsedText(), "00:00:01");
}

TEST_F(RunMonitorTest, CancelAnsweredYesStopsTheRunAndClosesTheBox) {
    auto monitor = startedMonitor(0, 1, 64);
    ui.postCommand(IDCANCEL);
    ui.now = 11000;
    EXPECT_TRUE(monitor->update(8, 0, 0));
    EXPECT_FALSE(running);
    EXPECT_FALSE(monitor->statusBox->exists());
    EXPECT_EQ(ui.topWindow(), 0);
    EXPECT_EQ(monitor->totalElapsedText(), "");
    EXPECT_TRUE(monitor->update(16, 0, 0));  // stays stopped
}

TEST_F(RunMonitorTest, QuitRequestStopsTheRun) {
    auto monitor = startedMonitor(0, 1, 64);
    ui.postQuit();
    EXPECT_TRUE(monitor->update(8, 0, 0));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(RunMonitorTest, StartSourceWaitsForAFreshTick) {
    RunMonitor monitor;
    ui.now = 5000;
    ui.clockStep = 1;
    monitor.startSource(4096);
    EXPECT_EQ(monitor.pyramidTotal, 4096u);
    EXPECT_GT(monitor.sourceStart, 5000u);
    EXPECT_EQ(monitor.runStart, monitor.sourceStart);
    const std::uint32_t first = monitor.runStart;
    monitor.startSource(4096);
    EXPECT_EQ(monitor.runStart, first) << "the run's start is stamped once";
}
