#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "support/UiFixture.h"
#include "tracing/Pyramid.h"

/// A scratch state for tracing a few hand-made pyramids through a model given as text.
///
/// The materials below are written beside the model before anything reads
/// them; the run parameters are set for plain specular tracing at a sound
/// speed of 340 m/s with impulse-response classes of 0.1 ms over 0.2 s, all
/// before the model is loaded (a microphone takes its classes when it is made).
class TracingFixture : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.modelFile.assign("room.ray");
        writeFile("room.material",
                  // 1: a hard wall, no transmission group (nothing passes).
                  "1 Plaster, 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2\n"
                  // 2: a thin panel: 10 dB in every band.
                  "2 Panel, 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3, 10 10 10 10 10 10 10 10 10 10\n"
                  // 3: a soft wall.
                  "3 Curtain, 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5\n"
                  // 4: an opaque barrier, 999.9 dB written out.
                  "4 Barrier, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1, "
                  "999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9\n");
        parameters.SoundSpeed = soundSpeed;
        parameters.Time = 0.2;
        parameters.Precision = precision;
        parameters.History = 0;
        parameters.CloneLevel = -1;
        parameters.RandomizeAfter = -1;
        parameters.Diffusion = false;
        parameters.Diffraction = 0;
        parameters.HitLevel = -1;
        // A distinct air attenuation per band, so that a wrong path length shows in every band differently.
        for (int b = 0; b < bandCount; ++b) parameters.airAbsorption[b] = 0.01 * (b + 1);
    }

    void load(const std::string& body) {
        std::istringstream in("EntityList\n" + body + "End\n");
        model.load(in);
    }

    /// The entry whose face carries a number (faces are numbered in file order from 1).
    Face* numbered(std::uint32_t number) const {
        for (std::uint32_t i = 0; i < model.count(); ++i)
            if (model.faceAt(i)->number == number) return const_cast<Face*>(model.faceAt(i));
        return nullptr;
    }

    /// Band energies 1000, 2000, ... 10000: every band distinct.
    static BandEnergies rising() {
        BandEnergies e{};
        for (int b = 0; b < bandCount; ++b) e[b] = 1000.0f * static_cast<float>(b + 1);
        return e;
    }

    /// A pyramid from apex around direction: its three edges lie halfAngle off the direction,
    /// 120° apart, so its axis is the direction and every point within halfAngle / 2 of it is inside.
    static Pyramid aimed(const Coord& apex, const Vector& direction, double halfAngle = 0.17,
                         const BandEnergies& energy = rising()) {
        const Versor u(direction);
        const Vector helper = std::fabs(u.x) < 0.9 ? Vector(1, 0, 0) : Vector(0, 1, 0);
        const Versor e1(cross(u, helper));
        const Versor e2(cross(u, e1));
        const double r = std::tan(halfAngle);
        const double s = std::sqrt(3.0) / 2;
        PyramidSeed seed;
        seed.apex = apex;
        seed.section.set(u + r * e1, u + r * (-0.5 * e1 + s * e2), u + r * (-0.5 * e1 - s * e2));
        return Pyramid(seed, energy);
    }

    /// What a leg delivers over a path of length R: energy · exp(−m·R) / (4πR²), band by band.
    static std::vector<double> expected(const BandEnergies& energy, double R, double factor = 1) {
        std::vector<double> e(bandCount);
        for (int b = 0; b < bandCount; ++b)
            e[b] = factor * energy[b] * std::exp(-parameters.airAbsorption[b] * R) / (4 * std::numbers::pi * R * R);
        return e;
    }

    /// The time class of a path of length R.
    static std::uint32_t classOf(double R) { return static_cast<std::uint32_t>(std::floor(R / soundSpeed / precision)); }

    /// The non-empty rows of a microphone's impulse response: (class, energies).
    static std::vector<std::pair<std::uint32_t, BandEnergies>> arrivals(int microphone) {
        std::vector<std::pair<std::uint32_t, BandEnergies>> rows;
        const ImpulseResponse& response = microphones().at(microphone)->response;
        for (std::uint32_t k = 0; k <= response.classCount; ++k)
            for (float e : response.row(k))
                if (e != 0) {
                    rows.emplace_back(k, response.row(k));
                    break;
                }
        return rows;
    }

    /// Expects a row to hold the energies (single precision: 1e-6 relative).
    static void expectRow(const BandEnergies& row, const std::vector<double>& energies, const std::string& what) {
        for (int b = 0; b < bandCount; ++b)
            EXPECT_NEAR(row[b], energies[b], 1e-6 * energies[b]) << what << ", band " << b;
    }

    static constexpr double soundSpeed = 340;
    static constexpr double precision = 1e-4;
    Model model;
};
