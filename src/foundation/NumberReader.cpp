#include "foundation/NumberReader.h"

#include <charconv>
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
    const std::istream::sentry ready(in);
    if (!ready) return in;
    thread_local std::string text;
    text.clear();
    const int stop = takeNumberText(*in.rdbuf(), text);
    // from_chars takes no plus sign; strtod, behind the stream, reads the same value either way.
    const char* first = text.data() + (!text.empty() && text[0] == '+');
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    bool ok = error == std::errc{} && end == last;
    if (!ok) ok = convertLikeStream(text, value);
    std::ios::iostate state = std::ios::goodbit;
    if (!ok) state |= std::ios::failbit;
    if (stop == Traits::eof()) state |= std::ios::eofbit;
    in.setstate(state);
    return in;
}
