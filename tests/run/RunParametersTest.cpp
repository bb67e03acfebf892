#include <gtest/gtest.h>

#include <cmath>

#include "run/RunParameters.h"
#include "support/UiFixture.h"

using RunParametersTest = UiFixture;

TEST(CommandLineTest, SplitsOnWhiteSpaceAndBothQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitCommandLine("  room\t/L4\r\n-a1 "), (V{"room", "/L4", "-a1"}));
    EXPECT_EQ(splitCommandLine("\"my room.ray\" 'other one' /T2"), (V{"my room.ray", "other one", "/T2"}));
    EXPECT_EQ(splitCommandLine("it's \"a 'b' c\""), (V{"it's", "a 'b' c"}));  // a quote inside an argument is a character
    EXPECT_EQ(splitCommandLine("\"open ended"), (V{"open ended"}));
    EXPECT_EQ(splitCommandLine("\"\" x"), (V{"", "x"}));
    EXPECT_TRUE(splitCommandLine(" \v\f ").empty());
}

TEST(CommandLineTest, KeepsAtMost63Arguments) {
    std::string line;
    for (int i = 0; i < 70; ++i) line += "a" + std::to_string(i) + " ";
    const auto arguments = splitCommandLine(line);
    ASSERT_EQ(arguments.size(), 63u);
    EXPECT_EQ(arguments.back(), "a62");
}

TEST(UsageTest, TextIsExact) {
    EXPECT_EQ(usageText(),
              "Tolveno 3.0 parameters: filename[.ray] [flags]\n"
              "Ab\tsave the results in a separate file for each source\n"
              "Bb\tdisable/enable generation of speaker Balloon file\n"
              "Cn\ttemperature in Celsius grades (default=20)\n"
              "Dn\tcalculate Diffraction for 0, 1 or 2 edges\n"
              "Eb\tdisable/enable logging of Escaped rays\n"
              "Hn\tmaximun rays History (-1 = time)\n"
              "Kn\tRay cloning level (-1 = disabled)\n"
              "Ib\tdisable/enable logging of diffuse hits\n"
              "Ln\tLevel of balloon subdivision\n"
              "Mn\tDiffusion mode\n"
              "Nb\tdisable/enable diffusion\n"
              "On\tnumber of OpenMP parallel threads\n"
              "Pn\tPrecision of time classes\n"
              "Rn\tRandomize after nth specular reflection\n"
              "Sn\tSave hit of level <= n\n"
              "Tn\tfollow rays for a Time of n seconds\n"
              "Un\thUmidity (1-100)\n"
              "Wb\talWays obstructing faces\n");
    EXPECT_GT(usageText().size(), 512u);
}

TEST_F(RunParametersTest, NoModelShowsTheUsageWhole) {
    EXPECT_FALSE(parameters.parse(""));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].text, usageText());
}

TEST_F(RunParametersTest, ModelNameFormsAndLowerCase) {
    writeFile("room.ray", "EntityList\nEnd\n");
    writeFile("room.dat", "EntityList\nEnd\n");
    EXPECT_TRUE(parameters.acceptModelFile("room"));
    EXPECT_EQ(parameters.modelFile.str(), "room.ray");
    EXPECT_TRUE(parameters.acceptModelFile("Room.RAY"));
    EXPECT_EQ(parameters.modelFile.str(), "room.ray");
    EXPECT_TRUE(parameters.acceptModelFile("room.dat"));
    EXPECT_EQ(parameters.modelFile.str(), "room.dat");
    EXPECT_FALSE(parameters.acceptModelFile("missing"));
    EXPECT_EQ(parameters.modelFile.str(), "missing.ray");
}

TEST_F(RunParametersTest, MixedCaseNameIsFoundAsTyped) {
    writeFile("Hall.ray", "EntityList\nEnd\n");
    EXPECT_TRUE(parameters.acceptModelFile("Hall"));
    EXPECT_EQ(parameters.modelFile.str(), "Hall.ray");
}

TEST_F(RunParametersTest, AFolderIsNoModel) {
    std::filesystem::create_directories("hall.ray");
    EXPECT_FALSE(parameters.parse("hall"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: " + usageText()});
}

TEST_F(RunParametersTest, TheLastExistingModelWins) {
    writeFile("a.ray", "");
    writeFile("b.ray", "");
    ASSERT_TRUE(parameters.parse("a b /L2"));
    EXPECT_EQ(parameters.modelFile.str(), "b.ray");
    parameters = RunParameters{};
    ASSERT_TRUE(parameters.parse("a missing"));
    EXPECT_EQ(parameters.modelFile.str(), "a.ray");
}

TEST_F(RunParametersTest, SettingsBesideTheModelFirst) {
    writeFile("m/room.ray", "");
    writeFile("m/room.ini", "[Parameters]\nLevel=1\n");
    writeFile("m/tolveno.ini", "[Parameters]\nLevel=2\n");
    writeFile("tolveno.ini", "[Parameters]\nLevel=3\n");
    ASSERT_TRUE(parameters.parse("m/room"));
    EXPECT_EQ(parameters.settingsFile.str(), "m/room.ini");
    EXPECT_EQ(parameters.Level, 1u);
}

TEST_F(RunParametersTest, SettingsBesideAMixedCaseModelAreFoundAsTyped) {
    writeFile("Proj/Room.ray", "");
    writeFile("Proj/Room.ini", "[Parameters]\nLevel=4\n");
    ASSERT_TRUE(parameters.parse("Proj/Room"));
    EXPECT_EQ(parameters.settingsFile.str(), "Proj/Room.ini");
    EXPECT_EQ(parameters.Level, 4u);
}

TEST_F(RunParametersTest, SettingsSearchSkipsMissingAndEmptyFiles) {
    writeFile("m/room.ray", "");
    writeFile("m/tolveno.ini", "[Parameters]\nLevel=2\n");
    writeFile("tolveno.ini", "[Parameters]\nLevel=3\n");
    ASSERT_TRUE(parameters.parse("m/room"));
    EXPECT_EQ(parameters.settingsFile.str(), "m/tolveno.ini");
    EXPECT_EQ(parameters.Level, 2u);

    parameters = RunParameters{};
    writeFile("m/room.ini", "");
    writeFile("m/tolveno.ini", "");
    ASSERT_TRUE(parameters.parse("m/room"));
    EXPECT_EQ(parameters.settingsFile.str(), "tolveno.ini");
    EXPECT_EQ(parameters.Level, 3u);
}

TEST_F(RunParametersTest, WithoutSettingsTheInitialValuesStay) {
    writeFile("room.ray", "");
    ASSERT_TRUE(parameters.parse("room"));
    EXPECT_EQ(parameters.settingsFile.str(), "");
    EXPECT_EQ(parameters.author, "");
    EXPECT_EQ(parameters.Time, 0);
    EXPECT_EQ(parameters.Beta, -1);
    EXPECT_FALSE(parameters.SaveAll);
    EXPECT_EQ(parameters.History, 0);
    // The humidity that was never set is taken as the 5 % floor: no division by zero.
    EXPECT_EQ(parameters.Humidity, 5);
    for (double a : parameters.airAbsorption) EXPECT_TRUE(std::isfinite(a) && a > 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(RunParametersTest, EveryKeyTakesItsDefault) {
    writeFile("room.ray", "");
    writeFile("room.ini", "[Parameters]\n");
    ASSERT_TRUE(parameters.parse("room"));
    const RunParameters& p = parameters;
    EXPECT_EQ(p.Level, 0u);
    EXPECT_EQ(p.Time, 1.0);
    EXPECT_EQ(p.Precision, 0.001);
    EXPECT_EQ(p.History, -1);
    EXPECT_EQ(p.Humidity, 50.0);
    EXPECT_EQ(p.Temperature, 20.0);
    EXPECT_NEAR(p.SoundSpeed, 20.05 * std::sqrt(293.15), 1e-9);
    EXPECT_EQ(p.Alfa, 2.0);
    EXPECT_EQ(p.Beta, 0.1);
    EXPECT_TRUE(p.SaveAll);
    EXPECT_EQ(p.Diffraction, 1);
    EXPECT_EQ(p.HitLevel, -1);
    EXPECT_EQ(p.RandomizeAfter, -1);
    EXPECT_FALSE(p.SaveEscaped);
    EXPECT_FALSE(p.SaveDiffuseHits);
    EXPECT_FALSE(p.Diffusion);
    EXPECT_EQ(p.DiffusionMode, 7);
    EXPECT_EQ(p.CloneLevel, -1);
    EXPECT_EQ(p.CrackTolerance, 0.001);
    EXPECT_EQ(p.OpenMP, 1);
    EXPECT_FALSE(p.AlwaysObstructing);
    EXPECT_EQ(p.author, "Quarlen");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(RunParametersTest, KeyValuesAndTheirRules) {
    writeFile("room.ray", "");
    writeFile("room.ini",
              "[Parameters]\nLevel = -1\nTime=2.5\nPrecision=0.002\nHistory=12.9\nHumidity=0\n"
              "Temperature=0\nAlfa=3\nBeta=0.5\nSaveAll=no\nDiffraction=65538\nHitLevel=2\n"
              "RandomizeAfter=-7.9\nSaveEscaped=On\nSaveDiffuseHits=X\nDiffusion=yes\nDiffusionMode=3\n"
              "CloneLevel=4\nCrackTolerance=0.5\nOpenMP=65537\nAlwaysObstructing=true\n");
    ASSERT_TRUE(parameters.parse("room"));
    const RunParameters& p = parameters;
    EXPECT_EQ(p.Level, 0xFFFFFFFFu);
    EXPECT_EQ(p.Time, 2.5);
    EXPECT_EQ(p.Precision, 0.002);
    EXPECT_EQ(p.History, 12);  // truncated toward zero
    EXPECT_EQ(p.RandomizeAfter, -7);
    EXPECT_EQ(p.Humidity, 5.0);
    EXPECT_NEAR(p.SoundSpeed, 20.05 * std::sqrt(273.15), 1e-9);
    EXPECT_NEAR(p.SoundSpeed, 331.4, 0.05);
    EXPECT_EQ(p.Alfa, 3.0);
    EXPECT_EQ(p.Beta, 0.5);
    EXPECT_FALSE(p.SaveAll);
    EXPECT_EQ(p.Diffraction, 2);  // low 16 bits
    EXPECT_EQ(p.OpenMP, 1);
    EXPECT_EQ(p.HitLevel, 2);
    EXPECT_TRUE(p.SaveEscaped && p.SaveDiffuseHits && p.Diffusion && p.AlwaysObstructing);
    EXPECT_EQ(p.DiffusionMode, 3);
    EXPECT_EQ(p.CloneLevel, 4);
    EXPECT_EQ(p.CrackTolerance, 0.1);
}

TEST_F(RunParametersTest, CrackToleranceBelowRangeAndLevelWrap) {
    writeFile("room.ray", "");
    writeFile("room.ini", "[Parameters]\nCrackTolerance=-1\nLevel=4294967297\n");
    ASSERT_TRUE(parameters.parse("room"));
    EXPECT_EQ(parameters.CrackTolerance, 0.001);
    EXPECT_EQ(parameters.Level, 1u);  // low 32 bits of the 64-bit value
}

TEST_F(RunParametersTest, AlfaAndBetaAreTakenOnce) {
    writeFile("first.ini", "[Parameters]\nAlfa=3\n");  // Beta missing: both take their defaults' rule
    writeFile("second.ini", "[Parameters]\nAlfa=9\nBeta=9\n");
    ASSERT_TRUE(parameters.readSettings("first.ini"));
    EXPECT_EQ(parameters.Alfa, 3.0);
    EXPECT_EQ(parameters.Beta, 0.1);
    ASSERT_TRUE(parameters.readSettings("second"));  // ".ini" is added
    EXPECT_EQ(parameters.settingsFile.str(), "second.ini");
    EXPECT_EQ(parameters.Alfa, 3.0);
    EXPECT_EQ(parameters.Beta, 0.1);
}

TEST_F(RunParametersTest, SettingsWithoutTheParagraphAreReportedAndDefaulted) {
    writeFile("room.ray", "");
    writeFile("room.ini", "[Other]\nLevel=5\n");
    ASSERT_TRUE(parameters.parse("room"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: Can't find the paragraph [Parameters]"});
    EXPECT_EQ(parameters.Level, 0u);
    EXPECT_EQ(parameters.Time, 1.0);
}

TEST_F(RunParametersTest, FlagsOverrideSettingsInOrder) {
    writeFile("room.ray", "");
    writeFile("room.ini", "[Parameters]\nLevel=8\nTime=1\nSaveAll=1\n");
    ASSERT_TRUE(parameters.parse("/l4 room /T0.25 -T0.5 /A /F7 /u2 /C0 /O3 /D65537 /S1 /K-1 /H3 /M5 /R2 /P0.01 "
                                 "/Nyes -E1 /Iok /Wx /B1"));
    const RunParameters& p = parameters;
    EXPECT_EQ(p.Level, 4u);
    EXPECT_EQ(p.Time, 0.5);
    EXPECT_FALSE(p.SaveAll);
    EXPECT_EQ(p.Humidity, 5.0);
    EXPECT_NEAR(p.SoundSpeed, 331.4, 0.05);
    EXPECT_EQ(p.OpenMP, 3);
    EXPECT_EQ(p.Diffraction, 1);
    EXPECT_EQ(p.HitLevel, 1);
    EXPECT_EQ(p.CloneLevel, -1);
    EXPECT_EQ(p.History, 3);
    EXPECT_EQ(p.DiffusionMode, 5);
    EXPECT_EQ(p.RandomizeAfter, 2);
    EXPECT_EQ(p.Precision, 0.01);
    EXPECT_TRUE(p.Diffusion && p.SaveEscaped && p.SaveDiffuseHits && p.AlwaysObstructing && p.balloon);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(RunParametersTest, BooleanFlagValues) {
    writeFile("room.ray", "");
    ASSERT_TRUE(parameters.parse("room /Ayes"));
    EXPECT_TRUE(parameters.SaveAll);
    ASSERT_TRUE(parameters.parse("room -A1"));
    EXPECT_TRUE(parameters.SaveAll);
    ASSERT_TRUE(parameters.parse("room /A"));
    EXPECT_FALSE(parameters.SaveAll);
}

TEST_F(RunParametersTest, InvalidFlagsStopParsing) {
    writeFile("room.ray", "");
    for (const char* flag : {"/G", "-j2", "/Q", "/V1", "/X", "/Z", "/", "/5"}) {
        ui.boxes.clear();
        parameters = RunParameters{};
        EXPECT_FALSE(parameters.parse(std::string("room /L3 ") + flag + " /L5")) << flag;
        ASSERT_EQ(ui.boxes.size(), 2u) << flag;
        EXPECT_EQ(ui.boxes[0].caption + ": " + ui.boxes[0].text, std::string("Error: Invalid parameter: ") + (flag + 1));
        EXPECT_EQ(ui.boxes[1].text, usageText());
        EXPECT_EQ(parameters.Level, 3u) << "no flag after the invalid one is applied";
    }
}

TEST_F(RunParametersTest, AirAbsorptionPerBand) {
    writeFile("room.ray", "");
    ASSERT_TRUE(parameters.parse("room /U50"));
    EXPECT_NEAR(parameters.airAbsorption[5], std::log(10.0) * 1.7e-9 * 1000 * 1000 / 50, 1e-15);
    EXPECT_NEAR(parameters.airAbsorption[0], std::log(10.0) * 1.7e-9 * 31.5 * 31.5 / 50, 1e-18);
    EXPECT_NEAR(parameters.airAbsorption[9] / parameters.airAbsorption[8], 4.0, 1e-12);
}

TEST_F(RunParametersTest, AbsurdValuesNeverCrash) {
    writeFile("room.ray", "");
    writeFile("room.ini", "[Parameters]\nTime=nan\nHumidity=inf\nLevel=1e300\nHistory=-1e300\nTemperature=-1000\n");
    const std::string huge(10000, 'x');
    ASSERT_TRUE(parameters.parse("room /L99999999999999999999999 /H" + huge + " /T1e999"));
    EXPECT_EQ(parameters.Level, 0xFFFFFFFFu);  // saturated, then the low 32 bits
    EXPECT_EQ(parameters.History, 0);          // no digits: 0
    EXPECT_EQ(parameters.Time, 0.0);           // infinity is no time
    EXPECT_EQ(parameters.Humidity, 5.0);
    EXPECT_GT(parameters.SoundSpeed, 0.0);
    EXPECT_TRUE(std::isfinite(parameters.SoundSpeed));
    for (double a : parameters.airAbsorption) EXPECT_TRUE(std::isfinite(a));

    parameters = RunParameters{};
    ui.boxes.clear();
    EXPECT_FALSE(parameters.parse(huge));
    EXPECT_EQ(ui.boxes.size(), 1u);
}
