#include "model/MaterialLibrary.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <istream>
#include <memory>

#include "foundation/InputFiles.h"
#include "foundation/TFilename.h"
#include "ui/Messages.h"

namespace {
std::unique_ptr<MaterialLibrary>& instance() {
    static std::unique_ptr<MaterialLibrary> library;
    return library;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The leading integer of text as atoi reads it. The value saturates at the
// int range instead of overflowing, so a huge digit string is simply a
// number far out of range, never one that wrapped back into it.
int leadingInteger(const char* text) {
    while (isBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (value <= INT_MAX) value = value * 10 + (*text - '0');
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Reads up to ten numbers of a group into row. Numbers not read keep their
// previous value. A value that is not finite ("nan", "inf", or one too large
// for a float) is not taken either: the band keeps its previous value, so a
// user file can never put a NaN or an infinity into the energies.
void readGroup(const char* text, MaterialLibrary::Row& row) {
    MaterialLibrary::Row read = row;
    std::sscanf(text, "%f %f %f %f %f %f %f %f %f %f", &read[0], &read[1], &read[2], &read[3], &read[4], &read[5],
                &read[6], &read[7], &read[8], &read[9]);
    for (std::size_t k = 0; k < row.size(); ++k)
        if (std::isfinite(read[k])) row[k] = read[k];
}

// A file counts only when it exists, is no folder, has something in it and
// opens; otherwise the search goes on with the next candidate.
std::unique_ptr<std::istream> openUsable(const std::string& name) {
    if (InputFiles::size(name) <= 0) return nullptr;
    return InputFiles::open(name);
}

// One line without its line end; false at the end of the input or for a line
// longer than maxLineLength. A carriage return before the line feed belongs
// to the line end, so Windows files read like Unix ones and get the same
// length limit.
bool nextLine(std::istream& in, std::string& line) {
    line.clear();
    for (;;) {
        const int c = in.get();
        if (c == std::char_traits<char>::eof()) {
            if (line.empty()) return false;
            break;
        }
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
        // One character beyond the limit may still be the carriage return of the line end.
        if (line.size() > MaterialLibrary::maxLineLength + 1) return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line.size() <= MaterialLibrary::maxLineLength;
}
}  // namespace

MaterialLibrary::MaterialLibrary() { load(); }

MaterialLibrary::MaterialLibrary(std::istream& in) { read(in); }

void MaterialLibrary::load() {
    TFilename own(parameters.modelFile.str());
    own.setExtension("material");
    const std::string candidates[] = {own.str(), own.directoryPart() + sharedFileName, sharedFileName};
    for (const std::string& name : candidates) {
        std::unique_ptr<std::istream> file = openUsable(name);
        if (!file) {
            // The model's own material file is the one a user means to give:
            // its absence is said, with the name looked for, before any fallback.
            if (name == candidates[0]) reportWarning("No material file %s beside the model", name.c_str());
            continue;
        }
        fileName_ = name;
        read(*file);
        // The shared file in the current directory is the usual case; any
        // other file is named so the user sees which data the run uses.
        if (fileName_ != sharedFileName) reportWarning("Loaded Materials %s", fileName_.c_str());
        return;
    }
    reportError("Can't load Materials %s", sharedFileName);
}

void MaterialLibrary::read(std::istream& in) {
    std::string line;
    while (nextLine(in, line)) {
        const int m = leadingInteger(line.c_str());
        // A number outside the tables ends the file: what follows is not material data.
        if (m < 0 || m >= static_cast<int>(materialCount)) return;
        // The line is handed on as a C string: a NUL byte ends its text for
        // the comma search as it does for the number reading.
        readLine(static_cast<unsigned>(m), line.c_str());
    }
}

void MaterialLibrary::readLine(unsigned m, const char* line) {
    const char* first = std::strchr(line, ',');
    if (!first) return;
    readGroup(first + 1, absorption_[m]);
    defined_[m] = true;
    scattering_[m].fill(defaultScattering);
    const char* second = std::strchr(first + 1, ',');
    if (!second) {
        transmissionLoss_[m].fill(noTransmission);
        return;
    }
    Row& loss = transmissionLoss_[m];
    readGroup(second + 1, loss);
    // A loss of 0 dB or less cannot be meant literally; it stands for "no transmission".
    for (float& band : loss)
        if (band <= 0) band = noTransmission;
    if (const char* third = std::strchr(second + 1, ',')) readGroup(third + 1, scattering_[m]);
}

MaterialLibrary& materials() {
    std::unique_ptr<MaterialLibrary>& library = instance();
    if (!library) library = std::make_unique<MaterialLibrary>();
    return *library;
}

bool materialsLoaded() { return instance() != nullptr; }

void resetMaterials() { instance().reset(); }
