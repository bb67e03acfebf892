#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"

/// Runs the real program in the scratch folder, without a terminal; answers its exit status.
class ProgramTest : public UiFixture {
protected:
    int run(const std::string& arguments) {
        const std::string command = std::string("\"") + TOLVENO_BINARY + "\" " + arguments + " </dev/null 2>stderr.txt >/dev/null";
        const int raw = std::system(command.c_str());
        errors = readFile("stderr.txt");
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    std::string errors;
};

TEST_F(ProgramTest, WrongArgumentsAreReportedAndTheProgramSucceeds) {
    writeFile("room.ray", "EntityList\nEnd\n");
    const std::pair<std::string, std::string> rows[] = {
        {"", "Error: " + usageText()},
        {"room /G", "Error: Invalid parameter: G\nError: " + usageText()},
        {std::string(10000, 'r') + " /T" + std::string(10000, '9'), "Error: " + usageText()},
        {"sum.job", "Error: Can't find file sum.job\n"}};
    for (const auto& [arguments, expected] : rows) {
        EXPECT_EQ(run(arguments), 0) << arguments.substr(0, 20);
        EXPECT_EQ(errors, expected) << arguments.substr(0, 20);
    }
    EXPECT_FALSE(std::filesystem::exists("tolveno.log"));
}

TEST_F(ProgramTest, ARunLogsItsModelSettingsAndMessages) {
    writeFile("room.ray", "EntityList\nEnd\n");
    writeFile("room.ini", "[Parameters]\nLevel=2\nOpenMP=1\n");
    EXPECT_EQ(run("room"), 0);
    std::string log = readFile("tolveno.log");
    EXPECT_EQ(log.rfind(" \n- Start ", 0), 0u) << log;
    EXPECT_NE(log.find("\n\n- Model room.ray\n- Defaults room.ini\n? Can't load Materials tolveno.mat\n- Stop "),
              std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 2), "\n\n");
    // Without a terminal the status box shows as plain lines.
    EXPECT_NE(errors.find("Tolveno 3.0 - room.ray\nLevel 2  History -1"), std::string::npos) << errors;

    for (const char* name : {"room.ray", "room.ini", "room.material", "speaker.spk"})
        std::filesystem::copy_file(std::filesystem::path(TOLVENO_EXAMPLES) / name, name,
                                   std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(run("room"), 0);
    log = readFile("tolveno.log");
    EXPECT_NE(log.find("- Model room.ray\n- Defaults room.ini\n! Loaded Materials room.material\n- Stop"),
              std::string::npos) << log;
    EXPECT_NE(errors.find("Status: Sorting 11 entities..."), std::string::npos) << errors;
}

TEST_F(ProgramTest, AJobAddsTheResultsOfTwoRuns) {
    writeFile("room.ray", "EntityList\n Source 0 0 0 1 0 0 0 none.spk\n Receiver 3 4 0 0 0 0\nEnd\n");
    writeFile("room.ini", "[Parameters]\nLevel=1\nTime=0.05\nPrecision=0.001\nSaveAll=1\nOpenMP=1\n");
    ASSERT_EQ(run("room"), 0);
    ASSERT_TRUE(std::filesystem::exists("room.__a"));
    writeFile("sum.job", "\nroom\nroom.__a\nroom.__a, 10, 0\n");
    EXPECT_EQ(run("sum.job"), 0);
    // SaveAll came in from the first file's parameters: the sum is named for index 65535.
    const std::string sum = readFile("room._8p");
    ASSERT_FALSE(sum.empty()) << errors;
    EXPECT_NE(sum.find("[Microphone_1]"), std::string::npos);
    EXPECT_EQ(sum.find("nan"), std::string::npos);
}

TEST_F(ProgramTest, AKillAtAnyMomentLeavesACompleteResultsFile) {
    // Many receivers: a results file of 5 MB, long enough to be killed while written.
    std::string model = "EntityList\n Face 1 1 4 0 0 0 10 0 0 10 10 0 0 10 0\n Source 5 5 1 6 5 1 0 none.spk\n";
    for (int i = 0; i < 240; ++i)
        model += " Receiver " + std::to_string(1 + i % 8) + " " + std::to_string(1 + i / 8 % 8) + " 1.5 0 0 1\n";
    writeFile("room.ray", model + "End\n");
    writeFile("room.ini", "[Parameters]\nLevel=2\nTime=1\nPrecision=0.001\nSaveAll=0\nOpenMP=1\n");
    writeFile("room.___", "[Version]\nearlier results\n[End]\n");
    const auto complete = [](const std::string& text) {
        return text.size() > 6 && text.compare(text.size() - 6, 6, "[End]\n") == 0;
    };
    // A run takes some 60 ms, most of it writing (several times longer in the sanitizer build):
    // kills are spread from the start of the run to past the end of the writing in either build.
    for (int delay : {3, 10, 17, 24, 31, 38, 45, 52, 65, 90, 130, 180, 250, 350}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::freopen("/dev/null", "w", stderr);
            std::freopen("/dev/null", "r", stdin);
            execl(TOLVENO_BINARY, TOLVENO_BINARY, "room", static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        ASSERT_TRUE(complete(readFile("room.___"))) << "killed after " << delay << " ms";
        if (std::filesystem::exists("room.bak")) EXPECT_TRUE(complete(readFile("room.bak"))) << delay << " ms";
    }
    // A run left to finish writes the results of its last source, SaveAll or not.
    ASSERT_EQ(run("room"), 0);
    EXPECT_NE(readFile("room.___").find("[Microphone_240]"), std::string::npos);
}

TEST(ThreadCountTest, ZeroOrTooManyMeansAllProcessors) {
    const int rows[][3] = {{0, 8, 8}, {1, 8, 1}, {7, 8, 7}, {8, 8, 8}, {65535, 2, 2}, {1, 1, 1}};
    for (const auto& [requested, processors, expected] : rows)
        EXPECT_EQ(threadCount(requested, processors), expected) << requested << " of " << processors;
}

using RayManagerTest = UiFixture;

TEST_F(RayManagerTest, PreparesTheRun) {
    writeFile("room.ray", "EntityList\n Face 1 7 3 0 0 0 1 0 0 0 1 0\n Receiver 1 1 1 2 2 2\nEnd\n");
    writeFile("room.material", "7 Test, 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5\n");
    ASSERT_TRUE(parameters.parse("room /O60000"));
    RayManager manager;
    EXPECT_TRUE(manager.ready);
    EXPECT_EQ(manager.model.count(), 1u);
    EXPECT_EQ(microphones().receiverCount(), 1u);
    ASSERT_TRUE(materialsLoaded());
    EXPECT_EQ(materials().absorption(7, 3), 0.5f);
    // The thread count in force is stored back and shown.
    EXPECT_GE(parameters.OpenMP, 1);
    EXPECT_LT(parameters.OpenMP, 60000);
    EXPECT_EQ(ui.text(StatusItem::activeCpus), std::to_string(parameters.OpenMP));
}

TEST_F(RayManagerTest, NoRunWithoutReceiversOrAfterAQuitRequest) {
    writeFile("room.ray", "EntityList\n Face 1 7 3 0 0 0 1 0 0 0 1 0\nEnd\n");
    ASSERT_TRUE(parameters.parse("room"));
    EXPECT_FALSE(RayManager().ready);
    writeFile("room.ray", "EntityList\n Receiver 1 1 1 2 2 2\nEnd\n");
    ui.postQuit();
    EXPECT_FALSE(RayManager().ready);
}

TEST_F(RayManagerTest, CancelAnsweredNoToPartialResultsKeepsThePreviousOnes) {
    writeFile("room.ray", "EntityList\n Source 5 5 1 6 5 1 0 none.spk\n Receiver 1 1 1.5 0 0 1\nEnd\n");
    writeFile("room.ini", "[Parameters]\nLevel=2\nTime=1\nSaveAll=0\nOpenMP=1\n");
    writeFile("room.___", "earlier results\n");
    ASSERT_TRUE(parameters.parse("room"));
    RayManager manager;
    ASSERT_TRUE(manager.ready);
    ui.postCommand(IDCANCEL);
    ui.answers = {true, false};  // cancel confirmed, partial results refused
    manager.run();
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().text, "Do you want to save partial results anyway?");
    EXPECT_EQ(readFile("room.___"), "earlier results\n");
    EXPECT_FALSE(std::filesystem::exists("room.bak") || std::filesystem::exists("room.___.tmp"));
}
