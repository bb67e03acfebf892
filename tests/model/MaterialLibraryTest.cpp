#include <gtest/gtest.h>
#include <climits>
#include <sstream>
#include "model/MaterialLibrary.h"
#include "support/UiFixture.h"

namespace {
// Each material with a row not all zeros: number | absorption | loss | scattering (past the tables too).
std::string dump(const std::string& text) {
    std::istringstream in(text);
    const MaterialLibrary library(in);
    std::ostringstream out;
    for (unsigned m = 0; m < 2 * MaterialLibrary::materialCount; ++m) {
        const auto rows = {&library.absorptionOf(m), &library.transmissionLossOf(m), &library.scatteringOf(m)};
        if (std::all_of(rows.begin(), rows.end(), [](auto* row) { return *row == MaterialLibrary::Row{}; })) continue;
        out << m;
        for (const MaterialLibrary::Row* row : rows) {
            out << " |";
            for (float value : *row) out << ' ' << value;
        }
        out << '\n';
    }
    return out.str();
}
}  // namespace

using MaterialLibraryTest = UiFixture;

TEST_F(MaterialLibraryTest, MaterialLinesFillTheTables) {
    // The golden table is worked out by hand from the rules of the material file: groups of up to ten
    // numbers, each ending at the first non-number, keep the bands they do not reach; a line without a loss
    // group means no transmission (999.9 dB), as does a loss of 0 dB or less; scattering defaults to 0.1;
    // values that are not finite are not taken; the material number is the leading integer (none gives 0);
    // lines without a comma change nothing; a 511-character line still counts; the last needs no line end.
    const std::string text = readFile(TOLVENO_TEST_DATA "/model/golden/materials.mat");
    std::string expected = readFile(TOLVENO_TEST_DATA "/model/golden/materials.txt");
    expected.erase(0, expected.find('\n') + 1);  // the heading
    EXPECT_EQ(dump(text), expected);
    // Windows line ends read like Unix ones; their carriage return does not count toward the 511 characters.
    std::string windows;
    for (char c : text) windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(dump(windows), expected);
    std::istringstream in(text);
    const MaterialLibrary library(in);  // the band accessors read the same tables; undefined numbers read 0
    EXPECT_TRUE(library.absorption(5, 9) == 0.1f && library.transmissionLoss(5, 3) == 14 && library.scattering(5, 0) == 0.21f);
    for (unsigned m : {1024u, 65535u, static_cast<unsigned>(UINT_MAX)})
        EXPECT_TRUE(library.absorption(m, 0) == 0 && library.transmissionLoss(m, 0) == 0 && library.scattering(m, 0) == 0);
}

TEST_F(MaterialLibraryTest, ANumberOutsideTheTablesOrALineTooLongEndsTheFile) {
    // The huge numbers would wrap to 5 (2^32 + 5, 2^64 + 5) or 1 (-(2^32 - 1)) if they overflowed.
    const std::string onlyFirst = dump("4,0.5\n");
    for (const std::string stop : {"1024,0.5", "-1,0.5", "1024", "-1", "4294967301,0.5", "18446744073709551621,0.5",
                                   "-4294967295,0.5", "99999999999999999999999999999,0.5", "5,0.5"})
        for (std::size_t length : {stop == "5,0.5" ? 512 : stop.size(), std::size_t{512}, std::size_t{600}})  // 5,0.5 is valid
            for (const char* rest : {"\n6,0.5\n", ""})
                EXPECT_EQ(dump("4,0.5\n" + stop + std::string(length - stop.size(), ' ') + rest), onlyFirst) << stop << " in " << length;
}

TEST_F(MaterialLibraryTest, TheFileIsSearchedBesideTheModelThenInTheCurrentDirectoryOnce) {
    // An empty file or a folder (content null) does not count. Any file but the shared one of the current
    // directory is named; none found is an error (a box with a stop beep).
    const struct { const char* model; std::vector<std::pair<std::string, const char*>> files; std::string found, message; } cases[] = {
        {"room.ray", {{"room.material", "1,0.1\n"}, {"tolveno.mat", "1,0.2\n"}}, "room.material", "Warning: Loaded Materials room.material"},
        {"m/room.ray", {{"m/room.material", ""}, {"m/tolveno.mat", "1,0.1\n"}, {"tolveno.mat", "1,0.2\n"}}, "m/tolveno.mat",
         "Warning: Loaded Materials m/tolveno.mat"},
        {"m/room.ray", {{"m/room.material", nullptr}, {"m/tolveno.mat", ""}, {"tolveno.mat", "1,0.1\n"}}, "tolveno.mat", ""},
        {"room.ray", {{"tolveno.mat", ""}}, "", "Warning: Can't load Materials tolveno.mat"},
    };
    for (const auto& c : cases) {
        for (const auto& entry : std::filesystem::directory_iterator(".")) std::filesystem::remove_all(entry);
        ui.boxes.clear(), ui.beeps.clear();
        for (const auto& [name, content] : c.files) content ? writeFile(name, content) : void(std::filesystem::create_directories(name));
        parameters.modelFile.assign(c.model);
        const MaterialLibrary library;
        EXPECT_TRUE(library.fileName() == c.found && library.absorption(1, 0) == (c.found.empty() ? 0 : 0.1f)) << library.fileName();
        EXPECT_EQ(boxTexts(), c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        EXPECT_EQ(ui.beeps.size() == 1 && ui.beeps[0] == Beep::Stop, c.found.empty()) << &c - cases;
    }
    // The library of the process is loaded on first use only, until it is reset.
    writeFile("tolveno.mat", "1,0.4\n");
    EXPECT_FALSE(materialsLoaded());
    const MaterialLibrary& first = materials();
    writeFile("tolveno.mat", "1,0.9\n");
    EXPECT_TRUE(materialsLoaded() && &materials() == &first && materials().absorption(1, 0) == 0.4f);
    resetMaterials();
    EXPECT_TRUE(!materialsLoaded() && materials().absorption(1, 0) == 0.9f);
}
