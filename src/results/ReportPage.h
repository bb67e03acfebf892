#pragma once
#include <iosfwd>
#include <string>

#include "results/ParameterTable.h"
#include "results/ResultsContents.h"

/// Writes the self-contained HTML report of a results file: model, sources and settings; per receiver an echogram
/// and the bands' decay curves with their T30 fits; the parameter tables with unusual values marked; and, with
/// several receivers, parameters against the distance from the nearest source. title names the results file.
void writeReportPage(std::ostream& out, const std::string& title, const ResultsContents& contents,
                     const ParameterTable& table);
