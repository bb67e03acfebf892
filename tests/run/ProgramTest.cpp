#include <gtest/gtest.h>

#include <sys/wait.h>

#include "acoustics/MicrophoneList.h"
#include "model/MaterialLibrary.h"
#include "run/RayManager.h"
#include "run/RunParameters.h"
#include "support/UiFixture.h"

namespace {
struct Outcome {
    int status;
    std::string errors;
};
}  // namespace

/// Runs the real program in the scratch folder, without a terminal.
class ProgramTest : public UiFixture {
protected:
    Outcome run(const std::string& arguments) {
        const std::string command =
            std::string("\"") + TOLVENO_BINARY + "\" " + arguments + " </dev/null 2>stderr.txt >/dev/null";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile("stderr.txt")};
    }
};

TEST_F(ProgramTest, WithoutArgumentsPrintsTheUsageAndSucceeds) {
    const Outcome outcome = run("");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.errors, "Error: " + usageText());
    EXPECT_FALSE(std::filesystem::exists("tolveno.log"));
}

TEST_F(ProgramTest, AnInvalidFlagIsNamedThenTheUsage) {
    writeFile("room.ray", "EntityList\nEnd\n");
    const Outcome outcome = run("room /G");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.errors, "Error: Invalid parameter: G\nError: " + usageText());
    EXPECT_FALSE(std::filesystem::exists("tolveno.log"));
}

TEST_F(ProgramTest, ARunLogsItsModelAndSettings) {
    writeFile("room.ray", "EntityList\nEnd\n");
    writeFile("room.ini", "[Parameters]\nLevel=2\nOpenMP=1\n");
    const Outcome outcome = run("room");
    EXPECT_EQ(outcome.status, 0);
    const std::string log = readFile("tolveno.log");
    EXPECT_EQ(log.rfind(" \n- Start ", 0), 0u) << log;
    EXPECT_NE(log.find("\n\n- Model room.ray\n- Defaults room.ini\n? Can't load Materials tolveno.mat\n- Stop "),
              std::string::npos)
        << log;
    EXPECT_EQ(log.substr(log.size() - 2), "\n\n");
    // Without a terminal the status box shows as plain lines.
    EXPECT_NE(outcome.errors.find("Tolveno 3.0 - room.ray\n"), std::string::npos) << outcome.errors;
    EXPECT_NE(outcome.errors.find("Level 2  History -1"), std::string::npos) << outcome.errors;
}

TEST_F(ProgramTest, HugeArgumentsAreHandled) {
    const Outcome outcome = run(std::string(10000, 'r') + " /T" + std::string(10000, '9'));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.errors, "Error: " + usageText());
}

TEST_F(ProgramTest, AJobAddsTheResultsOfTwoRuns) {
    EXPECT_EQ(run("sum.job").errors, "Error: Can't find file sum.job\n");
    // Two runs of the same model, the second source alone, then their sum.
    writeFile("room.ray", "EntityList\n Source 0 0 0 1 0 0 0 none.spk\n Receiver 3 4 0 0 0 0\nEnd\n");
    writeFile("room.ini", "[Parameters]\nLevel=1\nTime=0.05\nPrecision=0.001\nSaveAll=1\nOpenMP=1\n");
    ASSERT_EQ(run("room").status, 0);
    ASSERT_TRUE(std::filesystem::exists("room.__a"));
    writeFile("sum.job", "\nroom\nroom.__a\nroom.__a, 10, 0\n");
    const Outcome outcome = run("sum.job");
    EXPECT_EQ(outcome.status, 0);
    // SaveAll came in from the first file's parameters: the sum is named for index 65535.
    const std::string sum = readFile("room._8p");
    ASSERT_FALSE(sum.empty()) << outcome.errors;
    EXPECT_NE(sum.find("[Microphone_1]"), std::string::npos);
    EXPECT_EQ(sum.find("nan"), std::string::npos);
}

TEST(ThreadCountTest, ZeroOrTooManyMeansAllProcessors) {
    EXPECT_EQ(threadCount(0, 8), 8);
    EXPECT_EQ(threadCount(1, 8), 1);
    EXPECT_EQ(threadCount(7, 8), 7);
    EXPECT_EQ(threadCount(8, 8), 8);
    EXPECT_EQ(threadCount(65535, 2), 2);
    EXPECT_EQ(threadCount(1, 1), 1);
}

using RayManagerTest = UiFixture;

TEST_F(RayManagerTest, StoresTheThreadCountInForce) {
    writeFile("room.ray", "EntityList\nEnd\n");
    ASSERT_TRUE(parameters.parse("room /O60000"));
    RayManager manager;
    EXPECT_GE(parameters.OpenMP, 1);
    EXPECT_LT(parameters.OpenMP, 60000);
    EXPECT_TRUE(manager.monitor.statusBox->exists());
    EXPECT_EQ(ui.text(127), std::to_string(parameters.OpenMP));
}

TEST_F(RayManagerTest, LoadsTheModelAndItsMaterials) {
    writeFile("room.ray", "EntityList\n Face 1 7 3 0 0 0 1 0 0 0 1 0\n Receiver 1 1 1 2 2 2\nEnd\n");
    writeFile("room.material", "7 Test, 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5\n");
    ASSERT_TRUE(parameters.parse("room"));
    {
        RayManager manager;
        EXPECT_TRUE(manager.ready);
        EXPECT_EQ(manager.model.count(), 1u);
        EXPECT_EQ(microphones().receiverCount(), 1u);
        ASSERT_TRUE(materialsLoaded());
        EXPECT_EQ(materials().absorption(7, 3), 0.5f);
    }
    EXPECT_NE(readFile("tolveno.log").find("\n! Loaded Materials room.material\n"), std::string::npos);
}

TEST_F(RayManagerTest, AModelWithoutReceiversIsNotRun) {
    writeFile("room.ray", "EntityList\n Face 1 7 3 0 0 0 1 0 0 0 1 0\nEnd\n");
    ASSERT_TRUE(parameters.parse("room"));
    RayManager manager;
    EXPECT_FALSE(manager.ready);
}

TEST_F(RayManagerTest, AQuitRequestAtStartKeepsTheRunFromStarting) {
    writeFile("room.ray", "EntityList\n Receiver 1 1 1 2 2 2\nEnd\n");
    ASSERT_TRUE(parameters.parse("room"));
    ui.postQuit();
    RayManager manager;
    EXPECT_FALSE(manager.ready);
}

TEST_F(ProgramTest, TheExampleLoadsAndLogsItsMessages) {
    for (const char* name : {"room.ray", "room.ini", "room.material", "speaker.spk"})
        std::filesystem::copy_file(std::filesystem::path(TOLVENO_EXAMPLES) / name, name);
    const Outcome outcome = run("room");
    EXPECT_EQ(outcome.status, 0);
    const std::string log = readFile("tolveno.log");
    EXPECT_NE(log.find("- Model room.ray\n- Defaults room.ini\n! Loaded Materials room.material\n- Stop"),
              std::string::npos)
        << log;
    EXPECT_NE(outcome.errors.find("Status: Sorting 11 entities..."), std::string::npos) << outcome.errors;
}
