#pragma once
#include <cstdint>
#include <string>
#include <string_view>

/// A window of the window system; 0 is no window.
using WindowHandle = int;

/// The system sounds the program uses.
enum class Beep { Stop, Exclamation, Question };

/// The message boxes the program shows.
enum class BoxKind {
    Error,     ///< OK button, stop icon
    Warning,   ///< OK button, exclamation icon
    Question,  ///< Yes and No buttons, question icon
};

/// The window-system services the program needs: modeless dialogs built from
/// named templates, their controls, message boxes, beeps, the message queue,
/// a millisecond clock and the local time. The user interface is written
/// against this interface only; a terminal and a recording implementation
/// stand behind it.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    /// Creates a modeless dialog from a template; the initialisation message
    /// reaches the current dialog before this returns. Answers the new window.
    virtual WindowHandle createDialog(const char* templateName, WindowHandle parent) = 0;
    /// Destroys a dialog window.
    virtual void destroyWindow(WindowHandle window) = 0;
    /// Brings a window to the top.
    virtual void bringToTop(WindowHandle window) = 0;
    /// Sets a window's caption.
    virtual void setCaption(WindowHandle window, std::string_view text) = 0;
    /// Sets a window's big icon from the named icon resource.
    virtual void setBigIcon(WindowHandle window, const char* iconName) = 0;
    /// True when the window has a control with that id.
    virtual bool hasItem(WindowHandle window, int id) const = 0;
    /// Sets the text of a control.
    virtual void setItemText(WindowHandle window, int id, std::string_view text) = 0;
    /// The text of a control, at most maxLength characters.
    virtual std::string itemText(WindowHandle window, int id, std::size_t maxLength) const = 0;
    /// Sets or clears a check box.
    virtual void checkItem(WindowHandle window, int id, bool checked) = 0;
    /// Adds a line to a list box; answers its index.
    virtual int addListLine(WindowHandle window, int id, std::string_view text) = 0;
    /// Selects a line of a list box.
    virtual void selectListLine(WindowHandle window, int id, int index) = 0;
    /// Sets the range of a progress bar.
    virtual void setProgressRange(WindowHandle window, int id, std::uint32_t low, std::uint32_t high) = 0;
    /// Sets the position of a progress bar.
    virtual void setProgressPosition(WindowHandle window, int id, std::uint32_t position) = 0;
    /// Removes and dispatches every pending message without waiting; true when one was the quit request.
    virtual bool pumpMessages() = 0;
    /// The window with the keyboard focus (0 when none).
    virtual WindowHandle focusWindow() const = 0;
    /// The active window (0 when none).
    virtual WindowHandle activeWindow() const = 0;
    /// Shows a message box and waits for it; true for OK or Yes.
    virtual bool messageBox(WindowHandle owner, std::string_view text, std::string_view caption, BoxKind kind) = 0;
    /// Sounds a system beep.
    virtual void beep(Beep kind) = 0;
    /// A monotonic millisecond clock (wraps at 32 bits); the machine's steady clock unless overridden.
    virtual std::uint32_t clockMs() const;
    /// The local date and time in the C library's ctime form, ending with a line feed; the machine's unless overridden.
    virtual std::string localTime() const;
    /// Ends the process at once with the given status.
    [[noreturn]] virtual void exitProcess(int status) = 0;
};

/// The window system in use (the terminal one unless another was installed).
WindowSystem& windowSystem();
/// Installs a window system (not owned); null restores the terminal one.
void installWindowSystem(WindowSystem* system);
