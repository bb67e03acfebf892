#include <gtest/gtest.h>

#include <sys/wait.h>

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
    EXPECT_NE(log.find("\n\n- Model room.ray\n- Defaults room.ini\n- Stop "), std::string::npos) << log;
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

TEST_F(ProgramTest, JobFilesAreNotTracedYet) {
    const Outcome outcome = run("sum.job");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.errors.rfind("Warning: ", 0), 0u) << outcome.errors;
    EXPECT_FALSE(std::filesystem::exists("tolveno.log"));
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
