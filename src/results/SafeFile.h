#pragma once
#include <functional>
#include <iosfwd>
#include <string>

/// Writes a whole file so that a kill at any moment leaves either the earlier
/// file or the complete new one under its name, never a part.
///
/// The new content goes to a temporary file beside it, is flushed and synced
/// to the disk, and is then renamed over the name. With a backup name, the
/// earlier file is first kept under that name (replacing an earlier backup)
/// without the name ever being removed. Answers whether the new file is in place;
/// on failure the temporary file is removed and the earlier file is untouched.
bool writeFileSafely(const std::string& name, const std::function<void(std::ostream&)>& write,
                     const std::string& backupName = "");

/// Whether a file of that name can be written now, without touching it: its folder takes a new file
/// (a probe is created there and removed), and, for a file written in place, an existing one takes
/// writing. On false, reason holds the system's explanation.
bool canWriteFile(const std::string& name, bool inPlace, std::string& reason);
