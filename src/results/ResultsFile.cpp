#include "results/ResultsFile.h"

#include "results/SafeFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>
#include <ostream>
#include <system_error>

#include "acoustics/MicrophoneList.h"
#include "foundation/NumberWriter.h"
#include "foundation/TConfig.h"
#include "foundation/TFilename.h"
#include "foundation/ThreadTeam.h"
#include "run/RunParameters.h"
#include "ui/Format.h"
#include "ui/Messages.h"
#include "ui/WindowSystem.h"

namespace {

namespace fs = std::filesystem;

// A results file must stay readable by its own reader (and by spreadsheets):
// a value that is not finite (a standard deviation of a rounding-negative
// variance, a lateral ratio over a denormal early energy) is written as 0.
double writable(double value) { return std::isfinite(value) ? value : 0.0; }

// " %g" of one value, without the locale lookup of every printf call: a large response has millions of these.
void appendG(std::string& line, double value) {
    char text[writeGLength];
    line += ' ';
    line.append(text, writeG(writable(value), text));
}

const char* onOff(bool value) { return value ? "On" : "Off"; }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string fileNamePart(const std::string& name) { return TFilename(name).fileNamePart(); }

bool existsAsFile(const fs::path& name) {
    std::error_code error;
    return fs::exists(name, error) && !fs::is_directory(name, error);
}

// The revision of an earlier results file plus 1; 1 when it has none. A
// value beyond the int range (or not a number at all) starts again at 1
// rather than overflow.
int nextRevision(const std::string& name) {
    TConfig config(name);
    if (!config.selectParagraph("File")) return 1;
    const int i = config.find("Revision");
    if (i < 0) return 1;
    const double next = std::trunc(std::strtod(config.value(i).c_str(), nullptr) + 1);
    if (!(next >= std::numeric_limits<int>::min() && next <= std::numeric_limits<int>::max())) return 1;
    return static_cast<int>(next);
}

// The date and time of the [File] section: the window system's local time
// (ctime form), so that the file and the log agree; the C library's clock
// when that text cannot be parsed.
void currentDateAndTime(std::string& date, std::string& time) {
    std::tm when{};
    const std::string now = windowSystem().localTime();
    if (!strptime(now.c_str(), "%a %b %d %H:%M:%S %Y", &when)) {
        const std::time_t seconds = std::time(nullptr);
        localtime_r(&seconds, &when);
    }
    char text[64];
    std::strftime(text, sizeof text, "%b %d %Y", &when);
    date = text;
    std::strftime(text, sizeof text, "%H:%M:%S", &when);
    time = text;
}

// 8 << Level in 32-bit unsigned arithmetic (which wraps to 0 from Level 29
// on); the all-bits-set Level generates no pyramids and counts one.
std::uint32_t pyramidsTraced(std::uint32_t level) {
    if (level == UINT32_MAX) return 1;
    return level >= 29 ? 0 : std::uint32_t{8} << level;
}

void writeFileSection(std::ostream& out, const std::string& name, int revision) {
    std::string date, time;
    currentDateAndTime(date, time);
    out << "[File]\n";
    out << "Name     = " << fileNamePart(name) << '\n';
    out << "Revision = " << revision << '\n';
    out << "Author   = " << parameters.author << '\n';
    out << "Date     = " << date << '\n';
    out << "Time     = " << time << '\n';
    out << '\n';
}

void writeModelSection(std::ostream& out, const Model& model) {
    out << "[Model]\n";
    out << "Name          = " << parameters.modelFile.str() << '\n';
    out << "Microphones   = " << microphones().receiverCount() << '\n';
    out << "Sources       = " << model.sources.size() << '\n';
    out << "Walls         = " << model.count() << '\n';
    out << "Obstructing   = " << model.obstructingCount << '\n';
    out << "Monopermeable = " << model.monopermeableCount() << '\n';
    out << '\n';
}

void writeSourceSection(std::ostream& out, const Model& model, std::size_t j) {
    out << "[Source]\n";
    model.sources[j].writeDescription(out);
    out << "Code       = " << letterCode(static_cast<std::uint32_t>(j + 1)) << '\n';
    out << "Number     = " << j + 1 << " of " << model.sources.size() << '\n';
    out << '\n';
}

void writeStatisticsSection(std::ostream& out, const RunStatistics& statistics) {
    out << "[Statistics]\n";
    out << "Pyramids traced    = " << pyramidsTraced(parameters.Level) << '\n';
    out << "Mean free path     = " << writable(statistics.meanFreePath) << " m\n";
    out << "Standard deviation = " << writable(statistics.standardDeviation) << " m\n";
    out << "Mean history       = " << writable(statistics.meanHistory) << " reflections\n";
    out << "Pyramids escaped   = " << statistics.escapedCount << '\n';
    out << "Edges hit          = " << statistics.edgeHitCount << '\n';
    out << "Processing time    = " << statistics.processingTime << '\n';
    // Results saved after a cancel must not pass for a full run's: the line
    // is only written then, so a full run's file is as it always was.
    if (statistics.cancelledAfter > 0)
        out << "Partial results    = cancelled after " << statistics.cancelledAfter << " of "
            << pyramidsTraced(parameters.Level) << " pyramids\n";
    out << '\n';
}

// Every section of the file, in order, to an open stream.
void writeSections(std::ostream& out, const Model& model, const RunStatistics& statistics, const std::string& name,
                   int revision) {
    writeVersion(out);
    writeFileSection(out, name, revision);
    writeModelSection(out, model);
    if (parameters.SaveAll) {
        // A source index beyond the model (none can come from a run) writes no [Source] section.
        if (statistics.sourceIndex < model.sources.size()) writeSourceSection(out, model, statistics.sourceIndex);
    } else {
        for (std::size_t j = 0; j < model.sources.size(); ++j) writeSourceSection(out, model, j);
    }
    writeStatisticsSection(out, statistics);
    writeMicrophones(out);
}

}  // namespace

std::string sourceCode(unsigned sourceIndex) {
    std::string code = "___";
    // Past 26 · 26 sources the middle character leaves the alphabet and is
    // taken modulo 256, as the names of earlier runs were formed.
    if (sourceIndex >= 26) code[1] = static_cast<char>(static_cast<unsigned char>(96 + sourceIndex / 26));
    code[2] = static_cast<char>('a' + sourceIndex % 26);
    return code;
}

std::string withExtension(const std::string& name, const std::string& extension) {
    std::string result = name;
    const std::size_t dot = result.rfind('.');
    // A dot directly before a separator ("..\room") belongs to a folder, not
    // to an extension; any other last dot starts one, even in a folder name.
    if (dot != std::string::npos && (dot + 1 == result.size() || !isSeparator(result[dot + 1]))) result.erase(dot);
    return result + '.' + extension;
}

std::string resultsFileName(unsigned sourceIndex) {
    return withExtension(parameters.modelFile.str(), parameters.SaveAll ? sourceCode(sourceIndex) : "___");
}

std::string hitsFileName(unsigned sourceIndex) {
    std::string name = resultsFileName(sourceIndex);
    name[name.size() - 3] = '@';
    return name;
}

void writeVersion(std::ostream& out) {
    char version[16];
    std::snprintf(version, sizeof version, "%d", resultsProgramVersion);
    out << "[Version]\n";
    out << "Program = " << programTitle << '\n';
    out << "Version = " << version << '\n';
    out << "Author  = Quarlen\n";
    // The compiler's build date and time have exactly the forms "Dec  6 2016" and "12:16:07".
    out << "Date    = " << __DATE__ << '\n';
    out << "Time    = " << __TIME__ << '\n';
    out << '\n';
}

void writeParameters(std::ostream& out) {
    const RunParameters& p = parameters;
    out.precision(15);
    const char* history = p.History == -1 ? "Time dependent" : p.History == 0 ? "Direct wave" : "Reflection";
    char format[16];
    std::snprintf(format, sizeof format, "%.1f", 1.2);
    out << "[Parameters]\n";
    out << "Level             = " << p.Level << '\n';
    out << "Time              = " << writable(p.Time) << " s\n";
    out << "Precision         = " << writable(p.Precision) << " s\n";
    out << "History           = " << p.History << ' ' << history << (p.History > 1 ? "s" : "") << '\n';
    out << "Humidity          = " << writable(p.Humidity) << " %\n";
    // The degree sign is the single byte 0xB0 of the Latin-1 code page the file has always used.
    out << "Temperature       = " << writable(p.Temperature) << " \xB0" "C\n";
    out << "SoundSpeed        = " << writable(p.SoundSpeed) << " m/s\n";
    out << "Alfa              = " << writable(p.Alfa) << '\n';
    out << "Beta              =  " << writable(p.Beta) << '\n';
    out << "Diffraction       = " << p.Diffraction << '\n';
    out << "Diffusion         = " << onOff(p.Diffusion) << '\n';
    out << "DiffusionMode     = " << p.DiffusionMode << '\n';
    out << "AlwaysObstructing = " << onOff(p.AlwaysObstructing) << '\n';
    out << "Format            = " << format << '\n';
    out << "SaveEscaped       = " << onOff(p.SaveEscaped) << '\n';
    out << "HitLevel          = " << p.HitLevel << '\n';
    out << "RandomizeAfter    = " << p.RandomizeAfter << '\n';
    out << "SaveAll           = " << onOff(p.SaveAll) << '\n';
    out << "CrackTolerance    = " << writable(p.CrackTolerance) << '\n';
    out << "OpenMP            = " << p.OpenMP << '\n';
    // Written only when in force, so that a run without it writes the file it always did.
    if (p.correctsLateDecay()) out << "LateCorrection    = On\n";
    out << '\n';
}

namespace {
void writeMicrophoneBlock(std::ostream& out, const Microphone& microphone);
}  // namespace

// The blocks are formatted by every thread of the run (a thousand receivers'
// blocks took as long as a quarter of the tracing) and written in order, so
// the file is the same whatever the thread count; the warnings come first.
void writeMicrophones(std::ostream& out) {
    writeParameters(out);
    MicrophoneList& list = microphones();
    // Slot 0 is written too when job mode has put a microphone there.
    const int last = static_cast<int>(list.receiverCount());
    for (int k = 0; k <= last; ++k)
        if (const Microphone* m = list.at(k); m && m->response.earliestDirectDelay == 0) showWarning("Direct wave = 0");
    std::vector<std::string> blocks(static_cast<std::size_t>(last) + 1);
    parallelFor(blocks.size(), 4, [&](std::size_t k, unsigned) {
        const Microphone* microphone = list.at(static_cast<int>(k));
        if (!microphone) return;
        std::ostringstream block;
        block.copyfmt(out);
        block << "[Microphone_" << k << "]\n";
        writeMicrophoneBlock(block, *microphone);
        blocks[k] = block.str();
    });
    for (const std::string& block : blocks) out << block;
    out << "[End]\n";
}

namespace {
void writeMicrophoneBlock(std::ostream& out, const Microphone& microphone) {
    const ImpulseResponse& response = microphone.response;
    const Line& axis = microphone.axis;
    out << " Position = " << writable(axis.origin.x) << ' ' << writable(axis.origin.y) << ' ' << writable(axis.origin.z)
        << ' ' << writable(axis.x) << ' ' << writable(axis.y) << ' ' << writable(axis.z) << '\n';
    out << " Direct Wave = " << writable(response.earliestDirectDelay) << " s\n";

    // The lateral sums become ratios to the early energy of their band; a
    // band without early energy has nothing to relate them to and keeps them.
    const auto& lateral = microphone.lateral;
    const char* captions[3] = {" LFC =", " LE  =", " LF  ="};
    std::string line;
    for (int group = 1; group <= 3; ++group) {
        line = captions[group - 1];
        for (int b = 0; b < bandCount; ++b) {
            const float early = lateral[b];
            const float sum = lateral[group * bandCount + b];
            appendG(line, early > 0 ? sum / early : sum);
        }
        line += '\n';
        out << line;
    }

    // The rows gathered in one text, which the stream takes at once. A silent class (the most of an outdoor
    // receiver's 2,000) is written as its ten zeros are, without formatting them: writing 400 receivers' rows was
    // a third of a town's run.
    static const std::string silentRow = [] {
        std::string row;
        for (int b = 0; b < bandCount; ++b) row += " 0";
        return row + '\n';
    }();
    line = " Impulse response =\n";
    for (std::uint32_t k = 0; k <= response.classCount; ++k) {
        const BandEnergies& row = response.row(k);
        if (std::all_of(row.begin(), row.end(), [](float e) { return e == 0 && !std::signbit(e); })) {
            line += silentRow;
            continue;
        }
        for (float energy : row) appendG(line, energy);
        line += '\n';
    }
    line += '\n';
    out << line;
}
}  // namespace

// The file is replaced in steps that each leave a complete results file under
// its name, so that a kill at any moment loses neither the old results nor
// the new ones once written:
//   1. the new file is written whole under a temporary name beside it, then
//      flushed, closed and synced;
//   2. the old file gets a second name, the backup (a hard link or a copy,
//      renamed over any earlier backup), while keeping its own;
//   3. the temporary file is renamed over the results name, which swaps the
//      old file for the new one in one step.
// A file that cannot be written (no such folder, no space, a folder of that
// name) is reported with "Can't write results file %s"; the old file, if
// any, then stays as it was and the run goes on.
bool writeResults(const Model& model, const RunStatistics& statistics) {
    const std::string name = resultsFileName(statistics.sourceIndex);
    showStatus("Writing %s", fileNamePart(name).c_str());
    pumpMessages();

    const int revision = existsAsFile(name) ? nextRevision(name) : 1;

    const bool written = writeFileSafely(
        name, [&](std::ostream& out) { writeSections(out, model, statistics, name, revision); },
        withExtension(name, "bak"));
    if (!written) {
        showError("Can't write results file %s", name.c_str());
        return false;
    }

    if (parameters.HitLevel >= 0) {
        showStatus("Saving hits ...");
        pumpMessages();
    }
    return true;
}
