#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>

#include "support/DecayTimes.h"
#include "support/ShoeboxImages.h"
#include "support/TracingFixture.h"
#include "ui/Messages.h"

// A 10 x 8 x 4 m box, α 0.2 on every wall in every band, eight receivers, Level 10: the T30 of each receiver in
// each band against its exact image-source decay (about 1.05 s; the bands differ by their air attenuation). The targets are the method's claim: the receivers' mean
// within 5 % (a just-noticeable difference of reverberation time), every receiver within 8 % (the mean's 5 % plus
// the scatter of the late arrivals a receiver alone catches at this Level). Traced plainly the same receivers fall
// 14 % short, which the second half checks, together with the first 80 ms after the direct sound being untouched.
class LateCorrectionTest : public TracingFixture {
protected:
    /// Per receiver and band, the response without its last class (all that came after Time).
    std::vector<std::vector<std::vector<double>>> trace(bool corrected) {
        std::ostringstream entities;
        const double x = 10, y = 8, z = 4;
        const double faces[6][12] = {{0, 0, 0, x, 0, 0, x, y, 0, 0, y, 0}, {0, 0, z, x, 0, z, x, y, z, 0, y, z},
                                     {0, 0, 0, x, 0, 0, x, 0, z, 0, 0, z}, {0, y, 0, x, y, 0, x, y, z, 0, y, z},
                                     {0, 0, 0, 0, y, 0, 0, y, z, 0, 0, z}, {x, 0, 0, x, y, 0, x, y, z, x, 0, z}};
        for (const auto& f : faces) {
            entities << " Face 1 1 4";
            for (double v : f) entities << ' ' << v;
            entities << '\n';
        }
        entities << " Source 2.1 3.3 1.7 3 3.3 1.7 0 omni.spk\n";
        for (const auto& r : receivers) entities << " Receiver " << r[0] << ' ' << r[1] << ' ' << r[2] << " 0 0 0\n";
        run(entities.str(), "1 Wall, " + bands(0.2) + ", " + bands(999.9) + ", " + bands(0) + "\n",
            "Level=10\nTime=1.6\nPrecision=0.002\nHistory=-1\nHumidity=50\nTemperature=20\nDiffraction=0\n"
            "Diffusion=0\nHitLevel=-1\nRandomizeAfter=-1\nCloneLevel=-1\nOpenMP=2\nReport=0\nLateCorrection=" +
                std::string(corrected ? "1\n" : "0\n"));
        std::vector<std::vector<std::vector<double>>> heard(receivers.size());
        for (std::size_t i = 0; i < receivers.size(); ++i) {
            const ImpulseResponse& response = microphones().at(static_cast<int>(i + 1))->response;
            for (int b = 0; b < bandCount; ++b) {
                heard[i].emplace_back(response.classCount);
                for (std::uint32_t k = 0; k < response.classCount; ++k) heard[i][b][k] = response.row(k)[b];
            }
        }
        return heard;
    }
    std::array<double, bandCount> exactT30(std::size_t i) const {
        ShoeboxCase room{.size = {10, 8, 4}, .source = {2.1, 3.3, 1.7}, .receiver = receivers[i],
                         .soundSpeed = parameters.SoundSpeed, .precision = parameters.Precision, .time = parameters.Time};
        room.absorption.fill(0.2);
        std::copy(std::begin(parameters.airAbsorption), std::end(parameters.airAbsorption), room.airAbsorption.begin());
        const EnergyResponse exact = shoeboxResponse(room);
        std::array<double, bandCount> t30{};
        for (int b = 0; b < bandCount; ++b) t30[b] = t30Of(exact.band(b), room.precision);
        return t30;
    }
    const std::vector<std::array<double, 3>> receivers = {{7.2, 5.1, 1.3}, {5.5, 1.6, 2.8}, {8.7, 6.9, 0.9},
                                                          {3.9, 6.2, 2.2}, {6.1, 3.8, 3.1}, {1.2, 7.1, 1.0},
                                                          {9.1, 1.4, 2.5}, {4.4, 0.9, 0.8}};
};

TEST_F(LateCorrectionTest, T30WithinAJustNoticeableDifferenceOfTheImageSources) {
    const auto plain = trace(false);
    const auto corrected = trace(true);
    std::array<double, bandCount> meanError{};
    double plainError = 0;
    const double n = static_cast<double>(receivers.size());
    for (std::size_t i = 0; i < receivers.size(); ++i) {
        const std::array<double, bandCount> exact = exactT30(i);
        // The 80 ms after the receiver's direct sound are those of the plain run, bit for bit.
        const double direct = std::hypot(receivers[i][0] - 2.1, receivers[i][1] - 3.3, receivers[i][2] - 1.7);
        const auto early = static_cast<std::ptrdiff_t>((direct / parameters.SoundSpeed + 0.08) / parameters.Precision);
        for (int b = 0; b < bandCount; ++b) {
            const double error = t30Of(corrected[i][b], parameters.Precision) / exact[b] - 1;
            EXPECT_LT(std::fabs(error), 0.08) << "receiver " << i + 1 << ", band " << b;
            meanError[b] += error / n;
            EXPECT_TRUE(std::equal(plain[i][b].begin(), plain[i][b].begin() + early, corrected[i][b].begin()))
                << "receiver " << i + 1 << ", band " << b;
        }
        plainError += (t30Of(plain[i][3], parameters.Precision) / exact[3] - 1) / n;
    }
    for (int b = 0; b < bandCount; ++b) EXPECT_LT(std::fabs(meanError[b]), 0.05) << "band " << b;
    EXPECT_LT(plainError, -0.08) << "the plain run, short as it was";
}

// An L-shaped room (legs of 12 x 4 m and 4 x 6 m, 3 m high, α 0.15, the source in the first leg, three receivers in
// each leg), whose two legs decay differently: each receiver's T30 at 1 kHz at Level 10 against the same room traced
// plainly at Level 16 (stored), within 8 % as in the box. Plainly at Level 10 they fall 17 to 28 % short.
TEST_F(LateCorrectionTest, EachReceiverOfAnLShapedRoomKeepsItsOwnDecay) {
    const std::string room =
        " Face 1 1 6 0 0 0 12 0 0 12 4 0 4 4 0 4 10 0 0 10 0\n Face 1 1 6 0 0 3 12 0 3 12 4 3 4 4 3 4 10 3 0 10 3\n"
        " Face 1 1 4 0 0 0 12 0 0 12 0 3 0 0 3\n Face 1 1 4 12 0 0 12 4 0 12 4 3 12 0 3\n"
        " Face 1 1 4 12 4 0 4 4 0 4 4 3 12 4 3\n Face 1 1 4 4 4 0 4 10 0 4 10 3 4 4 3\n"
        " Face 1 1 4 4 10 0 0 10 0 0 10 3 4 10 3\n Face 1 1 4 0 10 0 0 0 0 0 0 3 0 10 3\n"
        " Source 10 2 1.5 9 2 1.5 0 omni.spk\n Receiver 7 1.3 1.2 0 0 0\n Receiver 4.5 2.6 1.6 0 0 0\n"
        " Receiver 1.8 1.5 1.1 0 0 0\n Receiver 2.1 5.5 1.4 0 0 0\n Receiver 1.2 7.4 1.7 0 0 0\n"
        " Receiver 3.0 9.0 1.3 0 0 0\n";
    run(room, "1 Uniform, " + bands(0.15) + ", " + bands(999.9) + ", " + bands(0) + "\n",
        "Level=10\nTime=1.2\nPrecision=0.002\nHistory=-1\nHumidity=50\nTemperature=20\nDiffraction=0\nDiffusion=0\n"
        "HitLevel=-1\nRandomizeAfter=-1\nCloneLevel=-1\nOpenMP=2\nReport=0\nLateCorrection=1\n");
    std::ifstream stored(std::string(TOLVENO_TEST_DATA) + "/tracing/golden/lroom-level16-1k.txt");
    std::string line;
    int receiver = 0;
    while (std::getline(stored, line)) {
        if (line.starts_with("#")) continue;
        std::istringstream numbers(line);
        const std::vector<double> reference{std::istream_iterator<double>(numbers), {}};
        const ImpulseResponse& response = microphones().at(++receiver)->response;
        std::vector<double> traced(response.classCount);
        for (std::uint32_t k = 0; k < response.classCount; ++k) traced[k] = response.row(k)[5];
        ASSERT_EQ(traced.size(), reference.size());
        const double error = t30Of(traced, 0.002) / t30Of(reference, 0.002) - 1;
        EXPECT_LT(std::fabs(error), 0.08) << "receiver " << receiver << ": " << error;
    }
    EXPECT_EQ(receiver, 6);
}

// The box cut in two at x = 5 by a partition that lets nothing through, the source in the first half. A receiver
// half a metre behind the partition hears nothing, even though legs of the first half run through its sphere; one
// half a metre before it (its sphere cut by the partition) keeps the late level of its own half: the late energy
// against exact image sources within 10 % (measured 3 % low; the sphere's volume is measured within 0.2 % of the
// cap formula, while a sphere taken whole would read 16 % low, the share of it behind the partition).
TEST_F(LateCorrectionTest, APartitionBoundsWhatAReceiversSphereGathers) {
    std::ostringstream model;
    const double faces[7][12] = {{0, 0, 0, 10, 0, 0, 10, 8, 0, 0, 8, 0}, {0, 0, 4, 10, 0, 4, 10, 8, 4, 0, 8, 4},
                                 {0, 0, 0, 10, 0, 0, 10, 0, 4, 0, 0, 4}, {0, 8, 0, 10, 8, 0, 10, 8, 4, 0, 8, 4},
                                 {0, 0, 0, 0, 8, 0, 0, 8, 4, 0, 0, 4},   {10, 0, 0, 10, 8, 0, 10, 8, 4, 10, 0, 4},
                                 {5, 0, 0, 5, 8, 0, 5, 8, 4, 5, 0, 4}};
    for (const auto& f : faces) {
        model << " Face 1 1 4";
        for (double v : f) model << ' ' << v;
        model << '\n';
    }
    model << " Source 2.1 3.3 1.7 3 3.3 1.7 0 omni.spk\n Receiver 5.5 4.2 1.9 0 0 0\n Receiver 4.5 4.2 1.9 0 0 0\n";
    run(model.str(), "1 Wall, " + bands(0.2) + ", " + bands(999.9) + ", " + bands(0) + "\n",
        "Level=10\nTime=0.8\nPrecision=0.002\nHistory=-1\nHumidity=50\nTemperature=20\nDiffraction=0\n"
        "Diffusion=0\nHitLevel=-1\nRandomizeAfter=-1\nCloneLevel=-1\nOpenMP=2\nReport=0\nLateCorrection=1\n");
    const ImpulseResponse& behind = microphones().at(1)->response;
    double heardBehind = 0;
    for (std::uint32_t k = 0; k < behind.classCount; ++k)
        for (int b = 0; b < bandCount; ++b) heardBehind += behind.row(k)[b];
    EXPECT_EQ(heardBehind, 0);

    ShoeboxCase half{.size = {5, 8, 4}, .source = {2.1, 3.3, 1.7}, .receiver = {4.5, 4.2, 1.9},
                     .soundSpeed = parameters.SoundSpeed, .precision = parameters.Precision, .time = parameters.Time};
    half.absorption.fill(0.2);
    std::copy(std::begin(parameters.airAbsorption), std::end(parameters.airAbsorption), half.airAbsorption.begin());
    const std::vector<double> exact = shoeboxResponse(half).band(3);
    const ImpulseResponse& before = microphones().at(2)->response;
    // From 200 to 600 ms (past the blend, before the last class), each against its first 20 ms, which hold the
    // direct sound and the first reflections: exact in both (the units differ).
    const auto sum = [&](const auto& energy, double from, double to) {
        double total = 0;
        for (auto k = static_cast<std::uint32_t>(from / parameters.Precision); k < to / parameters.Precision; ++k)
            total += energy(k);
        return total;
    };
    const auto traced = [&](std::uint32_t k) { return before.row(k)[3]; };
    const auto expected = [&](std::uint32_t k) { return exact[k]; };
    EXPECT_NEAR(sum(traced, 0.2, 0.6) / sum(traced, 0, 0.02) / (sum(expected, 0.2, 0.6) / sum(expected, 0, 0.02)), 1,
                0.1);
}

// The key is on unless a settings file says otherwise (the first of a key's lines counts), and works in runs traced
// by time only. The results file says
// so when it is in force; an open model (a floor alone: half the pyramids escape) is left as traced, in a warning
// when the settings asked for the correction, else in a line of the log.
TEST_F(LateCorrectionTest, TheKeyInForceIsSaidAndAnOpenModelIsLeftAsTraced) {
    struct Case {
        const char* settings;
        bool inForce;
        const char* logged;  // the prefix of the log line, or "" for none
    };
    const Case cases[] = {{"", true, "- "}, {"LateCorrection=1\n", true, "! "}, {"LateCorrection=0\n", false, ""},
                          {"History=2\n", false, ""}, {"History=2\nLateCorrection=1\n", false, ""}};
    for (const Case& c : cases) {
        std::filesystem::remove("tolveno.log");
        const TraceStatistics statistics =
            run(" Face 1 1 4 -10 -10 0 10 -10 0 10 10 0 -10 10 0\n Source 0 0 1.5 1 0 1.5 0 omni.spk\n"
                " Receiver 3 1 1.2 0 0 0\n",
                "1 Floor, " + bands(0.2) + ", " + bands(999.9) + ", " + bands(0) + "\n",
                std::string(c.settings) + "Level=4\nTime=0.3\nPrecision=0.002\nHistory=-1\nSaveAll=0\nReport=0\nOpenMP=1\n");
        EXPECT_EQ(parameters.correctsLateDecay(), c.inForce) << c.settings;
        EXPECT_EQ(readFile("room.___").find("\nLateCorrection    = On\n") != std::string::npos, c.inForce)
            << c.settings;
        const std::string note = formatText(
            "LateCorrection: the model is open (%.1f %% of the pyramids escaped): the late decay is left as traced\n",
            100.0 * statistics.escapedCount / 128);
        const std::string log = readFile("tolveno.log");
        EXPECT_EQ(log.find("LateCorrection:") != std::string::npos, *c.logged != 0) << c.settings;
        if (*c.logged) {
            const std::string line = std::string("\n").append(c.logged).append(note);
            EXPECT_NE(log.find(line), std::string::npos) << log;
        }
    }
}
