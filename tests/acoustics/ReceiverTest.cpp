#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "acoustics/MicrophoneList.h"
#include "support/UiFixture.h"

namespace {

using ImpulseResponseTest = UiFixture;
using MicrophoneTest = UiFixture;
constexpr double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();

// first, first + step, ...: energies that differ in every band, so that a band mixed up shows.
BandEnergies ramp(float first, float step = 1) {
    BandEnergies energies{};
    for (int b = 0; b < bandCount; ++b) energies[b] = first + step * static_cast<float>(b);
    return energies;
}
BandEnergies operator+(BandEnergies a, const BandEnergies& b) {
    for (int k = 0; k < bandCount; ++k) a[k] += b[k];
    return a;
}
const BandEnergies zero{}, one = ramp(1, 0), e = ramp(1);

ImpulseResponse make(double time, double precision) {
    parameters.Time = time;
    parameters.Precision = precision;
    return {};
}

TEST(BandsTest, LabelsOfTheBandsAndOfTheirSums) {
    std::string labels;
    for (int index = -1; index <= 12; ++index) labels += bandLabel(index) + ' ';
    EXPECT_EQ(labels, "0 31.5 63 125 250 500 1K 2K 4K 8K 16K L A 0 ");
}

TEST_F(ImpulseResponseTest, ClassCountIsTimeOverPrecisionRoundedAndCapped) {
    // Halves go up, not to even; without settings (0, 0) or a finite count, one class takes everything.
    const struct { double time, precision; std::uint32_t count; } cases[] = {
        {2, 0.001, 2000}, {2.5, 1, 3}, {2.4, 1, 2}, {0.4, 1, 0}, {192001, 1, 192000}, {200, 0.001, 192000},
        {1, std::numeric_limits<double>::denorm_min(), 192000}, {0, 0, 0}, {1, 0, 0}, {-2, -1, 0}, {nan, 1, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(make(c.time, c.precision).classCount, c.count) << c.time << ", " << c.precision;
}

TEST_F(ImpulseResponseTest, ArrivalsGoToTheTruncatedClassAndStrayOnesToTheLast) {
    ImpulseResponse response = make(1, 0.25);  // N = 4; the class bounds are exact binary numbers
    const struct { double time; std::uint32_t row; } cases[] = {
        {0.0, 0}, {0.2499, 0}, {0.25, 1}, {0.7499, 2}, {0.75, 3}, {0.999, 3}, {1.0, 4}, {2.5, 4}, {inf, 4},
        {-0.1, 0} /* toward zero */, {-0.25, 4}, {-1e300, 4}, {-inf, 4}, {nan, 4}};
    for (const auto& c : cases) {
        response.clear();
        EXPECT_TRUE(response.add(e, 1, c.time) && response.add(one, 2, c.time));
        EXPECT_EQ(response.row(c.row), e + one) << "t = " << c.time;
    }
    EXPECT_EQ(response.row(5), zero) << "the spare row is never written";
}

TEST_F(ImpulseResponseTest, LevelsOfABandTheLinearSumAndTheAWeightedSum) {
    ImpulseResponse response = make(11, 1);
    for (int k = 0; k < bandCount; ++k) response.row(k)[k] = 1;  // 0 dB in band k
    response.row(10) = {0, 0, 0, 100, 900};
    response.row(11) = {1, 0, 0, 0, 0, 0, -5};  // a sum that is not positive has no level either
    std::vector<float> band3, linear, weighted;
    EXPECT_EQ(response.levels(3, band3) + response.levels(10, linear) + response.levels(11, weighted), 33u);
    // IEC 61672 A-weighting at the octave centres, dB; floats of 1 to 1000: 1e-4 dB, far below the 0.1 dB steps.
    const double weights[] = {-39.4, -26.2, -16.1, -8.6, -3.2, 0, 1.2, 1.0, -1.1, -6.6,
                              10 * std::log10(100 * std::pow(10, -0.86) + 900 * std::pow(10, -0.32)), -999.9};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(band3.at(k), k == 3 ? 0 : k == 10 ? 20 : -999.9f) << k;
        EXPECT_NEAR(linear.at(k), k < 10 ? 0 : k == 10 ? 30 : -999.9, 1e-4) << k;
        EXPECT_NEAR(weighted.at(k), weights[k], 1e-4) << k;
    }
}

TEST_F(ImpulseResponseTest, ReadingReplacesOrAddsShiftedAndWeightedRows) {
    // N = 3. Row k of the file is f(k); the response holds 1 everywhere before each read.
    const auto f = [](int k) { return ramp(10.0f * (k + 1)); };
    const auto a = [&](int k) { return one + f(k); };
    const auto w = [&](int k) { return a(k) + BandEnergies{0, 0, 0, 0, 0, 0, 0, 0, 0, -0.5f * f(k)[9]}; };
    std::string text;
    for (int k = 0; k < 5; ++k, text += '\n')
        for (int b = 0; b < bandCount; ++b) text += std::to_string(10 * (k + 1) + b) + ' ';
    const std::array<double, bandCount> unit{1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, halfLast{1, 1, 1, 1, 1, 1, 1, 1, 1, 0.5};
    const struct { const char* what; bool cut, weighted, andAdd; double delay; BandEnergies rows[4]; } cases[] = {
        {"replaced (a negative delay is none)", false, false, false, -0.5, {f(0), f(1), f(2), f(3)}},
        {"under a class: added", false, false, false, 0.5, {a(0), a(1), a(2), a(3)}},
        {"1.5 classes: one later", false, false, false, 1.5, {one, a(0), a(1), a(2) + f(3)}},
        {"far past the end", false, false, false, 1e30, {one, one, one, a(0) + f(1) + f(2) + f(3)}},
        {"weighted", false, true, false, 0, {w(0), w(1), w(2), w(3)}},
        {"readAndAdd", false, false, true, 0, {a(0), a(1), a(2), a(3)}},
        {"a row and a half", true, false, false, 0, {f(0), one, one, one}},
        {"a row and a half, delayed", true, false, false, 1, {one, a(0), one, one}}};
    for (const auto& c : cases) {
        ImpulseResponse response = make(3, 1);
        std::fill(response.rows.begin(), response.rows.end(), one);
        std::istringstream in(c.cut ? text.substr(0, text.find('\n') + 1) + "5 5 5 5 5\n" : text);
        const auto& gains = c.weighted ? halfLast : unit;
        const bool whole = c.andAdd ? response.readAndAdd(in, gains, c.delay) : response.read(in, gains, c.delay);
        EXPECT_EQ(whole, !c.cut) << c.what;
        for (int k = 0; k < 4; ++k) EXPECT_EQ(response.row(k), c.rows[k]) << c.what << ", row " << k;
        EXPECT_EQ(response.row(4), one) << c.what << ": the spare row";
        int next = 0;
        EXPECT_TRUE(c.cut || (in >> next && next == 50)) << c.what << ": the row past N stays in the stream";
    }
}

// A microphone at the origin facing aim, with a response of 1 s in 1 ms classes.
std::unique_ptr<Microphone> facing(const Coord& aim = Coord(1, 0, 0)) {
    make(1, 0.001);
    auto microphone = std::make_unique<Microphone>();
    microphone->axis = Line(ORIGIN, aim);
    return microphone;
}
// Group g of the lateral block: 0 E, 1 s·E from 5 ms, 2 s²·E from 25 ms, 3 s²·E from 5 ms.
BandEnergies group(const Microphone& microphone, int g) {
    BandEnergies entries;
    std::copy_n(microphone.lateral.begin() + g * bandCount, bandCount, entries.begin());
    return entries;
}
const Vector fromLeft(0, -1, 0);  // travelling toward -y: at 90° to the +x axis, s = 1

TEST_F(MicrophoneTest, OneDirectWavePerSourceAndTheEarlyWindowsCountFromIt) {
    auto m = facing();
    m->response.setDirectDelay(0.1);  // the geometric delay of a first source
    // 50 ms after it; its direct wave, late and from the side: 0 ms after itself, early energy only; a second
    // direct wave, refused whole; a reflection 50 ms after the direct wave as it now stands.
    EXPECT_TRUE(m->addArrival(e, 1, fromLeft, 0.15) && m->addArrival(e, 0, fromLeft, 0.3));
    EXPECT_FALSE(m->addArrival(e, 0, fromLeft, 0.32));
    EXPECT_TRUE(m->addArrival(e, 1, fromLeft, 0.35));
    EXPECT_EQ(m->response.row(m->response.classOf(0.32)), zero);
    EXPECT_EQ(group(*m, 0), e + e + e);
    EXPECT_EQ(group(*m, 1), e + e);
    EXPECT_EQ(group(*m, 2), e + e);
    m->response.setDirectDelay(0.2);  // the next source: its direct wave may come, the earliest delay stays
    EXPECT_TRUE(m->addArrival(e, 0, X_AXIS, 0.2));
    EXPECT_EQ(std::make_pair(m->response.directDelay, m->response.earliestDirectDelay), std::make_pair(0.2, 0.1));
}

TEST_F(MicrophoneTest, LateralGroupsByWindowAndHorizontalAngle) {
    // Times after a direct delay of 0 are exact: no subtraction error at the inclusive bounds. Horizontal parts
    // of length 5 against an axis tilted 45° up: c = ±0.6, s = 0.8 on either side, whatever the vertical parts.
    // Straight ahead, behind or vertical is not lateral, not even early. FLOAT_EQ (4 ulps): s is a float.
    const float h = static_cast<float>(std::sqrt(0.5));
    const struct { double time; float groups[4]; Vector direction = fromLeft; Coord aim = {1, 0, 0}; } cases[] = {
        {-0.01, {1, 0, 0, 0}}, {0.0049, {1, 0, 0, 0}}, {0.005, {1, 1, 0, 1}}, {0.0249, {1, 1, 0, 1}},
        {0.025, {1, 1, 1, 1}}, {0.08, {1, 1, 1, 1}}, {0.0801, {0, 0, 0, 0}},
        {0.03, {1, .8f, .64f, .64f}, {3, 4, 0}, {2, 0, 2}}, {0.03, {1, .8f, .64f, .64f}, {3, -4, 12}, {2, 0, 2}},
        {0.03, {1, .8f, .64f, .64f}, {-3, 4, -1}, {2, 0, 2}},
        {0.03, {1, .8f, .64f, .64f}, {-3, -4, 0}, {2, 0, 2}}, {0.03, {1, h, .5f, .5f}, {-5, 0, 0}, {2, 2, 0}},
        {0.03, {}, {2, 0, 0}}, {0.03, {}, {-1, 0, 0.5}}, {0.03, {}, {0, 0, -1}}, {0.03, {}, {0, 1, 0}, {0, 0, 1}}};
    for (const auto& c : cases) {
        auto m = facing(c.aim);  // its direct delay is 0 before any source
        EXPECT_TRUE(m->addArrival(e, 2, c.direction, c.time));
        EXPECT_EQ(m->response.row(m->response.classOf(c.time)), e) << c.time;
        for (int i = 0; i < 4 * bandCount; ++i)
            EXPECT_FLOAT_EQ(m->lateral[i], c.groups[i / bandCount] * e[i % bandCount])
                << "t = " << c.time << ", " << c.direction.x << c.direction.y << c.direction.z << ", " << i;
    }
}

TEST_F(MicrophoneTest, ReceiversTakeSlotsFromOneAndClearingSparesSlotZero) {
    MicrophoneList& list = microphones();
    list.add(facing(), 0);  // job mode's average, not a receiver
    EXPECT_EQ(list.addReceiver(Line(Coord(1, 2, 3), Coord(1, 5, 3))), 2) << "at count + 1";
    list.add(facing(), 1);
    EXPECT_EQ(list.at(2)->axis.y, 1);
    EXPECT_EQ(list.receiverCount(), 2u);
    for (int i = 0; i < 3; ++i)  // a direct wave, early from the side, and a reflection in the last row
        EXPECT_TRUE(list.at(i)->addArrival(e, 0, fromLeft, 0.0105) && list.at(i)->addArrival(one, 1, X_AXIS, 5));
    list.clearAll();  // rows 0 to N, the direct wave, the earliest delay and the lateral block of slots 1 to 2
    for (int i = 0; i < 3; ++i) {
        const ImpulseResponse& r = list.at(i)->response;
        EXPECT_EQ(r.row(10) + r.row(1000) + group(*list.at(i), 0), i ? zero : e + one + e) << i;
        EXPECT_EQ(std::make_pair(r.directDelay, r.earliestDirectDelay), std::make_pair(0.0105, i ? 1e12 : 0.0105)) << i;
        EXPECT_EQ(list.at(i)->addArrival(e, 0, fromLeft, 0.2), i != 0) << i;
    }
    list.destroyAll();
    EXPECT_EQ(list.addReceiver(Line()), 1);
}

}  // namespace
