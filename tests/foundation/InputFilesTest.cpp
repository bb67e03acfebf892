#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

#include "foundation/InputFiles.h"

namespace fs = std::filesystem;

namespace {
void writeFile(const fs::path& name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }

// What a process sees of name: "no file", or its size and bytes ("does not open" when it does not).
std::string seen(const std::string& name) {
    if (!InputFiles::isFile(name)) return "no file";
    std::string text = std::to_string(InputFiles::size(name)) + ":";
    std::unique_ptr<std::istream> in = InputFiles::open(name);
    if (!in) return text + "does not open";
    return text + std::string(std::istreambuf_iterator<char>(*in), std::istreambuf_iterator<char>());
}

class InputFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("tolveno-inputs-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "folder");
        writeFile(folder_ / "room.ray", "Face 1 2 3\r\n");
        writeFile(folder_ / "empty.ini", "");
    }
    void TearDown() override {
        InputFiles::useDisk();
        fs::remove_all(folder_);
    }
    std::string at(const char* name) const { return (folder_ / name).string(); }

    fs::path folder_;
};
}  // namespace

// Process 0 records what it looks at, as it was then; the others see exactly that, whatever the disk holds.
TEST_F(InputFilesTest, OtherProcessesSeeProcess0sCopiesAndNeverTheDisk) {
    InputFiles::startRecording();
    const char* looked[] = {"room.ray", "empty.ini", "folder", "missing.ini"};
    for (const char* name : looked) seen(at(name));
    writeFile(folder_ / "room.ray", "changed after the first look");
    EXPECT_EQ(seen(at("room.ray")), "12:Face 1 2 3\r\n");
    const std::string record = InputFiles::packRecord();

    InputFiles::useDisk();
    ASSERT_TRUE(InputFiles::readOnlyFrom(record));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    writeFile(folder_ / "missing.ini", "[Parameters]\n");
    writeFile(folder_ / "unseen.ray", "Face\n");
    const std::pair<const char*, const char*> rows[] = {
        {"room.ray", "12:Face 1 2 3\r\n"}, {"empty.ini", "0:"},         {"folder", "no file"},
        {"missing.ini", "no file"},        {"unseen.ray", "no file"},
    };
    for (const auto& [name, expected] : rows) EXPECT_EQ(seen(at(name)), expected) << name;

    // A record cut short or with bytes after it is refused, and the copies in force stay.
    for (const std::string& broken : {record.substr(0, record.size() - 1), record + "x", std::string("abc")})
        EXPECT_FALSE(InputFiles::readOnlyFrom(broken));
    EXPECT_EQ(seen(at("room.ray")), "12:Face 1 2 3\r\n");
}
