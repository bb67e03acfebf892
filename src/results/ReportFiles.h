#pragma once
#include <string>

#include "run/ExitStatus.h"

/// The name of the parameter table beside a results file: "room.___" gives "room.___.csv".
std::string parameterTableName(const std::string& resultsName);
/// The name of the report beside a results file: "room.___" gives "room.___.html".
std::string reportPageName(const std::string& resultsName);

/// Reads a results file and writes its parameter table (CSV) and report (HTML) beside it. Answers ok;
/// jobUnreadable after "Can't read %s" (or the reader's message) when the file cannot be read as results;
/// outputNotWritable after "Can't write %s" when either file cannot be written.
ExitStatus writeReportFiles(const std::string& resultsName);
