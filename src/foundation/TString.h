#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/TObject.h"

/// An owned 8-bit text with the growth rules of the foundation strings.
///
/// The text lives in a std::string; `capacity` is the logical capacity the
/// growth rules define (characters that fit, terminator not counted), kept so
/// that the rules stay visible and testable. The std::string may hold more.
class TString : public TObject {
public:
    /// An empty text of capacity 7.
    TString() : TString(7) {}
    /// An empty text of the given capacity.
    explicit TString(std::uint32_t capacity) : capacity_(capacity) {}
    /// A copy of text (capacity as assign gives it to a default string).
    TString(std::string_view text) : TString() { assign(text); }

    const char* className() const override { return "TString"; }
    bool isKindOf(const char* name) const override;
    /// Reads one line (the line feed, and a carriage return before it, are consumed and not stored).
    bool read(std::istream& in) override;
    /// Writes the text without a line feed.
    bool write(std::ostream& out) const override;
    /// Byte-wise comparison as unsigned characters: -1, 0 or 1.
    int compare(const TObject& other) const override;

    /// Replaces the text; a longer text than the capacity widens it to exactly its length.
    void assign(std::string_view text);
    /// Adds text at the end; past the capacity, the capacity becomes 3/2 of the combined length.
    void append(std::string_view text);
    /// Inserts text before the contents, growing as append does.
    void prepend(std::string_view text);
    /// Removes trailing, then leading blanks (code 32 only; tabs stay).
    void trim();

    const std::string& str() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    std::uint32_t length() const { return static_cast<std::uint32_t>(text_.size()); }
    /// The characters the string has room for: its initial capacity, grown to the longest text it held.
    std::uint32_t capacity() const { return capacity_; }
    bool empty() const { return text_.empty(); }

protected:
    std::string text_;
    std::uint32_t capacity_;

private:
    void growFor(std::size_t combinedLength);
};
