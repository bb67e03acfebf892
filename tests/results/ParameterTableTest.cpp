#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>

#include "results/ParameterTable.h"
#include "results/ReportPage.h"
#include "support/UiFixture.h"

namespace {

// Time 0.3 s, Precision 1 ms: rows 0 to 300.
constexpr int lastRow = 300;

std::string row(double energy) {
    std::string line;
    char text[32];
    for (int b = 0; b < bandCount; ++b) {
        std::snprintf(text, sizeof text, " %.9g", energy);
        line += text;
    }
    return line + '\n';
}

// The energy of a 100 dB source's direct sound 10 m away in band b, as the tracer computes it at humidity 50 %.
double directAt10m(int b) {
    const double m = std::numbers::ln10 * 1.7e-9 * bandFrequencies[b] * bandFrequencies[b] / 50;
    return 1e10 * std::exp(-10 * m) / (400 * std::numbers::pi);
}

// Receiver 1: a single arrival in class 0 at 0.2 ms, of the free-field energy at 10 m of the source (G = 0 dB when
// the row holds each band's own value; the test writes band 5's and checks that band). Receiver 2: no direct sound
// (1e12) and an ideal decay of T = 0.2 s from class 30 on, then a last row a million times its first class.
std::string resultsText(bool withSource) {
    std::string text = "[Version]\nProgram = Tolveno 3.0\n\n[Model]\nName          = box.ray\n\n";
    if (withSource)
        text +=
            "[Source]\nName       = omni.spk\nPower      = 100 100 100 100 100 100 100 100 100 100\n"
            "Position   = 0 0 0\n\n";
    text +=
        "[Parameters]\nLevel             = 6\nTime              = 0.3 s\nPrecision         = 0.001 s\n"
        "Humidity          = 50 %\n\n[Microphone_1]\n Position = 10 0 0 -1 0 0\n Direct Wave = 0.0002 s\n"
        " LFC = 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3\n LE  = 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n"
        " LF  = 0.2 0.25 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2\n Impulse response =\n";
    text += row(directAt10m(5));
    for (int k = 1; k <= lastRow; ++k) text += row(0);
    text +=
        "\n[Microphone_2]\n Position = 0 5 0 1 0 0\n Direct Wave = 1e+12 s\n LFC = 0 0 0 0 0 0 0 0 0 0\n"
        " LE  = 0 0 0 0 0 0 0 0 0 0\n LF  = 0 0 0 0 0 0 0 0 0 0\n Impulse response =\n";
    const double lambda = 6 * std::numbers::ln10 / 0.2, w = 0.001;
    for (int k = 0; k < lastRow; ++k)
        text += row(k < 30 ? 0 : std::exp(-lambda * (k - 30) * w) * -std::expm1(-lambda * w) / lambda);
    return text + row(1e6 * -std::expm1(-lambda * w) / lambda) + "\n[End]\n";
}

class ParameterTableTest : public UiFixture {
protected:
    ResultsContents read(bool withSource) {
        TConfig file("box.___", resultsText(withSource));
        ResultsContents contents;
        EXPECT_TRUE(readResultsContents(file, contents));
        return contents;
    }
    static double value(const ParameterTable& table, int receiver, int band, const char* name) {
        const ParameterRow* row = table.find(receiver, band, name);
        return row && row->value.value ? *row->value.value : NAN;
    }
};

}  // namespace

// The csv: one line per value in its own form. G against the direct energy of the source's power at 10 m in a free
// field (air absorption included): a receiver holding exactly that has G = 0 dB (to the float rounding of the
// response, 6e-8 relative: 3e-7 dB); without a [Source] section, as in a job's sum, G is empty. Receiver 2 never
// heard the direct sound: time zero is its first arrival (30 ms), so Ts is 1/λ = T / 13.8 and not 30 ms more; its
// last row, a million times its first class, is no part of the decay (T30 would otherwise be several times longer).
// T30 is within the float rounding of the energies (1e-4 relative); Ts lies up to λw²/12 late, as a class's energy
// is placed at its midpoint, not at its centre (5.8 µs here).
TEST_F(ParameterTableTest, TheCsvStrengthTimeZeroAndTheLastClass) {
    const ParameterTable table(read(true));
    std::ostringstream out;
    table.writeCsv(out);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    // The header, then per receiver ten bands of 11 values and the STI.
    ASSERT_EQ(lines.size(), 1u + 2 * (10 * 11 + 1));
    EXPECT_EQ(lines[0], "receiver,band,parameter,value,unit");
    const char* expected[] = {
        "1,31.5,EDT,,s",      // a single arrival has no decay: the value is empty
        "1,31.5,C50,inf,dB",  // nor late energy
        "1,31.5,D50,1,1",
        "1,31.5,Ts,0.4,ms",  // the class from the direct sound at 0.2 ms to 1 ms, its energy at the midpoint
        "1,63,LF,0.25,1",    // the lateral ratios as the file holds them
        "1,16000,LFC,0.3,1",
        "1,16000,LE,0.1,1",
        "1,all,STI,1,1",  // full modulation: the weights less the redundancies
    };
    for (const char* line : expected) EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    EXPECT_EQ(lines[1], "1,31.5,EDT,,s");
    EXPECT_TRUE(lines.back().starts_with("2,all,STI,0.")) << lines.back();
    EXPECT_TRUE(out.str().ends_with("\n") && out.str().find('\r') == std::string::npos);

    EXPECT_NEAR(value(table, 1, 5, "G"), 0, 1e-6);
    const ParameterTable withoutSource(read(false));
    const ParameterRow* g = withoutSource.find(1, 5, "G");
    ASSERT_TRUE(g);
    EXPECT_FALSE(g->value.value);
    EXPECT_EQ(g->value.note, "no source power in the results file");

    const double lambda = 6 * std::numbers::ln10 / 0.2, w = 0.001;
    for (int b : {0, 5, 9}) {
        EXPECT_NEAR(value(table, 2, b, "T30"), 0.2, 2e-5) << b;
        EXPECT_NEAR(value(table, 2, b, "Ts"), 1000 / lambda, 1000 * lambda * w * w / 12 + 1e-4) << b;
    }
}

TEST_F(ParameterTableTest, AResponseOfASingleRowGivesNoValuesAndStillAReport) {
    TConfig file("one.___",
                 "[Parameters]\nTime = 0 s\nPrecision = 0 s\n\n[Microphone_1]\n Position = 1 2 3 1 0 0\n"
                 " Direct Wave = 0.01 s\n LFC = 0 0 0 0 0 0 0 0 0 0\n LE  = 0 0 0 0 0 0 0 0 0 0\n"
                 " LF  = 0 0 0 0 0 0 0 0 0 0\n Impulse response =\n 1 1 1 1 1 1 1 1 1 1\n\n[End]\n");
    ResultsContents contents;
    ASSERT_TRUE(readResultsContents(file, contents));
    const ParameterTable table(contents);
    for (const ParameterRow& row : table.rows())
        EXPECT_EQ(row.value.value.has_value(), row.value.name.starts_with("L")) << row.value.name;
    std::ostringstream page;
    writeReportPage(page, "one.___", contents, table);
    EXPECT_TRUE(page.str().ends_with("</html>\n"));
}
