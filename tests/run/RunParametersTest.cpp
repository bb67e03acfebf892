#include <cmath>
#include <sstream>

#include "run/RunParameters.h"
#include "support/UiFixture.h"

using RunParametersTest = UiFixture;

namespace {
// The parameters by their flag letters (and names for the rest), for whole-record comparisons.
std::string describe(const RunParameters& p) {
    std::ostringstream s;
    s << "L" << p.Level << " H" << p.History << " S" << p.HitLevel << " K" << p.CloneLevel << " T" << p.Time << " P"
      << p.Precision << " U" << p.Humidity << " C" << p.Temperature << " crack" << p.CrackTolerance << " alfa"
      << p.Alfa << " beta" << p.Beta << " D" << p.Diffraction << " R" << p.RandomizeAfter << " M" << p.DiffusionMode
      << " E" << p.SaveEscaped << " B" << p.balloon << " A" << p.SaveAll << " W" << p.AlwaysObstructing << " N"
      << p.Diffusion << " I" << p.SaveDiffuseHits << " O" << p.OpenMP << " " << p.author;
    return s.str();
}
const std::string defaults = "L0 H-1 S-1 K-1 T1 P0.001 U50 C20 crack0.001 alfa2 beta0.1 D1 R-1 M7 E0 B0 A1 W0 N0 I0 O1 Quarlen";
}  // namespace

TEST(CommandLineTest, SplitsOnWhiteSpaceAndBothQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitCommandLine("  room\t/L4\r\n-a1 "), (V{"room", "/L4", "-a1"}));
    EXPECT_EQ(splitCommandLine("\"my room.ray\" 'other one' /T2"), (V{"my room.ray", "other one", "/T2"}));
    EXPECT_EQ(splitCommandLine("it's \"a 'b' c\""), (V{"it's", "a 'b' c"}));  // a quote inside an argument
    EXPECT_EQ(splitCommandLine("\"open ended"), (V{"open ended"}));
    EXPECT_EQ(splitCommandLine("\"\" x"), (V{"", "x"}));
    EXPECT_TRUE(splitCommandLine(" \v\f ").empty());
    std::string line;
    for (int i = 0; i < 70; ++i) line += "a" + std::to_string(i) + " ";
    EXPECT_EQ(splitCommandLine(line).size(), 63u);
    EXPECT_EQ(splitCommandLine(line).back(), "a62");
}

TEST_F(RunParametersTest, TheModelIsTheLastExistingFileArgument) {
    EXPECT_EQ(usageText(), readFile(TOLVENO_TEST_DATA "/run/golden/usage.txt"));
    for (const char* name : {"room.ray", "room.dat", "Hall.ray", "a.ray", "b.ray"}) writeFile(name, "");
    std::filesystem::create_directories("hall.ray");
    const struct {
        const char* command;
        const char* model;  // null: no model, the usage is shown
    } rows[] = {{"room", "room.ray"}, {"Room.RAY", "room.ray"}, {"room.dat", "room.dat"},
                {"Hall", "Hall.ray"},  // a mixed-case name is found as typed
                {"a b /L2", "b.ray"},  {"a missing", "a.ray"}, {"missing", nullptr},
                {"hall", nullptr},  // a folder is no model
                {"", nullptr}};
    for (const auto& row : rows) {
        parameters = RunParameters{};
        ui.boxes.clear();
        EXPECT_EQ(parameters.parse(row.command), row.model != nullptr) << row.command;
        if (row.model) EXPECT_EQ(parameters.modelFile.str(), row.model) << row.command;
        EXPECT_EQ(boxTexts(), row.model ? std::vector<std::string>{} : std::vector<std::string>{"Error: " + usageText()})
            << row.command;
    }
}

TEST_F(RunParametersTest, TheSettingsBesideTheModelComeFirst) {
    const struct {
        std::vector<std::pair<const char*, const char*>> writes;
        const char* command;
        const char* settings;
        std::uint32_t level;
    } rows[] = {
        {{{"m/room.ray", ""}, {"m/tolveno.ini", "[Parameters]\nLevel=2\n"}, {"tolveno.ini", "[Parameters]\nLevel=3\n"}},
         "m/room", "m/tolveno.ini", 2},
        {{{"m/room.ini", "[Parameters]\nLevel=1\n"}}, "m/room", "m/room.ini", 1},
        {{{"m/room.ini", ""}, {"m/tolveno.ini", ""}}, "m/room", "tolveno.ini", 3},  // empty files pass the turn
        {{{"Proj/Room.ray", ""}, {"Proj/Room.ini", "[Parameters]\nLevel=4\n"}}, "Proj/Room", "Proj/Room.ini", 4},
    };
    for (const auto& row : rows) {
        for (const auto& [name, text] : row.writes) writeFile(name, text);
        parameters = RunParameters{};
        ASSERT_TRUE(parameters.parse(row.command));
        EXPECT_EQ(parameters.settingsFile.str(), row.settings);
        EXPECT_EQ(parameters.Level, row.level);
    }
}

TEST_F(RunParametersTest, InitialValuesThenSettingsThenFlags) {
    const struct {
        const char* settings;  // null: no settings file
        std::string command;
        const char* box;
        std::string expected;
    } rows[] = {
        {nullptr, "room", nullptr, "L0 H0 S0 K0 T0 P0 U5 C20 crack0.001 alfa0 beta-1 D0 R0 M0 E0 B0 A0 W0 N0 I0 O0 "},
        {"[Parameters]\n", "room", nullptr, defaults},
        {"[Other]\nLevel=5\n", "room", "Error: Can't find the paragraph [Parameters]", defaults},
        {"[Parameters]\nLevel = -1\nTime=2.5\nPrecision=0.002\nHistory=12.9\nHumidity=0\nTemperature=0\nAlfa=3\n"
         "Beta=0.5\nSaveAll=no\nDiffraction=65538\nHitLevel=2\nRandomizeAfter=-7.9\nSaveEscaped=On\n"
         "SaveDiffuseHits=X\nDiffusion=yes\nDiffusionMode=3\nCloneLevel=4\nCrackTolerance=0.5\nOpenMP=65537\n"
         "AlwaysObstructing=true\n",
         "room", nullptr, "L4294967295 H12 S2 K4 T2.5 P0.002 U5 C0 crack0.1 alfa3 beta0.5 D2 R-7 M3 E1 B0 A0 W1 N1 I1 O1 Quarlen"},
        {"[Parameters]\nCrackTolerance=-1\nLevel=4294967297\n", "room", nullptr,  // 64 bits, then the low 32
         "L1 H-1 S-1 K-1 T1 P0.001 U50 C20 crack0.001 alfa2 beta0.1 D1 R-1 M7 E0 B0 A1 W0 N0 I0 O1 Quarlen"},
        {"[Parameters]\nLevel=8\nTime=1\nSaveAll=1\n",
         "/l4 room /T0.25 -T0.5 /A /F7 /u2 /C0 /O3 /D65537 /S1 /K-1 /H3 /M5 /R2 /P0.01 /Nyes -E1 /Iok /Wx /B1", nullptr,
         "L4 H3 S1 K-1 T0.5 P0.01 U5 C0 crack0.001 alfa2 beta0.1 D1 R2 M5 E1 B1 A0 W1 N1 I1 O3 Quarlen"},
        // Absurd values: saturated, no digits read as 0, infinities and NaN are no values.
        {"[Parameters]\nTime=nan\nHumidity=inf\nLevel=1e300\nHistory=-1e300\nTemperature=-1000\n",
         "room /L99999999999999999999999 /H" + std::string(10000, 'x') + " /T1e999", nullptr,
         "L4294967295 H0 S-1 K-1 T0 P0.001 U5 C-1000 crack0.001 alfa2 beta0.1 D1 R-1 M7 E0 B0 A1 W0 N0 I0 O1 Quarlen"},
    };
    writeFile("room.ray", "");
    for (const auto& row : rows) {
        std::filesystem::remove("room.ini");
        if (row.settings) writeFile("room.ini", row.settings);
        parameters = RunParameters{};
        ui.boxes.clear();
        ASSERT_TRUE(parameters.parse(row.command)) << row.expected;
        EXPECT_EQ(describe(parameters), row.expected);
        EXPECT_EQ(boxTexts(), row.box ? std::vector<std::string>{row.box} : std::vector<std::string>{});
        EXPECT_TRUE(std::isfinite(parameters.SoundSpeed) && parameters.SoundSpeed > 0) << row.expected;
        for (double a : parameters.airAbsorption) EXPECT_TRUE(std::isfinite(a) && a > 0) << row.expected;
    }
}

TEST_F(RunParametersTest, SoundSpeedAndAirAbsorption) {
    writeFile("room.ray", "");
    // Dry air: 331.3 m/s at 0 °C and 343.2 m/s at 20 °C; 20.05 sqrt(T) is the ideal gas with
    // sqrt(gamma R / M) = 20.046, off by 0.02 % (0.07 m/s) at these temperatures.
    for (const auto& [flag, speed] : {std::pair{"/C0", 331.3}, std::pair{"/C20", 343.2}}) {
        ASSERT_TRUE(parameters.parse(std::string("room /U50 ") + flag));
        EXPECT_NEAR(parameters.SoundSpeed, speed, 0.15) << flag;
    }
    // ln(10) 1.7e-9 f^2 / humidity per band: exact up to rounding.
    EXPECT_NEAR(parameters.airAbsorption[5], std::log(10.0) * 1.7e-9 * 1000 * 1000 / 50, 1e-15);
    EXPECT_NEAR(parameters.airAbsorption[9] / parameters.airAbsorption[8], 4.0, 1e-12);
}

TEST_F(RunParametersTest, AlfaAndBetaAreTakenOnce) {
    writeFile("first.ini", "[Parameters]\nAlfa=3\n");
    writeFile("second.ini", "[Parameters]\nAlfa=9\nBeta=9\n");
    ASSERT_TRUE(parameters.readSettings("first.ini"));
    ASSERT_TRUE(parameters.readSettings("second"));  // ".ini" is added
    EXPECT_EQ(parameters.settingsFile.str(), "second.ini");
    EXPECT_EQ(parameters.Alfa, 3.0);
    EXPECT_EQ(parameters.Beta, 0.1);
}

TEST_F(RunParametersTest, AnInvalidFlagStopsTheParsing) {
    writeFile("room.ray", "");
    for (const char* flag : {"/G", "-j2", "/Q", "/V1", "/X", "/Z", "/", "/5"}) {
        ui.boxes.clear();
        parameters = RunParameters{};
        EXPECT_FALSE(parameters.parse(std::string("room /L3 ") + flag + " /L5")) << flag;
        EXPECT_EQ(boxTexts(), (std::vector<std::string>{std::string("Error: Invalid parameter: ") + (flag + 1),
                                                        "Error: " + usageText()}));
        EXPECT_EQ(parameters.Level, 3u) << "no flag after the invalid one is applied: " << flag;
    }
}
