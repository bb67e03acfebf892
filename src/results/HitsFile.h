#pragma once
#include <string>
#include <string_view>

#include "acoustics/Bands.h"

struct Pyramid;

/// The hits file of a run: one line per arrival taken by a receiver from a
/// pyramid of order up to HitLevel, with the reflections that led to it.
///
/// Records are formatted while tracing and written when the pyramid's log is
/// committed (tracing/PyramidLog.h), one thread at a time.
namespace HitsFile {
/// Opens the hits file of source i: replaced for the first source or with SaveAll, appended to otherwise.
/// A file that cannot be created ends the program with "Can't create %s".
void open(unsigned sourceIndex);
/// Formats the records of source i, as open does, without a file: a process that traces pyramids for another,
/// which writes them, formats them so. Ended by close.
void formatFor(unsigned sourceIndex);
/// Closes the hits file (or ends formatting without one).
void close();
/// True while a hits file is open.
bool isOpen();
/// Appends the record of an arrival and a line feed to text; false (nothing appended) above HitLevel or with no file
/// open (and no formatting without one).
bool format(const Pyramid& p, unsigned microphone, const BandEnergies& energy, double time, std::string& text);
/// Writes formatted records to the open file.
void write(std::string_view records);
/// The text of one record, without its line feed.
std::string record(const Pyramid& p, unsigned microphone, unsigned sourceNumber, const BandEnergies& energy,
                   double time);
}  // namespace HitsFile
