#include "foundation/NumberReader.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

#include "foundation/GetArea.h"
#include "foundation/PowersOfTen.h"

namespace {
using Traits = std::char_traits<char>;

bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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
    const char* const first = GetArea::next(buffer);
    const char* const end = GetArea::end(buffer);
    const char* p = first;
    while (p < end && isSpace(*p)) ++p;
    GetArea::take(buffer, p - first);
    int c = buffer.sgetc();
    while (isSpace(c)) c = buffer.snextc();
    if (c != Traits::eof()) return true;
    in.setstate(std::ios::eofbit | std::ios::failbit);
    return false;
}

// Where the number starting at p ends, by the rule takeNumberText follows; nullptr when it may go on past end (the
// rest is not in memory yet).
const char* numberEnd(const char* p, const char* const end) {
    if (p < end && (*p == '+' || *p == '-')) ++p;
    bool mantissa = false;
    bool point = false;
    bool exponent = false;
    for (; p < end; ++p) {
        if (isDigit(*p)) {
            mantissa = true;
        } else if (*p == '.' && !point && !exponent) {
            point = true;
        } else if ((*p == 'e' || *p == 'E') && !exponent && mantissa) {
            exponent = true;
            if (p + 1 < end && (p[1] == '+' || p[1] == '-')) ++p;
        } else {
            return p;
        }
    }
    return nullptr;
}

// A decimal as coordinates are written, [sign] digits [. digits], read from p up to end: where it stops, or nullptr
// when its value is not for this quick reading. By Clinger's fast path: digits making an integer m of at most 2^53
// and at most 22 decimals have m and 10^decimals exact in a double, so one division, rounded once, gives the
// correctly rounded value strtod gives. More digits (above 19 m could overflow), no digit at all: nullptr.
const char* decimal(const char* p, const char* const end, double& value) {
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t m = 0;
    const char* const start = p;
    for (; p < end && isDigit(*p); ++p) m = m * 10 + static_cast<std::uint64_t>(*p - '0');
    std::ptrdiff_t digits = p - start, decimals = 0;
    if (p < end && *p == '.') {
        const char* const fraction = ++p;
        for (; p < end && isDigit(*p); ++p) m = m * 10 + static_cast<std::uint64_t>(*p - '0');
        decimals = p - fraction;
    }
    digits += decimals;
    if (digits == 0 || digits > 19 || m > (std::uint64_t{1} << 53) || decimals > 22) return nullptr;
    const double v = static_cast<double>(m) / exactPowersOfTen[decimals];
    value = negative ? -v : v;
    return p;
}

// The stream's own conversion of the same text: for what from_chars does not
// take plainly (no digits, a dangling exponent, a value out of range), so that
// the value and the failure are the stream's. No text at all is a failed
// conversion that sets the value to 0, as the stream's is.
bool convertLikeStream(const char* first, const char* last, double& value) {
    if (first == last) {
        value = 0;
        return false;
    }
    std::istringstream in(std::string(first, last));
    in.imbue(std::locale::classic());
    in >> value;
    return !in.fail();
}

// The text's value as the stream's conversion gives it: the fast path, then from_chars, then the stream itself.
bool convert(const char* first, const char* last, double& value) {
    if (decimal(first, last, value) == last) return true;
    // from_chars takes no plus sign; strtod, behind the stream, reads the same value either way.
    const char* digits = first + (first < last && *first == '+');
    const auto [end, error] = std::from_chars(digits, last, value);
    if (error == std::errc{} && end == last) return true;
    return convertLikeStream(first, last, value);
}
}  // namespace

std::istream& readNumber(std::istream& in, double& value) {
    if (!ready(in)) return in;
    std::streambuf& buffer = *in.rdbuf();
    const char* first = GetArea::next(buffer);
    const char* const end = GetArea::end(buffer);
    // The common case in one pass: a plain decimal ended in memory by a character no number goes on with.
    const char* last = decimal(first, end, value);
    if (last && last < end && *last != '.' && *last != 'e' && *last != 'E') {
        GetArea::take(buffer, last - first);
        return in;
    }
    last = numberEnd(first, end);
    if (last) {
        // Ended by a character in memory: not the end of the input.
        GetArea::take(buffer, last - first);
        if (!convert(first, last, value)) in.setstate(std::ios::failbit);
        return in;
    }
    thread_local std::string text;
    text.clear();
    const int stop = takeNumberText(buffer, text);
    std::ios::iostate state = std::ios::goodbit;
    if (!convert(text.data(), text.data() + text.size(), value)) state |= std::ios::failbit;
    if (stop == Traits::eof()) state |= std::ios::eofbit;
    in.setstate(state);
    return in;
}

std::istream& readNumbers(std::istream& in, double* values, std::size_t count) {
    std::size_t i = 0;
    // One sentry for the run of numbers: on a stream that skips white space and is tied to no other, what it does
    // before each of them is only the skipping done here.
    if (count > 0 && !in.tie() && (in.flags() & std::ios::skipws) && ready(in)) {
        std::streambuf& buffer = *in.rdbuf();
        const char* const first = GetArea::next(buffer);
        const char* const end = GetArea::end(buffer);
        const char* p = first;
        for (; i < count; ++i) {
            const char* q = p;
            if (i > 0)
                while (q < end && isSpace(*q)) ++q;
            double value;
            const char* const last = decimal(q, end, value);
            // As readNumber's quick path: a plain decimal ended in memory by a character no number goes on with.
            if (!last || last == end || *last == '.' || *last == 'e' || *last == 'E') break;
            values[i] = value;
            p = last;
        }
        GetArea::take(buffer, p - first);
    }
    for (; i < count; ++i)
        if (!readNumber(in, values[i])) break;
    return in;
}

namespace {
// Plain digits ended by a character in memory, of a value that fits, are read here; a sign, the end of the input
// or an overflow are left to the stream, whose rules for them (a negated value, the largest one) are its own.
template <typename Unsigned>
std::istream& readUnsigned(std::istream& in, Unsigned& value) {
    // In another base the digits are the stream's to read (no file of the program sets one).
    if ((in.flags() & std::ios::basefield) != std::ios::dec) return in >> value;
    if (!ready(in)) return in;
    std::streambuf& buffer = *in.rdbuf();
    const char* const first = GetArea::next(buffer);
    const char* const end = GetArea::end(buffer);
    std::uint64_t v = 0;
    const char* p = first;
    for (; p < end && isDigit(*p) && p - first < 10; ++p) v = v * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p == first || p == end || isDigit(*p) || v > std::numeric_limits<Unsigned>::max()) return in >> value;
    GetArea::take(buffer, p - first);
    value = static_cast<Unsigned>(v);
    return in;
}
}  // namespace

std::istream& readNumber(std::istream& in, std::uint16_t& value) { return readUnsigned(in, value); }
std::istream& readNumber(std::istream& in, std::uint32_t& value) { return readUnsigned(in, value); }
