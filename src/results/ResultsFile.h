#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>

#include "acoustics/Microphone.h"
#include "model/Model.h"

/// The integer written after "Version = ": the program version times 100 (3.0 gives 300).
inline constexpr int resultsProgramVersion = 300;

/// The statistics of a run that the results file reports, gathered by the tracing manager.
struct RunStatistics {
    /// The source whose results are written (with SaveAll) or the last source of the run.
    unsigned sourceIndex = 0;
    /// Pyramids that left the model.
    std::uint32_t escapedCount = 0;
    /// Pyramids that struck an edge.
    std::uint32_t edgeHitCount = 0;
    /// Metres.
    double meanFreePath = 0;
    /// Metres.
    double standardDeviation = 0;
    /// Reflections per pyramid.
    double meanHistory = 0;
    /// The run's total elapsed time as the status box shows it.
    std::string processingTime;
    /// Pyramids actually traced when the run was cancelled and these results are partial; 0 for a full run.
    std::uint32_t cancelledAfter = 0;
};

/// The three-character extension of source i with SaveAll: "_", then "_" or the letter of i div 26 (a = 1), then a + i mod 26.
std::string sourceCode(unsigned sourceIndex);
/// The model file name with its extension replaced by "___" (by the source code of i when SaveAll is on).
std::string resultsFileName(unsigned sourceIndex);
/// The results file name of source i with the first character of its extension replaced by "@".
std::string hitsFileName(unsigned sourceIndex);
/// A file name with the part from its last dot removed (unless a folder separator follows that dot) and "." + extension appended.
std::string withExtension(const std::string& name, const std::string& extension);

/// Writes the whole results file of the run (status texts, revision, backup and every section); true when it is on disk.
///
/// An earlier file of the name becomes the backup (extension "bak") and the
/// new file carries its revision plus 1. A kill at any moment leaves a
/// complete results file (the old or the new one) behind. A file that cannot
/// be written is reported with "Can't write results file %s" and the old one
/// stays. Values that are not finite are written as 0.
bool writeResults(const Model& model, const RunStatistics& statistics);

/// Writes the [Version] section: program title, version, author, build date and time.
void writeVersion(std::ostream& out);
/// Sets the stream's precision to 15 and writes the [Parameters] section of the run parameters in force.
void writeParameters(std::ostream& out);
/// Sets the precision 15, writes [Parameters], a section for every microphone of the list, then "[End]".
void writeMicrophones(std::ostream& out);
