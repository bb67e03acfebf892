#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"
#include "ui/Messages.h"
#include "ui/RecordingWindowSystem.h"

// A run that goes wrong says so: with an exit status a script can test, and
// with a message a person can act on.
class ExitStatusTest : public UiFixture {
protected:
    /// The texts of the errors ("? ") and warnings ("! ") the run posted to the status panel and the log.
    std::vector<std::string> warnings() const {
        std::vector<std::string> lines;
        std::istringstream log(readFile("tolveno.log"));
        for (std::string line; std::getline(log, line);)
            if (line.rfind("? ", 0) == 0 || line.rfind("! ", 0) == 0) lines.push_back(line.substr(2));
        return lines;
    }

    const std::string room = "EntityList\n Face 0 1 4 0 0 0 4 0 0 4 4 0 0 4 0\n Source 1 1 1 2 1 1 0 omni.spk\n"
                             " Receiver 3 3 1 0 0 0\nEnd\n";
    const std::string settings = "[Parameters]\nLevel=1\nTime=0.05\nPrecision=0.001\nHistory=2\nOpenMP=1\n";
};

TEST_F(ExitStatusTest, EachFailureHasItsStatusAndSaysWhy) {
    writeFile("room.ray", room);
    writeFile("room.ini", settings);
    writeFile("room.material", "1 Floor, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n");
    writeFile("deaf.ray", "EntityList\n Source 1 1 1 2 1 1 0 omni.spk\nEnd\n");
    writeFile("mute.ray", "EntityList\n Receiver 3 3 1 0 0 0\nEnd\n");
    writeFile("blocked.ray", room);
    writeFile("blocked.ini", settings);
    std::filesystem::create_directories("blocked.__a");  // the results file's name is taken by a folder
    std::filesystem::create_directories("hall.ray");
    const struct {
        const char* arguments;
        int status;
        const char* message;  // the first line written to stderr that starts with "Error: "
    } cases[] = {  // wrong arguments and a missing job file: ProgramTest, which compares the whole of stderr
        {"room", 0, ""},
        {"room /L29", 2, "Error: Level 29 is too high: the highest level is 28"},
        {"Proj/Room", 3, "Error: Can't find the model file Proj/Room.ray, nor proj/room.ray"},
        {"hall", 3, "Error: The model file hall.ray is a folder"},
        {"deaf", 4, "Error: The model has no receivers: there is nothing to compute"},
        {"mute", 4, "Error: The model has no sources: there is nothing to trace"},
        {"blocked", 5, "Error: Can't write blocked.__a: Is a directory"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(runProgram("\"" TOLVENO_BINARY "\" " + std::string(c.arguments)), c.status)
            << c.arguments << '\n' << errors;
        const std::size_t at = errors.find("Error: ");
        const std::string first = at == std::string::npos ? "" : errors.substr(at, errors.find('\n', at) - at);
        EXPECT_EQ(first, c.message) << c.arguments;
    }
    // Refused before the first pyramid: nothing was traced into the folder's place.
    EXPECT_TRUE(std::filesystem::is_directory("blocked.__a"));
    EXPECT_TRUE(std::filesystem::exists("room.__a"));
}

TEST_F(ExitStatusTest, ACancelledRunSaysSoAndMarksItsResultsPartial) {
    writeFile("room.ray", room);
    writeFile("room.ini", settings);
    ASSERT_TRUE(parameters.parse("room"));
    RayManager manager;
    ASSERT_TRUE(manager.ready);
    // Cancel after the first update, and save the partial results.
    ui.postCommand(IDCANCEL);
    ui.answers = {true, true};
    manager.run();
    EXPECT_EQ(manager.status, ExitStatus::cancelled);
    const std::string results = readFile("room.__a");
    EXPECT_NE(results.find("\nPartial results    = cancelled after 1 of 16 pyramids\n"), std::string::npos) << results;
}

TEST_F(ExitStatusTest, MistakesThatUsedToPassInSilenceAreSaidOnce) {
    // No settings file, a material the file does not define on two faces, no material file of the
    // model's own (the shared one is used), an unknown entity two lines below its record's number
    // (the first face spans four lines), and a reading that stops at a broken receiver.
    writeFile("tolveno.mat", "1 Floor, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n");
    writeFile("odd.ray", "EntityList\n Face 0 7 4\n 0 0 0\n 4 0 0 4 4 0\n 0 4 0\n Face 0 7 3 0 0 5 4 0 5 4 4 5\n"
                         " Face 0 1 3 0 0 0 0 4 0 0 4 5\n Source 1 1 1 2 1 1 0 omni.spk\n Receiver 3 3 1 0 0 0\n"
                         " Speaker 1 2 3\n Receiver 2 2 x\n Receiver 1 1 1 0 0 0\nEnd\n");
    ASSERT_TRUE(parameters.parse("odd /L1 /T0.01 /P0.001"));
    RayManager().run();
    EXPECT_EQ(warnings(), (std::vector<std::string>{
                              "Unknown entity in line 8: 'Speaker'",
                              "The unknown entity 'Speaker' is in line 10 of the file",
                              "Can't load source \"omni.spk\":",
                              "Using omnidirectional source at 110 dB",
                              "The model file was read no further than line 11: 2 receivers and 1 sources were read",
                              "No material file odd.material beside the model",
                              "No settings file found: what the flags do not set keeps its initial value "
                              "(Level 0, Time 0, History 0: direct sound only)",
                              "Materials not in the material file, absorbing nothing and letting sound through: 7 (2 faces)",
                          }));
}

TEST_F(ExitStatusTest, AModelAroundItsSourceThatLetsEverythingOutIsSuspect) {
    // Two small panels at opposite corners: their box surrounds the source, but no pyramid meets them.
    // The same panels beside the source (their box not around it) are an open field: no warning.
    const std::string panels = " Face 0 1 3 -5 4 -5 -4.9 4 -5 -5 4.1 -5\n Face 0 1 3 5 -4 5 4.9 -4 5 5 -4.1 5\n";
    for (const char* source : {"0 0 0", "9 9 9"}) {
        writeFile("leaky.ray", "EntityList\n" + panels + " Source " + source + " 1 0 0 0 omni.spk\n"
                               " Receiver 1 1 1 0 0 0\nEnd\n");
        writeFile("leaky.ini", settings);
        ASSERT_TRUE(parameters.parse("leaky"));
        {
            RayManager manager;
            manager.run();
            EXPECT_EQ(manager.statistics.escapedCount, 16u);
        }
        const std::vector<std::string> said = warnings();
        const bool warned = std::find(said.begin(), said.end(),
                                      "Every pyramid of source omni.spk escaped, although the model surrounds it: "
                                      "look for gaps between faces") != said.end();
        EXPECT_EQ(warned, std::string(source) == "0 0 0") << source;
        std::filesystem::remove("tolveno.log");
        clearProcessState();
        parameters = RunParameters{};
    }
}
