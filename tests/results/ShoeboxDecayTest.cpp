#include <cmath>
#include <numbers>
#include <sstream>

#include "results/EnergyDecay.h"
#include "support/ShoeboxImages.h"
#include "support/UiFixture.h"

namespace {

// A 6 x 5 x 4 m box, every face absorbing 20 % in every band and reflecting specularly, an omnidirectional source
// and two receivers: its decay is that of its image sources (Allen and Berkley 1979).
constexpr std::array<double, 3> size{6, 5, 4}, source{1.5, 2, 1.2}, receivers[2] = {{4.5, 3.5, 1.6}, {2.5, 1, 2.5}};

// The T30 of a band of air attenuation m at a receiver from every image source that arrives within the response,
// time zero at the direct sound as in the table.
double imageSourceT30(const std::array<double, 3>& receiver, double m, double c) {
    ShoeboxCase room{.size = size, .source = source, .receiver = receiver, .soundSpeed = c, .time = 0.6};
    room.absorption.fill(0.2);
    room.airAbsorption.fill(m);
    const double direct = std::hypot(receiver[0] - source[0], receiver[1] - source[1], receiver[2] - source[2]) / c;
    return EnergyDecay(shoeboxResponse(room).band(0), room.precision, direct).fit(-5, -35)->reverberationTime();
}

}  // namespace

class ShoeboxDecayTest : public UiFixture {};

// The pyramids' late arrivals approach the images' from below as Level rises: at receiver 1, 1 kHz, T30 is 0.46,
// 0.53, 0.61 and 0.655 s at Levels 6, 8, 10 and 12 against the images' 0.665 s. Level 12 falls short by 1.4 to
// 2.3 % in the six cases; 5 % holds that, while a fit over the wrong range, a lost tail or a counted last row
// moves T30 by more.
TEST_F(ShoeboxDecayTest, T30OfTheCsvIsThatOfTheImageSources) {
    // The six faces by the corners' coordinates as fractions of the box: 0 or 1 along x, y and z.
    const char* faces[] = {"000 100 110 010", "001 011 111 101", "000 001 101 100",
                           "010 110 111 011", "000 010 011 001", "100 101 111 110"};
    std::ostringstream model;
    model << "EntityList\n";
    for (const char* face : faces) {
        model << " Face 1 1 4";
        // Character i + i / 3 skips the blanks between corners.
        for (int i = 0; i < 12; ++i) model << ' ' << (face[i + i / 3] == '1' ? size[i % 3] : 0.0);
        model << '\n';
    }
    model << " Source " << source[0] << ' ' << source[1] << ' ' << source[2] << " 3 2 1.2 0 omni.spk\n";
    for (const auto& r : receivers) model << " Receiver " << r[0] << ' ' << r[1] << ' ' << r[2] << " 0 0 0\n";
    writeFile("box.ray", model.str() + "End\n");
    writeFile("box.material",
              "1 Wall, 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2, 999.9 999.9 999.9 999.9 999.9 999.9 "
              "999.9 999.9 999.9 999.9, 0 0 0 0 0 0 0 0 0 0\n");
    writeFile("box.ini",
              "[Parameters]\nLevel = 12\nOpenMP = 1\nTime = 0.6\nPrecision = 0.001\nHistory = -1\nHumidity = 50\n"
              "Diffraction = 0\nDiffusion = 0\nSaveAll = 0\n");
    ASSERT_EQ(runProgram("\"" TOLVENO_BINARY "\" box"), 0) << errors;
    std::istringstream csv(readFile("box.___.csv"));
    const double c = 20.05 * std::sqrt(293.15);
    int checked = 0;
    for (std::string line; std::getline(csv, line);) {
        int receiver = 0;
        double band = 0, value = 0;
        char name[8] = {};
        if (std::sscanf(line.c_str(), "%d,%lf,%7[^,],%lf", &receiver, &band, name, &value) != 4) continue;
        if (std::string(name) != "T30" || (band != 125 && band != 1000 && band != 4000)) continue;
        const double m = std::numbers::ln10 * 1.7e-9 * band * band / 50;
        const double expected = imageSourceT30(receivers[receiver - 1], m, c);
        EXPECT_NEAR(value, expected, 0.05 * expected) << "receiver " << receiver << " at " << band << " Hz";
        ++checked;
    }
    EXPECT_EQ(checked, 6);
}
