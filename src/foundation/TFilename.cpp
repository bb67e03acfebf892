#include "foundation/TFilename.h"

#include <cctype>

namespace {
bool isSeparator(char c) { return c == '\\' || c == '/'; }
}

// The extension starts at the last dot of the whole name, even when that dot
// sits in a folder name ("c:\my.dir\room" has the extension "dir\room"); only
// a dot followed directly by a separator (as in "..\room") starts none. Names
// have been formed this way since the first version, and the results and
// settings files found beside a model depend on it.
std::size_t TFilename::extensionDot() const {
    const std::size_t dot = text_.rfind('.');
    if (dot == std::string::npos) return std::string::npos;
    if (dot + 1 < text_.size() && isSeparator(text_[dot + 1])) return std::string::npos;
    return dot;
}

bool TFilename::hasExtension() const { return extensionDot() != std::string::npos; }

std::string TFilename::extension() const {
    const std::size_t dot = extensionDot();
    return dot == std::string::npos ? std::string() : text_.substr(dot + 1);
}

void TFilename::setExtension(std::string_view ext) {
    const std::size_t dot = extensionDot();
    std::string name = text_;
    if (dot != std::string::npos && dot + 1 < name.size()) name.erase(dot);
    if (!ext.empty() && ext.front() != '.') name += '.';
    name += ext;
    assign(name);
}

std::string TFilename::fileNamePart() const {
    std::size_t cut = text_.rfind('\\');
    if (cut == std::string::npos) cut = text_.rfind('/');
    if (cut == std::string::npos) {
        cut = text_.find(':');
        if (cut == std::string::npos) return text_;
    }
    return text_.substr(cut + 1);
}

std::string TFilename::directoryPart() const {
    const std::size_t drive = (text_.size() >= 2 && text_[1] == ':') ? 2 : 0;
    const std::size_t lastSeparator = text_.find_last_of("\\/");
    if (lastSeparator == std::string::npos || lastSeparator < drive) return text_.substr(0, drive);
    return text_.substr(0, lastSeparator + 1);
}

void TFilename::toLower() {
    for (char& c : text_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
