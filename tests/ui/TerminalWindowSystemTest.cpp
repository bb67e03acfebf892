#include <gtest/gtest.h>

#include <csignal>

#include "ui/TerminalWindowSystem.h"

// These tests run without a terminal on stdin (ctest gives none), so the
// terminal window system behaves as it does in a batch job.
class TerminalWindowSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (isatty(STDIN_FILENO)) GTEST_SKIP() << "needs a run without a terminal on stdin";
        installWindowSystem(&terminal);
    }
    void TearDown() override { installWindowSystem(nullptr); }
    TerminalWindowSystem terminal;
};

TEST_F(TerminalWindowSystemTest, BoxesPrintCaptionAndTextAndQuestionsTakeTheAnswerThatLosesNothing) {
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(terminal.messageBox(0, "Can't find file x.ini", "Error", BoxKind::Error));
    EXPECT_TRUE(terminal.messageBox(0, "ends with its own line\n", "Error", BoxKind::Error));
    EXPECT_TRUE(terminal.messageBox(0, "Save partial results?", "Tolveno 3.0", BoxKind::Question));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: Can't find file x.ini\nError: ends with its own line\n"
                                                        "Tolveno 3.0: Save partial results? [y/n] y (no terminal)\n");
}

TEST_F(TerminalWindowSystemTest, AnInterruptIsOneQuitRequestAndTheClocksRun) {
    EXPECT_FALSE(terminal.pumpMessages());
    std::raise(SIGINT);
    EXPECT_TRUE(terminal.pumpMessages());
    EXPECT_FALSE(terminal.pumpMessages()) << "one request is seen once";
    const std::uint32_t start = terminal.clockMs();
    timespec pause{0, 20'000'000};
    nanosleep(&pause, nullptr);
    const std::uint32_t spent = terminal.clockMs() - start;
    EXPECT_GE(spent, 20u);
    EXPECT_LT(spent, 5000u);
    const std::string now = terminal.localTime();
    EXPECT_EQ(now.size(), 25u) << now;  // "Sun Dec  6 02:15:16 2026\n"
    EXPECT_EQ(now.back(), '\n');
}
