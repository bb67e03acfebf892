#include "results/ReportFiles.h"

#include <ostream>

#include "foundation/TFilename.h"
#include "results/ParameterTable.h"
#include "results/ReportPage.h"
#include "results/ResultsContents.h"
#include "results/SafeFile.h"
#include "ui/Messages.h"

std::string parameterTableName(const std::string& resultsName) { return resultsName + ".csv"; }
std::string reportPageName(const std::string& resultsName) { return resultsName + ".html"; }

ExitStatus writeReportFiles(const std::string& resultsName) {
    ResultsContents contents;
    {
        TConfig file(resultsName);
        // "Can't find file %s" has been shown.
        if (!file.good()) return ExitStatus::jobUnreadable;
        if (!readResultsContents(file, contents)) return ExitStatus::jobUnreadable;
    }
    const ParameterTable table(contents);
    const std::string csv = parameterTableName(resultsName), html = reportPageName(resultsName);
    if (!writeFileSafely(csv, [&](std::ostream& out) { table.writeCsv(out); })) {
        showError("Can't write %s", csv.c_str());
        return ExitStatus::outputNotWritable;
    }
    const std::string title = TFilename(resultsName).fileNamePart();
    if (!writeFileSafely(html, [&](std::ostream& out) { writeReportPage(out, title, contents, table); })) {
        showError("Can't write %s", html.c_str());
        return ExitStatus::outputNotWritable;
    }
    return ExitStatus::ok;
}
