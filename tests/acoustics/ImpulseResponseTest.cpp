#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <string>

#include "acoustics/ImpulseResponse.h"
#include "support/UiFixture.h"

namespace {

using ImpulseResponseTest = UiFixture;

constexpr std::array<double, bandCount> unitGains = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

// Energies that differ in every band, so that a band mixed up shows.
BandEnergies ramp(float first) {
    BandEnergies energies{};
    for (int b = 0; b < bandCount; ++b) energies[b] = first + static_cast<float>(b);
    return energies;
}

// Band-by-band sum of rows.
BandEnergies sum(std::initializer_list<BandEnergies> rows) {
    BandEnergies total{};
    for (const BandEnergies& row : rows)
        for (int b = 0; b < bandCount; ++b) total[b] += row[b];
    return total;
}

BandEnergies filled(float value) {
    BandEnergies energies;
    energies.fill(value);
    return energies;
}

// The class count of a response built under the given run parameters.
std::uint32_t classCountFor(double time, double precision) {
    parameters.Time = time;
    parameters.Precision = precision;
    return ImpulseResponse().classCount;
}

// Text of rows whose entry (row k, band b) is 10 · (k + 1) + b.
std::string rowsText(int count) {
    std::ostringstream text;
    for (int k = 0; k < count; ++k) {
        for (int b = 0; b < bandCount; ++b) text << 10 * (k + 1) + b << ' ';
        text << '\n';
    }
    return text.str();
}

TEST_F(ImpulseResponseTest, ClassCountRoundsHalvesAwayFromZeroAndIsCapped) {
    parameters.Time = 2;
    parameters.Precision = 0.001;
    const ImpulseResponse response;
    EXPECT_EQ(response.classCount, 2000u);
    EXPECT_EQ(response.rows.size(), 2002u);
    EXPECT_EQ(response.directDelay, 0);
    EXPECT_EQ(response.earliestDirectDelay, 1e12);
    EXPECT_FALSE(response.hasDirect);

    EXPECT_EQ(classCountFor(2.5, 1), 3u);  // a half goes up, not to the even 2
    EXPECT_EQ(classCountFor(3.5, 1), 4u);
    EXPECT_EQ(classCountFor(2.4, 1), 2u);
    EXPECT_EQ(classCountFor(0.4, 1), 0u);
    EXPECT_EQ(classCountFor(192000, 1), 192000u);
    EXPECT_EQ(classCountFor(192001, 1), 192000u);
    EXPECT_EQ(classCountFor(200, 0.001), 192000u);
    EXPECT_EQ(ImpulseResponse().rows.size(), 192002u);
}

TEST_F(ImpulseResponseTest, SettingsWithoutAFiniteClassCountGiveOneClassTakingEverything) {
    // The initial parameters (no settings file): Time 0, Precision 0.
    EXPECT_EQ(classCountFor(0, 0), 0u);
    EXPECT_EQ(classCountFor(1, 0), 0u);
    EXPECT_EQ(classCountFor(-2, -1), 0u);  // a positive ratio of two negative settings is no count either
    EXPECT_EQ(classCountFor(std::numeric_limits<double>::quiet_NaN(), 0.001), 0u);
    EXPECT_EQ(classCountFor(1, std::numeric_limits<double>::denorm_min()), 192000u);  // a ratio of +inf

    parameters.Time = 0;
    parameters.Precision = 0;
    ImpulseResponse response;
    ASSERT_EQ(response.rows.size(), 2u);
    for (double time : {0.0, 0.5, -3.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_TRUE(response.add(filled(1), 1, time));
    EXPECT_EQ(response.row(0), filled(4));
    EXPECT_EQ(response.row(1), filled(0));
}

TEST_F(ImpulseResponseTest, ArrivalsGoToTheTruncatedClassAndLateOrNegativeOnesToTheLast) {
    parameters.Time = 1;
    parameters.Precision = 0.25;  // N = 4; the class bounds are exact binary numbers
    ImpulseResponse response;
    ASSERT_EQ(response.classCount, 4u);
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double time;
        std::uint32_t row;
    } cases[] = {
        {0.0, 0},   {0.2499, 0}, {0.25, 1},  {0.7499, 2}, {0.75, 3}, {0.999, 3},
        {1.0, 4},   {2.5, 4},    {inf, 4},   {-0.1, 0},  // toward zero: 0, not −1
        {-0.25, 4}, {-1e300, 4}, {-inf, 4},  {std::numeric_limits<double>::quiet_NaN(), 4},
    };
    for (const auto& c : cases) EXPECT_EQ(response.classOf(c.time), c.row) << "t = " << c.time;

    EXPECT_TRUE(response.add(ramp(1), 1, 0.3));
    EXPECT_TRUE(response.add(ramp(100), 2, 0.49));
    EXPECT_TRUE(response.add(ramp(1), 1, 7.0));
    EXPECT_TRUE(response.add(ramp(2), 1, -0.5));
    EXPECT_EQ(response.row(0), filled(0));
    EXPECT_EQ(response.row(1), sum({ramp(1), ramp(100)}));
    EXPECT_EQ(response.row(2), filled(0));
    EXPECT_EQ(response.row(4), sum({ramp(1), ramp(2)}));
    EXPECT_EQ(response.row(5), filled(0));  // the spare row is never written

    parameters.Time = 2;
    parameters.Precision = 0.001;
    ImpulseResponse longer;
    EXPECT_TRUE(longer.add(ramp(1), 3, 2.5));
    EXPECT_EQ(longer.row(2000), ramp(1));
}

TEST_F(ImpulseResponseTest, OneDirectWavePerClearingAndTheEarliestDelayIsKept) {
    parameters.Time = 1;
    parameters.Precision = 0.001;
    ImpulseResponse response;
    response.setDirectDelay(0.03);
    EXPECT_EQ(response.directDelay, 0.03);
    EXPECT_EQ(response.earliestDirectDelay, 0.03);
    EXPECT_FALSE(response.hasDirect);

    EXPECT_TRUE(response.add(filled(1), 0, 0.0105));
    EXPECT_TRUE(response.hasDirect);
    EXPECT_EQ(response.directDelay, 0.0105);
    EXPECT_EQ(response.earliestDirectDelay, 0.0105);
    EXPECT_FALSE(response.add(filled(5), 0, 0.0205));
    EXPECT_EQ(response.directDelay, 0.0105);
    EXPECT_EQ(response.row(20), filled(0));
    EXPECT_TRUE(response.add(filled(2), 1, 0.0105));
    EXPECT_EQ(response.row(10), filled(3));
    EXPECT_EQ(response.directDelay, 0.0105);  // a reflection does not move it

    // The next source is farther: its direct wave may come, the earliest delay stays.
    response.setDirectDelay(0.05);
    EXPECT_FALSE(response.hasDirect);
    EXPECT_EQ(response.earliestDirectDelay, 0.0105);
    EXPECT_TRUE(response.add(filled(1), 0, 0.0505));
    EXPECT_EQ(response.directDelay, 0.0505);
    EXPECT_EQ(response.earliestDirectDelay, 0.0105);

    response.row(response.classCount + 1) = filled(9);
    response.clear();
    EXPECT_FALSE(response.hasDirect);
    EXPECT_EQ(response.earliestDirectDelay, 1e12);
    EXPECT_EQ(response.directDelay, 0.0505);
    for (std::uint32_t k = 0; k <= response.classCount; ++k) ASSERT_EQ(response.row(k), filled(0)) << k;
    EXPECT_TRUE(response.add(filled(1), 0, 0.2));
    EXPECT_EQ(response.earliestDirectDelay, 0.2);
}

TEST_F(ImpulseResponseTest, LevelsOfABandTheLinearSumAndTheAWeightedSum) {
    parameters.Time = 3;
    parameters.Precision = 1;
    ImpulseResponse response;
    response.row(0)[3] = 100;
    response.row(0)[4] = 900;
    response.row(1)[6] = 1;  // 2 kHz, weighted +1.2 dB
    response.row(2)[0] = 1;  // 31.5 Hz, weighted −39.4 dB
    response.row(2)[5] = -5;  // a negative value has no level either
    response.row(3).fill(0.1f);

    std::vector<float> levels;
    ASSERT_EQ(response.levels(3, levels), 3u);
    ASSERT_EQ(levels.size(), 4u);
    EXPECT_FLOAT_EQ(levels[0], 20);  // 10 · log10(100)
    EXPECT_FLOAT_EQ(levels[1], -999.9f);
    EXPECT_FLOAT_EQ(levels[3], -10);
    response.levels(5, levels);
    EXPECT_FLOAT_EQ(levels[2], -999.9f);

    response.levels(10, levels);
    EXPECT_FLOAT_EQ(levels[0], 30);  // 100 + 900
    EXPECT_FLOAT_EQ(levels[1], 0);
    EXPECT_FLOAT_EQ(levels[2], -999.9f);  // 1 − 5 < 0
    EXPECT_NEAR(levels[3], 0, 1e-5);  // ten times 0.1

    for (unsigned index : {11u, 12u}) {
        response.levels(index, levels);
        EXPECT_NEAR(levels[1], 1.2, 1e-5);
        EXPECT_FLOAT_EQ(levels[2], -999.9f);  // 10^−3.94 − 5 < 0
    }
    response.row(2)[5] = 0;
    response.levels(11, levels);
    EXPECT_NEAR(levels[2], -39.4, 1e-4);
    // 100 · 10^−0.86 + 900 · 10^−0.32: the weights of 250 Hz and 500 Hz
    EXPECT_NEAR(levels[0], 10 * std::log10(100 * std::pow(10, -0.86) + 900 * std::pow(10, -0.32)), 1e-4);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ImpulseResponseTest, ReadingWithoutDelayOrGainsReplacesRowsZeroToN) {
    parameters.Time = 2;
    parameters.Precision = 1;
    ImpulseResponse response;
    for (std::uint32_t k = 0; k <= 3; ++k) response.row(k) = filled(7);
    std::istringstream in(rowsText(4));
    EXPECT_TRUE(response.read(in, unitGains, 0));
    EXPECT_EQ(response.row(0), ramp(10));
    EXPECT_EQ(response.row(1), ramp(20));
    EXPECT_EQ(response.row(2), ramp(30));
    EXPECT_EQ(response.row(3), filled(7));
    int next = 0;
    in >> next;
    EXPECT_EQ(next, 40);  // the row beyond N is left in the stream

    std::istringstream negative(rowsText(3));
    EXPECT_TRUE(response.read(negative, unitGains, -0.5));  // a negative delay is no delay
    EXPECT_EQ(response.row(1), ramp(20));
}

TEST_F(ImpulseResponseTest, ReadingWithADelayOrGainsAddsShiftedAndWeightedRows) {
    parameters.Time = 2;
    parameters.Precision = 1;
    ImpulseResponse response;
    for (std::uint32_t k = 0; k <= 2; ++k) response.row(k) = filled(1);

    // Less than one class of delay: no shift, but added.
    std::istringstream small(rowsText(3));
    EXPECT_TRUE(response.read(small, unitGains, 0.5));
    EXPECT_EQ(response.row(0), ramp(11));
    EXPECT_EQ(response.row(2), ramp(31));

    // Gains without delay: weighted and added, not replaced.
    std::array<double, bandCount> gains = unitGains;
    gains[0] = 2;
    gains[9] = 0.5;
    std::istringstream weighted(rowsText(3));
    EXPECT_TRUE(response.read(weighted, gains, 0));
    BandEnergies expected = sum({ramp(11), ramp(10)});
    expected[0] = 11 + 2 * 10;
    expected[9] = 20 + 0.5f * 19;
    EXPECT_EQ(response.row(0), expected);

    // readAndAdd adds even when read would replace.
    response.clear();
    std::istringstream added(rowsText(3));
    EXPECT_TRUE(response.readAndAdd(added, unitGains, 0));
    std::istringstream again(rowsText(3));
    EXPECT_TRUE(response.readAndAdd(again, unitGains, 0));
    EXPECT_EQ(response.row(1), sum({ramp(20), ramp(20)}));
}

TEST_F(ImpulseResponseTest, ADelayShiftsByWholeClassesAndPilesTheEndIntoTheLastRow) {
    parameters.Time = 0.004;
    parameters.Precision = 0.001;
    ImpulseResponse response;
    ASSERT_EQ(response.classCount, 4u);
    std::istringstream in(rowsText(5));
    EXPECT_TRUE(response.read(in, unitGains, 0.0015));  // 1.5 classes: a shift of one
    EXPECT_EQ(response.row(0), filled(0));
    EXPECT_EQ(response.row(1), ramp(10));
    EXPECT_EQ(response.row(3), ramp(30));
    EXPECT_EQ(response.row(4), sum({ramp(40), ramp(50)}));  // rows 3 and 4 of the file
    EXPECT_EQ(response.row(5), filled(0));

    // A delay past the end (and far past any unsigned count) sends every row to N.
    response.clear();
    std::istringstream far(rowsText(5));
    EXPECT_TRUE(response.read(far, unitGains, 1e30));
    EXPECT_EQ(response.row(0), filled(0));
    EXPECT_EQ(response.row(3), filled(0));
    EXPECT_EQ(response.row(4), sum({ramp(10), ramp(20), ramp(30), ramp(40), ramp(50)}));
}

TEST_F(ImpulseResponseTest, AShortFileLeavesTheRowsNotReadWhole) {
    parameters.Time = 3;
    parameters.Precision = 1;
    for (double delay : {0.0, 1.0}) {
        ImpulseResponse response;
        for (std::uint32_t k = 0; k <= 3; ++k) response.row(k) = filled(1);
        // One whole row and half of the next.
        std::istringstream in(rowsText(1) + "5 5 5 5 5\n");
        EXPECT_FALSE(response.read(in, unitGains, delay)) << delay;
        EXPECT_TRUE(in.fail());
        if (delay == 0) {
            EXPECT_EQ(response.row(0), ramp(10));
            EXPECT_EQ(response.row(1), filled(1));
        } else {
            EXPECT_EQ(response.row(0), filled(1));
            EXPECT_EQ(response.row(1), ramp(11));
            EXPECT_EQ(response.row(2), filled(1));
        }
        EXPECT_EQ(response.row(3), filled(1));
    }
}

}  // namespace
