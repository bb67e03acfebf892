#include "tracing/EnergyModel.h"

#include <cfloat>
#include <cmath>
#include <cstddef>

#include "model/MaterialLibrary.h"
#include "run/RunParameters.h"
#include "tracing/RandomGenerator.h"

namespace {
constexpr double fourPi = 12.566370614359172;
constexpr double twoPi = 6.283185307179586;
constexpr std::size_t bands = static_cast<std::size_t>(bandCount);

// A distance (or squared distance) below floor, or not a number, becomes floor:
// the spreading terms divide by it, and 0 would give an infinite arrival.
inline double atLeast(double value, double floor) { return value >= floor ? value : floor; }

// Energies are single precision; a value beyond the float range (a receiver
// almost at the apex of a very loud source) is kept at the largest float
// instead of becoming infinite and poisoning the sums of the receiver.
inline float toBand(double value) { return value > FLT_MAX ? FLT_MAX : static_cast<float>(value); }

// Air attenuation exp(−m·R) of band b, m being the band's per-metre coefficient of the run parameters.
inline double airFactor(std::size_t b, double R) { return std::exp(-parameters.airAbsorption[b] * R); }

// The power ratio of a transmission loss in dB.
inline double lossFactor(float lossDb) { return std::pow(10.0, static_cast<double>(lossDb) / 10.0); }
}  // namespace

void applyAbsorption(BandEnergies& energy, unsigned material) {
    const MaterialLibrary::Row& alpha = materials().absorptionOf(material);
    for (std::size_t b = 0; b < bands; ++b) {
        const float g = 1.0f - alpha[b];
        // A coefficient of 1 or more silences the band for good instead of turning the energy negative.
        energy[b] = g <= 0 ? 0.0f : energy[b] * g;
    }
}

void applyObstruction(BandEnergies& energy, unsigned material) {
    const MaterialLibrary::Row& loss = materials().transmissionLossOf(material);
    for (std::size_t b = 0; b < bands; ++b) {
        // "Not above 0" also catches a not-a-number energy.
        if (!(energy[b] > 0) || loss[b] >= MaterialLibrary::noTransmission)
            energy[b] = 0;
        else
            energy[b] = static_cast<float>(energy[b] / lossFactor(loss[b]));
    }
}

void applyMonopermeable(BandEnergies& energy, unsigned material) {
    const MaterialLibrary::Row& loss = materials().transmissionLossOf(material);
    for (std::size_t b = 0; b < bands; ++b) {
        // Unlike an obstruction, a band the material does not transmit passes whole:
        // the face lets the central ray through once, whatever its data.
        if (loss[b] < MaterialLibrary::noTransmission) energy[b] = static_cast<float>(energy[b] / lossFactor(loss[b]));
    }
}

void updateScattering(Pyramid& p, unsigned material, double edgeDistance) {
    if (!parameters.Diffusion) return;
    const MaterialLibrary::Row& s = materials().scatteringOf(material);
    // Near an edge, diffraction makes the low bands scatter more: a band whose half
    // wavelength exceeds the distance to the edge has its scattering raised
    // linearly towards 1 at the edge. Half wavelengths shrink band by band, so the
    // raising stops at the first band whose half wavelength fits. A not-a-number
    // distance raises nothing.
    bool raising = (parameters.DiffusionMode & DiffusionBit::edgeScattering) != 0 && edgeDistance >= 0;
    for (std::size_t b = 0; b < bands; ++b) {
        double sPrime = s[b];
        if (raising) {
            const double halfWavelength = parameters.SoundSpeed / (2 * bandFrequencies[b]);
            if (halfWavelength <= edgeDistance)
                raising = false;
            else
                sPrime = 1 - (1 - sPrime) * edgeDistance / halfWavelength;
        }
        // The scattered share only grows: s' of what is still specular turns diffuse.
        const double scattered = p.scattered[b];
        p.scattered[b] = static_cast<float>(scattered + (1 - scattered) * sPrime);
    }
}

BandEnergies arrivalEnergy(const BandEnergies& energy, double R) {
    R = atLeast(R, minimumArrivalDistance);
    // Spherical spreading of a point source, 1/(4πR²).
    const double spreading = 1 / (fourPi * R * R);
    BandEnergies result;
    for (std::size_t b = 0; b < bands; ++b) result[b] = toBand(energy[b] * airFactor(b, R) * spreading);
    return result;
}

BandEnergies splitArrival(const BandEnergies& energy, const BandEnergies& scattered, bool inside, double d1,
                          double d2) {
    BandEnergies result{};
    const bool specular = inside && (parameters.DiffusionMode & DiffusionBit::specular) != 0;
    const bool diffuse = (parameters.DiffusionMode & DiffusionBit::diffuse) != 0;
    if (!specular && !diffuse) return result;

    const double R = atLeast(d1 + d2, minimumArrivalDistance);
    // Specular part: spherical spreading 1/(4πR²) over the whole unfolded path.
    const double specularSpreading = specular ? 1 / (fourPi * R * R) : 0;
    // Diffuse part (Lambert-like diffuse term): the scattered energy is
    // re-radiated from the last reflection point into a half space, 2π. Every
    // one of the N pyramids of the source carries the whole source energy and
    // delivers its diffuse part to every receiver, hence N with d2².
    const double n = pyramidsPerSource(parameters.Level);
    const double diffuseSpread =
        atLeast(n * d2 * d2 + 2 * d1 * d1, minimumArrivalDistance * minimumArrivalDistance) * twoPi;
    const double diffuseSpreading = diffuse ? 1 / diffuseSpread : 0;

    for (std::size_t b = 0; b < bands; ++b) {
        const double e = energy[b];
        const double s = scattered[b];
        const double part = (1 - s) * e * specularSpreading + s * e * diffuseSpreading;
        result[b] = toBand(airFactor(b, R) * part);
    }
    return result;
}

void randomizedReflection(Pyramid& p, const Plane& facePlane) {
    const Versor& n = facePlane.normal();
    // The tilt scales with the cosine of incidence, so grazing rays are scattered least.
    const double a = 0.2 * dot(n, p.ray.direction());
    RandomGenerator& random = threadRandom();
    // Drawn in this order, x then y then z, so a run on one thread is repeatable.
    const double r1 = (random.next() % 10000) / 10000.0;
    const double r2 = (random.next() % 10000) / 10000.0;
    const double r3 = (random.next() % 10000) / 10000.0;
    const Versor tilted(n.x + a * (1 - 2 * r1), n.y + a * (1 - 2 * r2), n.z + a * (1 - 2 * r3));
    p.reflect(Plane(tilted, -dot(tilted, p.hitPoint)));
    p.startLegAtHitPoint();
}
