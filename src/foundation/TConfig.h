#pragma once
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

#include "foundation/TArray.h"
#include "foundation/TFilename.h"
#include "foundation/TString.h"

/// A reader of paragraph files: "[Name]" header lines, each followed by "key = value" lines.
///
/// It is an input stream itself, so callers that read a paragraph's lines on
/// their own (the results reader) use it directly after a selection.
class TConfig : public std::istream {
public:
    /// The longest line a paragraph search accepts; a longer one fails the stream.
    static constexpr std::size_t maxLineLength = 4095;

    /// Opens the named paragraph file (empty name: the default paragraph file).
    /// A file that cannot be opened is reported with "Can't find file %s"; every search on it fails.
    explicit TConfig(std::string_view name);
    /// Reads the paragraph file from text held in memory; name is used in messages only.
    TConfig(std::string_view name, std::string text);

    /// Finds the header "[name]" (case-insensitive) and leaves the stream after it.
    bool findParagraph(std::string_view name);
    /// Finds the paragraph and collects its key lines; the stream stays at the first key line.
    bool selectParagraph(std::string_view name);
    /// The index of the first key equal to key (case-sensitive), or -1.
    int find(std::string_view key) const;
    /// The value of key index i ("" for an invalid index).
    const std::string& value(int i) const;
    /// Reads up to and including the next "="; false (stream moved to the end) when "[" or the end comes first.
    bool skipToEquals();
    /// The number after the next "="; the rest of its line is consumed. Fatal when there is no "=".
    double readNumber();

    /// The name the file was opened by (the default paragraph file's when none was given), or the name given with a text.
    const TFilename& fileName() const { return fileName_; }

    /// Forgets the default paragraph-file name (a fresh process state, for tests).
    static void resetDefaultName();

private:
    bool readLine(std::string& line);
    bool notFound(std::string_view name);

    std::unique_ptr<std::streambuf> buffer_;
    TFilename fileName_{260};
    TArray<TString> keys_;
    TArray<TString> values_;
};

/// True when text is one of "1", "On", "true", "Yes", "Ok", "X", compared without case.
bool isTrueText(std::string_view text);
