#pragma once
#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

/// Where a run's input files (model, settings, materials, loudspeakers) are read from: the disk, or copies. Process 0
/// of a run spread over processes records every file it looks at, with its bytes, and sends the record; the other
/// processes then read those copies and never the disk, so they need no access to the files and cannot read other
/// ones than process 0 did.
namespace InputFiles {
/// Whether name is a file: it exists and is no folder.
bool isFile(const std::string& name);
/// The file's size in bytes; −1 when it is no file or its size cannot be told.
std::int64_t size(const std::string& name);
/// A buffer reading the file from its start; nullptr when the file does not open.
std::unique_ptr<std::streambuf> openBuffer(const std::string& name);
/// A stream reading the file from its start; nullptr when the file does not open.
std::unique_ptr<std::istream> open(const std::string& name);

/// From now on every file looked at is kept as it is at that moment, bytes and all, and later looks see that copy.
void startRecording();
/// The files looked at since startRecording, in a byte form readOnlyFrom takes.
std::string packRecord();
/// From now on the files of packed are the only ones (every other name is no file) and the disk is not read;
/// false, and nothing changed, when packed is no record.
bool readOnlyFrom(std::string_view packed);
/// Back to the disk alone, nothing kept (a fresh process state, for tests).
void useDisk();
}  // namespace InputFiles
