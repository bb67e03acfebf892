#include <string>

#include "results/ReportFiles.h"
#include "run/ExitStatus.h"
#include "ui/Messages.h"
#include "ui/WindowSystem.h"

// tolveno-report: the parameter table and the report of results files already on disk.
int main(int argc, char** argv) {
    windowSystem();
    if (argc < 2) {
        showError("Usage: tolveno-report results-file...\nwrites results-file.csv and results-file.html beside each");
        return static_cast<int>(ExitStatus::usage);
    }
    // Every file is tried; the status is that of the first that failed.
    ExitStatus status = ExitStatus::ok;
    for (int i = 1; i < argc; ++i)
        if (const ExitStatus written = writeReportFiles(argv[i]); status == ExitStatus::ok) status = written;
    return static_cast<int>(status);
}
