#include <iterator>

#include "foundation/InputFiles.h"
#include "support/UiFixture.h"

namespace fs = std::filesystem;

namespace {
// What a process sees of name: "no file", or its size and bytes ("does not open" when it does not).
std::string seen(const std::string& name) {
    if (!InputFiles::isFile(name)) return "no file";
    std::string text = std::to_string(InputFiles::size(name)) + ":";
    std::unique_ptr<std::istream> in = InputFiles::open(name);
    if (!in) return text + "does not open";
    return text + std::string(std::istreambuf_iterator<char>(*in), std::istreambuf_iterator<char>());
}

// A scratch folder holding a model, an empty settings file and a folder; the disk alone afterwards.
class InputFilesTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        fs::create_directories("folder");
        writeFile("room.ray", "Face 1 2 3\r\n");
        writeFile("empty.ini", "");
    }
    void TearDown() override {
        InputFiles::useDisk();
        UiFixture::TearDown();
    }
};
}  // namespace

// Process 0 records what it looks at, as it was then; the others see exactly that, whatever the disk holds.
TEST_F(InputFilesTest, OtherProcessesSeeProcess0sCopiesAndNeverTheDisk) {
    InputFiles::startRecording();
    for (const char* name : {"room.ray", "empty.ini", "folder", "missing.ini"}) seen(name);
    writeFile("room.ray", "changed after the first look");
    EXPECT_EQ(seen("room.ray"), "12:Face 1 2 3\r\n");
    const std::string record = InputFiles::packRecord();

    InputFiles::useDisk();
    ASSERT_TRUE(InputFiles::readOnlyFrom(record));
    for (const char* name : {"room.ray", "empty.ini", "folder"}) fs::remove_all(name);
    writeFile("missing.ini", "[Parameters]\n");
    writeFile("unseen.ray", "Face\n");
    const std::pair<const char*, const char*> rows[] = {
        {"room.ray", "12:Face 1 2 3\r\n"}, {"empty.ini", "0:"},         {"folder", "no file"},
        {"missing.ini", "no file"},        {"unseen.ray", "no file"},
    };
    for (const auto& [name, expected] : rows) EXPECT_EQ(seen(name), expected) << name;

    // A record cut short or with bytes after it is refused, and the copies in force stay.
    for (const std::string& broken : {record.substr(0, record.size() - 1), record + "x", std::string("abc")})
        EXPECT_FALSE(InputFiles::readOnlyFrom(broken));
    EXPECT_EQ(seen("room.ray"), "12:Face 1 2 3\r\n");
}
