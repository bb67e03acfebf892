#pragma once
#include <cstddef>
#include <cstdint>
#include <istream>

/// Reads a double exactly as `in >> value` does in the classic locale (same characters taken, same value, same stream
/// state), faster. The stream must be in that locale, as every stream of this program is: it never changes the
/// global one, so model files read alike whatever the user's locale (checking the stream's locale at every number
/// was a fifth of its time).
///
/// Model files hold tens of thousands of coordinates; the stream's own
/// extraction goes through the locale's facets character by character and was
/// most of the time of loading a large model.
std::istream& readNumber(std::istream& in, double& value);
/// Reads up to count doubles into values as readNumber does one after the other, stopping at the first that fails
/// (the rest are left as they were); faster for the run of a face's coordinates.
std::istream& readNumbers(std::istream& in, double* values, std::size_t count);
/// Reads an unsigned integer exactly as `in >> value` does in the classic locale, faster (the faces' flags,
/// materials and vertex counts); one overload for each width the model files use.
std::istream& readNumber(std::istream& in, std::uint16_t& value);
std::istream& readNumber(std::istream& in, std::uint32_t& value);
