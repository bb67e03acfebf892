#pragma once
#include <string>
#include <string_view>

#include "foundation/TArray.h"
#include "foundation/TString.h"
#include "ui/WindowSystem.h"

/// The messages the shared dialog procedure forwards to the current dialog.
enum class DialogMessage { Init, Command };

/// A dialog built from a named template. Control texts set before the window
/// exists are kept and applied when it is created.
class TDialog {
public:
    /// A dialog of the named template whose window will be owned by parent.
    TDialog(const char* templateName, WindowHandle parent);
    virtual ~TDialog() = default;
    TDialog(const TDialog&) = delete;
    TDialog& operator=(const TDialog&) = delete;

    /// Applies the stored control texts and brings the window to the top; answers 1.
    virtual int onInit();
    /// Forwards OK (1) and Cancel (2); other commands answer 0.
    virtual int onCommand(int id);
    /// Keeps the texts of the controls from id 101 up, then closes; answers 1.
    virtual int onOk();
    /// Closes; answers 1.
    virtual int onCancel();
    /// Closes the window (nothing for a plain dialog).
    virtual void close() {}
    /// Handles one message for window: Init stores the window, Command dispatches param.
    virtual int dialogProc(WindowHandle window, DialogMessage message, int param);

    /// Makes this the current dialog and creates its window; true when it exists.
    bool create();
    /// Sets a control's text, or keeps it until the window exists.
    void setItemText(int id, std::string_view text);
    /// Sets a control's text to a number in the number format.
    void setItemNumber(int id, double value);
    /// Reads a control's current text (at most 79 characters; "" without a window) and keeps it.
    std::string keepItemText(int id);

    WindowHandle window() const { return window_; }
    bool exists() const { return created_ != 0; }

protected:
    WindowHandle window_;
    const char* templateName_;
    int created_ = 0;
    TArray<TString> itemTexts_;
};

/// A dialog that lives beside the program's work: closing destroys its window.
class TModeless_dialog : public TDialog {
public:
    using TDialog::TDialog;
    ~TModeless_dialog() override;
    /// Destroys the window and stops being the current dialog.
    void close() override;
};

/// The one dialog that receives the window messages of every dialog (null when none).
TDialog* currentDialog();
/// Makes dialog the current one.
void setCurrentDialog(TDialog* dialog);
/// The shared dialog procedure: forwards a message to the current dialog (0 when there is none).
int dispatchDialogMessage(WindowHandle window, DialogMessage message, int param);
