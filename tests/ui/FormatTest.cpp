#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

#include "ui/Format.h"
#include "ui/StatusPanel.h"
#include "ui/TerminalWindowSystem.h"

TEST(FormatTest, DurationsNumbersLetterCodesAndBars) {
    const std::pair<double, const char*> durations[] = {
        {0.4, "00:00:00"},     {0.5, "00:00:01"}, {59.5, "00:01:00"},        {3599.5, "01:00:00"},      {3661, "01:01:01"},
        {360000, "100:00:00"}, {-3, "00:00:00"},  {std::nan(""), "00:00:00"}, {1 / 0.0, "1000000000:00:00"}};
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

// Run without a terminal on stdin (ctest gives none): the terminal window system behaves as in a batch job.
TEST(TerminalWindowSystemTest, QuestionsTakeTheAnswerThatLosesNothingAndAnInterruptIsOneQuitRequest) {
    if (isatty(STDIN_FILENO)) GTEST_SKIP() << "needs a run without a terminal on stdin";
    TerminalWindowSystem terminal;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(terminal.messageBox(0, "Save?", "Tolveno 3.0", BoxKind::Question));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Tolveno 3.0: Save? [y/n] y (no terminal)\n");
    EXPECT_FALSE(terminal.pumpMessages());
    std::raise(SIGINT);
    EXPECT_TRUE(terminal.pumpMessages());
    EXPECT_FALSE(terminal.pumpMessages()) << "one request is seen once";
}
