#pragma once
#include <optional>
#include <string>
#include <vector>

#include "acoustics/Microphone.h"
#include "results/EnergyDecay.h"

/// One value of a receiver: a number (C50 and C80 may be ±infinity), or none and the reason why.
struct ParameterValue {
    std::string name;
    std::string unit;
    std::optional<double> value;
    /// Why there is no value ("" when there is one).
    std::string note;
};

/// The ten bands' decays of a receiver from its direct sound on (ISO 3382-1: time zero at the direct sound; at the
/// first class holding energy when the receiver never heard the direct sound), without the response's last class.
std::vector<EnergyDecay> receiverDecays(const Microphone& microphone);

/// The direct energy the tracer gives a receiver 10 m in front of an omnidirectional source of powerDb in a free
/// field, with the air absorption of airAbsorption per metre: the reference of the strength G.
double freeFieldEnergyAt10m(double powerDb, double airAbsorption);

/// EDT, T20 and T30 (s), C50 and C80 (dB), D50, Ts (ms) and G (dB) of one band (ISO 3382-1; T20 as in ISO 3382-2),
/// in that order; G only when reference (from freeFieldEnergyAt10m) is positive.
std::vector<ParameterValue> bandParameters(const EnergyDecay& decay, double reference);

/// The speech transmission index of a receiver's ten decays (IEC 60268-16:2020, indirect method, male weights),
/// from the responses alone: no background noise, no auditory masking, no reception threshold.
ParameterValue speechTransmissionIndex(const std::vector<EnergyDecay>& decays);
