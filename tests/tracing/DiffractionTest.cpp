#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "acoustics/MicrophoneList.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "tracing/Diffraction.h"

TEST(BarrierAttenuationTest, KurzeAndersonLimits) {
    parameters.setTemperature(20);
    BandEnergies one;
    one.fill(1.0f);
    // No detour, or a shorter path: nothing.
    for (float e : barrierAttenuation(one, 10, 5, 5)) EXPECT_EQ(e, 0.0f);
    for (float e : barrierAttenuation(one, 10, 4, 5)) EXPECT_EQ(e, 0.0f);
    // A vanishing detour tends to 1/sqrt(10), that is -5 dB: tanh(sqrt x)^2 / x -> 1.
    const BandEnergies grazing = barrierAttenuation(one, 10, 5, 5 + 1e-9);
    EXPECT_NEAR(grazing[0], 1 / std::sqrt(10.0), 1e-6);
    // A large x: tanh -> 1, so E' = 1 / (sqrt(10) x) with x = 4 pi delta f / c.
    const double c = parameters.SoundSpeed;
    const BandEnergies deep = barrierAttenuation(one, 10, 6, 6);  // delta = 2 m
    for (int k = 6; k < bandCount; ++k) {
        // From 2 kHz on x > 140 and tanh(sqrt x) = 1 to double precision.
        const double x = 4 * std::numbers::pi * 2 * bandFrequencies[k] / c;
        EXPECT_NEAR(deep[k], 1 / (std::sqrt(10.0) * x), 1e-6 / x) << k;
    }
    // Higher bands are attenuated more.
    for (int k = 1; k < bandCount; ++k) EXPECT_LT(deep[k], deep[k - 1]);
}

// A source and a receiver 10 m apart on flat ground with an opaque barrier
// between them, traced for the direct sound only (History 0).
class BarrierTest : public UiFixture {
protected:
    void trace(const std::string& barrier, const std::string& flags) {
        writeFile("field.ray", "EntityList\n Face 0 2 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n" + barrier +
                                   " Source 0 0 1 10 0 1 0 omni.spk\n Receiver " + receiverText + " 0 0 1\nEnd\n");
        // Material 1 transmits nothing (no transmission group); material 2 is the ground.
        writeFile("field.material", "1 Barrier, 0 0 0 0 0 0 0 0 0 0\n2 Ground, 0 0 0 0 0 0 0 0 0 0\n");
        ASSERT_TRUE(parameters.parse("field /L4 /H0 /T0.2 /P0.0001 /O1 /U50 /C20 " + flags));
        RayManager manager;
        ASSERT_TRUE(manager.ready);
        manager.run();
    }

    const ImpulseResponse& response() const { return microphones().at(1)->response; }

    /// The class that holds an arrival over a path of length.
    std::uint32_t classOf(double length) const { return static_cast<std::uint32_t>(length / parameters.SoundSpeed / 0.0001); }

    /// The straight-path energy of band k at the receiver, as a leg computes it.
    double straight(int k) const {
        const double r = distance(apex, receiver);
        return 1e11 * std::exp(-parameters.airAbsorption[k] * r) / (4 * std::numbers::pi * r * r);
    }

    const Coord apex = Coord(0.0001, 0.0002, 1.0003);  // the source, displaced as every pyramid's apex is
    const Coord receiver = Coord(10, 0.7, 1.3);
    const std::string receiverText = "10 0.7 1.3";
    const std::string thinBarrier = " Face 1 1 4 5 -50 0 5 50 0 5 50 3 5 -50 3\n";
};

TEST_F(BarrierTest, WithoutDiffractionTheShadowIsSilent) {
    trace(thinBarrier, "/D0");
    for (std::uint32_t k = 0; k <= response().classCount; ++k)
        for (float e : response().row(k)) ASSERT_EQ(e, 0.0f) << "class " << k;
}

TEST_F(BarrierTest, AThinBarrierGivesOnePathOverItsTop) {
    trace(thinBarrier, "/D1");
    // The path point is the point of the top edge nearest to where the straight
    // path crosses the barrier's plane: x = 5, y and z of that crossing.
    const Versor u(receiver - apex);
    const double t = (5 - apex.x) / u.x;
    const Coord top(5, apex.y + t * u.y, 3);
    const double direct = distance(apex, receiver);
    const double length = distance(apex, top) + distance(top, receiver);
    const BandEnergies& row = response().row(classOf(length));
    const double detour = length - direct;
    for (int k = 0; k < bandCount; ++k) {
        const double x = 4 * std::numbers::pi * detour * bandFrequencies[k] / parameters.SoundSpeed;
        const double expected = straight(k) * std::pow(std::tanh(std::sqrt(x)), 2) / (std::sqrt(10.0) * x);
        // Float energies: a relative 1e-5 covers the single-precision steps.
        EXPECT_NEAR(row[k], expected, expected * 1e-5) << "band " << k;
    }
}

TEST_F(BarrierTest, ATwoEdgePathOverAThickBarrier) {
    // A 1 m thick wall: front at x = 5, back at x = 6, top at z = 3.
    const std::string thick = " Face 1 1 4 5 -50 0 5 50 0 5 50 3 5 -50 3\n Face 1 1 4 6 -50 0 6 -50 3 6 50 3 6 50 0\n"
                              " Face 1 1 4 5 -50 3 5 50 3 6 50 3 6 -50 3\n";
    trace(thick, "/D2");
    const Versor u(receiver - apex);
    const double t = (5 - apex.x) / u.x;
    const Coord first(5, apex.y + t * u.y, 3), second(6, apex.y + t * u.y, 3);
    const double length = distance(apex, first) + distance(first, second) + distance(second, receiver);
    const BandEnergies& row = response().row(classOf(length));
    const double detour = length - distance(apex, receiver);
    const double x = 4 * std::numbers::pi * detour * bandFrequencies[3] / parameters.SoundSpeed;
    const double expected = straight(3) * std::pow(std::tanh(std::sqrt(x)), 2) / (std::sqrt(10.0) * x);
    EXPECT_NEAR(row[3], expected, expected * 1e-5);

    // With Diffraction 1 no path over two edges is built.
    microphones().destroyAll();
    UiFixture::TearDown();
    UiFixture::SetUp();
    trace(thick, "/D1");
    for (float e : response().row(classOf(length))) EXPECT_EQ(e, 0.0f);
}

TEST_F(BarrierTest, AReceiverOutOfReachGetsNothing) {
    // 10 m need 29 ms; a run of 20 ms cannot reach the receiver.
    trace(thinBarrier, "/D1 /T0.02");
    for (std::uint32_t k = 0; k <= response().classCount; ++k)
        for (float e : response().row(k)) ASSERT_EQ(e, 0.0f);
}

TEST_F(BarrierTest, WeakArrivalsAreDropped) {
    // A source of 0 dB radiates 1 per band: far below the A-weighted threshold of 1 at 10 m.
    writeFile("quiet.spk", [] {
        std::string text = "a\nb\nc\nd\nBands, 10\n";
        for (int band = 1; band <= 10; ++band) {
            text += "Band, " + std::to_string(band) + "\nf\nPower, Lw, 0\nx\ny\nz\n";
            for (int row = 0; row < 18; ++row) {
                text += "P, " + std::to_string(row);
                for (int c = 0; c < 36; ++c) text += ",1";
                text += "\n";
            }
        }
        return text;
    }());
    writeFile("field.ray", "EntityList\n Face 0 2 4 -100 -100 0 100 -100 0 100 100 0 -100 100 0\n" + thinBarrier +
                               " Source 0 0 1 10 0 1 0 quiet.spk\n Receiver 10 0.7 1.3 0 0 1\nEnd\n");
    writeFile("field.material", "1 Barrier, 0 0 0 0 0 0 0 0 0 0\n2 Ground, 0 0 0 0 0 0 0 0 0 0\n");
    ASSERT_TRUE(parameters.parse("field /L4 /H0 /T0.2 /P0.0001 /O1 /D1"));
    RayManager manager;
    manager.run();
    for (std::uint32_t k = 0; k <= response().classCount; ++k)
        for (float e : response().row(k)) ASSERT_EQ(e, 0.0f);
}

TEST_F(BarrierTest, AroundAnOpeningThePathTakesItsNearestCorner) {
    // A wall at x = 5 with a window from y = 1 to 2, z = 2 to 3: the straight path passes below it,
    // and the corner (5, 1, 2) lies nearest to it; the farthest corner (5, 2, 3) gives no path.
    trace(" Wall\n  Face 1 1 4 5 -50 0 5 50 0 5 50 10 5 -50 10\n  Hole 0 1 4 5 1 2 5 2 2 5 2 3 5 1 3\n End\n", "/D1");
    const auto via = [this](const Coord& corner) { return distance(apex, corner) + distance(corner, receiver); };
    const double nearest = via(Coord(5, 1, 2)), farthest = via(Coord(5, 2, 3));
    ASSERT_NE(classOf(nearest), classOf(farthest));
    const double detour = nearest - distance(apex, receiver);
    const double x = 4 * std::numbers::pi * detour * bandFrequencies[3] / parameters.SoundSpeed;
    const double expected = straight(3) * std::pow(std::tanh(std::sqrt(x)), 2) / (std::sqrt(10.0) * x);
    EXPECT_NEAR(response().row(classOf(nearest))[3], expected, expected * 1e-5);
    EXPECT_EQ(response().row(classOf(farthest))[3], 0.0f);
}
