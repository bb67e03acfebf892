// The tolveno-import command: files written or left alone, and a traced import against a model written by hand.
#include <regex>

#include "support/CadBox.h"
#include "support/UiFixture.h"

namespace {
// The same box typed in by hand, the floor of material 1 and the rest of material 2.
const char* const boxByHand =
    "EntityList\n"
    " Face 1 1 4  0 0 0  6 0 0  6 5 0  0 5 0\n"
    " Face 1 2 4  0 0 3  0 5 3  6 5 3  6 0 3\n"
    " Face 1 2 4  0 0 0  0 0 3  6 0 3  6 0 0\n"
    " Face 1 2 4  0 5 0  6 5 0  6 5 3  0 5 3\n"
    " Face 1 2 4  0 0 0  0 5 0  0 5 3  0 0 3\n"
    " Face 1 2 4  6 0 0  6 0 3  6 5 3  6 5 0\n"
    " Source 2 2.5 1.5 3 2.5 1.5 0 omni.spk\n"
    " Receiver 4.5 3 1.2 5.5 3 1.2\n"
    "End\n";
}  // namespace

class ImportProgramTest : public UiFixture {
protected:
    // The results file of a one-thread run of folder/box.ray, its dates and processing times masked.
    std::string traced(const std::string& folder) {
        EXPECT_EQ(runProgram("cd " + folder + " && \"" TOLVENO_BINARY "\" box /O1"), 0) << errors;
        static const std::regex times("^((Date|Time) +=|Processing( time)? *=)[^\n]*", std::regex::multiline);
        return std::regex_replace(readFile(folder + "/box.___"), times, "$1");
    }
};

TEST_F(ImportProgramTest, AnImportedBoxTracesLikeTheSameBoxWrittenByHand) {
    writeFile("imported/box.obj", boxObj(true));
    ASSERT_EQ(runProgram("\"" TOLVENO_IMPORT_BINARY "\" imported/box.obj"), 0) << errors;
    EXPECT_EQ(readFile("out.txt").substr(readFile("out.txt").find("Sources")),
              "Sources: 1, receivers: 1\nWrote imported/box.ray and imported/box.material\n");
    writeFile("by-hand/box.ray", boxByHand);
    writeFile("by-hand/box.material", readFile("imported/box.material"));
    for (const char* folder : {"imported", "by-hand"}) writeFile(std::string(folder) + "/box.ini", "[Parameters]\nLevel=5\nTime=0.3\nSaveAll=0\n");
    const std::string imported = traced("imported");
    EXPECT_NE(imported.find("[Microphone_1]"), std::string::npos);
    EXPECT_EQ(imported, traced("by-hand"));
}

TEST_F(ImportProgramTest, BadInputWritesNothingAndLeavesTheEarlierModel) {
    writeFile("hall.ray", "earlier model\n");
    const struct { std::string file, content, message; int status; } rows[] = {
        {"hall.obj", "v 0 0 0\nf 1 2 3\n", "Error: hall.obj: OBJ: vertex index out of range\n", 3},
        {"hall.obj", "", "Error: hall.obj: the file is empty\n", 3},
        {"other.obj", "", "Error: hall.obj: cannot be read (No such file or directory)\n", 3},
        {"hall.obj", "", "Error: name one CAD file and only the options below\n", 2},
    };
    for (const auto& [file, content, message, status] : rows) {
        writeFile(file, content);
        const std::string extra = status == 2 ? " --up=x" : "";
        if (file == "other.obj") std::filesystem::remove("hall.obj");
        EXPECT_EQ(runProgram("\"" TOLVENO_IMPORT_BINARY "\" hall.obj" + extra), status) << message;
        EXPECT_EQ(errors.substr(0, errors.find('\n') + 1), message);
        EXPECT_EQ(readFile("hall.ray"), "earlier model\n");
        EXPECT_FALSE(std::filesystem::exists("hall.material"));
    }
    writeFile("hall.obj", boxObj(true));
    ASSERT_EQ(runProgram("\"" TOLVENO_IMPORT_BINARY "\" hall.obj"), 0) << errors;
    EXPECT_EQ(readFile("hall.ray.bak"), "earlier model\n");
}
