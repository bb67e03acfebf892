#include "foundation/NumberWriter.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "foundation/PowersOfTen.h"

namespace {
// a · 10^k for |k| <= 44: each step one correctly rounded operation with an exact power of ten, so the result is
// within 2.3e-16 of its size from the exact product.
double scaled(double a, int k) {
    if (k > 22) return a * 1e22 * exactPowersOfTen[k - 22];
    if (k >= 0) return a * exactPowersOfTen[k];
    if (k >= -22) return a / exactPowersOfTen[-k];
    return a / 1e22 / exactPowersOfTen[-k - 22];
}

// The six significant digits of a > 0 and its decimal exponent, rounded to nearest; false where this quick way
// cannot be sure of the rounding (the scaled value within 1e-9 of a half, the exact result a tie or nearly) or
// of the scale (beyond 10^±38): those are left to to_chars.
bool sixDigits(double a, std::uint32_t& digits, int& exponent) {
    if (!(a >= 1e-38 && a < 1e38)) return false;
    // From the binary exponent b (a in [2^b, 2^(b+1))): floor(b · log10 2), 78913 / 2^18 being log10 2 to the
    // precision needed here, is the decimal exponent or one less.
    const int binary = static_cast<int>((std::bit_cast<std::uint64_t>(a) >> 52) & 0x7ff) - 1023;
    exponent = (binary * 78913) >> 18;
    double s = scaled(a, 5 - exponent);
    if (s >= 1e6 || s < 1e5) {
        exponent += s >= 1e6 ? 1 : -1;
        s = scaled(a, 5 - exponent);
        if (s >= 1e6 || s < 1e5) return false;
    }
    // Below 1e6 the floor and the fraction are exact; the product's error (under 2.3e-10 here) cannot move s
    // across a half further than 1e-9 from it.
    const double whole = std::floor(s), fraction = s - whole;
    if (std::fabs(fraction - 0.5) <= 1e-9) return false;
    digits = static_cast<std::uint32_t>(whole) + (fraction > 0.5 ? 1 : 0);
    if (digits == 1000000) {
        digits = 100000;
        ++exponent;
    }
    return true;
}

char* exponentPart(int exponent, char* out) {
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) *out++ = '0';
    return std::to_chars(out, out + 4, magnitude).ptr;
}

// %g's two forms of six digits d (100000 to 999999) times 10^(exponent - 5), trailing zeros dropped.
char* place(std::uint32_t d, int exponent, char* out) {
    char text[6];
    for (int i = 5; i >= 0; --i, d /= 10) text[i] = static_cast<char>('0' + d % 10);
    int kept = 6;
    while (text[kept - 1] == '0') --kept;
    if (exponent < -4 || exponent >= 6) {
        *out++ = text[0];
        if (kept > 1) {
            *out++ = '.';
            for (int i = 1; i < kept; ++i) *out++ = text[i];
        }
        return exponentPart(exponent, out);
    }
    if (exponent < 0) {
        *out++ = '0';
        *out++ = '.';
        for (int i = -1; i > exponent; --i) *out++ = '0';
        for (int i = 0; i < kept; ++i) *out++ = text[i];
        return out;
    }
    for (int i = 0; i <= exponent; ++i) *out++ = text[i];
    if (kept > exponent + 1) {
        *out++ = '.';
        for (int i = exponent + 1; i < kept; ++i) *out++ = text[i];
    }
    return out;
}
}  // namespace

char* writeG(double value, char* out) {
    if (value == 0) {
        if (std::signbit(value)) *out++ = '-';
        *out++ = '0';
        return out;
    }
    std::uint32_t digits = 0;
    int exponent = 0;
    if (!sixDigits(std::fabs(value), digits, exponent))
        return std::to_chars(out, out + writeGLength, value, std::chars_format::general, 6).ptr;
    if (value < 0) *out++ = '-';
    return place(digits, exponent, out);
}
