#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "results/RoomParameters.h"

namespace {

// 60 dB of decay is a factor 10^6 in energy: the decay rate of reverberation time T is 6 ln 10 / T (the 13.8, 1.105
// and 0.691 of the usual closed forms are 6 ln 10 and its 0.08 and 0.05 fractions, rounded).
const double sixLn10 = 6 * std::numbers::ln10;

// The energies of classes of width w of the ideal decay exp(−λ(t − t0)) from t0 on, each the exact integral over
// its class, until end seconds.
std::vector<double> idealDecay(double T, double w, double t0, double end) {
    const double lambda = sixLn10 / T;
    std::vector<double> energies(static_cast<std::size_t>(std::round(end / w)));
    for (std::size_t k = 0; k < energies.size(); ++k) {
        const double a = std::max(k * w, t0), b = (k + 1) * w;
        if (b > t0) energies[k] = (std::exp(-lambda * (a - t0)) - std::exp(-lambda * (b - t0))) / lambda;
    }
    return energies;
}

double valueOf(const std::vector<ParameterValue>& values, const std::string& name) {
    for (const ParameterValue& v : values)
        if (v.name == name) return v.value.value_or(NAN);
    return NAN;
}

const ParameterValue* find(const std::vector<ParameterValue>& values, const std::string& name) {
    for (const ParameterValue& v : values)
        if (v.name == name) return &v;
    return nullptr;
}

struct Ideal {
    double T, width, timeZero, end;
};

// Decays that end between −36 and −72 dB, time zero inside a class: without the tail beyond the response the curve
// bends down at its end and T30 comes out short (by a third where the response ends at −37 dB).
const Ideal ideals[] = {
    {0.5, 0.001, 0.0032, 0.31},  // ends at −37 dB
    {1.0, 0.001, 0.0105, 1.2},   // −71 dB
    {2.0, 0.002, 0.0203, 1.3},   // −38 dB
    {0.8, 0.0005, 0.0071, 0.6},  // −44 dB
};

}  // namespace

// The curve is sampled at class ends, where the backward integral of the classes equals that of the ideal decay, and
// the tail of an exponential is estimated exactly (EnergyDecay): EDT, T20 and T30 are T to rounding (1e-9 · T).
// Clarity, definition and centre time of exp(−λt): E(t) = 1 − exp(−λt), Ts = 1/λ. Within a class its energy is
// taken as spread evenly: the cumulative energy is then the chord of the exponential, off by at most E_class · λw / 8
// with E_class ≈ λw of the whole, so D50 is within (λw)²/8 and C within 10/ln10 · (λw)²/8 · (1/early + 1/late) dB.
// The midpoint of a class lies λw²/12 after its energy's centre: Ts is within that (ms).
// STI: m(F) = 1 / sqrt(1 + (2πF T / 13.8)²) in every band, so the STI is the mean transmission index of the 14
// modulation frequencies (the weights less the redundancies sum to 1). Spreading a class's energy evenly changes m
// by a relative O(λw · 2πFw) < 3e-4; the index's slope 10 / (30 ln10 · m(1 − m)) is at most 4.5 below the 15 dB
// limit (m < 0.97): 2e-3 holds both.
TEST(RoomParametersTest, AnIdealDecayGivesItsReverberationTimesAndTheClosedFormsOfTheOthersAndItsSti) {
    const double frequencies[] = {0.63, 0.8, 1, 1.25, 1.6, 2, 2.5, 3.15, 4, 5, 6.3, 8, 10, 12.5};
    for (const Ideal& d : ideals) {
        const double lambda = sixLn10 / d.T, lw = lambda * d.width;
        const EnergyDecay decay(idealDecay(d.T, d.width, d.timeZero, d.end), d.width, d.timeZero);
        const std::vector<ParameterValue> values = bandParameters(decay, 1);
        for (const char* name : {"EDT", "T20", "T30"})
            EXPECT_NEAR(valueOf(values, name), d.T, 1e-9 * d.T) << d.T << name;
        for (const double limit : {0.05, 0.08}) {
            const double early = -std::expm1(-lambda * limit), late = 1 - early;
            const double tolerance = 10 / std::numbers::ln10 * lw * lw / 8 * (1 / early + 1 / late);
            EXPECT_NEAR(valueOf(values, limit == 0.05 ? "C50" : "C80"), 10 * std::log10(std::expm1(lambda * limit)),
                        tolerance)
                << d.T;
        }
        EXPECT_NEAR(valueOf(values, "D50"), -std::expm1(-lambda * 0.05), lw * lw / 8) << d.T;
        EXPECT_NEAR(valueOf(values, "Ts"), 1000 / lambda, 1000 * lambda * d.width * d.width / 12) << d.T;
        EXPECT_NEAR(valueOf(values, "G"), 10 * std::log10(1 / lambda), 1e-9) << d.T;
        double expected = 0;
        for (const double F : frequencies) {
            const double m = 1 / std::hypot(1, 2 * std::numbers::pi * F * d.T / sixLn10);
            const double snr = std::clamp(10 * std::log10(m / (1 - m)), -15.0, 15.0);
            expected += (snr + 15) / 30 / std::size(frequencies);
        }
        const ParameterValue sti = speechTransmissionIndex(std::vector<EnergyDecay>(10, decay));
        ASSERT_TRUE(sti.value) << d.T;
        EXPECT_NEAR(*sti.value, expected, 2e-3) << d.T;
    }
}

// A decay that ends at −30 dB gives EDT and T20 but no T30, and says why; one that ends at −8 dB gives none.
TEST(RoomParametersTest, ARangeTheDecayDoesNotReachGivesNoValue) {
    const struct {
        double end;
        std::vector<const char*> present, absent;
    } cases[] = {
        {0.5 + 0.0105, {"EDT", "T20"}, {"T30"}},
        {0.13 + 0.0105, {}, {"EDT", "T20", "T30"}},
    };
    const char* notes[] = {"the decay does not reach -10 dB", "the decay does not reach -25 dB",
                           "the decay does not reach -35 dB"};
    for (const auto& c : cases) {
        const std::vector<ParameterValue> values =
            bandParameters(EnergyDecay(idealDecay(1.0, 0.001, 0.0105, c.end), 0.001, 0.0105), 1);
        for (const char* name : c.present) EXPECT_NEAR(valueOf(values, name), 1.0, 1e-9) << c.end << name;
        for (const char* name : c.absent) {
            const ParameterValue* v = find(values, name);
            ASSERT_TRUE(v);
            EXPECT_FALSE(v->value) << c.end << name;
            EXPECT_EQ(v->note, notes[name[0] == 'E' ? 0 : name[1] == '2' ? 1 : 2]);
        }
    }
}

// A single arrival: nothing late, so C50 and C80 are +∞ and D50 is 1; no decay to fit; the whole energy at the
// class's midpoint. No energy at all gives no value anywhere.
TEST(RoomParametersTest, ASingleArrivalAndSilence) {
    std::vector<double> energies(100);
    energies[20] = 4;
    const std::vector<ParameterValue> single = bandParameters(EnergyDecay(energies, 0.001, 0.020), 0.4);
    EXPECT_EQ(valueOf(single, "C50"), INFINITY);
    EXPECT_EQ(valueOf(single, "C80"), INFINITY);
    EXPECT_EQ(valueOf(single, "D50"), 1);
    EXPECT_NEAR(valueOf(single, "Ts"), 0.5, 1e-9);
    EXPECT_NEAR(valueOf(single, "G"), 10, 1e-9);
    for (const char* name : {"EDT", "T20", "T30"}) EXPECT_FALSE(find(single, name)->value) << name;

    const std::vector<ParameterValue> silent = bandParameters(EnergyDecay(std::vector<double>(100), 0.001, 0.02), 1);
    for (const ParameterValue& v : silent) {
        EXPECT_FALSE(v.value) << v.name;
        EXPECT_EQ(v.note, "no energy");
    }
    // Full modulation in every band: the weights less the redundancies, 1.
    const ParameterValue sti =
        speechTransmissionIndex(std::vector<EnergyDecay>(10, EnergyDecay(energies, 0.001, 0.02)));
    EXPECT_NEAR(sti.value.value_or(0), 1, 1e-12);
}
