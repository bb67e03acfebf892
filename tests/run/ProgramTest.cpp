
#include "foundation/ThreadTeam.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"

/// Runs the real program in the scratch folder, without a terminal, after a command prefix; answers its exit status.
class ProgramTest : public UiFixture {
protected:
    int run(const std::string& arguments, const std::string& prefix = "") {
        return runProgram(prefix + " \"" TOLVENO_BINARY "\" " + arguments);
    }
};

TEST_F(ProgramTest, WrongArgumentsAreReportedAndAModelWithoutReceiversIsNotRun) {
    writeFile("room.ray", "EntityList\nEnd\n");
    const std::string usage = "Error: " + readFile(TOLVENO_TEST_DATA "/run/golden/usage.txt");
    const std::string huge(10000, 'r');
    const struct { std::string arguments, expected; int status; } rows[] = {
        {"", usage, 2}, {huge + " /T" + std::string(10000, '9'), "Error: Can't find the model file " + huge + ".ray\n" + usage, 3},
        {"room /G", "Error: Invalid parameter: G\n" + usage, 2}, {"sum.job", "Error: Can't find file sum.job\n", 6}};
    for (const auto& [arguments, expected, status] : rows) {
        EXPECT_EQ(run(arguments), status) << arguments.substr(0, 20);
        EXPECT_EQ(errors, expected) << arguments.substr(0, 20);
    }
    EXPECT_FALSE(std::filesystem::exists("tolveno.log"));
    writeFile("room.ini", "[Parameters]\nLevel=2\nOpenMP=0\n");
    EXPECT_EQ(run("room"), 4);  // no receivers: nothing to compute
    // Without a terminal the status box shows as plain lines, with the thread count in force.
    EXPECT_NE(errors.find("Tolveno 3.0 - room.ray\nLevel 2  History -1"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Active CPUs " + std::to_string(availableProcessors()) + "\n"), std::string::npos) << errors;
    EXPECT_TRUE(std::filesystem::exists("tolveno.log") && !std::filesystem::exists("room.___"));
}

TEST_F(ProgramTest, AKillOrAnInterruptAtAnyMomentLeavesACompleteResultsFile) {
    // Many receivers: a results file of 5 MB, long enough to be killed while written.
    std::string model = "EntityList\n Face 1 1 4 0 0 0 10 0 0 10 10 0 0 10 0\n Source 5 5 1 6 5 1 0 none.spk\n";
    for (int i = 0; i < 240; ++i)
        model += " Receiver " + std::to_string(1 + i % 8) + " " + std::to_string(1 + i / 8 % 8) + " 1.5 0 0 1\n";
    writeFile("room.ray", model + "End\n");
    writeFile("room.ini", "[Parameters]\nLevel=2\nTime=1\nPrecision=0.001\nSaveAll=0\nOpenMP=1\n");
    writeFile("room.___", "[Version]\nearlier results\n[End]\n");
    // A run takes some 60 ms, most of it writing (several times longer in the sanitizer build):
    // kills are spread from the start of the run to past the end of the writing in either build.
    for (int delay : {3, 10, 17, 24, 31, 38, 45, 52, 65, 90, 130, 180, 250, 350}) {
        run("room", "timeout -s KILL " + std::to_string(delay / 1000.0));
        EXPECT_TRUE(readFile("room.___").ends_with("\n[End]\n")) << "killed after " << delay << " ms";
        EXPECT_TRUE(!std::filesystem::exists("room.bak") || readFile("room.bak").ends_with("\n[End]\n")) << delay;
    }
    // A run left to finish writes the results of its last source, SaveAll or not.
    ASSERT_EQ(run("room"), 0);
    EXPECT_NE(readFile("room.___").find("[Microphone_240]"), std::string::npos);
    // An interrupt is a quit request; without a terminal nobody can answer, and the partial results are kept.
    std::filesystem::remove("room.___");
    writeFile("room.ini", "[Parameters]\nLevel=20\nSaveAll=0\nOpenMP=1\n");  // minutes of tracing
    EXPECT_EQ(run("room", "timeout -s INT --preserve-status 0.5"), 130);
    EXPECT_NE(errors.find("Confirmation: Do you want to save partial results anyway? [y/n] y (no terminal)\n"),
              std::string::npos) << errors;
    EXPECT_TRUE(readFile("room.___").ends_with("\n[End]\n"));
}

TEST_F(ProgramTest, ACancelledRunThatRefusesItsPartialResultsKeepsThePreviousOnes) {
    writeFile("room.ray", "EntityList\n Source 5 5 1 6 5 1 0 none.spk\n Receiver 1 1 1.5 0 0 1\nEnd\n");
    writeFile("room.ini", "[Parameters]\nLevel=2\nSaveAll=0\nOpenMP=1\n");
    writeFile("room.___", "earlier results\n");
    ASSERT_TRUE(parameters.parse("room /H100000"));  // the highest History a run accepts
    RayManager manager;
    ASSERT_TRUE(manager.ready);
    ui.postCommand(IDCANCEL);
    ui.answers = {true, false};  // cancel confirmed, partial results refused
    manager.run();
    EXPECT_EQ(ui.boxes.back().text, "Do you want to save partial results anyway?");
    EXPECT_EQ(readFile("room.___"), "earlier results\n");
    EXPECT_FALSE(std::filesystem::exists("room.bak") || std::filesystem::exists("room.___.tmp"));
}

TEST(ThreadCountTest, ZeroOrTooManyMeansAllProcessors) {
    const int rows[][3] = {{0, 8, 8}, {1, 8, 1}, {7, 8, 7}, {8, 8, 8}, {65535, 2, 2}};  // requested, processors, used
    for (const auto& [requested, processors, expected] : rows)
        EXPECT_EQ(threadCount(requested, processors), expected) << requested << " of " << processors;
}
