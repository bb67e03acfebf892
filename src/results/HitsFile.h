#pragma once
#include <string>

#include "acoustics/Bands.h"

struct Pyramid;

/// The hits file of a run: one line per arrival taken by a receiver from a
/// pyramid of order up to HitLevel, with the reflections that led to it.
///
/// Records come from the worker threads; each is written whole under the hits-file lock.
namespace HitsFile {
/// Opens the hits file of source i: replaced for the first source or with SaveAll, appended to otherwise.
/// A file that cannot be created ends the program with "Can't create %s".
void open(unsigned sourceIndex);
/// Closes the hits file.
void close();
/// True while a hits file is open.
bool isOpen();
/// Writes the record of an arrival; false (nothing written) above HitLevel or with no file open.
bool save(const Pyramid& p, unsigned microphone, const BandEnergies& energy, double time);
/// The text of one record, without its line feed.
std::string record(const Pyramid& p, unsigned microphone, unsigned sourceNumber, const BandEnergies& energy,
                   double time);
}  // namespace HitsFile
