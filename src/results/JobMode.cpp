#include "results/JobMode.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "acoustics/MicrophoneList.h"
#include "foundation/ThreadTeam.h"
#include "results/MicrophoneSection.h"
#include "results/ReportFiles.h"
#include "results/ResultsFile.h"
#include "results/SafeFile.h"
#include "ui/DialogTemplate.h"
#include "ui/Messages.h"
#include "ui/TDialog.h"
#include "ui/WindowSystem.h"

namespace {

namespace fs = std::filesystem;

// Set when window messages asked the job to stop (a quit request, or the wait
// box closed by the user); runJob then adds no further file and writes nothing.
bool jobStopped = false;
// What the job has come to so far: the first failure stays.
ExitStatus jobStatus = ExitStatus::ok;

void jobFailed(ExitStatus why) {
    if (jobStatus == ExitStatus::ok) jobStatus = why;
}

std::string withoutQuotes(std::string_view text) {
    std::string result(text);
    std::erase(result, '"');
    return result;
}

// The C library's reading of a decimal number, 0 for text that is none.
// Infinities and not-a-numbers read as 0 as well: a single one would poison
// every row of the sum it is multiplied or added into.
double numberOf(const std::string& text) {
    const double value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

// One line of the job file up to its line feed, without a carriage return
// before it. False at the end of the file, and for a line longer than
// maxJobLineLength, which fails the stream and so ends the reading as well.
bool readJobLine(std::istream& in, std::string& line) {
    line.clear();
    if (!in.good()) return false;
    int c = in.get();
    if (c == std::char_traits<char>::eof()) return false;
    for (; c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
        line += static_cast<char>(c);
        // One character beyond the limit is allowed for the carriage return of a CR LF line end.
        if (line.size() > maxJobLineLength + 1) break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > maxJobLineLength) {
        in.setstate(std::ios::failbit);
        return false;
    }
    return true;
}

// Reads the [Parameters] paragraph of an open results file into the run
// parameters exactly as a settings file is read; false, after "Can't find the
// paragraph [Parameters]", when the file has none. The results file is no
// settings file: the name of the one in force stays.
bool readParameters(TConfig& file) {
    if (!file.selectParagraph("Parameters")) return false;
    parameters.applySettings(file);
    return true;
}

// The wait box of one results file: the file name, a progress bar over the
// file's bytes, and the window messages that may ask the job to stop.
class WaitBox {
public:
    WaitBox(const std::string& name, std::uintmax_t size) {
        dialog_.setItemText(WaitItem::fileName, name);
        shown_ = dialog_.create();
        // The bar counts in 32 bits: a larger file counts in units of 2^shift bytes.
        while ((size >> shift_) > UINT32_MAX) ++shift_;
        if (shown_)
            windowSystem().setProgressRange(dialog_.window(), WaitItem::progress, 0,
                                            static_cast<std::uint32_t>(size >> shift_));
    }

    void showPosition(std::istream& in) {
        const std::streamoff position = in.tellg();
        if (shown_ && dialog_.exists() && position >= 0)
            windowSystem().setProgressPosition(dialog_.window(), WaitItem::progress,
                                               static_cast<std::uint32_t>(static_cast<std::uintmax_t>(position) >> shift_));
    }

    void showText(std::string_view text) { dialog_.setItemText(WaitItem::fileName, text); }

    // Processes pending window messages; false when they asked the job to stop.
    bool pump() {
        const bool quit = pumpMessages();
        if (quit || (shown_ && !dialog_.exists())) {
            jobStopped = true;
            return false;
        }
        return true;
    }

    void close() { dialog_.close(); }

private:
    TModeless_dialog dialog_{"WaitBox", 0};
    bool shown_ = false;
    unsigned shift_ = 0;
};

// Reads on to the next line that is not empty; false when the file ended
// before one, or the line is "[End]". A stream that has failed (rows that
// could not be read) is read no further, as if at its end.
bool nextSection(TConfig& file) {
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        return !(line.size() == 5 && std::equal(line.begin(), line.end(), "[End]", [](char a, char b) {
                     return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                 }));
    }
    return false;
}

// The pyramid count and the mean free path of a results file's [Statistics]
// paragraph: 8 and 1.0 for keys that are missing.
void readStatistics(TConfig& file, int& pyramids, double& meanFreePath) {
    pyramids = 8;
    meanFreePath = 1.0;
    // The sections were read to the end of the file: the search starts afresh.
    file.clear();
    if (!file.selectParagraph("Statistics")) return;
    if (const int i = file.find("Pyramids traced"); i >= 0) {
        const double value = std::trunc(numberOf(file.value(i)));
        pyramids = static_cast<int>(std::clamp(value, double{INT_MIN}, double{INT_MAX}));
    }
    if (const int i = file.find("Mean free path"); i >= 0) meanFreePath = numberOf(file.value(i));
}

// Writes the sum under a temporary name beside the output and renames it over
// the output name once complete: a kill at any moment leaves the output name
// without a file, with its earlier file, or with the whole new one, never with
// a part. A file that cannot be created writes nothing and is reported.
void writeSum(const std::string& name, int pyramids, double meanFreePath) {
    const bool written = writeFileSafely(name, [&](std::ostream& out) {
        writeVersion(out);
        out << "[Statistics]\n";
        out << "Pyramids traced = " << pyramids << '\n';
        out << "Mean free path  = " << meanFreePath << '\n';
        out << '\n';
        // Only the receivers read from the files are written, numbered from 1
        // as in the files added: no average microphone is formed in slot 0, and
        // no late-decay correction is applied. The output is the plain sum the
        // user asked for, and a section 0 would shift the receivers' numbering
        // for readers that expect them from slot 1.
        writeMicrophones(out);
    });
    if (!written) {
        showError("Can't write results file %s", name.c_str());
        jobFailed(ExitStatus::outputNotWritable);
        return;
    }
    if (parameters.Report) jobFailed(writeReportFiles(name));
}

}  // namespace

JobLine parseJobLine(std::string_view line, std::string_view folderPrefix) {
    constexpr std::size_t fieldCount = 2 + bandCount;
    std::vector<std::string_view> fields;
    for (std::size_t start = 0; fields.size() < fieldCount;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    // A missing field takes the text of the last field present, even when that is the name.
    const auto field = [&fields](std::size_t i) { return std::string(fields[std::min(i, fields.size() - 1)]); };

    JobLine result;
    result.fileName = std::string(folderPrefix) + withoutQuotes(fields[0]);
    result.delay = numberOf(field(1)) / 1000;
    for (int b = 0; b < bandCount; ++b) result.gains[b] = std::pow(10.0, numberOf(field(2 + b)) / 10);
    return result;
}

namespace {
// Reads the [Microphone_k] sections from the first on: the first file of a sum makes a receiver of each, a later
// one adds each to the receiver of its number. Answers how many sections were read, or -1 when the user cancelled.
int addSections(TConfig& file, WaitBox& box, bool first, const std::array<double, bandCount>& gains, double delay) {
    MicrophoneList& list = microphones();
    int k = 1;
    for (;;) {
        box.showPosition(file);
        if (!box.pump()) return -1;
        if (first) {
            auto microphone = std::make_unique<Microphone>();
            // A section that cannot be read still gives its receiver a place in the sum.
            readFirst(*microphone, file, gains, k, delay);
            list.add(std::move(microphone), k);
        } else {
            Microphone* microphone = list.at(k);
            if (!microphone) break;
            readAdd(*microphone, file, gains, k, delay);
        }
        const bool more = nextSection(file);
        ++k;
        if (!more) break;
    }
    return k - 1;
}

// Writes the sum of the files, after the last one, with the statistics of that file.
void writeJobSum(TConfig& file, int sections) {
    int pyramids = 8;
    double meanFreePath = 1.0;
    readStatistics(file, pyramids, meanFreePath);
    // The files hold lateral ratios; the sum of the sections becomes their mean.
    MicrophoneList& list = microphones();
    for (int slot = 1; slot <= sections; ++slot)
        if (Microphone* microphone = list.at(slot))
            for (int i = bandCount; i < 4 * bandCount; ++i) microphone->lateral[i] /= static_cast<float>(sections);
    const std::string output = resultsFileName(65535);
    parameters.modelFile.assign(output);
    writeSum(output, pyramids, std::isfinite(meanFreePath) ? meanFreePath : 0.0);
}
}  // namespace

void addResultsFile(TConfig& file, unsigned flags, const std::array<double, bandCount>& gains, double delay) {
    MicrophoneList& list = microphones();
    // Until a file has contributed microphones, the next one starts the sum.
    if (list.count() == 0) flags |= firstResultsFile;
    const bool first = (flags & firstResultsFile) != 0;
    if (first) {
        if (!readParameters(file)) return;
        // The microphones made below take their class count from Time and Precision of this file.
        list.destroyAll();
    }

    const std::string name = file.fileName().str();
    std::error_code error;
    std::uintmax_t size = fs::file_size(name, error);
    if (error) size = 0;
    if (size < minResultsFileSize) {
        showError("Can't read %s", name.c_str());
        jobFailed(ExitStatus::jobUnreadable);
        return;
    }

    WaitBox box(name, size);
    int sections = 0;
    if (file.findParagraph("Microphone_1")) {
        sections = addSections(file, box, first, gains, delay);
        // Cancelled, or not even a first receiver to add to: nothing of this file counts.
        if (sections <= 0) return;
    }

    box.showText("Writing results...");
    if (!box.pump()) return;
    if ((flags & lastResultsFile) == 0) return;
    // A single file (first and last at once) is no sum: nothing is written.
    if (flags == lastResultsFile) writeJobSum(file, sections);
    box.close();
}

ExitStatus runJob(std::string_view commandLine) {
    jobStopped = false;
    jobStatus = ExitStatus::ok;
    std::string prefix;
    std::vector<std::string> lines;
    {
        TConfig job(commandLine);
        // "Can't find file %s" has been shown.
        if (!job.good()) return ExitStatus::jobUnreadable;
        std::string model;
        readJobLine(job, prefix);
        readJobLine(job, model);
        prefix = withoutQuotes(prefix);
        // The model file fixes the output name; its settings file is read with it.
        parameters.acceptModelFile(withoutQuotes(model));
        std::string line;
        while (lines.size() < static_cast<std::size_t>(maxJobFiles) && readJobLine(job, line) && !line.empty())
            lines.push_back(line);
    }
    // The sums' receiver blocks are formatted on every processor, as a run's are on its threads.
    threadTeam().resize(static_cast<unsigned>(availableProcessors()));

    const std::size_t n = lines.size();
    for (std::size_t i = 0; i < n && !jobStopped; ++i) {
        const JobLine entry = parseJobLine(lines[i], prefix);
        TConfig file(entry.fileName);
        // A file that cannot be opened has been reported ("Can't find file %s") and is skipped.
        if (!file.good()) {
            jobFailed(ExitStatus::jobUnreadable);
            continue;
        }
        const unsigned flags = (i == 0 ? firstResultsFile : 0u) | (i == n - 1 ? lastResultsFile : 0u);
        addResultsFile(file, flags, entry.gains, entry.delay);
    }
    if (jobStopped) jobFailed(ExitStatus::cancelled);
    return jobStatus;
}
