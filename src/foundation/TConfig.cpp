#include "foundation/TConfig.h"

#include <sstream>
#include <strings.h>

#include "foundation/InputFiles.h"
#include "ui/Messages.h"

namespace {
std::string& defaultParagraphFile() {
    static std::string name;
    return name;
}

bool containsIniExtension(std::string_view name) {
    return name.find(".INI") != std::string_view::npos || name.find(".ini") != std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string trimmed(std::string_view text) {
    TString s(text);
    s.trim();
    return s.str();
}
}  // namespace

void TConfig::resetDefaultName() { defaultParagraphFile().clear(); }

TConfig::TConfig(std::string_view name) : std::istream(nullptr) {
    std::string chosen(name);
    if (chosen.empty()) {
        chosen = defaultParagraphFile();
    } else if (defaultParagraphFile().empty() && containsIniExtension(chosen)) {
        defaultParagraphFile() = chosen.substr(0, 260);
    }
    buffer_ = InputFiles::openBuffer(chosen);
    const bool opened = buffer_ != nullptr;
    // A file that does not open leaves an empty buffer: every read fails, as on a file stream that did not open.
    if (!opened) buffer_ = std::make_unique<std::stringbuf>(std::ios::in);
    rdbuf(buffer_.get());
    fileName_.assign(chosen);
    if (!opened) {
        setstate(std::ios::failbit);
        showError("Can't find file %s", fileName_.c_str());
    }
}

TConfig::TConfig(std::string_view name, std::string text) : std::istream(nullptr) {
    buffer_ = std::make_unique<std::stringbuf>(std::move(text), std::ios::in);
    rdbuf(buffer_.get());
    fileName_.assign(name);
}

// One line of at most maxLineLength characters; a longer line fails the
// stream, as it would overflow the reader's line buffer. The carriage return
// of a Windows line end is no part of the line.
bool TConfig::readLine(std::string& line) {
    // Room for the carriage return too: it belongs to the line end, not to the line's length.
    char buffer[maxLineLength + 2];
    getline(buffer, sizeof buffer);
    if (fail()) return false;
    line.assign(buffer, static_cast<std::size_t>(std::char_traits<char>::length(buffer)));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > maxLineLength) {
        setstate(std::ios::failbit);
        return false;
    }
    return true;
}

bool TConfig::notFound(std::string_view name) {
    const std::string paragraph(name);
    showError("Can't find the paragraph [%s]", paragraph.c_str());
    return false;
}

bool TConfig::findParagraph(std::string_view name) {
    if (!good()) return notFound(name);
    clear();
    seekg(0);
    bool first = true;
    std::string line;
    while (readLine(line)) {
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string::npos && equalsIgnoringCase(line.substr(1, close - 1), name)) return true;
            first = false;
            continue;
        }
        // A file that does not open with a header is no paragraph file.
        if (first) return notFound(name);
        const auto lead = static_cast<unsigned char>(line.empty() ? 0 : line.front());
        // Control characters and 8-bit bytes at the start of a line mean the
        // text is not a plain paragraph file (or a key line was indented with
        // a tab): the search stops there rather than guess.
        if (lead != 0 && (lead < 10 || lead > 127)) return notFound(name);
    }
    return notFound(name);
}

bool TConfig::selectParagraph(std::string_view name) {
    if (!findParagraph(name)) return false;
    const std::streampos start = tellg();
    keys_.clear();
    values_.clear();
    std::string line;
    while (readLine(line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) break;
        keys_.put(std::make_unique<TString>(trimmed(std::string_view(line).substr(0, equals))));
        values_.put(std::make_unique<TString>(trimmed(std::string_view(line).substr(equals + 1))));
    }
    clear();
    seekg(start);
    return true;
}

int TConfig::find(std::string_view key) const {
    for (int i = 0; i < keys_.count(); ++i)
        if (keys_.at(i)->str() == key) return i;
    return -1;
}

const std::string& TConfig::value(int i) const {
    static const std::string none;
    const TString* v = values_.at(i);
    return v ? v->str() : none;
}

bool TConfig::skipToEquals() {
    for (int c = get(); c != std::char_traits<char>::eof(); c = get()) {
        if (c == '=') return true;
        if (c == '[') break;
    }
    clear();
    seekg(0, std::ios::end);
    return false;
}

double TConfig::readNumber() {
    if (!skipToEquals()) fatalError("Can't find an = symbol in file %s", fileName_.c_str());
    double number = 0;
    *this >> number;
    // Text that is no number reads as 0, and the line is skipped as usual:
    // the value is then reported by whoever checks its range.
    if (fail() && !eof()) {
        clear();
        number = 0;
    }
    for (int c = get();; c = get()) {
        if (c == '\n') break;
        if (c == std::char_traits<char>::eof()) fatalError("Unexpected End of File");
    }
    return number;
}

bool isTrueText(std::string_view text) {
    for (const char* word : {"1", "On", "true", "Yes", "Ok", "X"})
        if (equalsIgnoringCase(text, word)) return true;
    return false;
}
