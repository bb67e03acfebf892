#include "results/HitsFile.h"

#include <cstdio>

#include "results/ResultsFile.h"
#include "tracing/Pyramid.h"
#include "ui/Messages.h"

namespace {
std::FILE* file = nullptr;
unsigned source = 0;
bool formatting = false;

void appendFormatted(std::string& text, const char* format, auto... values) {
    char field[64];
    std::snprintf(field, sizeof field, format, values...);
    text += field;
}
}  // namespace

namespace HitsFile {
void open(unsigned sourceIndex) {
    close();
    const std::string name = hitsFileName(sourceIndex);
    file = std::fopen(name.c_str(), sourceIndex == 0 || parameters.SaveAll ? "w" : "a");
    if (!file) fatalError("Can't create %s", name.c_str());
    std::setvbuf(file, nullptr, _IOFBF, 4096);
    source = sourceIndex;
}

void formatFor(unsigned sourceIndex) {
    close();
    formatting = true;
    source = sourceIndex;
}

void close() {
    if (file) std::fclose(file);
    file = nullptr;
    formatting = false;
}

bool isOpen() { return file != nullptr; }

std::string record(const Pyramid& p, unsigned microphone, unsigned sourceNumber, const BandEnergies& energy,
                   double time) {
    std::string line;
    appendFormatted(line, "%4lu", static_cast<unsigned long>(microphone));
    appendFormatted(line, ",%3d", static_cast<int>(sourceNumber));
    appendFormatted(line, ",%lg", time);
    for (float e : energy) appendFormatted(line, ",%lg", static_cast<double>(e));
    appendFormatted(line, ",%d", static_cast<int>(p.historyCount));
    for (std::uint32_t i = 0; i < p.historyCount; ++i) {
        const HistoryEntry& h = p.history[i];
        appendFormatted(line, ",%lu,%g,%g,%g", static_cast<unsigned long>(h.face), h.point.x, h.point.y, h.point.z);
    }
    return line;
}

bool format(const Pyramid& p, unsigned microphone, const BandEnergies& energy, double time, std::string& text) {
    if (p.order > parameters.HitLevel || (!file && !formatting)) return false;
    text += record(p, microphone, source + 1, energy, time);
    text += '\n';
    return true;
}

void write(std::string_view records) {
    if (file) std::fwrite(records.data(), 1, records.size(), file);
}
}  // namespace HitsFile
