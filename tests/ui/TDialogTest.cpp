#include <gtest/gtest.h>

#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"
#include "ui/TDialog.h"

using TDialogTest = UiFixture;

TEST_F(TDialogTest, TextsSetBeforeCreationAreAppliedAtInit) {
    TModeless_dialog dialog("WaitBox", 0);
    dialog.setItemText(WaitItem::fileName, "early.___");
    dialog.setItemText(WaitItem::fileName, "room.___");  // replaces the earlier text
    EXPECT_FALSE(dialog.exists());
    EXPECT_EQ(ui.topWindow(), 0);
    ASSERT_TRUE(dialog.create());
    EXPECT_EQ(currentDialog(), &dialog);
    EXPECT_EQ(ui.text(WaitItem::fileName), "room.___");
    EXPECT_EQ(ui.window(dialog.window())->caption, "Adding impulse response: please wait...");
    dialog.setItemText(WaitItem::fileName, "later.___");  // goes straight to the window now
    EXPECT_EQ(ui.text(WaitItem::fileName), "later.___");
}

TEST_F(TDialogTest, OkKeepsTheTextsOfTheControlsAndCloses) {
    TModeless_dialog dialog("WaitBox", 0);
    // OK reads only the ids below the capacity of the kept texts: grow it past 201 first.
    dialog.setItemText(300, "no such control");
    ASSERT_TRUE(dialog.create());
    ui.setItemText(dialog.window(), WaitItem::fileName, std::string(100, 'n'));
    EXPECT_EQ(dialog.dialogProc(dialog.window(), DialogMessage::Command, IDOK), 1);
    EXPECT_FALSE(dialog.exists());
    EXPECT_EQ(currentDialog(), nullptr);
    EXPECT_EQ(dialog.storedText(WaitItem::fileName), std::string(79, 'n'));
}

TEST_F(TDialogTest, OtherCommandsAnswerZero) {
    TModeless_dialog dialog("WaitBox", 0);
    ASSERT_TRUE(dialog.create());
    EXPECT_EQ(dialog.dialogProc(dialog.window(), DialogMessage::Command, 201), 0);
    EXPECT_TRUE(dialog.exists());
}

TEST_F(TDialogTest, DestructionClosesTheWindow) {
    WindowHandle window = 0;
    {
        TModeless_dialog dialog("WaitBox", 0);
        dialog.create();
        window = dialog.window();
        EXPECT_NE(ui.window(window), nullptr);
    }
    EXPECT_EQ(ui.window(window), nullptr);
    EXPECT_EQ(currentDialog(), nullptr);
}
