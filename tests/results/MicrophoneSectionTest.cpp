#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "foundation/TConfig.h"
#include "results/MicrophoneSection.h"
#include "results/ResultsFile.h"
#include "support/UiFixture.h"

namespace {

constexpr std::array<double, bandCount> unitGains{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

/// A value as "%g" writes it and a reader reads it back into a float.
float asWritten(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return std::strtof(text, nullptr);
}

}  // namespace

class MicrophoneSectionTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.Time = 0.005;  // N = 5: six rows
        parameters.Precision = 0.001;
    }

    /// A microphone with distinct values everywhere; seed makes two of them differ.
    static std::unique_ptr<Microphone> filled(float seed, double direct) {
        auto microphone = std::make_unique<Microphone>();
        microphone->axis.origin = Coord(1.234567890123 * seed, -2, 0.5);
        microphone->axis.x = 0.6;
        microphone->axis.y = 0.8;
        microphone->axis.z = 0;
        microphone->response.earliestDirectDelay = direct;
        for (int b = 0; b < bandCount; ++b) {
            microphone->lateral[b] = 3.0f + b;
            for (int g = 1; g <= 3; ++g) microphone->lateral[g * bandCount + b] = seed * (g + 0.1f * b);
        }
        for (std::uint32_t k = 0; k <= microphone->response.classCount; ++k)
            for (int b = 0; b < bandCount; ++b)
                microphone->response.row(k)[b] = seed * ((k + 1) * 1.1f + b * 0.123456789f) * (b == 3 ? 1e-9f : 1.0f);
        return microphone;
    }

    /// A results file holding the microphone sections of the given microphones, numbered from 1.
    static std::string fileOf(const std::vector<const Microphone*>& list) {
        std::ostringstream out;
        out.precision(15);
        out << "[Parameters]\nTime = 0.005 s\n\n";
        for (std::size_t i = 0; i < list.size(); ++i) {
            out << "[Microphone_" << i + 1 << "]\n";
            writeMicrophone(out, *list[i]);
        }
        out << "[End]\n";
        return out.str();
    }

    /// The lateral value that the file holds for entry i (10 to 39) of a written microphone.
    static float writtenLateral(const Microphone& m, int i) { return asWritten(m.lateral[i] / m.lateral[i % bandCount]); }
};

TEST_F(MicrophoneSectionTest, ASectionReadBackGivesWhatWasWritten) {
    const auto first = filled(1, 0.0123456789);
    const auto second = filled(2, 0.5);
    TConfig in("sum.___", fileOf({first.get(), second.get()}));
    ASSERT_TRUE(in.findParagraph("Microphone_1"));

    Microphone back;
    back.response.hasDirect = true;
    ASSERT_TRUE(readFirst(back, in, unitGains, 1, 0));
    EXPECT_EQ(back.axis.origin.x, 1.234567890123);  // 15 digits survive
    EXPECT_EQ(back.axis.origin.y, -2);
    EXPECT_EQ(back.axis.origin.z, 0.5);
    EXPECT_EQ(back.axis.x, 0.6);
    EXPECT_EQ(back.axis.y, 0.8);
    EXPECT_EQ(back.axis.z, 0);
    EXPECT_EQ(back.response.directDelay, 0.0123456789);
    EXPECT_EQ(back.response.earliestDirectDelay, 0.0123456789);
    EXPECT_FALSE(back.response.hasDirect);
    for (int b = 0; b < bandCount; ++b) EXPECT_EQ(back.lateral[b], 0) << b;  // the early energies are not in the file
    for (int i = bandCount; i < 4 * bandCount; ++i) EXPECT_EQ(back.lateral[i], writtenLateral(*first, i)) << i;
    for (std::uint32_t k = 0; k <= 5; ++k)
        for (int b = 0; b < bandCount; ++b)
            EXPECT_EQ(back.response.row(k)[b], asWritten(first->response.row(k)[b])) << k << " " << b;
    EXPECT_EQ(back.response.row(0)[1], 1.22346f);  // 1.1 + 0.123456789 to six digits

    // The reader stops after the last row: job mode's line reading meets the next heading.
    std::string line;
    while (std::getline(in, line) && line.empty()) {
    }
    EXPECT_EQ(line, "[Microphone_2]");
    Microphone next;
    ASSERT_TRUE(readFirst(next, in, unitGains, 2, 0));
    EXPECT_EQ(next.axis.origin.x, 2.469135780246);
    EXPECT_EQ(next.response.directDelay, 0.5);
    EXPECT_EQ(next.response.row(5)[9], asWritten(second->response.row(5)[9]));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MicrophoneSectionTest, ReadFirstWeightsAndShifts) {
    const auto written = filled(1, 0.004);
    TConfig in("late.___", fileOf({written.get()}));
    ASSERT_TRUE(in.findParagraph("Microphone_1"));
    std::array<double, bandCount> gains = unitGains;
    gains[0] = 2;
    gains[9] = 0.5;

    Microphone back;
    ASSERT_TRUE(readFirst(back, in, gains, 1, 0.0021));  // two whole classes later
    EXPECT_DOUBLE_EQ(back.response.directDelay, 0.004 + 0.0021);
    EXPECT_DOUBLE_EQ(back.response.earliestDirectDelay, 0.004 + 0.0021);
    const auto source = [&written](std::uint32_t k, int b) { return asWritten(written->response.row(k)[b]); };
    for (int b = 0; b < bandCount; ++b) {
        const float gain = static_cast<float>(gains[b]);
        EXPECT_EQ(back.response.row(0)[b], 0) << b;
        EXPECT_EQ(back.response.row(1)[b], 0) << b;
        EXPECT_EQ(back.response.row(2)[b], source(0, b) * gain) << b;
        EXPECT_EQ(back.response.row(4)[b], source(2, b) * gain) << b;
        // Rows 3, 4 and 5 of the file all land in the last row.
        EXPECT_EQ(back.response.row(5)[b], source(3, b) * gain + source(4, b) * gain + source(5, b) * gain) << b;
    }
    // The lateral ratios are taken as they are, without gains.
    EXPECT_EQ(back.lateral[10], writtenLateral(*written, 10));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MicrophoneSectionTest, ReadFirstReplacesAnInvalidDirectWave) {
    const auto atZero = filled(1, 0);
    const auto negative = filled(1, -0.5);
    const std::string both = fileOf({atZero.get(), negative.get()});
    const std::string single = fileOf({atZero.get()});
    // Writing a zero direct wave warns too; only the reader's warnings are looked at here.
    ui.boxes.clear();
    TConfig in("zero.___", both);
    ASSERT_TRUE(in.findParagraph("Microphone_1"));
    Microphone back;
    ASSERT_TRUE(readFirst(back, in, unitGains, 1, 0));
    EXPECT_EQ(back.response.directDelay, 0.0001);
    EXPECT_EQ(back.response.earliestDirectDelay, 0.0001);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Invalid Direct Wave Time = 0"});

    // A negative time that the delay does not make positive.
    ui.boxes.clear();
    std::string line;
    while (std::getline(in, line) && line.empty()) {
    }
    Microphone late;
    ASSERT_TRUE(readFirst(late, in, unitGains, 2, 0.2));
    EXPECT_EQ(late.response.directDelay, 0.0001);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Invalid Direct Wave Time = 0"});

    // A negative delay (a job may give one) is not added, and the rows keep their classes.
    ui.boxes.clear();
    const auto early = filled(1, 0.003);
    TConfig negativeDelay("early.___", fileOf({early.get()}));
    ASSERT_TRUE(negativeDelay.findParagraph("Microphone_1"));
    Microphone unshifted;
    ASSERT_TRUE(readFirst(unshifted, negativeDelay, unitGains, 1, -0.002));
    EXPECT_EQ(unshifted.response.directDelay, 0.003);
    EXPECT_EQ(unshifted.response.row(0)[0], asWritten(early->response.row(0)[0]));
    EXPECT_TRUE(ui.boxes.empty());

    // A zero time made positive by the delay is valid.
    ui.boxes.clear();
    TConfig again("zero.___", single);
    ASSERT_TRUE(again.findParagraph("Microphone_1"));
    Microphone shifted;
    ASSERT_TRUE(readFirst(shifted, again, unitGains, 1, 0.002));
    EXPECT_EQ(shifted.response.directDelay, 0.002);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MicrophoneSectionTest, ASectionWithoutPositionIsReported) {
    TConfig in("bad.___", "[Microphone_1]\n Position 1 2 3\n[Microphone_2]\n Position = 1 2 3 1 0 0\n");
    ASSERT_TRUE(in.findParagraph("Microphone_1"));
    Microphone back;
    back.axis.origin = Coord(7, 8, 9);
    EXPECT_FALSE(readFirst(back, in, unitGains, 1, 0));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find Position of Microphone_1 in file bad.___"});
    EXPECT_EQ(back.axis.origin.x, 7);
    EXPECT_EQ(back.response.earliestDirectDelay, 1e12);

    // The failed search has moved to the end: nothing more is found.
    ui.boxes.clear();
    EXPECT_FALSE(readAdd(back, in, unitGains, 2, 0));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find Position of Microphone_2 in file bad.___"});
}

TEST_F(MicrophoneSectionTest, ReadAddSumsASecondFileShiftedByItsDelay) {
    const auto a = filled(1, 0.003);
    const auto b = filled(2, 0.004);
    TConfig first("a.___", fileOf({a.get()}));
    TConfig second("b.___", fileOf({b.get()}));
    ASSERT_TRUE(first.findParagraph("Microphone_1"));
    ASSERT_TRUE(second.findParagraph("Microphone_1"));

    Microphone sum;
    ASSERT_TRUE(readFirst(sum, first, unitGains, 1, 0));
    sum.response.hasDirect = true;
    ASSERT_TRUE(readAdd(sum, second, unitGains, 1, 0.0015));  // one whole class later

    const auto ga = [&a](std::uint32_t k, int band) { return asWritten(a->response.row(k)[band]); };
    const auto gb = [&b](std::uint32_t k, int band) { return asWritten(b->response.row(k)[band]); };
    for (int band = 0; band < bandCount; ++band) {
        EXPECT_EQ(sum.response.row(0)[band], ga(0, band)) << band;
        for (std::uint32_t k = 1; k <= 4; ++k) EXPECT_EQ(sum.response.row(k)[band], ga(k, band) + gb(k - 1, band)) << k;
        // The last row of the file joins the one before it in row N.
        EXPECT_EQ(sum.response.row(5)[band], ga(5, band) + gb(4, band) + gb(5, band)) << band;
    }
    for (int i = bandCount; i < 4 * bandCount; ++i)
        EXPECT_EQ(sum.lateral[i], writtenLateral(*a, i) + writtenLateral(*b, i)) << i;
    for (int i = 0; i < bandCount; ++i) EXPECT_EQ(sum.lateral[i], 0) << i;
    // The later file's direct wave (0.0055 s) is not earlier: the first one stays, and so does the flag.
    EXPECT_EQ(sum.response.directDelay, 0.003);
    EXPECT_EQ(sum.response.earliestDirectDelay, 0.003);
    EXPECT_TRUE(sum.response.hasDirect);
    // The position is the last file's.
    EXPECT_EQ(sum.axis.origin.x, 2.469135780246);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MicrophoneSectionTest, ReadAddAlwaysAddsAndKeepsTheEarliestDirectWave) {
    const auto a = filled(1, 0.003);
    const auto early = filled(1, 0.001);
    const auto atZero = filled(1, 0);
    TConfig first("a.___", fileOf({a.get()}));
    TConfig second("early.___", fileOf({early.get(), atZero.get()}));
    ASSERT_TRUE(first.findParagraph("Microphone_1"));
    ASSERT_TRUE(second.findParagraph("Microphone_1"));

    Microphone sum;
    ASSERT_TRUE(readFirst(sum, first, unitGains, 1, 0));
    sum.response.hasDirect = true;
    ASSERT_TRUE(readAdd(sum, second, unitGains, 1, 0));  // no delay, unit gains: still added, not replaced
    for (std::uint32_t k = 0; k <= 5; ++k)
        EXPECT_EQ(sum.response.row(k)[7], asWritten(a->response.row(k)[7]) * 2) << k;
    EXPECT_EQ(sum.response.directDelay, 0.001);
    EXPECT_EQ(sum.response.earliestDirectDelay, 0.001);
    EXPECT_FALSE(sum.response.hasDirect);

    // A direct wave at 0 is taken without a warning when adding.
    ui.boxes.clear();
    std::string line;
    while (std::getline(second, line) && line.empty()) {
    }
    ASSERT_TRUE(readAdd(sum, second, unitGains, 2, 0));
    EXPECT_EQ(sum.response.directDelay, 0);
    EXPECT_EQ(sum.response.earliestDirectDelay, 0);
    EXPECT_TRUE(ui.boxes.empty());
}
