#include <gtest/gtest.h>

#include <cmath>

#include "ui/Format.h"
#include "ui/StatusPanel.h"

TEST(FormatTest, DurationsNumbersAndLetterCodes) {
    const std::pair<double, const char*> durations[] = {
        {0, "00:00:00"},        {0.4, "00:00:00"},        {0.5, "00:00:01"},  // rounded half up
        {59.5, "00:01:00"},     {3599.5, "01:00:00"},     {3661, "01:01:01"},   {100 * 3600.0, "100:00:00"},
        {-3, "00:00:00"},       {std::nan(""), "00:00:00"}, {1.0 / 0.0, "1000000000:00:00"}};  // nonsense: no garbage
    for (const auto& [seconds, text] : durations) EXPECT_EQ(formatDuration(seconds), text) << seconds;
    const std::pair<double, const char*> numbers[] = {
        {0.001, "0.001"}, {50, "50"}, {0.5, "0.5"}, {0, "0"}, {-2.25, "-2.25"}, {100, "100"},
        {1e-9, "0"}, {1.123456789, "1.12345679"}};  // eight decimals, without trailing zeros
    for (const auto& [value, text] : numbers) EXPECT_EQ(formatNumber(value), text) << value;
    const std::pair<std::uint32_t, const char*> codes[] = {{1, "A"},   {26, "Z"},   {27, "AA"},  {28, "AB"},
                                                           {52, "AZ"}, {53, "BA"}, {702, "ZZ"}, {703, "AAA"}};
    for (const auto& [n, code] : codes) EXPECT_EQ(letterCode(n), code) << n;
}

TEST(FormatTest, ProgressBarShare) {
    ControlState bar;
    bar.high = 1536;
    bar.position = 768;
    EXPECT_EQ(progressBar(bar, 10), "[#####-----] 50%");
    bar.position = 5000;  // past the end: full, never beyond
    EXPECT_EQ(progressBar(bar, 4), "[####] 100%");
    bar.high = 0;  // no range yet
    EXPECT_EQ(progressBar(bar, 4), "[----] 0%");
}
