#include <gtest/gtest.h>

#include "support/UiFixture.h"
#include "ui/LogFile.h"
#include "ui/Messages.h"
#include "ui/RunMonitor.h"

using MessagesTest = UiFixture;

TEST_F(MessagesTest, BoxesHaveTheirCaptionsBeepsAndKinds) {
    EXPECT_FALSE(showError("Can't open %s (%d)", "a.ray", 3));
    EXPECT_FALSE(showWarning("Low %.1f", 2.5));
    ui.answers = {false};
    EXPECT_FALSE(confirm("Go?"));
    EXPECT_TRUE(confirm("Again?"));
    ASSERT_EQ(ui.boxes.size(), 4u);
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Error: Can't open a.ray (3)", "Warning: Low 2.5",
                                                    "Confirmation: Go?", "Confirmation: Again?"}));
    EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(ui.boxes[1].kind, BoxKind::Warning);
    EXPECT_EQ(ui.boxes[2].kind, BoxKind::Question);
    EXPECT_EQ(ui.beeps, (std::vector<Beep>{Beep::Stop, Beep::Exclamation, Beep::Question, Beep::Question}));
}

TEST_F(MessagesTest, FatalErrorEndsWithStatusOne) {
    try {
        fatalError("Can't create %s", "x.hit");
        FAIL() << "fatalError returned";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(exit.status, 1);
    }
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't create x.hit"});
    EXPECT_EQ(ui.beeps, std::vector<Beep>{Beep::Stop});
}

TEST_F(MessagesTest, LongTextsAreShownWhole) {
    const std::string longText(5000, 'w');
    showError("%s|end", longText.c_str());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, longText + "|end");
}

TEST_F(MessagesTest, ReportsOutsideARunAreWarningBoxesAndNotLogged) {
    reportWarning("Face %d has %s", 4, "duplicates");
    EXPECT_FALSE(reportError("Unknown entity in line %u: '%s'", 3u, "Bogus"));
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Warning: Face 4 has duplicates",
                                                    "Warning: Unknown entity in line 3: 'Bogus'"}));
    EXPECT_EQ(ui.beeps, (std::vector<Beep>{Beep::Question, Beep::Stop}));
    EXPECT_FALSE(std::filesystem::exists("tolveno.log"));
    showStatus("Reading line %u...", 10000u);  // nothing to show it in
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(MessagesTest, ReportsDuringARunGoToTheListAndTheLog) {
    {
        RunMonitor monitor;
        monitor.createStatusBox();
        reportWarning("first %d", 1);
        ui.postQuit();
        EXPECT_TRUE(reportError("second"));
        showStatus("Reading line %u...", 20000u);
        EXPECT_TRUE(ui.boxes.empty());
        const WindowState* box = ui.window(monitor.statusBox->window());
        ASSERT_NE(box, nullptr);
        const ControlState& list = box->controls.at(110);
        EXPECT_EQ(list.lines, (std::vector<std::string>{"first 1", "second"}));
        EXPECT_EQ(list.selected, 0);  // the first message is selected
        EXPECT_EQ(ui.text(109), "Reading line 20000...");
    }
    const std::string log = readFile("tolveno.log");
    EXPECT_NE(log.find("\n! first 1\n? second\n- Stop "), std::string::npos) << log;
}
