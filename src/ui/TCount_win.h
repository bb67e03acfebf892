#pragma once
#include "ui/TDialog.h"

/// The status box of a run: Cancel asks before it stops the calculation.
class TCount_win : public TModeless_dialog {
public:
    using TModeless_dialog::TModeless_dialog;
    /// Asks "Do you really want to cancel the calculation?"; Yes stops the run and closes the box.
    int onCancel() override;
};

/// True while a run may go on; a confirmed Cancel or a quit request clears it.
extern bool running;
