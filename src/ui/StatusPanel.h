#pragma once
#include <string>
#include <vector>

#include "ui/WindowTable.h"

/// The lines of a dialog drawn as a text panel (status box or wait box).
std::vector<std::string> panelLines(const WindowState& state, std::size_t messageLines);

/// A progress bar of width characters for position in [low, high], with the percentage.
std::string progressBar(const ControlState& bar, int width);

/// The parameter line of the status box.
std::string parameterLine(const WindowState& state);
/// The line of the advanced options that are on.
std::string optionLine(const WindowState& state);
/// The source line of the status box.
std::string sourceLine(const WindowState& state);
/// The pyramids-and-times line of the status box.
std::string progressLine(const WindowState& state);
