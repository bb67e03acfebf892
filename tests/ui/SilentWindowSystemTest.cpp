#include "ui/SilentWindowSystem.h"

#include <gtest/gtest.h>

#include "ui/Messages.h"

// A process nobody sees prints nothing, whatever it is told to show, and
// answers every question No (a Yes could save or replace something).
TEST(SilentWindowSystemTest, ShowsNothingAndAnswersNo) {
    SilentWindowSystem silent;
    installWindowSystem(&silent);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const bool saved = confirm("Do you want to save partial results anyway?");
    const bool shown = showError("Can't read the model file %s", "room.ray");
    showWarning("a warning");
    reportWarning("a warning during no run");
    silent.beep(Beep::Stop);
    const bool quit = silent.pumpMessages();
    const std::string printed = testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
    installWindowSystem(nullptr);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(quit);
    EXPECT_EQ(printed, "");
    // The clock and the local time are real ones: a dialog's timings still work.
    EXPECT_EQ(silent.localTime().size(), 25u) << silent.localTime();
    EXPECT_EQ(silent.localTime().back(), '\n');
    const std::uint32_t before = silent.clockMs();
    while (silent.clockMs() - before < 2) {
    }
    EXPECT_LT(silent.clockMs() - before, 1000u);
}
