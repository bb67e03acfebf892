#pragma once
#include <cstdint>
#include <string>

/// "hh:mm:ss" of a duration rounded to the nearest second (half up); hours are not limited to two digits.
std::string formatDuration(double seconds);
/// A number as "%.8f" without trailing zeros, and without the point when nothing follows it.
std::string formatNumber(double value);
/// The spreadsheet-column letters of n >= 1: A..Z, AA, AB, ... (empty for 0).
std::string letterCode(std::uint32_t n);
