#include <cmath>
#include <sstream>

#include "foundation/TConfig.h"
#include "support/UiFixture.h"

using RunParametersTest = UiFixture;

TEST(CommandLineTest, SplitsOnWhiteSpaceAndBothQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitCommandLine("  room\t/L4\r\n-a1 \v\f"), (V{"room", "/L4", "-a1"}));
    EXPECT_EQ(splitCommandLine("\"my room\" 'other one' it's \"a 'b' c\""),
              (V{"my room", "other one", "it's", "a 'b' c"}));
    EXPECT_EQ(splitCommandLine("\"\" x \"open ended"), (V{"", "x", "open ended"}));
}

TEST_F(RunParametersTest, TheModelIsTheLastExistingFileArgumentAndItsSettingsComeFirst) {
    for (const char* name : {"room.ray", "room.dat", "Hall.ray", "a.ray", "b.ray", "m/room.ray", "n/room.ray",
                             "Pr/Room.ray", "e/room.ray", "e/room.ini", "e/tolveno.ini"})  // empty: no settings
        writeFile(name, "");
    const std::pair<const char*, char> ini[] = {{"tolveno.ini", '3'}, {"m/room.ini", '1'}, {"m/tolveno.ini", '2'},
                                                {"n/tolveno.ini", '2'}, {"Pr/Room.ini", '4'}};
    for (const auto& [name, level] : ini) writeFile(name, "[Parameters]\nLevel=" + std::string(1, level));
    std::filesystem::create_directories("hall.ray");
    const std::pair<const char*, const char*> rows[] = {  // command; model, settings and Level, or "refused"; boxes
        {"room", "room.ray tolveno.ini L3, 0"},   {"Room.RAY", "room.ray tolveno.ini L3, 0"},
        {"Hall", "Hall.ray tolveno.ini L3, 0"},   {"room.dat", "room.dat tolveno.ini L3, 0"},
        {"a b /L2", "b.ray tolveno.ini L2, 0"},   {"a missing", "a.ray tolveno.ini L3, 0"},
        {"m/room", "m/room.ray m/room.ini L1, 0"}, {"n/room", "n/room.ray n/tolveno.ini L2, 0"},
        {"e/room", "e/room.ray tolveno.ini L3, 0"}, {"Pr/Room", "Pr/Room.ray Pr/Room.ini L4, 0"},  // found as typed
        {"missing", "refused, 2"}, {"hall", "refused, 2"}, {"", "refused, 1"}};  // why, then the usage
    for (const auto& [command, expected] : rows) {
        parameters = RunParameters{};
        ui.boxes.clear();
        const std::string found = !parameters.parse(command) ? "refused" : parameters.modelFile.str() + " " +
                                  parameters.settingsFile.str() + " L" + std::to_string(parameters.Level);
        EXPECT_EQ(found + ", " + std::to_string(ui.boxes.size()), expected) << command;
    }
}

TEST_F(RunParametersTest, InitialValuesThenSettingsThenFlags) {
    const auto describe = [](const RunParameters& p) {
        std::ostringstream s;
        s << "[" << p.author << "] L" << p.Level << " H" << p.History << " S" << p.HitLevel << " K" << p.CloneLevel
          << " T" << p.Time << " P" << p.Precision << " U" << p.Humidity << " C" << p.Temperature << " crack"
          << p.CrackTolerance << " alfa" << p.Alfa << " beta" << p.Beta << " D" << p.Diffraction << " R"
          << p.RandomizeAfter << " M" << p.DiffusionMode << " E" << p.SaveEscaped << " B" << p.balloon << " A"
          << p.SaveAll << " W" << p.AlwaysObstructing << " N" << p.Diffusion << " I" << p.SaveDiffuseHits << " O"
          << p.OpenMP;
        return s.str();
    };
    writeFile("room.ray", "");
    std::istringstream golden(readFile(TOLVENO_TEST_DATA "/run/golden/parameters.txt"));
    std::string line, command, settings;
    std::vector<std::string> boxes;
    int cases = 0;
    while (std::getline(golden, line)) {
        if (line.starts_with("> ")) {
            command = line.substr(2);
            settings.clear();
            boxes.clear();
        } else if (line.starts_with("! ")) {
            boxes.push_back(line.substr(2));
        } else if (line.starts_with("= ") || line.starts_with("- ")) {
            std::filesystem::remove("room.ini");
            if (!settings.empty()) writeFile("room.ini", settings);
            parameters = RunParameters{};
            ui.boxes.clear();
            EXPECT_EQ(parameters.parse(command), line[0] == '=') << command;
            EXPECT_EQ(describe(parameters), line.substr(2)) << command;
            std::vector<std::string> shown;  // the first line of each box
            for (const std::string& text : boxTexts()) shown.push_back(text.substr(0, text.find('\n')));
            EXPECT_EQ(shown, boxes) << command;
            EXPECT_GT(parameters.SoundSpeed, 0) << command;  // even below absolute zero
            ++cases;
        } else if (!line.empty() && !line.starts_with(";")) {
            settings += line + "\n";
        }
    }
    EXPECT_EQ(cases, 16);
}

TEST_F(RunParametersTest, SoundSpeedAndAirAbsorption) {
    writeFile("room.ray", "");
    // Dry air: 331.3 m/s at 0 °C, 343.2 m/s at 20 °C (rounded to 0.1); 20.05 sqrt(T) is the ideal gas's
    // sqrt(gamma R / M) sqrt(T) = 20.047 sqrt(T) rounded, 0.05 m/s off here: 0.15 m/s holds both errors.
    ASSERT_TRUE(parameters.parse("room /C0"));
    EXPECT_NEAR(parameters.SoundSpeed, 331.3, 0.15);
    ASSERT_TRUE(parameters.parse("room /C20 /U50"));
    EXPECT_NEAR(parameters.SoundSpeed, 343.2, 0.15);
    // ln(10) 1.7e-9 f^2 / humidity per metre: exact up to rounding, four times more an octave up.
    EXPECT_NEAR(parameters.airAbsorption[5], std::log(10.0) * 1.7e-9 * 1000 * 1000 / 50, 1e-15);
    EXPECT_NEAR(parameters.airAbsorption[9] / parameters.airAbsorption[8], 4.0, 1e-12);
}

// LateCorrection is on until a settings file says otherwise, and a later file without the key (the [Parameters] of a
// results file that job mode reads after the settings) keeps what the first said.
TEST_F(RunParametersTest, AMissingLateCorrectionKeepsItsValue) {
    const struct { const char* key; bool on, asked; } rows[] = {
        {"Level=3", true, false}, {"LateCorrection=Off", false, true}, {"Level=3", false, true},
        {"LateCorrection=1", true, true}};
    for (const auto& [key, on, asked] : rows) {  // one settings file after another
        TConfig ini("room.ini", std::string("[Parameters]\n") + key + "\n");
        ASSERT_TRUE(ini.selectParagraph("Parameters"));
        parameters.applySettings(ini);
        EXPECT_TRUE(parameters.LateCorrection == on && parameters.lateCorrectionAsked == asked) << key;
    }
}
