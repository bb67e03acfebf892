#pragma once
#include <map>
#include <string>
#include <vector>

#include "ui/DialogTemplate.h"
#include "ui/WindowSystem.h"

/// The state of one control of a window made from a template.
struct ControlState {
    ControlKind kind = ControlKind::Text;
    std::string group;
    std::string label;
    std::string text;
    bool checked = false;
    std::vector<std::string> lines;
    int selected = -1;
    std::uint32_t low = 0;
    std::uint32_t high = 100;
    std::uint32_t position = 0;
};

/// The state of one dialog window.
struct WindowState {
    std::string templateName;
    std::string caption;
    std::string icon;
    std::map<int, ControlState> controls;
};

/// Dialog windows kept as plain state, built from the dialog templates.
///
/// The terminal and the recording window systems share it: the one draws the
/// state, the other lets tests read it. Every change calls changed().
class WindowTable : public WindowSystem {
public:
    WindowHandle createDialog(const char* templateName, WindowHandle parent) override;
    void destroyWindow(WindowHandle window) override;
    void bringToTop(WindowHandle) override {}
    void setCaption(WindowHandle window, std::string_view text) override;
    void setBigIcon(WindowHandle window, const char* iconName) override;
    bool hasItem(WindowHandle window, int id) const override;
    void setItemText(WindowHandle window, int id, std::string_view text) override;
    std::string itemText(WindowHandle window, int id, std::size_t maxLength) const override;
    void checkItem(WindowHandle window, int id, bool checked) override;
    int addListLine(WindowHandle window, int id, std::string_view text) override;
    void selectListLine(WindowHandle window, int id, int index) override;
    void setProgressRange(WindowHandle window, int id, std::uint32_t low, std::uint32_t high) override;
    void setProgressPosition(WindowHandle window, int id, std::uint32_t position) override;
    WindowHandle focusWindow() const override { return topWindow(); }
    WindowHandle activeWindow() const override { return topWindow(); }

    /// The state of a window, or null when it does not exist.
    const WindowState* window(WindowHandle window) const;
    /// The most recently created window that still exists (0 when none).
    WindowHandle topWindow() const;

protected:
    /// Called after every change of a window (creation and destruction included).
    virtual void changed(WindowHandle) {}
    ControlState* control(WindowHandle window, int id);

    std::map<WindowHandle, WindowState> windows_;

private:
    WindowHandle nextHandle_ = 1;
};
