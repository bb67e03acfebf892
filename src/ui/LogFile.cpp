#include "ui/LogFile.h"

#include <cstdio>

namespace {
std::FILE* log = nullptr;
}

namespace LogFile {
bool open() {
    if (!log) log = std::fopen("tolveno.log", "a");
    return log != nullptr;
}

bool isOpen() { return log != nullptr; }

void writeLine(std::string_view first, std::string_view second) {
    if (!log) return;
    std::fprintf(log, "%.*s %.*s\n", static_cast<int>(first.size()), first.data(), static_cast<int>(second.size()),
                 second.data());
    // Each line goes to disk at once, so the log tells what happened even when the process is killed.
    std::fflush(log);
}

void close() {
    if (log) std::fclose(log);
    log = nullptr;
}
}  // namespace LogFile
