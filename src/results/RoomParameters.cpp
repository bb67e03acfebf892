#include "results/RoomParameters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "run/RunParameters.h"
#include "ui/Messages.h"

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// The start of the first class holding energy in any band; none when the response is silent.
std::optional<double> firstArrival(const ImpulseResponse& response) {
    for (std::uint32_t k = 0; k < response.classCount; ++k)
        for (float energy : response.row(k))
            if (energy > 0) return k * response.precision();
    return std::nullopt;
}

ParameterValue reverberation(const char* name, const EnergyDecay& decay, double upper, double lower) {
    if (const std::optional<DecayFit> fit = decay.fit(upper, lower)) return {name, "s", fit->reverberationTime(), ""};
    return {name, "s", std::nullopt, formatText("the decay does not reach %g dB", lower)};
}

// ISO 3382-1 clarity: early (first `limit` seconds) against late energy, in dB; +∞ with nothing late.
ParameterValue clarity(const char* name, const EnergyDecay& decay, double limit) {
    const double early = decay.energyWithin(limit), late = decay.total() - early;
    if (!(late > 0)) return {name, "dB", infinity, ""};
    if (!(early > 0)) return {name, "dB", -infinity, ""};
    return {name, "dB", 10 * std::log10(early / late), ""};
}

// 10 · log10 of the signal-to-noise ratio m / (1 − m), limited to ±15 dB, mapped to 0 ... 1 (IEC 60268-16 A.2).
double transmissionIndex(double m) {
    if (!(m < 1)) return 1;
    if (!(m > 0)) return 0;
    const double snr = std::clamp(10 * std::log10(m / (1 - m)), -15.0, 15.0);
    return (snr + 15) / 30;
}

}  // namespace

std::vector<EnergyDecay> receiverDecays(const Microphone& microphone) {
    const ImpulseResponse& response = microphone.response;
    const double width = response.precision();
    double zero = response.earliestDirectDelay;
    // A direct sound beyond the response (1e12 when it never arrived) starts nothing we hold.
    if (!(zero < response.classCount * width)) zero = firstArrival(response).value_or(0);
    std::vector<EnergyDecay> decays;
    std::vector<double> energies(response.classCount);
    for (int b = 0; b < bandCount; ++b) {
        // Row N (the last class) is left out: it takes every arrival after Time in one lump, the energy of legs
        // that ended beyond Time, not the decay's continuation. Counted, it would put a step at the curve's end
        // and raise late energy; the decay beyond Time is estimated by EnergyDecay's exponential tail instead.
        for (std::uint32_t k = 0; k < response.classCount; ++k) energies[k] = response.row(k)[b];
        decays.emplace_back(energies, width, zero);
    }
    return decays;
}

// The tracer gives an arrival the energy W · D · exp(−m R) / (4π R²) (PlacedSource::radiatedEnergy: W the band
// power 10^(Lw/10), D the directivity, 1 for an omnidirectional source; EnergyModel's arrivalEnergy: air
// attenuation and spherical spreading). The reference of G (ISO 3382-1 A.2.1) is the direct sound of the same
// source, omnidirectional, 10 m away in a free field: R = 10, D = 1.
double freeFieldEnergyAt10m(double powerDb, double airAbsorption) {
    constexpr double R = 10;
    return std::pow(10.0, powerDb / 10) * std::exp(-airAbsorption * R) / (4 * std::numbers::pi * R * R);
}

std::vector<ParameterValue> bandParameters(const EnergyDecay& decay, double reference) {
    std::vector<ParameterValue> values = {
        reverberation("EDT", decay, 0, -10),
        reverberation("T20", decay, -5, -25),
        reverberation("T30", decay, -5, -35),
        clarity("C50", decay, 0.050),
        clarity("C80", decay, 0.080),
        {"D50", "1", decay.energyWithin(0.050) / decay.total(), ""},
        {"Ts", "ms", 1000 * decay.centreTime(), ""},
        {"G", "dB", 10 * std::log10(decay.total() / reference), ""},
    };
    if (!(reference > 0)) values.back() = {"G", "dB", std::nullopt, "no source power in the results file"};
    if (!(decay.total() > 0))
        for (ParameterValue& value : values) value = {value.name, value.unit, std::nullopt, "no energy"};
    return values;
}

ParameterValue speechTransmissionIndex(const std::vector<EnergyDecay>& decays) {
    // IEC 60268-16:2020 (edition 5), A.2: the 14 modulation frequencies, and Table A.1: the weights α and the
    // redundancy factors β of male speech for the octaves 125 Hz to 8 kHz (bands 2 to 8 here).
    constexpr double frequencies[] = {0.63, 0.8, 1, 1.25, 1.6, 2, 2.5, 3.15, 4, 5, 6.3, 8, 10, 12.5};
    constexpr double alpha[7] = {0.085, 0.127, 0.230, 0.233, 0.309, 0.224, 0.173};
    constexpr double beta[6] = {0.085, 0.078, 0.065, 0.011, 0.047, 0.095};
    constexpr int firstBand = 2;
    double mti[7];
    for (int k = 0; k < 7; ++k) {
        const EnergyDecay& decay = decays[firstBand + k];
        if (!(decay.total() > 0)) return {"STI", "1", std::nullopt, "no energy in a band of 125 Hz to 8 kHz"};
        double sum = 0;
        for (double f : frequencies) sum += transmissionIndex(decay.modulation(f));
        mti[k] = sum / std::size(frequencies);
    }
    double sti = 0;
    for (int k = 0; k < 7; ++k) sti += alpha[k] * mti[k];
    for (int k = 0; k < 6; ++k) sti -= beta[k] * std::sqrt(mti[k] * mti[k + 1]);
    return {"STI", "1", sti, ""};
}
