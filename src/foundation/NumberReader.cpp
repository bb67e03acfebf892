#include "foundation/NumberReader.h"

#include <charconv>
#include <cstdint>
#include <locale>
#include <sstream>
#include <string>

namespace {
using Traits = std::char_traits<char>;

bool isDigit(int c) { return c >= '0' && c <= '9'; }

// The characters a formatted extraction of a double takes in the classic
// locale: a sign, digits with at most one point, and an exponent only after a
// digit, with its own sign. Leading zeros are kept as one. Answers the
// character that ended the number (end of file included).
int takeNumberText(std::streambuf& buffer, std::string& text) {
    int c = buffer.sgetc();
    if (c == '+' || c == '-') {
        text += static_cast<char>(c);
        c = buffer.snextc();
    }
    bool mantissa = false;
    for (; c == '0'; c = buffer.snextc())
        if (!mantissa) {
            text += '0';
            mantissa = true;
        }
    bool point = false;
    bool exponent = false;
    while (c != Traits::eof()) {
        if (isDigit(c)) {
            text += static_cast<char>(c);
            mantissa = true;
        } else if (c == '.' && !point && !exponent) {
            text += '.';
            point = true;
        } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
            text += 'e';
            exponent = true;
            c = buffer.snextc();
            if (c != '+' && c != '-') continue;
            text += static_cast<char>(c);
        } else {
            break;
        }
        c = buffer.snextc();
    }
    return c;
}

// What the stream's sentry does before an extraction, in the classic locale and without its facets: a stream
// not good fails; white space is skipped, and the end of the input reached doing so fails the stream.
bool ready(std::istream& in) {
    if (!in.good()) {
        in.setstate(std::ios::failbit);
        return false;
    }
    if (in.tie()) in.tie()->flush();
    if (!(in.flags() & std::ios::skipws)) return true;
    std::streambuf& buffer = *in.rdbuf();
    int c = buffer.sgetc();
    while (c == ' ' || (c >= '\t' && c <= '\r')) c = buffer.snextc();
    if (c != Traits::eof()) return true;
    in.setstate(std::ios::eofbit | std::ios::failbit);
    return false;
}

// Clinger's fast path: a decimal whose significant digits make an integer m of at most 2^53 and whose power of ten
// k is within ±22 has m and 10^|k| exact in a double, so one multiplication or division, rounded once, gives the
// correctly rounded value strtod gives. Anything else (more digits, larger powers, no digits) answers false.
bool fastDecimal(const std::string& text, double& value) {
    static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t m = 0;
    int significant = 0, scale = 0;
    bool digits = false, point = false;
    for (; p < end && (isDigit(*p) || (*p == '.' && !point)); ++p) {
        if (*p == '.') {
            point = true;
            continue;
        }
        digits = true;
        if (m > 0 || *p != '0') ++significant;
        if (significant > 16) return false;
        m = m * 10 + static_cast<std::uint64_t>(*p - '0');
        if (point) --scale;
    }
    if (!digits || p != end || m > (std::uint64_t{1} << 53) || scale < -22) return false;
    const double v = m == 0 ? 0.0 : static_cast<double>(m) / powers[-scale];
    value = negative ? -v : v;
    return true;
}

// The stream's own conversion of the same text: for what from_chars does not
// take plainly (no digits, a dangling exponent, a value out of range), so that
// the value and the failure are the stream's. No text at all is a failed
// conversion that sets the value to 0, as the stream's is.
bool convertLikeStream(const std::string& text, double& value) {
    if (text.empty()) {
        value = 0;
        return false;
    }
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> value;
    return !in.fail();
}
}  // namespace

std::istream& readNumber(std::istream& in, double& value) {
    if (in.getloc() != std::locale::classic()) return in >> value;
    if (!ready(in)) return in;
    thread_local std::string text;
    text.clear();
    const int stop = takeNumberText(*in.rdbuf(), text);
    bool ok = fastDecimal(text, value);
    if (!ok) {
        // from_chars takes no plus sign; strtod, behind the stream, reads the same value either way.
        const char* first = text.data() + (!text.empty() && text[0] == '+');
        const char* last = text.data() + text.size();
        const auto [end, error] = std::from_chars(first, last, value);
        ok = error == std::errc{} && end == last;
    }
    if (!ok) ok = convertLikeStream(text, value);
    std::ios::iostate state = std::ios::goodbit;
    if (!ok) state |= std::ios::failbit;
    if (stop == Traits::eof()) state |= std::ios::eofbit;
    in.setstate(state);
    return in;
}
