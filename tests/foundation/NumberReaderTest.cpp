#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>

#include "foundation/NumberReader.h"
#include "support/ChunkBuffer.h"

namespace {
struct Outcome {
    std::uint64_t first;
    std::uint64_t second;
    std::ios::iostate state;
    std::string rest;
    bool operator==(const Outcome&) const = default;
};

// Two numbers in a row, so that a failure's effect on the next one shows too; chunk 0 is a string's one block.
template <typename Number, typename Read>
Outcome readTwice(const std::string& text, Read read, std::size_t chunk) {
    std::istringstream whole(text);
    ChunkBuffer pieces(text, chunk);
    std::istream in(chunk ? static_cast<std::streambuf*>(&pieces) : whole.rdbuf());
    Number first = 7, second = 7;
    read(in, first);
    read(in, second);
    const std::ios::iostate state = in.rdstate();
    in.clear();
    const std::string rest{std::istreambuf_iterator<char>(in), {}};
    auto bits = [](Number x) {
        if constexpr (std::is_floating_point_v<Number>) return std::bit_cast<std::uint64_t>(x);
        else return static_cast<std::uint64_t>(x);
    };
    return {bits(first), bits(second), state, rest};
}

template <typename Number = double>
Outcome byStream(const std::string& text, std::size_t chunk = 0) {
    return readTwice<Number>(text, [](std::istream& in, Number& x) { in >> x; }, chunk);
}
template <typename Number = double>
Outcome byReader(const std::string& text, std::size_t chunk = 0) {
    return readTwice<Number>(text, [](std::istream& in, Number& x) { readNumber(in, x); }, chunk);
}

// Three numbers read at once by readNumbers and one by one by the stream up to the first that fails: the values'
// bits (7 where none was read), the state and what is left must agree.
::testing::AssertionResult runReadsAsTheStream(const std::string& text, std::size_t chunk) {
    auto outcome = [&](bool atOnce) {
        std::istringstream whole(text);
        ChunkBuffer pieces(text, chunk);
        std::istream in(chunk ? static_cast<std::streambuf*>(&pieces) : whole.rdbuf());
        double values[3] = {7, 7, 7};
        if (atOnce)
            readNumbers(in, values, 3);
        else
            for (double& v : values)
                if (!(in >> v)) break;
        std::string result;
        for (double v : values) result += std::to_string(std::bit_cast<std::uint64_t>(v)) + ' ';
        result += std::to_string(in.rdstate()) + ' ';
        in.clear();
        return result + std::string(std::istreambuf_iterator<char>(in), {});
    };
    if (outcome(true) == outcome(false)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << '"' << text << "\" chunk " << chunk << ": " << outcome(true) << " against "
                                         << outcome(false);
}

// A text read as a coordinate and as the faces' flags, materials and vertex counts, whole and in pieces, and as
// a run of coordinates.
::testing::AssertionResult readsAsTheStream(const std::string& text, std::size_t chunk) {
    if (!runReadsAsTheStream(text, chunk)) return runReadsAsTheStream(text, chunk);
    if (byReader<double>(text, chunk) == byStream<double>(text, chunk) &&
        byReader<std::uint16_t>(text, chunk) == byStream<std::uint16_t>(text, chunk) &&
        byReader<std::uint32_t>(text, chunk) == byStream<std::uint32_t>(text, chunk))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << '"' << text << "\" chunk " << chunk;
}
}  // namespace

TEST(NumberReaderTest, TakesWhatTheStreamTakes) {
    const char* rows[] = {"1 2",        "  -3.25\n4e2",  "+5 .5",       "0.1 0.2",        "007 -000",
                          "1e 2",       "1e+ 2",         "1E-3x 4",     "- 1",            "+ 1",
                          ". 5",        "-.e5 1",        "5. 6",        "1.2.3 4",        "12e3e4 5",
                          "1e400 2",    "-1e400 2",      "1e-400 2",    "4.9e-324 2",     "2.2250738585072011e-308 0",
                          "inf 1",      "nan 1",         "0x10 1",      "1,5 2",          "",
                          "   ",        "3",             "3e",          "-",              "9007199254740993 1",
                          "0.1e0001 1", "123456789012345678901234567890.5e-10 2",
                          // the integers' limits, one past them, signs
                          "65535 1",    "65536 1",       "4294967295 1", "4294967296 1",  "-1 2",
                          "-0 4",       "00000000000000000007 1",
                          // longer than any coordinate: past the reader's own buffer
                          "-0.000000000000000000000000000000000000000000000000000000000000000000000123456789e+70 2",
                          // runs of coordinates as faces hold them, ended in every way
                          "0 0.340909 0  0.338983 0.340909 0\n", "1.5 -2.25 3", "1.5 -2.25 3 ", "1 2 x 4", "1 2e1 3",
                          "1 2. 3", "1\n\n2\t3\r\n"};
    for (const char* text : rows)
        for (const std::size_t chunk : {0, 1, 2, 3, 5}) EXPECT_TRUE(readsAsTheStream(text, chunk));
}

TEST(NumberReaderTest, RandomTextsFromTheNumbersAlphabet) {
    std::mt19937 random(20261206);
    const std::string alphabet = "0123456789012345.eE+-- \n0x";
    for (int i = 0; i < 20000; ++i) {
        std::string text(1 + random() % 14, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        ASSERT_TRUE(readsAsTheStream(text, i % 4));
    }
}

// Coordinates as model files hold them: decimals of every length around the 2^53 and 10^22 limits of the quick
// conversion, which must round exactly as the stream does.
TEST(NumberReaderTest, DecimalsOfEveryLengthRoundAsTheStreamDoes) {
    std::mt19937_64 random(7);
    char text[64];
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 80) - 60);
        std::snprintf(text, sizeof text, "%.*f -%.*f", static_cast<int>(random() % 24),
                      magnitude, static_cast<int>(random() % 18), magnitude / 3);
        ASSERT_EQ(byReader(text), byStream(text)) << '"' << text << '"';
    }
    for (const char* edge : {"9007199254740992 1", "9007199254740993.0 1", "0.0000000000000000000001 1",
                             "0.00000000000000000000001 1", "1234567890123456.7 1", "-0.0 -0"})
        EXPECT_EQ(byReader(edge), byStream(edge)) << edge;
}

// In another base the digits are the stream's: "1f 10" in hexadecimal is 31 and 16.
TEST(NumberReaderTest, IntegersInAnotherBaseAsTheStreamReadsThem) {
    std::istringstream byReaderHex("1f 10"), byStreamHex("1f 10");
    std::uint32_t read[2] = {}, streamed[2] = {};
    byReaderHex >> std::hex;
    readNumber(readNumber(byReaderHex, read[0]), read[1]);
    byStreamHex >> std::hex >> streamed[0] >> streamed[1];
    EXPECT_TRUE(read[0] == 31 && read[1] == 16 && read[0] == streamed[0] && read[1] == streamed[1] &&
                byReaderHex.rdstate() == byStreamHex.rdstate());
}
