#pragma once
#include <climits>
#include <cstddef>
#include <streambuf>

/// The characters a stream buffer holds in memory and has not yet given out: any buffer's get area, reached through
/// a derived class as the standard allows. Reading a number or a word there is a few instructions a character
/// instead of a call (and a sentry) for each.
struct GetArea : std::streambuf {
    /// The first character not yet given out.
    static const char* next(std::streambuf& b) { return (b.*&GetArea::gptr)(); }
    /// The end of the characters in memory, at most INT_MAX on: what gbump can take in one step.
    static const char* end(std::streambuf& b) {
        const char* const first = next(b);
        const char* const last = (b.*&GetArea::egptr)();
        return last - first > INT_MAX ? first + INT_MAX : last;
    }
    /// Gives out count characters.
    static void take(std::streambuf& b, std::ptrdiff_t count) { (b.*&GetArea::gbump)(static_cast<int>(count)); }
};
