#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/MaterialLibrary.h"
#include "support/UiFixture.h"

namespace {
using Row = MaterialLibrary::Row;

std::unique_ptr<MaterialLibrary> parsed(const std::string& text) {
    std::istringstream in(text);
    return std::make_unique<MaterialLibrary>(in);
}

void readMore(MaterialLibrary& library, const std::string& text) {
    std::istringstream in(text);
    library.read(in);
}

Row filled(float value) {
    Row row;
    row.fill(value);
    return row;
}

bool isUndefined(const MaterialLibrary& library, unsigned m) {
    const Row zeros{};
    return library.absorptionOf(m) == zeros && library.transmissionLossOf(m) == zeros &&
           library.scatteringOf(m) == zeros;
}

// A line padded with blanks to exactly length characters (line end not counted).
std::string paddedLine(const std::string& text, std::size_t length) { return text + std::string(length - text.size(), ' '); }
}  // namespace

TEST(MaterialTextTest, EachGroupFillsItsTableInBandOrder) {
    const auto library = parsed(
        "5,0.01 0.02 0.03 0.04 0.05 0.06 0.07 0.08 0.09 0.10,11 12 13 14 15 16 17 18 19 20,"
        "0.21 0.22 0.23 0.24 0.25 0.26 0.27 0.28 0.29 0.30\n");
    EXPECT_EQ(library->absorptionOf(5), (Row{0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f, 0.07f, 0.08f, 0.09f, 0.10f}));
    EXPECT_EQ(library->transmissionLossOf(5), (Row{11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
    EXPECT_EQ(library->scatteringOf(5), (Row{0.21f, 0.22f, 0.23f, 0.24f, 0.25f, 0.26f, 0.27f, 0.28f, 0.29f, 0.30f}));
    EXPECT_EQ(library->absorption(5, 0), 0.01f);
    EXPECT_EQ(library->absorption(5, 9), 0.10f);
    EXPECT_EQ(library->transmissionLoss(5, 3), 14.0f);
    EXPECT_EQ(library->scattering(5, 9), 0.30f);
    EXPECT_TRUE(isUndefined(*library, 4));
    EXPECT_TRUE(isUndefined(*library, 6));
    EXPECT_EQ(library->fileName(), "");
}

TEST(MaterialTextTest, MissingGroupsTakeTheirDefaults) {
    const auto library = parsed("5,0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3\n"
                                "8,0.2,40 41\n"
                                "9,0.2,40,\n");
    EXPECT_EQ(library->absorptionOf(5), filled(0.3f));
    EXPECT_EQ(library->transmissionLossOf(5), filled(999.9f));
    EXPECT_EQ(library->scatteringOf(5), filled(0.1f));
    // Bands the group does not reach were 0 and so mean no transmission too.
    EXPECT_EQ(library->transmissionLossOf(8), (Row{40, 41, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f}));
    EXPECT_EQ(library->scatteringOf(8), filled(0.1f));
    EXPECT_EQ(library->absorptionOf(8), (Row{0.2f}));
    EXPECT_EQ(library->scatteringOf(9), filled(0.1f));
}

TEST(MaterialTextTest, NonPositiveTransmissionLossMeansNoTransmission) {
    const auto library = parsed("3,0.5,10 0 -3 20 0.0 -0.5 30 40 50 60\n");
    EXPECT_EQ(library->transmissionLossOf(3), (Row{10, 999.9f, 999.9f, 20, 999.9f, 999.9f, 30, 40, 50, 60}));
}

TEST(MaterialTextTest, LaterLinesOverrideOnlyWhatTheySet) {
    const auto library = parsed("2,0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1,10 20 30 40 50 60 70 80 90 100,"
                                "0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5\n");
    readMore(*library, "2,0.9 0.8,15\n");
    EXPECT_EQ(library->absorptionOf(2), (Row{0.9f, 0.8f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1}));
    EXPECT_EQ(library->transmissionLossOf(2), (Row{15, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(library->scatteringOf(2), filled(0.1f));

    readMore(*library, "2,0.4\n");
    EXPECT_EQ(library->absorptionOf(2), (Row{0.4f, 0.8f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1}));
    EXPECT_EQ(library->transmissionLossOf(2), filled(999.9f));

    readMore(*library, "2,,5,0.6 0.7\n");
    EXPECT_EQ(library->absorptionOf(2), (Row{0.4f, 0.8f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1}));
    EXPECT_EQ(library->transmissionLossOf(2), (Row{5, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f}));
    EXPECT_EQ(library->scatteringOf(2), (Row{0.6f, 0.7f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f}));
}

TEST(MaterialTextTest, AGroupEndsAtTheFirstNonNumber) {
    const auto library = parsed("4,0.1 0.2 x 0.4,12 abc 13,0.3;0.4\n"
                                "6,5e-1 +.25 1E-1\t0x1p-2 7\n");
    EXPECT_EQ(library->absorptionOf(4), (Row{0.1f, 0.2f}));
    EXPECT_EQ(library->transmissionLossOf(4), (Row{12, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f, 999.9f}));
    EXPECT_EQ(library->scatteringOf(4), (Row{0.3f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f}));
    EXPECT_EQ(library->absorptionOf(6), (Row{0.5f, 0.25f, 0.1f, 0.25f, 7}));
}

TEST(MaterialTextTest, TheMaterialNumberIsTheLeadingInteger) {
    const auto library = parsed(" \t+7,0.5\n"
                                "12abc,0.25\n"
                                "x3,0.75\n"
                                "1023,0.125\n");
    EXPECT_EQ(library->absorption(7, 0), 0.5f);
    EXPECT_EQ(library->absorption(12, 0), 0.25f);
    // No leading number is material 0.
    EXPECT_EQ(library->absorption(0, 0), 0.75f);
    EXPECT_TRUE(isUndefined(*library, 3));
    EXPECT_EQ(library->absorption(1023, 0), 0.125f);
}

TEST(MaterialTextTest, LinesWithoutACommaChangeNothing) {
    const auto library = parsed("\n"
                                "# materials of the hall\n"
                                "5 0.5 0.5\n"
                                "6,0.5\n");
    EXPECT_TRUE(isUndefined(*library, 0));
    EXPECT_TRUE(isUndefined(*library, 5));
    EXPECT_EQ(library->absorption(6, 0), 0.5f);
}

TEST(MaterialTextTest, ANumberOutsideTheTablesEndsTheFile) {
    // The huge numbers would wrap to 5 (2^32 + 5, 2^64 + 5) or 1 (-(2^32 - 1)) if they overflowed.
    for (const char* stop : {"1024,0.5", "-1,0.5", "1024", "-1", "4294967301,0.5", "18446744073709551621,0.5",
                             "-4294967295,0.5", "99999999999999999999999999999,0.5"}) {
        const auto library = parsed(std::string("4,0.5\n") + stop + "\n6,0.5\n");
        EXPECT_EQ(library->absorption(4, 0), 0.5f) << stop;
        for (unsigned m : {0u, 1u, 5u, 6u, 1023u}) EXPECT_TRUE(isUndefined(*library, m)) << stop << " material " << m;
    }
}

TEST(MaterialTextTest, ALineLongerThan511CharactersEndsTheFile) {
    const std::string longest = paddedLine("7,0.5", 511);
    auto library = parsed(longest + "\n9,0.5\n");
    EXPECT_EQ(library->absorption(7, 0), 0.5f);
    EXPECT_EQ(library->absorption(9, 0), 0.5f);

    // The carriage return of a Windows line end does not count.
    library = parsed(longest + "\r\n9,0.5\r\n");
    EXPECT_EQ(library->absorption(7, 0), 0.5f);
    EXPECT_EQ(library->absorption(9, 0), 0.5f);

    for (std::size_t length : {512u, 600u}) {
        const std::string tooLong = paddedLine("8,0.5", length);
        library = parsed("7,0.5\n" + tooLong + "\n9,0.5\n");
        EXPECT_EQ(library->absorption(7, 0), 0.5f) << length;
        EXPECT_TRUE(isUndefined(*library, 8)) << length;
        EXPECT_TRUE(isUndefined(*library, 9)) << length;
        library = parsed("7,0.5\n" + tooLong);
        EXPECT_TRUE(isUndefined(*library, 8)) << length << " at the end of the file";
    }
}

TEST(MaterialTextTest, WindowsLineEndsReadLikeUnixOnes) {
    const std::string unix = "1,0.1 0.2,30 0 40,0.4 0.5\n"
                             "\n"
                             "2,0.3\n"
                             "3,0.5,20,0.7";  // the last line has no line end
    std::string windows;
    for (char c : unix) windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const auto a = parsed(unix);
    const auto b = parsed(windows);
    EXPECT_EQ(a->scattering(3, 0), 0.7f);
    EXPECT_EQ(a->transmissionLoss(3, 1), 999.9f);
    for (unsigned m = 0; m < MaterialLibrary::materialCount; ++m) {
        EXPECT_EQ(a->absorptionOf(m), b->absorptionOf(m)) << m;
        EXPECT_EQ(a->transmissionLossOf(m), b->transmissionLossOf(m)) << m;
        EXPECT_EQ(a->scatteringOf(m), b->scatteringOf(m)) << m;
    }
}

TEST(MaterialTextTest, NonFiniteValuesAreNotTaken) {
    const auto library = parsed("1,0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2,30 30 30 30 30 30 30 30 30 30\n"
                                "1,nan 0.5 inf -inf 1e50 0.6 NAN infinity -nan 0.7,nan 40 inf,0.3 inf\n"
                                "2,nan,-inf -1e50\n");
    EXPECT_EQ(library->absorptionOf(1), (Row{0.2f, 0.5f, 0.2f, 0.2f, 0.2f, 0.6f, 0.2f, 0.2f, 0.2f, 0.7f}));
    EXPECT_EQ(library->transmissionLossOf(1), (Row{30, 40, 30, 30, 30, 30, 30, 30, 30, 30}));
    EXPECT_EQ(library->scatteringOf(1), (Row{0.3f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f}));
    EXPECT_EQ(library->absorptionOf(2), Row{});
    EXPECT_EQ(library->transmissionLossOf(2), filled(999.9f));
    for (unsigned m = 0; m < MaterialLibrary::materialCount; ++m)
        for (int k = 0; k < bandCount; ++k)
            ASSERT_TRUE(std::isfinite(library->absorption(m, k)) && std::isfinite(library->transmissionLoss(m, k)) &&
                        std::isfinite(library->scattering(m, k)))
                << m << " band " << k;
}

TEST(MaterialTextTest, UndefinedMaterialsAreZeroWithinAndBeyondTheTables) {
    const auto library = parsed("0,0.5,20,0.3\n1023,0.6,30,0.4\n");
    EXPECT_TRUE(isUndefined(*library, 1));
    EXPECT_TRUE(isUndefined(*library, 1022));
    // 1024 and 2047 must not wrap onto rows 0 and 1023.
    for (unsigned m : {1024u, 1025u, 2047u, 65535u, static_cast<unsigned>(UINT_MAX)}) {
        EXPECT_TRUE(isUndefined(*library, m)) << m;
        EXPECT_EQ(library->absorption(m, 0), 0.0f) << m;
        EXPECT_EQ(library->transmissionLoss(m, 9), 0.0f) << m;
        EXPECT_EQ(library->scattering(m, 0), 0.0f) << m;
    }
}

class MaterialLibraryTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        resetMaterials();
    }
    void TearDown() override {
        resetMaterials();
        UiFixture::TearDown();
    }
};

TEST_F(MaterialLibraryTest, TheModelsOwnFileComesFirst) {
    parameters.modelFile.assign("room.ray");
    writeFile("room.material", "1,0.1\n");
    writeFile("tolveno.mat", "1,0.3\n");
    const auto library = std::make_unique<MaterialLibrary>();
    EXPECT_EQ(library->fileName(), "room.material");
    EXPECT_EQ(library->absorption(1, 0), 0.1f);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Loaded Materials room.material"});
}

TEST_F(MaterialLibraryTest, TheSharedFileBesideTheModelIsNamed) {
    parameters.modelFile.assign("m/room.ray");
    writeFile("m/room.material", "");  // an empty file does not count
    writeFile("m/tolveno.mat", "1,0.2\n");
    writeFile("tolveno.mat", "1,0.3\n");
    const auto library = std::make_unique<MaterialLibrary>();
    EXPECT_EQ(library->fileName(), "m/tolveno.mat");
    EXPECT_EQ(library->absorption(1, 0), 0.2f);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Loaded Materials m/tolveno.mat"});
}

TEST_F(MaterialLibraryTest, TheSharedFileOfTheCurrentDirectoryIsNotReported) {
    parameters.modelFile.assign("room.ray");
    writeFile("tolveno.mat", "1,0.3\n");
    auto library = std::make_unique<MaterialLibrary>();
    EXPECT_EQ(library->fileName(), "tolveno.mat");
    EXPECT_EQ(library->absorption(1, 0), 0.3f);
    EXPECT_TRUE(ui.boxes.empty());

    // A folder and an empty file beside the model are passed over.
    parameters.modelFile.assign("m/room.ray");
    std::filesystem::create_directories("m/room.material");
    writeFile("m/tolveno.mat", "");
    library = std::make_unique<MaterialLibrary>();
    EXPECT_EQ(library->fileName(), "tolveno.mat");
    EXPECT_EQ(library->absorption(1, 0), 0.3f);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MaterialLibraryTest, WithoutAFileTheErrorIsReportedAndTheTablesStayZero) {
    parameters.modelFile.assign("room.ray");
    writeFile("tolveno.mat", "");
    const auto library = std::make_unique<MaterialLibrary>();
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Can't load Materials tolveno.mat"});
    EXPECT_EQ(ui.beeps, std::vector<Beep>{Beep::Stop});  // reported as an error, not a warning
    EXPECT_EQ(library->fileName(), "");
    for (unsigned m = 0; m < MaterialLibrary::materialCount; ++m) ASSERT_TRUE(isUndefined(*library, m)) << m;
}

TEST_F(MaterialLibraryTest, TheProcessLibraryIsLoadedOnceOnFirstUse) {
    parameters.modelFile.assign("room.ray");
    writeFile("room.material", "1,0.1\n");
    EXPECT_FALSE(materialsLoaded());
    MaterialLibrary& first = materials();
    EXPECT_TRUE(materialsLoaded());
    EXPECT_EQ(first.absorption(1, 0), 0.1f);

    writeFile("room.material", "1,0.9\n");
    EXPECT_EQ(&materials(), &first);
    EXPECT_EQ(materials().absorption(1, 0), 0.1f);
    EXPECT_EQ(ui.boxes.size(), 1u);

    resetMaterials();
    EXPECT_FALSE(materialsLoaded());
    EXPECT_EQ(materials().absorption(1, 0), 0.9f);
    EXPECT_EQ(ui.boxes.size(), 2u);
}
