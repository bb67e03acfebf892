#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "acoustics/MicrophoneList.h"
#include "foundation/TConfig.h"
#include "model/Model.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "tracing/Pyramid.h"

/// Hand-made pyramids through a model given as text, with the parameters set before a model is loaded (a microphone
/// takes its classes when it is made): specular tracing at 340 m/s, classes of 0.1 ms over 0.2 s, a distinct air
/// attenuation per band. Or whole runs of a model.
class TracingFixture : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        parameters.modelFile.assign("room.ray");
        // 1: hard, no transmission group (nothing passes); 2: a 10 dB panel; 3: soft; 4: opaque, 999.9 dB.
        writeFile("room.material", "1 Plaster, " + bands(0.2) + "\n2 Panel, " + bands(0.3) + ", " + bands(10) + "\n3 Curtain, " +
                                       bands(0.5) + "\n4 Barrier, " + bands(0.1) + ", " + bands(999.9) + "\n");
        parameters.SoundSpeed = 340;
        parameters.Time = 0.2;
        parameters.Precision = 1e-4;
        parameters.CloneLevel = parameters.RandomizeAfter = parameters.HitLevel = -1;
        for (int b = 0; b < bandCount; ++b) parameters.airAbsorption[b] = 0.01 * (b + 1);
    }
    static std::string bands(double value) {  // a value for every band, as a materials file writes it
        std::ostringstream out;
        for (int b = 0; b < bandCount; ++b) out << (b ? " " : "") << value;
        return out.str();
    }
    static void load(Model& into, const std::string& body) {  // the entities of body into a model
        std::istringstream in("EntityList\n" + body + "End\n");
        into.load(in);
    }
    void load(const std::string& body) { load(model, body); }
    /// A whole run from fresh parameters of the entities, materials, settings lines (none: no file) and flags.
    TraceStatistics run(const std::string& entities, const std::string& materials, const std::string& settings,
                        const std::string& flags = "") {
        clearProcessState();
        writeFile("room.ray", "EntityList\n" + entities + "End\n");
        writeFile("room.material", materials);
        std::filesystem::remove("room.ini");
        if (!settings.empty()) writeFile("room.ini", "[Parameters]\n" + settings);
        parameters = RunParameters{};
        TConfig::resetDefaultName();
        EXPECT_TRUE(parameters.parse("room " + flags));
        RayManager manager;
        EXPECT_TRUE(manager.ready);
        manager.run();
        return manager.statistics;
    }
    /// The six faces of the box from the origin to (x, y, z): wall w (0 to 5) lies on axis w / 2, at 0 for even w and
    /// at the box's size for odd w, with the flags and materials[w] (0: left out, for the test to lay it otherwise).
    static std::string box(double x, double y, double z, int flags = 1,
                           const std::array<int, 6>& materials = {1, 1, 1, 1, 1, 1}) {
        const double v[8][3] = {{0, 0, 0}, {x, 0, 0}, {x, y, 0}, {0, y, 0}, {0, 0, z}, {x, 0, z}, {x, y, z}, {0, y, z}};
        const int walls[6][4] = {{0, 3, 7, 4}, {1, 2, 6, 5}, {0, 1, 5, 4}, {3, 2, 6, 7}, {0, 1, 2, 3}, {4, 5, 6, 7}};
        std::ostringstream s;
        for (int w = 0; w < 6; ++w) {
            if (materials[w] == 0) continue;
            s << " Face " << flags << ' ' << materials[w] << " 4";
            for (int i : walls[w]) s << ' ' << v[i][0] << ' ' << v[i][1] << ' ' << v[i][2];
            s << '\n';
        }
        return s.str();
    }
    static BandEnergies rising() {  // 1000, 2000, ... 10000: a band read from the wrong index shows
        BandEnergies e{};
        for (int b = 0; b < bandCount; ++b) e[b] = 1000.0f * static_cast<float>(b + 1);
        return e;
    }
    /// A pyramid carrying rising(), its edges halfAngle off the direction, 120° apart: its axis is the direction.
    static Pyramid aimed(const Coord& apex, const Vector& direction, double halfAngle = 0.17) {
        const Versor u(direction);
        const Versor e1(cross(u, std::fabs(u.x) < 0.9 ? Vector(1, 0, 0) : Vector(0, 1, 0))), e2(cross(u, e1));
        const double r = std::tan(halfAngle), s = std::sqrt(3.0) / 2;
        PyramidSeed seed;
        seed.apex = apex;
        seed.section.set(u + r * e1, u + r * (-0.5 * e1 + s * e2), u + r * (-0.5 * e1 - s * e2));
        return Pyramid(seed, rising());
    }
    /// What a leg delivers over a path of length R: energy · exp(−m·R) / (4πR²), band by band.
    static std::vector<double> expected(const BandEnergies& energy, double R, double factor = 1) {
        std::vector<double> e(bandCount);
        for (int b = 0; b < bandCount; ++b)
            e[b] = factor * energy[b] * std::exp(-parameters.airAbsorption[b] * R) / (4 * std::numbers::pi * R * R);
        return e;
    }
    /// The Kurze-Anderson share of band k for a detour: tanh²(√x) / (√10·x) with x = 4π·detour·f / c.
    static double kurzeAnderson(double detour, int k) {
        const double x = 4 * std::numbers::pi * detour * bandFrequencies[k] / parameters.SoundSpeed;
        return std::pow(std::tanh(std::sqrt(x)), 2) / (std::sqrt(10.0) * x);
    }
    static std::uint32_t classOf(double R) {  // the time class of a path of length R
        return static_cast<std::uint32_t>(std::floor(R / parameters.SoundSpeed / parameters.Precision));
    }
    static std::vector<std::pair<std::uint32_t, BandEnergies>> arrivals(int microphone) {  // non-empty rows: class, energies
        std::vector<std::pair<std::uint32_t, BandEnergies>> rows;
        const ImpulseResponse& response = microphones().at(microphone)->response;
        for (std::uint32_t k = 0; k <= response.classCount; ++k)
            if (response.row(k) != BandEnergies{}) rows.emplace_back(k, response.row(k));
        return rows;
    }
    /// Expects the microphone to have heard exactly these arrivals of rising(), in time order: (path length, share),
    /// to a relative tolerance covering the single-precision steps.
    static void expectArrivals(int microphone, const std::vector<std::pair<double, double>>& wanted,
                               double relative = 1e-6) {
        const auto rows = arrivals(microphone);
        ASSERT_EQ(rows.size(), wanted.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].first, classOf(wanted[i].first)) << "arrival " << i;
            const std::vector<double> energies = expected(rising(), wanted[i].first, wanted[i].second);
            for (int b = 0; b < bandCount; ++b)
                EXPECT_NEAR(rows[i].second[b], energies[b], relative * energies[b]) << "arrival " << i << ", band " << b;
        }
    }
    Model model;
};
