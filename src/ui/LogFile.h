#pragma once
#include <string_view>

/// The log "tolveno.log": appended to by every run, with start, model, defaults, message and stop lines.
namespace LogFile {
/// Opens the log in the current directory for appending; false when it cannot be opened.
bool open();
/// True while the log is open.
bool isOpen();
/// Writes "first second\n" when the log is open.
void writeLine(std::string_view first, std::string_view second);
/// Closes the log.
void close();
}  // namespace LogFile
