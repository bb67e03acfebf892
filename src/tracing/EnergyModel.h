#pragma once
#include <cstdint>

#include "acoustics/Bands.h"
#include "geometry/Plane.h"
#include "tracing/Pyramid.h"

// The energy models of the tracer: absorption and transmission at faces,
// scattering, spherical spreading with air attenuation, the specular/diffuse
// split at receivers, and the randomised reflection.
//
// They run for every receiver of every leg on the worker threads: they read
// only the run parameters and the material library (both fixed while tracing)
// and the caller's own data, allocate nothing and call nothing virtual.

/// The bits of DiffusionMode.
namespace DiffusionBit {
inline constexpr std::int32_t specular = 1;        ///< deliver the specular part at receivers
inline constexpr std::int32_t diffuse = 2;         ///< deliver the diffuse part at receivers
inline constexpr std::int32_t edgeScattering = 4;  ///< raise scattering near face edges
}  // namespace DiffusionBit

/// The shortest distance (m) the spreading terms use: a shorter (or zero, or not-a-number) one is raised to it,
/// so a receiver at the apex gets a large but finite energy.
inline constexpr double minimumArrivalDistance = 1e-6;

/// The Level value meaning "no subdivision" (all bits set): one pyramid per source.
inline constexpr std::uint32_t noLevel = 0xFFFFFFFFu;

/// The pyramids a source radiates at a subdivision level: 8 << level as a 32-bit unsigned shift, 1 for noLevel.
///
/// A shift moves the 8 out of the 32 bits from level 29 on, which gives 0;
/// a shift by 32 or more (undefined in C++) is given the same 0, the value of
/// shifting the bits out one place at a time, rather than the hardware's
/// count-modulo-32 result.
constexpr std::uint32_t pyramidsPerSource(std::uint32_t level) {
    if (level == noLevel) return 1;
    return level < 32 ? 8u << level : 0u;
}

/// Energy after a reflection off material: each band times 1 − α in single precision, 0 where that is ≤ 0.
void applyAbsorption(BandEnergies& energy, unsigned material);

/// Energy after passing an obstructing face of material: bands not above 0 or with TL ≥ 999.9 dB become 0,
/// the others are divided by 10^(TL/10).
void applyObstruction(BandEnergies& energy, unsigned material);

/// Energy after the central ray passed a monopermeable, obstructing face of material: bands with TL < 999.9 dB
/// are divided by 10^(TL/10), the others pass whole.
void applyMonopermeable(BandEnergies& energy, unsigned material);

/// Accumulates p.scattered at a hit on material, edgeDistance metres from the nearest edge line of the face
/// (1e12 when it has none); does nothing while Diffusion is off.
void updateScattering(Pyramid& p, unsigned material, double edgeDistance);

/// The specular energy at path length R: energy · exp(−m·R) / (4πR²), R at least minimumArrivalDistance.
BandEnergies arrivalEnergy(const BandEnergies& energy, double R);

/// The energy a receiver gets with diffusion on: the specular part of the unscattered energy when inside and
/// DiffusionMode bit 1, plus the diffuse part of the scattered energy when bit 2; d1 is the path up to the last
/// reflection, d2 from there to the receiver.
BandEnergies splitArrival(const BandEnergies& energy, const BandEnergies& scattered, bool inside, double d1,
                          double d2);

/// Reflects p off the face plane tilted at random (the calling thread's generator) about p.hitPoint;
/// afterwards p.ray runs from hitPoint along the new section axis.
void randomizedReflection(Pyramid& p, const Plane& facePlane);
