#include "foundation/TString.h"

#include <cstring>
#include <istream>
#include <ostream>

bool TString::isKindOf(const char* name) const {
    return std::strcmp(name, "TString") == 0 || TObject::isKindOf(name);
}

bool TString::read(std::istream& in) {
    std::string line;
    std::getline(in, line);
    // Files edited on Windows end their lines with CR LF; the CR is part of the line end.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    assign(line);
    return !line.empty();
}

bool TString::write(std::ostream& out) const {
    out << text_;
    return true;
}

int TString::compare(const TObject& other) const {
    const auto* that = dynamic_cast<const TString*>(&other);
    if (that == nullptr) return 0;
    // std::string compares through char_traits<char>, which orders bytes as unsigned characters.
    const int order = text_.compare(that->text_);
    return (order > 0) - (order < 0);
}

void TString::assign(std::string_view text) {
    if (text.empty()) {
        if (capacity_ == 0) capacity_ = 15;
        text_.clear();
        return;
    }
    if (text.size() > capacity_) capacity_ = static_cast<std::uint32_t>(text.size());
    text_.assign(text);
}

void TString::growFor(std::size_t combinedLength) {
    if (combinedLength > capacity_) capacity_ = static_cast<std::uint32_t>(combinedLength * 3 / 2);
}

void TString::append(std::string_view text) {
    if (text.empty()) return;
    growFor(text_.size() + text.size());
    text_.append(text);
}

void TString::prepend(std::string_view text) {
    if (text.empty()) return;
    growFor(text_.size() + text.size());
    text_.insert(0, text);
}

void TString::trim() {
    const auto last = text_.find_last_not_of(' ');
    if (last == std::string::npos) {
        text_.clear();
        return;
    }
    text_.erase(last + 1);
    text_.erase(0, text_.find_first_not_of(' '));
}
