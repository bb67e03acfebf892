#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"
#include "ui/RunMonitor.h"

class RunMonitorTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        writeFile("models/hall.ray", "");
        writeFile("models/hall.ini", "[Parameters]\nLevel=8\nTime=1.5\nDiffraction=2\nOpenMP=2\nDiffusion=1\nHitLevel=0\n"
                                     "SaveAll=0\n");
        ASSERT_TRUE(parameters.parse("models/hall"));
        ui.boxes.clear();
    }

    /// A monitor with its box, on source index of count, started at a known clock reading.
    std::unique_ptr<RunMonitor> startedMonitor(int index, int count, std::uint32_t total) {
        auto monitor = std::make_unique<RunMonitor>();
        monitor->createStatusBox();
        monitor->showSource("omni.spk", index, count);
        ui.clockStep = 0;
        monitor->pyramidTotal = total;
        monitor->sourceStart = monitor->runStart = 10000;
        return monitor;
    }

    const ControlState& control(int id) { return ui.window(ui.topWindow())->controls.at(id); }
};

TEST_F(RunMonitorTest, TheLogOfARun) {
    {
        RunMonitor monitor;
        EXPECT_TRUE(running);
        EXPECT_EQ(activeMonitor(), &monitor);
    }
    EXPECT_FALSE(running);
    EXPECT_EQ(activeMonitor(), nullptr);
    const std::string first = " \n- Start Sun Dec  6 02:15:16 2026\n\n- Model models/hall.ray\n"
                              "- Defaults models/hall.ini\n- Stop Sun Dec  6 02:15:16 2026\n\n";
    EXPECT_EQ(readFile("tolveno.log"), first);
    { RunMonitor second; }
    EXPECT_EQ(readFile("tolveno.log"), first + first) << "a second run appends";
}

TEST_F(RunMonitorTest, TheStatusBoxShowsTheParametersInForceAndTheSource) {
    auto monitor = startedMonitor(27, 30, 64);
    EXPECT_EQ(ui.window(ui.topWindow())->caption, "Tolveno 3.0 - hall.ray");
    EXPECT_EQ(ui.window(ui.topWindow())->icon, "TTRACE");
    using namespace StatusItem;
    const std::pair<int, const char*> texts[] = {
        {level, "8"},           {history, "-1"},     {StatusItem::time, "1.5"}, {resolution, "0.001"},
        {humidity, "50"},       {temperature, "20"}, {diffraction, "2"},        {randomize, "-1"},
        {activeCpus, "2"},      {status, "Waiting..."}, {elapsed, "00:00:00"},  {speakerFile, "omni.spk"},
        {sourceNumber, "AB (28 of 30)"}};
    for (const auto& [id, text] : texts) EXPECT_EQ(ui.text(id), text) << id;
    EXPECT_TRUE(control(diffusion).checked);
    EXPECT_TRUE(control(saveHits).checked);  // HitLevel 0 saves hits
    EXPECT_FALSE(control(saveAll).checked || control(saveEscaped).checked || control(saveDiffuseHits).checked ||
                 control(alwaysObstructing).checked);
}

TEST_F(RunMonitorTest, UpdatesSkipSevenOfEightAndRefreshOncePerSecondAndAtTheEnd) {
    auto monitor = startedMonitor(0, 1, 64);
    ui.now = 12500;  // 2.5 s into the source
    const int pumps = ui.pumpCount;
    EXPECT_FALSE(monitor->update(15, 0, 0));
    EXPECT_EQ(ui.pumpCount, pumps);
    EXPECT_EQ(ui.text(StatusItem::pyramidsDone), "0");
    EXPECT_FALSE(monitor->update(16, 2, 1));
    EXPECT_EQ(ui.pumpCount, pumps + 1);
    EXPECT_EQ(monitor->elapsedSeconds, 2);
    using namespace StatusItem;
    const std::pair<int, const char*> texts[] = {
        {pyramidsDone, "16"}, {escapes, "2"}, {edges, "1"}, {elapsed, "00:00:02"},
        {estimated, "00:00:08"},  // 64 * 2 / 16
        {totalElapsed, "00:00:03"}, {totalEstimated, "00:00:10"}};  // the run's time is rounded: 2.5 s, 64 * 2.5 / 16
    for (const auto& [id, text] : texts) EXPECT_EQ(ui.text(id), text) << id;
    ui.now = 12900;  // the same second: no refresh
    monitor->update(24, 3, 1);
    EXPECT_EQ(ui.text(pyramidsDone), "16");
    monitor->update(64, 3, 1);  // the last batch of the source always refreshes
    EXPECT_EQ(ui.text(pyramidsDone), "64");
    EXPECT_EQ(ui.text(escapes), "3");
}

TEST_F(RunMonitorTest, TheRunEstimateAndTheBarCountFinishedSources) {
    auto monitor = startedMonitor(1, 3, 96);
    monitor->runStart = 1000;  // the run began 10 s before this source
    ui.now = 15000;  // 5 s into the second source, 14 s into the run
    monitor->update(48, 0, 0);
    EXPECT_EQ(ui.text(StatusItem::estimated), "00:00:10");
    EXPECT_EQ(ui.text(StatusItem::totalElapsed), "00:00:14");
    EXPECT_EQ(ui.text(StatusItem::totalEstimated), "00:00:28");  // 144 of 288 pyramids in 14 s
    EXPECT_EQ(control(StatusItem::progress).high, 288u);
    EXPECT_EQ(control(StatusItem::progress).position, 96u + 48u);
    // Past 256 sources the bar counts sources.
    monitor.reset();
    monitor = startedMonitor(41, 300, 512);
    ui.now = 10000;
    monitor->update(512, 0, 0);
    EXPECT_EQ(control(StatusItem::progress).high, 300u);
    EXPECT_EQ(control(StatusItem::progress).position, 41u);
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
    EXPECT_FALSE(running);
    EXPECT_EQ(ui.topWindow(), 0);
    EXPECT_EQ(monitor->totalElapsedText(), "");
    EXPECT_TRUE(monitor->update(24, 0, 0));  // stays stopped

    monitor.reset();
    monitor = startedMonitor(0, 1, 64);
    ui.boxes.clear();
    ui.postQuit();
    EXPECT_TRUE(monitor->update(8, 0, 0));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(RunMonitorTest, StartSourceWaitsForAFreshTickAndStampsTheRunOnce) {
    RunMonitor monitor;
    ui.now = 5000;
    monitor.startSource(4096);
    EXPECT_EQ(monitor.pyramidTotal, 4096u);
    EXPECT_GT(monitor.sourceStart, 5000u);
    EXPECT_EQ(monitor.runStart, monitor.sourceStart);
    monitor.startSource(4096);
    EXPECT_GT(monitor.sourceStart, monitor.runStart);
}
