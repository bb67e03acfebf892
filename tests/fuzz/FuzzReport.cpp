// Fuzz target: a results file read back for its parameter table and report.
#include <sstream>

#include "FuzzSupport.h"
#include "foundation/TConfig.h"
#include "results/ParameterTable.h"
#include "results/ReportPage.h"
#include "results/ResultsContents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    freshProcessState();
    try {
        TConfig file("fuzz.___", textOf(data, size));
        ResultsContents contents;
        if (readResultsContents(file, contents)) {
            const ParameterTable table(contents);
            std::ostringstream csv, page;
            table.writeCsv(csv);
            writeReportPage(page, "fuzz.___", contents, table);
        }
    } catch (const ProcessExit&) {
    }
    return 0;
}
