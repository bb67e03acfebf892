#pragma once
#include <string>
#include <string_view>

#include "foundation/TString.h"

/// A file name: a TString with the extension, name-part and directory-part rules of the system.
///
/// Both "\" and "/" separate folders, so names written on either system work.
class TFilename : public TString {
public:
    TFilename() = default;
    explicit TFilename(std::uint32_t capacity) : TString(capacity) {}
    TFilename(std::string_view text) { assign(text); }

    /// True when the name has an extension (it may be empty: a name ending in a dot).
    bool hasExtension() const;
    /// The text after the last dot, or empty when the name has no extension.
    std::string extension() const;
    /// Replaces a non-empty extension by ext (added with a dot unless ext is empty or starts with one).
    void setExtension(std::string_view ext);
    /// The text after the last "\", else after the last "/", else after the first ":", else the whole name.
    std::string fileNamePart() const;
    /// The drive and folder of the name with the trailing separator ("" for a bare name).
    std::string directoryPart() const;
    /// Converts the name to lower case (ASCII letters only).
    void toLower();

private:
    std::size_t extensionDot() const;
};
