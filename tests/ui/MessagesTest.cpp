#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"
#include "ui/Messages.h"
#include "ui/RunMonitor.h"

using MessagesTest = UiFixture;

TEST_F(MessagesTest, BoxesHaveTheirCaptionsBeepsAndKinds) {
    const std::string longText(5000, 'w');  // no length limit
    EXPECT_FALSE(showError("Can't open %s (%d)", longText.c_str(), 3));
    EXPECT_FALSE(showWarning("Low %.1f", 2.5));
    ui.answers = {false};
    EXPECT_FALSE(confirm("Go?"));
    EXPECT_TRUE(confirm("Again?"));
    try {
        fatalError("Can't create %s", "x.hit");
        ADD_FAILURE() << "fatalError returned";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(exit.status, 1);
    }
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Error: Can't open " + longText + " (3)", "Warning: Low 2.5",
                                                    "Confirmation: Go?", "Confirmation: Again?",
                                                    "Error: Can't create x.hit"}));
    const BoxKind kinds[] = {BoxKind::Error, BoxKind::Warning, BoxKind::Question, BoxKind::Question, BoxKind::Error};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ui.boxes[i].kind, kinds[i]) << i;
    EXPECT_EQ(ui.beeps, (std::vector<Beep>{Beep::Stop, Beep::Exclamation, Beep::Question, Beep::Question, Beep::Stop}));
}

TEST_F(MessagesTest, ReportsGoToBoxesOutsideARunAndToTheListAndTheLogDuringOne) {
    reportWarning("Face %d has %s", 4, "duplicates");
    EXPECT_FALSE(reportError("Unknown entity in line %u: '%s'", 3u, "Bogus"));
    showStatus("Reading line %u...", 10000u);  // nothing to show it in
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Warning: Face 4 has duplicates",
                                                    "Warning: Unknown entity in line 3: 'Bogus'"}));
    EXPECT_EQ(ui.beeps, (std::vector<Beep>{Beep::Question, Beep::Stop}));
    EXPECT_FALSE(std::filesystem::exists("tolveno.log"));
    ui.boxes.clear();
    {
        RunMonitor monitor;
        monitor.createStatusBox();
        reportWarning("first %d", 1);
        ui.postQuit();
        EXPECT_TRUE(reportError("second"));  // a quit request seen while pumping
        showStatus("Reading line %u...", 20000u);
        EXPECT_TRUE(ui.boxes.empty());
        const ControlState& list = ui.window(monitor.statusBox->window())->controls.at(StatusItem::messages);
        EXPECT_EQ(list.lines, (std::vector<std::string>{"first 1", "second"}));
        EXPECT_EQ(list.selected, 0);  // the first message is selected
        EXPECT_EQ(ui.text(StatusItem::status), "Reading line 20000...");
    }
    EXPECT_NE(readFile("tolveno.log").find("\n! first 1\n? second\n- Stop "), std::string::npos);
}

TEST_F(MessagesTest, DialogsKeepTheirTexts) {
    WindowHandle window = 0;
    {
        TModeless_dialog dialog("WaitBox", 0);
        dialog.setItemText(WaitItem::fileName, "early.___");
        dialog.setItemText(WaitItem::fileName, "room.___");  // kept until the window exists
        dialog.setItemText(300, "no such control");          // grows the kept texts past the ids OK reads
        EXPECT_EQ(ui.topWindow(), 0);
        ASSERT_TRUE(dialog.create());
        window = dialog.window();
        EXPECT_EQ(currentDialog(), &dialog);
        EXPECT_EQ(ui.window(window)->caption, "Adding impulse response: please wait...");
        EXPECT_EQ(ui.text(WaitItem::fileName), "room.___");
        dialog.setItemText(WaitItem::fileName, std::string(100, 'n'));  // straight to the window now
        EXPECT_EQ(dialog.dialogProc(window, DialogMessage::Command, 201), 0);  // not OK nor Cancel
        EXPECT_TRUE(dialog.exists());
        EXPECT_EQ(dialog.dialogProc(window, DialogMessage::Command, IDOK), 1);
        EXPECT_FALSE(dialog.exists());
        EXPECT_EQ(ui.window(window), nullptr);
        EXPECT_EQ(dialog.storedText(WaitItem::fileName), std::string(79, 'n'));  // at most 79 characters
        ASSERT_TRUE(dialog.create());
        window = dialog.window();
    }
    EXPECT_EQ(ui.window(window), nullptr);  // destruction closes the window
    EXPECT_EQ(currentDialog(), nullptr);
}
