#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "foundation/NumberWriter.h"

namespace {
std::string written(double value) {
    char text[writeGLength];
    return std::string(text, writeG(value, text));
}

std::string byToChars(double value) {
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr);
}

// The value and its neighbours up to three units in the last place away.
void expectAround(double value) {
    EXPECT_EQ(written(value), byToChars(value)) << value;
    double below = value, above = value;
    for (int step = 0; step < 3; ++step) {
        below = std::nextafter(below, -INFINITY);
        above = std::nextafter(above, INFINITY);
        EXPECT_EQ(written(below), byToChars(below)) << below;
        EXPECT_EQ(written(above), byToChars(above)) << above;
    }
}
}  // namespace

TEST(NumberWriterTest, WritesWhatToCharsWrites) {
    const char* rows[] = {"0", "-0", "1", "-1", "0.5", "100000", "999999", "999999.5", "9999995", "1234565",
                          "123456.5", "12345.25", "0.0001", "0.00009999995", "1e-05", "1e+06", "123456789",
                          "1e-38", "1e38", "3.4028234663852886e38", "1e-45", "4.9e-324", "1e300", "inf", "-inf", "nan"};
    for (const char* row : rows) expectAround(std::strtod(row, nullptr));
    for (int exponent = -45; exponent <= 45; ++exponent) expectAround(std::pow(10.0, exponent));
}

// Values as a response holds them (floats), any double, and decimals near a half of their sixth digit.
TEST(NumberWriterTest, RandomValuesOfEveryScale) {
    std::mt19937_64 random(2026);
    for (int i = 0; i < 300000; ++i) {
        const double asFloat = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
        ASSERT_EQ(written(asFloat), byToChars(asFloat)) << asFloat;
        const double any = std::bit_cast<double>(random());
        ASSERT_EQ(written(any), byToChars(any)) << any;
        // Six digits and a 5: a half of the sixth digit, exactly in the text, nearly in the double.
        const std::uint64_t digits = 100000 + random() % 900000;
        const int exponent = static_cast<int>(random() % 90) - 45;
        const std::string decimal = std::to_string(digits) + "5e" + std::to_string(exponent);
        const double nearHalf = std::strtod(decimal.c_str(), nullptr);
        ASSERT_EQ(written(nearHalf), byToChars(nearHalf)) << decimal;
    }
}
