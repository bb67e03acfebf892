#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "acoustics/MicrophoneList.h"
#include "support/UiFixture.h"

namespace {

class MicrophoneTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.Time = 1;
        parameters.Precision = 0.001;
    }

    // A microphone at the origin facing +x.
    static std::unique_ptr<Microphone> facingX() {
        auto microphone = std::make_unique<Microphone>();
        microphone->axis = Line(ORIGIN, Coord(1, 0, 0));
        return microphone;
    }

    // The ten entries of one lateral group (0 to 3).
    static BandEnergies group(const Microphone& microphone, int g) {
        BandEnergies entries;
        for (int b = 0; b < bandCount; ++b) entries[b] = microphone.lateral[g * bandCount + b];
        return entries;
    }
};

using MicrophoneListTest = MicrophoneTest;

BandEnergies ramp(float first) {
    BandEnergies energies{};
    for (int b = 0; b < bandCount; ++b) energies[b] = first + static_cast<float>(b);
    return energies;
}

BandEnergies scaled(const BandEnergies& energies, float factor) {
    BandEnergies result;
    for (int b = 0; b < bandCount; ++b) result[b] = factor * energies[b];
    return result;
}

const BandEnergies none{};
const Vector fromLeft(0, -1, 0);  // travelling toward −y: at 90° to the +x axis

TEST_F(MicrophoneTest, ADirectWaveThenLateralReflectionsInsideTheirWindows) {
    auto microphone = facingX();
    const BandEnergies e = ramp(1);
    // The direct wave travels along the axis: not lateral, not even early energy.
    EXPECT_TRUE(microphone->addArrival(e, 0, Vector(1, 0, 0), 0.0105));
    EXPECT_EQ(microphone->response.directDelay, 0.0105);
    EXPECT_EQ(microphone->response.earliestDirectDelay, 0.0105);
    EXPECT_EQ(microphone->response.row(10), e);
    for (float entry : microphone->lateral) ASSERT_EQ(entry, 0);

    // A second direct wave is refused whole, even from the side.
    EXPECT_FALSE(microphone->addArrival(e, 0, fromLeft, 0.0305));
    EXPECT_EQ(microphone->response.row(30), none);
    for (float entry : microphone->lateral) ASSERT_EQ(entry, 0);

    // 40 ms after the direct wave, from 90° (s = 1): every group takes E.
    EXPECT_TRUE(microphone->addArrival(e, 1, fromLeft, 0.0505));
    for (int g = 0; g < 4; ++g) EXPECT_EQ(group(*microphone, g), e) << "group " << g;

    // 12 ms after: past 5 ms but not 25 ms, so group 2 stays.
    EXPECT_TRUE(microphone->addArrival(e, 1, fromLeft, 0.0225));
    EXPECT_EQ(group(*microphone, 0), scaled(e, 2));
    EXPECT_EQ(group(*microphone, 1), scaled(e, 2));
    EXPECT_EQ(group(*microphone, 2), e);
    EXPECT_EQ(group(*microphone, 3), scaled(e, 2));
    EXPECT_EQ(microphone->response.row(22), e);
}

TEST_F(MicrophoneTest, WindowBoundariesAreInclusive) {
    // Times relative to a direct delay of 0 are exact: no subtraction error at the bounds.
    const BandEnergies e = ramp(1);
    const struct {
        double time;
        bool groups[4];
    } cases[] = {
        {-0.01, {true, false, false, false}},    // before the direct wave: early only
        {0.0049, {true, false, false, false}},
        {0.005, {true, true, false, true}},
        {0.0249, {true, true, false, true}},
        {0.025, {true, true, true, true}},
        {0.08, {true, true, true, true}},
        {0.0801, {false, false, false, false}},  // late: in the response, not in the sums
    };
    for (const auto& c : cases) {
        auto microphone = facingX();
        microphone->response.setDirectDelay(0);
        EXPECT_TRUE(microphone->addArrival(e, 2, fromLeft, c.time));
        EXPECT_EQ(microphone->response.row(microphone->response.classOf(c.time)), e);
        for (int g = 0; g < 4; ++g)
            EXPECT_EQ(group(*microphone, g), c.groups[g] ? e : none) << "t = " << c.time << ", group " << g;
    }
}

TEST_F(MicrophoneTest, TheWindowCountsFromTheDirectDelayAsItStands) {
    auto microphone = facingX();
    const BandEnergies e = ramp(1);
    microphone->response.setDirectDelay(0.1);  // the geometric delay
    // A reflection before the direct wave is early by the geometric delay.
    EXPECT_TRUE(microphone->addArrival(e, 1, fromLeft, 0.15));
    EXPECT_EQ(group(*microphone, 2), e);
    // The direct wave arrives late (0.3 s) from the side: t' = 0, early energy only.
    EXPECT_TRUE(microphone->addArrival(e, 0, fromLeft, 0.3));
    EXPECT_EQ(group(*microphone, 0), scaled(e, 2));
    EXPECT_EQ(group(*microphone, 1), e);
    // 0.35 s is 50 ms after the direct wave (but 250 ms after the geometric delay).
    EXPECT_TRUE(microphone->addArrival(e, 1, fromLeft, 0.35));
    EXPECT_EQ(group(*microphone, 0), scaled(e, 3));
    EXPECT_EQ(group(*microphone, 2), scaled(e, 2));
}

TEST_F(MicrophoneTest, OnlyTheHorizontalAngleCountsAndEitherSideIsPositive) {
    const BandEnergies e = ramp(1);
    // Horizontal parts (±3, ±4) have length 5: c = ±0.6, s = 0.8, s² = 0.64,
    // whatever the vertical components of the arrival and of the axis.
    for (const Vector direction : {Vector(3, 4, 0), Vector(3, -4, 12), Vector(-3, 4, -1), Vector(-3, -4, 0)}) {
        auto microphone = facingX();
        microphone->axis = Line(Coord(1, 2, 3), Coord(3, 2, 5));  // tilted up by 45°, horizontally +x
        EXPECT_TRUE(microphone->addArrival(e, 1, direction, 0.03));
        EXPECT_EQ(group(*microphone, 0), e);
        for (int b = 0; b < bandCount; ++b) {
            EXPECT_FLOAT_EQ(microphone->lateral[10 + b], 0.8f * e[b]);
            EXPECT_FLOAT_EQ(microphone->lateral[20 + b], 0.64f * e[b]);
            EXPECT_FLOAT_EQ(microphone->lateral[30 + b], 0.64f * e[b]);
        }
    }
    // An axis that is not a unit vector horizontally: (1, 1) normalised; an arrival along −x is at 135°.
    auto microphone = facingX();
    microphone->axis = Line(ORIGIN, Coord(2, 2, 0));
    EXPECT_TRUE(microphone->addArrival(e, 1, Vector(-5, 0, 0), 0.03));
    EXPECT_FLOAT_EQ(microphone->lateral[10], static_cast<float>(std::sqrt(0.5)) * e[0]);
    EXPECT_FLOAT_EQ(microphone->lateral[20], 0.5f * e[0]);
}

TEST_F(MicrophoneTest, FrontBackAndVerticalArrivalsAddNothingToTheLateralBlock) {
    const BandEnergies e = ramp(1);
    const struct {
        Vector axisTip;
        Vector direction;
    } cases[] = {
        {{1, 0, 0}, {2, 0, 0}},     // from behind, travelling forward
        {{1, 0, 0}, {-1, 0, 0.5}},  // from the front, a little from above
        {{1, 0, 0}, {0, 0, -1}},    // from straight above
        {{0, 0, 1}, {0, 1, 0}},     // a microphone facing up has no horizontal direction
    };
    for (const auto& c : cases) {
        auto microphone = facingX();
        microphone->axis = Line(ORIGIN, Coord(c.axisTip));
        EXPECT_TRUE(microphone->addArrival(e, 1, c.direction, 0.0305));
        EXPECT_EQ(microphone->response.row(30), e);
        for (float entry : microphone->lateral) ASSERT_EQ(entry, 0) << c.direction.x << " " << c.direction.z;
    }
}

TEST_F(MicrophoneTest, ConcurrentArrivalsAreAllCountedAndOneDirectWaveWins) {
    auto microphone = facingX();
    microphone->response.setDirectDelay(0);
    BandEnergies unit;
    unit.fill(1);
    constexpr int arrivals = 20000;
    int directsTaken = 0;
    #pragma omp parallel for num_threads(4) reduction(+ : directsTaken)
    for (int i = 0; i < arrivals; ++i) {
        // Every tenth arrival claims to be the direct wave at time 0; the
        // others fall into the classes 0 to 99 and into all lateral windows.
        const bool direct = i % 10 == 0;
        const double time = direct ? 0 : (i % 100) * 0.001 + 0.0005;
        if (microphone->addArrival(unit, direct ? 0 : 1, fromLeft, time) && direct) ++directsTaken;
    }
    EXPECT_EQ(directsTaken, 1);
    // Row k (k from 1 to 99, k not a multiple of 10) takes the arrivals with i % 100 = k: 200 each.
    // Row 0 takes the one accepted direct wave, and the 18000 reflections are spread over 90 rows.
    EXPECT_EQ(microphone->response.row(0)[0], 1);
    EXPECT_EQ(microphone->response.row(37)[9], arrivals / 100);
    float total = 0;
    for (std::uint32_t k = 0; k <= microphone->response.classCount; ++k) total += microphone->response.row(k)[4];
    EXPECT_EQ(total, 18001);
    // Early: t' ≤ 0.08 for i % 100 up to 79 (72 of them not multiples of 10), and the direct wave.
    EXPECT_EQ(microphone->lateral[3], 72 * 200 + 1);
    // From 5 ms: i % 100 from 5 to 79, 68 values not multiples of 10 (75 less 7).
    EXPECT_EQ(microphone->lateral[10 + 3], 68 * 200);
}

TEST_F(MicrophoneListTest, ReceiversTakeSlotsFromOneInOrder) {
    MicrophoneList list;
    EXPECT_EQ(list.addReceiver(Line(Coord(1, 2, 3), Coord(1, 5, 3))), 1);
    EXPECT_EQ(list.addReceiver(Line(Coord(4, 0, 0), Coord(5, 1, 0))), 2);
    EXPECT_EQ(list.receiverCount(), 2u);
    EXPECT_EQ(list.at(0), nullptr);
    const Microphone& first = *list.at(1);
    EXPECT_EQ(first.axis.origin.x, 1);
    EXPECT_EQ(first.axis.origin.z, 3);
    EXPECT_EQ(first.axis.y, 1);  // (0, 3, 0) normalised
    EXPECT_EQ(first.axis.x, 0);
    EXPECT_EQ(list.at(2)->axis.origin.x, 4);
    EXPECT_DOUBLE_EQ(list.at(2)->axis.x, std::sqrt(0.5));
    EXPECT_EQ(first.response.classCount, 1000u);
    for (float entry : first.lateral) ASSERT_EQ(entry, 0);
}

TEST_F(MicrophoneListTest, SlotZeroIsNotAReceiver) {
    MicrophoneList list;
    EXPECT_EQ(list.add(std::make_unique<Microphone>(), 2), 2);
    EXPECT_EQ(list.add(std::make_unique<Microphone>(), -1), 0);  // the first empty slot
    EXPECT_EQ(list.receiverCount(), 1u);
    EXPECT_EQ(list.add(std::make_unique<Microphone>(), -1), 1);
    EXPECT_EQ(list.receiverCount(), 2u);
    // A replacement keeps the count; a slot past the capacity grows it to 7 · 3 / 2 + 1.
    EXPECT_EQ(list.add(std::make_unique<Microphone>(), 2), 2);
    EXPECT_EQ(list.receiverCount(), 2u);
    EXPECT_EQ(list.add(std::make_unique<Microphone>(), 7), 7);
    EXPECT_EQ(list.capacity(), 11);
    EXPECT_EQ(list.receiverCount(), 3u);
    // With slot 0 taken, the next receiver goes to count + 1, past the gap.
    EXPECT_EQ(list.addReceiver(Line()), 5);
}

TEST_F(MicrophoneListTest, ClearAllClearsSlotsOneToTheReceiverCount) {
    MicrophoneList list;
    for (int i = 0; i < 3; ++i) list.add(facingX(), i);
    for (int i = 0; i < 3; ++i) {
        Microphone& microphone = *list.at(i);
        microphone.response.setDirectDelay(0);
        microphone.addArrival(ramp(1), 0, fromLeft, 0.0105);
        microphone.lateral[39] = 5;
    }
    list.clearAll();
    for (int i = 1; i <= 2; ++i) {
        const Microphone& microphone = *list.at(i);
        EXPECT_EQ(microphone.response.row(10), none) << i;
        EXPECT_FALSE(microphone.response.hasDirect);
        EXPECT_EQ(microphone.response.earliestDirectDelay, 1e12);
        EXPECT_EQ(microphone.response.directDelay, 0.0105);
        for (float entry : microphone.lateral) ASSERT_EQ(entry, 0) << i;
    }
    // Slot 0 (job mode's average) is left as it was.
    EXPECT_EQ(list.at(0)->response.row(10), ramp(1));
    EXPECT_EQ(list.at(0)->lateral[39], 5);

    list.destroyAll();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.receiverCount(), 0u);
    EXPECT_EQ(list.at(1), nullptr);
    EXPECT_EQ(list.capacity(), 4);
    EXPECT_EQ(list.addReceiver(Line()), 1);
}

TEST_F(MicrophoneListTest, TheProcessListIsOneObject) {
    EXPECT_EQ(&microphones(), &microphones());
    microphones().destroyAll();
    EXPECT_EQ(microphones().addReceiver(Line()), 1);
    EXPECT_EQ(microphones().receiverCount(), 1u);
    microphones().destroyAll();
    EXPECT_EQ(microphones().receiverCount(), 0u);
}

}  // namespace
