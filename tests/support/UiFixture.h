#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "acoustics/MicrophoneList.h"
#include "acoustics/SpeakerInfo.h"
#include "foundation/TConfig.h"
#include "model/MaterialLibrary.h"
#include "run/RunParameters.h"
#include "ui/RecordingWindowSystem.h"
#include "ui/TCount_win.h"

/// A fresh process state for one test: a recording window system, initial
/// run parameters, and a scratch folder as the current directory.
class UiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        installWindowSystem(&ui);
        parameters = RunParameters{};
        TConfig::resetDefaultName();
        clearProcessState();
        running = false;
        previous = std::filesystem::current_path();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() / (std::string("tolveno-") + test->test_suite_name() + "-" +
                                                           test->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
        clearProcessState();
        installWindowSystem(nullptr);
    }
    /// Forgets the process-wide receivers, loudspeakers and materials.
    static void clearProcessState() { microphones().destroyAll(); clearSpeakers(); resetMaterials(); }
    /// Writes a file below the scratch folder (creating its folders).
    static void writeFile(const std::filesystem::path& path, const std::string& content) {
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    /// Reads a whole file.
    static std::string readFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    /// The texts of the boxes shown so far, as "Caption: text".
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const RecordedBox& box : ui.boxes) texts.push_back(box.caption + ": " + box.text);
        return texts;
    }
    /// Runs a command in the scratch folder without a terminal: answers its exit status (-1 when it did not exit),
    /// with its standard error kept in errors and its standard output in out.txt.
    int runProgram(const std::string& command) {
        const int raw = std::system((command + " </dev/null 2>err.txt >out.txt").c_str());
        errors = readFile("err.txt");
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    RecordingWindowSystem ui;
    std::filesystem::path folder, previous;
    std::string errors;  // the standard error of the last program run
};
