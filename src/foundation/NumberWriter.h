#pragma once

/// The most characters writeG writes.
constexpr int writeGLength = 32;

/// Writes value as printf's "%g" writes it in the "C" locale (six significant digits, trailing zeros dropped, the
/// exponent form below 1e-4 and from 1e6), the characters std::to_chars gives with the general format and precision
/// 6; answers the end of what it wrote in out, which must hold writeGLength characters.
///
/// Results files hold millions of these; to_chars's own conversion with a precision costs about 450 instructions a
/// value, most values here take a tenth of that.
char* writeG(double value, char* out);
