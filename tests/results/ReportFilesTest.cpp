#include <regex>
#include <sstream>

#include "support/UiFixture.h"

namespace fs = std::filesystem;

/// The example room traced in the scratch folder by the real programs, which are run without a terminal.
class ReportFilesTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        for (const char* name : {"room.ray", "room.material", "room.ini", "speaker.spk"})
            fs::copy_file(fs::path(TOLVENO_EXAMPLES) / name, name);
    }
    // One thread: on several the sums of a receiver may differ in their last bits from run to run.
    int trace() { return runProgram("\"" TOLVENO_BINARY "\" room /O1"); }
    int report(const std::string& arguments) { return runProgram("\"" TOLVENO_REPORT_BINARY "\" " + arguments); }
    // The results file without the lines that change from run to run (build and write times, revision).
    std::string stableResults() {
        static const std::regex changing("(Date|Time|Revision|Processing|Processing time) *=[^\n]*\n");
        return std::regex_replace(readFile("room.___"), changing, "");
    }
};

// One traced run serves every check: the table and the report it writes, the report in a real browser, the command
// that writes the same table for an existing file (its failures have the program's statuses), and a run with
// Report = Off, which writes neither and leaves the results file as it was.
TEST_F(ReportFilesTest, ARunWritesTheTableAndTheReportUnlessReportIsOffAndTheCommandWritesThemForAnyResultsFile) {
    ASSERT_EQ(trace(), 0) << errors;
    const std::string csv = readFile("room.___.csv"), html = readFile("room.___.html");
    EXPECT_TRUE(csv.starts_with("receiver,band,parameter,value,unit\n1,31.5,EDT,"));
    // Three receivers, each with 11 values in 10 bands and an STI.
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 3 * 111);
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>") && html.ends_with("</html>\n"));
    // Two plots per receiver, six against distance; nothing fetched from elsewhere.
    std::size_t plots = 0;
    for (std::size_t at = html.find("<svg class=\"plot\""); at != std::string::npos;
         at = html.find("<svg class=\"plot\"", at + 1))
        ++plots;
    EXPECT_EQ(plots, 3 * 2 + 6u);
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("href="), std::string::npos);

    // The report in a real browser: headless Chromium renders it, the page's script reports no error, and the
    // screenshot holds the plots' own colours (the echograms' stems, the decay curves of 250 Hz and 16 kHz) and the
    // marks of unusual values.
    ASSERT_EQ(runProgram("chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1280,7000 "
                  "--enable-logging=stderr --v=0 --screenshot=shot.png file://" +
                  (fs::current_path() / "room.___.html").string()),
              0)
        << errors;
    EXPECT_EQ(errors.find(":CONSOLE"), std::string::npos) << errors;
    ASSERT_EQ(
        runProgram("python3 " TOLVENO_TEST_DATA "/results/png_colours.py shot.png '#1f4e9a' '#d62728' '#17becf' '#ffd9b3'"), 0)
        << errors;
    std::istringstream counts(readFile("out.txt"));
    int width = 0, height = 0, stems = 0, red = 0, cyan = 0, marked = 0;
    counts >> width >> height >> stems >> red >> cyan >> marked;
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 7000);
    EXPECT_GT(stems, 3 * 5000) << "three echograms of at least 5000 pixels";
    EXPECT_GT(red, 3 * 200) << "the 250 Hz curves";
    EXPECT_GT(cyan, 3 * 200) << "the 16 kHz curves";
    EXPECT_GT(marked, 1000) << "cells of unusual values";

    const std::string results = stableResults();
    fs::copy_file("room.___", "copy.___");
    ASSERT_EQ(report("copy.___"), 0) << errors;
    EXPECT_EQ(readFile("copy.___.csv"), csv);
    EXPECT_TRUE(fs::exists("copy.___.html"));
    EXPECT_EQ(report(""), 2);
    EXPECT_EQ(errors,
              "Error: Usage: tolveno-report results-file...\nwrites results-file.csv and results-file.html "
              "beside each\n");
    EXPECT_EQ(report("missing.___"), 6);
    EXPECT_EQ(errors, "Error: Can't find file missing.___\n");
    EXPECT_EQ(report("room.ray"), 6);
    EXPECT_EQ(errors, "Error: Can't read room.ray\n");
    fs::create_directory("locked.___.csv");
    fs::copy_file("copy.___", "locked.___");
    EXPECT_EQ(report("locked.___"), 5);
    EXPECT_EQ(errors, "Error: Can't write locked.___.csv\n");

    fs::remove("room.___.csv");
    fs::remove("room.___.html");
    writeFile("room.ini", readFile("room.ini") + "Report = Off\n");
    ASSERT_EQ(trace(), 0) << errors;
    EXPECT_FALSE(fs::exists("room.___.csv") || fs::exists("room.___.html"));
    EXPECT_TRUE(stableResults() == results) << "the results file changed";
}
