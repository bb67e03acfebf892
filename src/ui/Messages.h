#pragma once
#include <string>

// The message operations of the program. Texts are formatted with printf
// rules. Message boxes have no length limit: a text of any length (the usage
// message runs past 900 characters) is shown whole.

/// Stop beep, an "Error" box, then the process ends with exit status 1.
[[noreturn]] void fatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Stop beep and an "Error" box; answers false.
bool showError(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Exclamation beep and a "Warning" box; answers false.
bool showWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Question beep and a Yes/No "Confirmation" box; true on Yes.
bool confirm(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// During a run: the message list and the log ("!"); otherwise a "Warning" box.
void reportWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// During a run: the message list and the log ("?"); otherwise a "Warning" box.
/// Answers whether a quit request was seen while pumping.
bool reportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Sets the status text of the status box and pumps messages; nothing outside a run.
void showStatus(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Dispatches every pending window message without waiting; true when one was the quit request.
bool pumpMessages();

/// printf into a std::string of whatever length the result needs.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
