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
    /// A run at Level 10 to time s in 2 ms classes, without diffusion or diffraction, on two threads, of entities whose
    /// one material absorbs alpha in every band and lets nothing through; the late decay corrected or not.
    void runLevel10(const std::string& entities, double alpha, const char* time, bool corrected = true) {
        run(entities, "1 Wall, " + bands(alpha) + ", " + bands(999.9) + ", " + bands(0) + "\n",
            std::string("Level=10\nTime=") + time + "\nPrecision=0.002\nHistory=-1\nHumidity=50\nTemperature=20\n"
                "Diffraction=0\nDiffusion=0\nHitLevel=-1\nRandomizeAfter=-1\nCloneLevel=-1\nOpenMP=2\nReport=0\n"
                "LateCorrection=" + (corrected ? "1\n" : "0\n"));
    }
    /// Receiver i's energies in band b, class by class, without its last class (all that came after Time).
    static std::vector<double> heard(int i, int b) {
        const ImpulseResponse& response = microphones().at(i)->response;
        std::vector<double> energies(response.classCount);
        for (std::uint32_t k = 0; k < response.classCount; ++k) energies[k] = response.row(k)[b];
        return energies;
    }
    /// The exact image-source response at receiver of a box of α 0.2 around the source, in the last run's air.
    static EnergyResponse imageSources(const std::array<double, 3>& size, const std::array<double, 3>& receiver) {
        ShoeboxCase room{.size = size, .source = {2.1, 3.3, 1.7}, .receiver = receiver,
                         .soundSpeed = parameters.SoundSpeed, .precision = parameters.Precision, .time = parameters.Time};
        room.absorption.fill(0.2);
        std::copy(std::begin(parameters.airAbsorption), std::end(parameters.airAbsorption), room.airAbsorption.begin());
        return shoeboxResponse(room);
    }
    const std::string source = " Source 2.1 3.3 1.7 3 3.3 1.7 0 omni.spk\n";
    const std::vector<std::array<double, 3>> receivers = {{7.2, 5.1, 1.3}, {5.5, 1.6, 2.8}, {8.7, 6.9, 0.9},
                                                          {3.9, 6.2, 2.2}, {6.1, 3.8, 3.1}, {1.2, 7.1, 1.0},
                                                          {9.1, 1.4, 2.5}, {4.4, 0.9, 0.8}};
};

TEST_F(LateCorrectionTest, T30WithinAJustNoticeableDifferenceOfTheImageSources) {
    std::ostringstream entities;
    entities << box(10, 8, 4) << source;
    for (const auto& r : receivers) entities << " Receiver " << r[0] << ' ' << r[1] << ' ' << r[2] << " 0 0 0\n";
    // Per receiver and band, traced plainly and corrected.
    std::vector<std::array<std::vector<double>, bandCount>> plain(receivers.size()), corrected(receivers.size());
    for (const bool correct : {false, true}) {
        runLevel10(entities.str(), 0.2, "1.6", correct);
        for (std::size_t i = 0; i < receivers.size(); ++i)
            for (int b = 0; b < bandCount; ++b) (correct ? corrected : plain)[i][b] = heard(static_cast<int>(i + 1), b);
    }
    std::array<double, bandCount> meanError{};
    double plainError = 0;
    const double n = static_cast<double>(receivers.size());
    for (std::size_t i = 0; i < receivers.size(); ++i) {
        const EnergyResponse exact = imageSources({10, 8, 4}, receivers[i]);
        // The 80 ms after the receiver's direct sound are those of the plain run, bit for bit.
        const double direct = std::hypot(receivers[i][0] - 2.1, receivers[i][1] - 3.3, receivers[i][2] - 1.7);
        const auto early = static_cast<std::ptrdiff_t>((direct / parameters.SoundSpeed + 0.08) / parameters.Precision);
        for (int b = 0; b < bandCount; ++b) {
            const double error = t30Of(corrected[i][b], exact.precision) / t30Of(exact.band(b), exact.precision) - 1;
            EXPECT_LT(std::fabs(error), 0.08) << "receiver " << i + 1 << ", band " << b;
            meanError[b] += error / n;
            EXPECT_TRUE(std::equal(plain[i][b].begin(), plain[i][b].begin() + early, corrected[i][b].begin()))
                << "receiver " << i + 1 << ", band " << b;
        }
        plainError += (t30Of(plain[i][3], parameters.Precision) / t30Of(exact.band(3), exact.precision) - 1) / n;
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
    runLevel10(room, 0.15, "1.2");
    std::ifstream stored(std::string(TOLVENO_TEST_DATA) + "/tracing/golden/lroom-level16-1k.txt");
    std::string line;
    int receiver = 0;
    while (std::getline(stored, line)) {
        if (line.starts_with("#")) continue;
        std::istringstream numbers(line);
        const std::vector<double> reference{std::istream_iterator<double>(numbers), {}};
        const std::vector<double> traced = heard(++receiver, 5);
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
    runLevel10(box(10, 8, 4) + " Face 1 1 4 5 0 0 5 8 0 5 8 4 5 0 4\n" + source +
                   " Receiver 5.5 4.2 1.9 0 0 0\n Receiver 4.5 4.2 1.9 0 0 0\n",
               0.2, "0.8");
    for (int b = 0; b < bandCount; ++b) {
        const std::vector<double> behind = heard(1, b);
        EXPECT_EQ(std::accumulate(behind.begin(), behind.end(), 0.0), 0) << "band " << b;
    }
    // From 200 to 600 ms (past the blend, before the last class), each against its first 20 ms, which hold the
    // direct sound and the first reflections: exact in both (the units differ).
    const std::vector<double> traced = heard(2, 3), exact = imageSources({5, 8, 4}, {4.5, 4.2, 1.9}).band(3);
    const auto sum = [](const std::vector<double>& energy, double from, double to) {
        double total = 0;
        for (auto k = static_cast<std::uint32_t>(from / parameters.Precision); k < to / parameters.Precision; ++k)
            total += energy[k];
        return total;
    };
    EXPECT_NEAR(sum(traced, 0.2, 0.6) / sum(traced, 0, 0.02) / (sum(exact, 0.2, 0.6) / sum(exact, 0, 0.02)), 1, 0.1);
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
