#include "acoustics/SpeakerInfo.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <istream>
#include <memory>
#include <sstream>
#include <string>
#include <strings.h>

#include "foundation/InputFiles.h"
#include "foundation/NumberReader.h"
#include "ui/Messages.h"

namespace {
constexpr std::size_t maxKeywordLine = 1023;
constexpr int eof = std::char_traits<char>::eof();

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Truncation toward zero into 32 bits. The conversion of a value beyond the
// range, or of a NaN, would be undefined: the former saturates, the latter gives 0.
std::int32_t truncated32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(x);
}

// The .spk layout is known only by its count of line feeds and commas, so the
// reader moves through the file by those; it also counts the line feeds it
// passes, so that the cabinet reader can quote true line numbers.
class SpkReader {
public:
    explicit SpkReader(std::istream& in) : in_(in) {}

    /// Reads up to and including the next character stop, or to the end of the file.
    void skipPast(char stop) {
        for (int c = in_.get(); c != eof; c = in_.get()) {
            if (c == '\n') ++lines_;
            if (c == stop) return;
        }
    }

    /// Skips n lines, each up to and including its line feed.
    void skipLines(int n) {
        for (int i = 0; i < n; ++i) skipPast('\n');
    }

    /// Formatted extraction of a double; on failure target is left as it was and false answered.
    bool number(double& target) {
        // The extraction would skip this white space itself, but without counting its line feeds.
        for (int c = in_.peek(); c != eof && std::isspace(c); c = in_.peek())
            if (in_.get() == '\n') ++lines_;
        double value = 0;
        if (!readNumber(in_, value)) return false;
        target = value;
        return true;
    }

    /// The next line without its line end, cut to maxKeywordLine characters.
    void line(std::string& text) {
        text.clear();
        int c = in_.get();
        for (; c != eof && c != '\n'; c = in_.get())
            if (text.size() < maxKeywordLine) text.push_back(static_cast<char>(c));
        if (c == '\n') ++lines_;
        // A file written on Windows ends its lines with a carriage return too; it is no part of the line.
        if (!text.empty() && text.back() == '\r') text.pop_back();
    }

    /// Whether the end of the file was reached.
    bool atEnd() const { return in_.eof(); }
    /// Whether a read failed (nothing after it can be read).
    bool failed() const { return in_.fail(); }

    /// The line feeds passed so far: the number of the line last finished.
    std::uint32_t lines() const { return lines_; }

private:
    std::istream& in_;
    std::uint32_t lines_ = 0;
};

// How a band's block ended: read, the last one (the file or its numbers ended
// early: the blocks end there quietly, with what was read), or refused (the
// file is not used).
enum class BlockEnd { read, last, refused };

// One band's block: its number, its power and its directivity table.
BlockEnd readBandBlock(SpkReader& reader, SpeakerInfo& speaker, const std::string& source) {
    // An unreadable value of an earlier block left the stream failed.
    if (reader.failed()) return BlockEnd::last;
    const std::uint32_t before = reader.lines();
    reader.skipPast(',');
    double bandNumber = 0;
    const bool read = reader.number(bandNumber);
    if (!read && reader.atEnd()) return BlockEnd::last;
    // The band number follows a comma on the block's first line. Found on
    // a later line, or not found, it would give other numbers for the
    // band's or a source that radiates nothing: the file is not used.
    if (!read || reader.lines() > before + 1) {
        reportError("Can't read the band number in line %u of %s", static_cast<unsigned>(before + 2), source.c_str());
        reportWarning("Using omnidirectional source at 110 dB");
        return BlockEnd::refused;
    }
    // 64 bits, so that the number in the message cannot overflow.
    const long long band = truncated32(bandNumber - 1);
    reader.skipLines(1);
    if (band < 0 || band >= bandCount) {
        showError("Frequency band %lld out of range (max %d)", band + 1, bandCount);
        return BlockEnd::refused;
    }
    const int b = static_cast<int>(band);
    if (speaker.firstBand < 0) speaker.firstBand = b;
    speaker.lastBand = b;

    reader.skipLines(1);
    reader.skipPast(',');
    reader.skipPast(',');
    double level = 0;
    if (reader.number(level)) {
        const double power = std::pow(10.0, level / 10);
        // Every energy the source radiates is a product with this power: an
        // infinite one would spoil all of them, so the band keeps its power.
        if (std::isfinite(power)) speaker.bandPower[b] = power;
    }
    reader.skipLines(4);  // the rest of the power's line and the three lines heading the table

    for (auto& row : speaker.directivity) {
        reader.skipPast(',');
        for (auto& column : row) {
            reader.skipPast(',');
            double value = 0;
            if (reader.number(value)) column[b] = truncated32(value * 1000);
        }
    }
    return BlockEnd::read;
}

// The cabinet's faces, after a line "EntityList" anywhere past the blocks.
void readCabinet(SpkReader& reader, std::istream& in, EntityList& geometry) {
    std::string line;
    while (in.good()) {
        reader.line(line);
        if (strcasecmp(line.c_str(), "EntityList") != 0) continue;
        // The list reader quotes its record counter in messages: while it
        // reads the cabinet the counter follows this file, and afterwards
        // it goes back to whatever file was being read before.
        const std::uint32_t outerLine = EntityList::lineNumber;
        EntityList::lineNumber = reader.lines();
        geometry.read(in);
        EntityList::lineNumber = outerLine;
        return;
    }
}
}  // namespace

bool SpeakerInfo::load(std::string_view fileName) {
    name.assign(fileName);
    alias.assign("");
    std::string file(fileName);
    if (!InputFiles::isFile(file)) {
        reportWarning("Can't load source \"%s\":", name.c_str());
        // Models are often moved together with their loudspeaker files, while
        // the names in them still point to where the files were.
        const std::string candidate = parameters.modelFile.directoryPart() + name.fileNamePart();
        if (!InputFiles::isFile(candidate)) {
            reportWarning("Using omnidirectional source at 110 dB");
            alias.assign("omni.spk");
            loaded = false;
            return false;
        }
        reportWarning("Using \"%s\"", candidate.c_str());
        alias.assign(candidate);
        file = candidate;
    }
    // A file that exists but does not open reads as one without bands.
    std::unique_ptr<std::istream> in = InputFiles::open(file);
    if (!in) {
        std::istringstream nothing;
        return read(nothing, name.str());
    }
    return read(*in, name.str());
}

bool SpeakerInfo::read(std::istream& in, std::string_view nameForMessages) {
    const std::string source(nameForMessages);
    SpkReader reader(in);
    reader.skipLines(4);
    reader.skipPast(',');
    double count = 0;
    reader.number(count);
    std::int32_t bands = truncated32(count);
    if (bands <= 0) {
        reportError("No bands for source %s", source.c_str());
        reportWarning("Using omnidirectional source at 110 dB");
        return false;
    }
    if (bands > bandCount) {
        reportWarning("Too many bands for source %s", source.c_str());
        bands = bandCount;
    }

    // Bands without a block in the file must radiate nothing, not keep old data.
    for (auto& row : directivity)
        for (auto& column : row) column.fill(0);
    firstBand = -1;
    lastBand = -1;

    for (int block = 0; block < bands; ++block) {
        const BlockEnd end = readBandBlock(reader, *this, source);
        if (end == BlockEnd::refused) {
            loaded = false;
            return false;
        }
        if (end == BlockEnd::last) break;
    }
    loaded = true;
    readCabinet(reader, in, geometry);
    return loaded;
}

TArray<SpeakerInfo>& speakerList() {
    static TArray<SpeakerInfo> list;
    return list;
}

SpeakerInfo* findOrLoadSpeaker(std::string_view fileName) {
    TArray<SpeakerInfo>& list = speakerList();
    for (int i = list.capacity() - 1; i >= 0; --i) {
        SpeakerInfo* speaker = list.at(i);
        if (speaker && sameIgnoringCase(speaker->name.str(), fileName)) return speaker;
    }
    auto speaker = std::make_unique<SpeakerInfo>();
    // A failed load still leaves a usable omnidirectional loudspeaker, which is
    // kept so that the other sources naming the file do not try again.
    speaker->load(fileName);
    SpeakerInfo* added = speaker.get();
    list.put(std::move(speaker));
    return added;
}

void clearSpeakers() { speakerList().clear(); }
