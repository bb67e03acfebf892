#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/TConfig.h"
#include "run/ExitStatus.h"
#include "run/RunParameters.h"

/// The most results files a job adds; the lines after the 128th are not read.
inline constexpr int maxJobFiles = 128;
/// The longest job-file line in characters (without its line end); a longer one ends the reading.
inline constexpr std::size_t maxJobLineLength = 259;
/// Results files smaller than this many bytes are refused with "Can't read %s".
inline constexpr std::uintmax_t minResultsFileSize = 80;

/// Flags of addResultsFile: the first file of the sum and the last one (both for a single file).
inline constexpr unsigned firstResultsFile = 1, lastResultsFile = 2;

/// One results-file line of a job: which file is added, how late and how loud.
struct JobLine {
    /// Double quotes removed, the folder prefix in front.
    std::string fileName;
    /// Seconds.
    double delay = 0;
    /// Linear power factors of bands 0 to 9.
    std::array<double, bandCount> gains{};
};

/// Splits a results-file line into name, delay (ms to s) and ten band gains (dB to factors); missing fields repeat the last.
JobLine parseJobLine(std::string_view line, std::string_view folderPrefix);

/// Adds an open results file's receivers (delayed, weighted) to the microphones; the last of several writes the sum.
void addResultsFile(TConfig& file, unsigned flags, const std::array<double, bandCount>& gains, double delay);

/// Job mode: reads the job file named by the command-line text and adds the results files it lists.
/// Answers ok when the sum was written; jobUnreadable when the job file or a results file it lists cannot
/// be read, outputNotWritable when the sum cannot be written, cancelled when the user stopped it.
ExitStatus runJob(std::string_view commandLine);
