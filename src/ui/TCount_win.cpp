#include "ui/TCount_win.h"

#include "run/RunParameters.h"

bool running = false;

int TCount_win::onCancel() {
    WindowSystem& ws = windowSystem();
    ws.beep(Beep::Question);
    if (ws.messageBox(ws.focusWindow(), "Do you really want to cancel the calculation?", programTitle,
                      BoxKind::Question)) {
        running = false;
        close();
    }
    return 1;
}
