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
}
