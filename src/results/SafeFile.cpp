#include "results/SafeFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// Pushes a closed file's data to the disk, so that the rename that publishes
// it never exposes an empty file after a crash of the machine either.
void syncToDisk(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A hard link (or, where links are not supported, a copy) under a temporary
// name is renamed over the backup name, which replaces an earlier backup in
// one step. Failures leave things as they were and are not reported.
void makeBackup(const std::string& name, const std::string& backupName) {
    const std::string staging = backupName + ".tmp";
    std::error_code error;
    fs::remove(staging, error);
    fs::create_hard_link(name, staging, error);
    if (error) {
        error.clear();
        fs::copy_file(name, staging, fs::copy_options::overwrite_existing, error);
        if (error) {
            fs::remove(staging, error);
            return;
        }
    }
    fs::rename(staging, backupName, error);
    if (error) fs::remove(staging, error);
}

bool isFile(const std::string& name) {
    std::error_code error;
    return fs::exists(name, error) && !fs::is_directory(name, error);
}
}  // namespace

bool writeFileSafely(const std::string& name, const std::function<void(std::ostream&)>& write,
                     const std::string& backupName) {
    const std::string temporary = name + ".tmp";
    bool written = false;
    {
        std::ofstream out(temporary, std::ios::out | std::ios::trunc | std::ios::binary);
        if (out.is_open()) {
            write(out);
            out.close();
            written = !out.fail();
        }
    }
    std::error_code error;
    if (written) {
        syncToDisk(temporary);
        if (!backupName.empty() && isFile(name)) makeBackup(name, backupName);
        fs::rename(temporary, name, error);
        written = !error;
    }
    if (!written) fs::remove(temporary, error);
    return written;
}

// A folder's permission bits do not tell everything (a read-only mount, an
// ACL): a probe file really created there does.
bool canWriteFile(const std::string& name, bool inPlace, std::string& reason) {
    std::error_code error;
    if (fs::is_directory(name, error)) {
        reason = std::strerror(EISDIR);
        return false;
    }
    const fs::path folder = fs::path(name).parent_path();
    std::string probe = (folder.empty() ? fs::path(".") : folder) / ".tolveno-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    if (inPlace && fs::exists(name, error) && ::access(name.c_str(), W_OK) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}
