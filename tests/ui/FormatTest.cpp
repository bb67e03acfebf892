#include <gtest/gtest.h>

#include <cmath>

#include "ui/Format.h"

TEST(FormatTest, DurationRoundsHalfUpAndKeepsLongHours) {
    EXPECT_EQ(formatDuration(0), "00:00:00");
    EXPECT_EQ(formatDuration(0.4), "00:00:00");
    EXPECT_EQ(formatDuration(0.5), "00:00:01");
    EXPECT_EQ(formatDuration(59.5), "00:01:00");
    EXPECT_EQ(formatDuration(3599.5), "01:00:00");
    EXPECT_EQ(formatDuration(3661), "01:01:01");
    EXPECT_EQ(formatDuration(100 * 3600.0), "100:00:00");
}

TEST(FormatTest, DurationOfNonsenseIsZeroNotGarbage) {
    EXPECT_EQ(formatDuration(-3), "00:00:00");
    EXPECT_EQ(formatDuration(std::nan("")), "00:00:00");
    EXPECT_EQ(formatDuration(1.0 / 0.0), "1000000000:00:00");
}

TEST(FormatTest, NumberDropsTrailingZeros) {
    EXPECT_EQ(formatNumber(0.001), "0.001");
    EXPECT_EQ(formatNumber(50), "50");
    EXPECT_EQ(formatNumber(0.5), "0.5");
    EXPECT_EQ(formatNumber(20), "20");
    EXPECT_EQ(formatNumber(0), "0");
    EXPECT_EQ(formatNumber(-2.25), "-2.25");
    EXPECT_EQ(formatNumber(100), "100");  // zeros before the point stay
    EXPECT_EQ(formatNumber(1e-9), "0");   // eight decimals only
    EXPECT_EQ(formatNumber(1.123456789), "1.12345679");
}

TEST(FormatTest, LetterCodesLikeSpreadsheetColumns) {
    EXPECT_EQ(letterCode(1), "A");
    EXPECT_EQ(letterCode(26), "Z");
    EXPECT_EQ(letterCode(27), "AA");
    EXPECT_EQ(letterCode(28), "AB");
    EXPECT_EQ(letterCode(52), "AZ");
    EXPECT_EQ(letterCode(53), "BA");
    EXPECT_EQ(letterCode(702), "ZZ");
    EXPECT_EQ(letterCode(703), "AAA");
}
