#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "ui/DialogTemplate.h"

// A run that is stopped, however it is stopped, never loses the results of
// the run before it.
class InterruptionTest : public UiFixture {
protected:
    // A room of many receivers: a results file of several megabytes, long enough to be killed while written.
    void writeBigModel(int receivers) {
        std::string model = "EntityList\n Face 1 1 4 0 0 0 10 0 0 10 10 0 0 10 0\n Source 5 5 1 6 5 1 0 none.spk\n";
        for (int i = 0; i < receivers; ++i)
            model += " Receiver " + std::to_string(1 + i % 8) + " " + std::to_string(1 + i / 8 % 8) + " 1.5 0 0 1\n";
        writeFile("room.ray", model + "End\n");
        writeFile("room.ini", "[Parameters]\nLevel=2\nTime=1\nPrecision=0.001\nSaveAll=0\nOpenMP=1\n");
    }

    static bool complete(const std::string& text) {
        return text.size() > 6 && text.compare(text.size() - 6, 6, "[End]\n") == 0;
    }
};

TEST_F(InterruptionTest, CancelAnsweredNoKeepsThePreviousResults) {
    writeBigModel(4);
    const std::string previous = "[Version]\nearlier results\n[End]\n";
    writeFile("room.___", previous);
    ASSERT_TRUE(parameters.parse("room"));
    RayManager manager;
    ASSERT_TRUE(manager.ready);
    // Cancel pressed during the run, confirmed, and the partial results refused.
    ui.postCommand(IDCANCEL);
    ui.answers = {true, false};
    manager.run();
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().text, "Do you want to save partial results anyway?");
    EXPECT_EQ(readFile("room.___"), previous);
    EXPECT_FALSE(std::filesystem::exists("room.bak"));
    EXPECT_FALSE(std::filesystem::exists("room.___.tmp"));
}

TEST_F(InterruptionTest, AKillAtAnyMomentLeavesACompleteResultsFile) {
    writeBigModel(240);
    const std::string previous = "[Version]\nearlier results\n[End]\n";
    writeFile("room.___", previous);
    // A run here takes some 60 ms, most of it writing 5 MB (several times
    // longer in the sanitizer build): kills are spread from the start of the
    // run to past the end of the writing in either build.
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
        int status = 0;
        waitpid(child, &status, 0);
        const std::string results = readFile("room.___");
        ASSERT_TRUE(complete(results)) << "killed after " << delay << " ms: " << results.size() << " bytes";
        if (std::filesystem::exists("room.bak")) {
            EXPECT_TRUE(complete(readFile("room.bak"))) << "killed after " << delay << " ms";
        }
    }
}
