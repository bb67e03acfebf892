#include <gtest/gtest.h>
#include <sstream>
#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "model/Wall.h"
#include "support/UiFixture.h"

class ModelTest : public UiFixture {
protected:
    static void load(const std::string& body, Model& into) {
        std::istringstream in("EntityList\n" + body + "End\n");
        into.load(in);
    }
    Model model;
};

TEST_F(ModelTest, CoplanarTrianglesOfOneKindSharingAnEdgeMergeIntoAQuadrilateral) {
    load(" Face 0 1 3 0 0 0 10 0 0 10 10 0\n Face 0 1 3 0 0 0 10 10 0 0 10 0\n", model);  // a floor cut along its diagonal
    ASSERT_EQ(model.count(), 1u);
    // The corners in order (a crossed order would have no area), and the earlier triangle's number.
    const Face* quad = model.faceAt(0);
    EXPECT_TRUE(quad->vertexCount == 4 && quad->isBoxRectangle && quad->area == 100 && quad->number == 1);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Merging triangles 2 & 1"});
    Model apart;  // other material, a sloping roof, other flags, parallel planes
    load(" Face 0 1 3 0 0 0 10 0 0 10 10 0\n Face 0 2 3 0 0 0 10 10 0 0 10 0\n Face 0 1 3 0 0 5 10 0 6 10 10 6\n"
         " Face 0 1 3 0 0 5 10 10 6 0 10 5\n Face 1 1 3 20 0 0 30 0 0 30 10 0\n Face 0 1 3 20 0 0 30 10 0 20 10 0\n"
         " Face 0 1 3 40 0 0 50 0 0 50 10 0\n Face 0 1 3 40 0 1 50 10 1 40 10 1\n", apart);
    EXPECT_TRUE(apart.count() == 8 && ui.boxes.size() == 1);
}

TEST_F(ModelTest, AssemblyNumbersEveryFaceAndKeepsTheOpaqueOnesSorted) {
    // Transparent faces are numbered but left out; nested lists and openings outside a wall are dropped; a
    // wall without openings is its face alone. Obstructing entries come first, the larger first in each kind.
    load(" Face 4 1 3 0 0 0 1 0 0 0 1 0\n Face 8 1 3 0 0 1 1 0 1 0 1 1\n"  // numbers 1 and 2
         " Face 0 1 4 0 0 2 2 0 2 2 2 2 0 2 2\n Face 1 1 4 0 0 1 1 0 1 1 1 1 0 1 1\n"
         " EntityList\n  Face 1 1 3 0 0 3 1 0 3 0 1 3\n End\n Hole 0 1 3 0 0 4 1 0 4 0 1 4\n"  // neither is assembled
         " Face 0 1 4 0 0 0 10 0 0 10 10 0 0 10 0\n Wall\n  Face 1 1 4 0 0 3 3 0 3 3 3 3 0 3 3\n End\n"
         " Wall\n  Face 3 1 4 5 0 0 5 5 0 5 5 3 5 0 3\n  Door 8 1 4 5 1 0 5 2 0 5 2 2 5 1 2\n End\n", model);
    std::vector<std::uint32_t> numbers;
    for (std::uint32_t i = 0; i < model.count(); ++i) numbers.push_back(model.faceAt(i)->number);
    EXPECT_EQ(numbers, (std::vector<std::uint32_t>{7, 6, 4, 5, 3}));  // areas 15, 9, 1 | 100, 4
    EXPECT_TRUE(model.obstructingCount == 3 && model.monopermeableCount() == 1);
    EXPECT_TRUE(model.at(1)->typeCode() == EntityType::face && model.faceAt(1)->owner == nullptr);
    EXPECT_TRUE(model.at(0)->typeCode() == EntityType::wall && model.wallAt(0) == model.at(0));
    std::istringstream in("Entities\n Face 1 1 3 0 0 0 1 0 0 0 1 0\nEnd\n");
    Model other;
    other.load(in);  // another header word gives an empty model
    EXPECT_TRUE(other.count() == 0 && boxTexts() == std::vector<std::string>{"Warning: 'Entities' instead of 'EntityList' in line 2"});
}

TEST_F(ModelTest, FindObstructions) {
    // Obstructing panels at x = 2 and x = 4 and a plain one at x = 6, 10 x 10 around y = z = 0 (numbers 1 to 3).
    // Around z = 20 two obstructing monopermeable panels folded along x = 2, y = 0 (a cabinet's corner); around
    // z = -20 a wall at x = 5 with an open door around y = 0. The segment is searched from `to` toward `from`:
    // distances are measured from `to`.
    load(" Face 1 1 4 2 -5 -5 2 5 -5 2 5 5 2 -5 5\n Face 1 1 4 4 -5 -5 4 5 -5 4 5 5 4 -5 5\n Face 0 1 4 6 -5 -5 6 5 -5 6 5 5 6 -5 5\n"
         " Face 3 1 4 2 0 15 2 0 25 0 -2 25 0 -2 15\n Face 3 1 4 2 0 15 4 -2 15 4 -2 25 2 0 25\n"
         " Wall\n  Face 1 1 4 5 -5 -25 5 5 -25 5 5 -15 5 -5 -15\n  Door 8 1 4 5 -1 -21 5 1 -21 5 1 -19 5 -1 -19\n End\n", model);
    const Coord a(0, 0, 0), b(5, 0, 0), c(10, 0, 0);
    ObstructionList list;
    auto search = [&](const Coord& from, const Coord& to, bool all, const Face* excludeA = nullptr, const Face* excludeB = nullptr) {
        list.clear();
        return model.findObstructions(from, to, all, list, excludeA, excludeB);
    };
    EXPECT_EQ(search(a, a, true), 0);
    EXPECT_TRUE(search(b, a, false) == 2 && list.entries[0].distance == 2 && list.entries[1].distance == 4 && list.entries[0].face->number == 1);
    EXPECT_EQ(search(b, a, true), 2);   // all faces: stops once more than one is crossed
    EXPECT_TRUE(search(c, b, true) == -1 && search(c, b, false) == 0);  // all faces: -1 for a plain face crossed
    EXPECT_TRUE(search(b, a, false, model.faceNumbered(1)) == 1 && list.entries[0].distance == 4);
    // A segment starting on a face is blocked by it (beside it, not).
    EXPECT_TRUE(search(a, Coord(2, 0, 0), false) == 1 && list.entries[0].distance < 1e-6);
    EXPECT_EQ(search(Coord(0, 9, 0), Coord(2, 9, 0), false), 0);
    // The segment crossing the second folded panel at x = 3 is not blocked by it when excludeB (the face the
    // leg belongs to) is the first panel, which shares an edge with it. The open door lets it through.
    for (auto [excludeB, n] : {std::pair{model.faceNumbered(4), 0}, {nullptr, 1}, {model.faceNumbered(1), 1}})
        EXPECT_EQ(search({3, -3, 20}, {3, 1, 20}, false, nullptr, excludeB), n);
    EXPECT_TRUE(search({4.5, 0, -20}, {6, 0, -20}, false) == 0 && search({4.5, 3, -20}, {6, 3, -20}, false) == 1);
}

TEST_F(ModelTest, ReceiversGetTheDelayOfTheNearestSource) {
    Model first, alone;
    load(" Receiver 9 9 9 1 0 0\n", first);
    load(" Receiver 0 0 0 1 0 0\n Source 3 4 0 4 4 0 0 none.spk\n Source 0 0 10 1 0 10 0 none.spk\n"
         " Receiver 0 0 1 1 0 1\n", model);  // loading again replaces the receivers
    ASSERT_EQ(microphones().receiverCount(), 2u);
    EXPECT_TRUE(microphones().at(1)->axis.origin.x == 0 && model.sources.size() == 2);
    EXPECT_DOUBLE_EQ(microphones().at(1)->response.directDelay, 5 / parameters.SoundSpeed);
    EXPECT_DOUBLE_EQ(microphones().at(2)->response.directDelay, std::sqrt(26.0) / parameters.SoundSpeed);
    load(" Receiver 0 0 0 1 0 0\n", alone);
    EXPECT_DOUBLE_EQ(microphones().at(1)->response.directDelay, 1e12 / parameters.SoundSpeed);
}

TEST(ObstructionListTest, InsertsBeforeEqualDistancesAndKeepsTheNearest64) {
    ObstructionList list;
    Face a, b, c;
    for (auto [face, distance] : {std::pair{&a, 2}, {&b, 1}, {&c, 2}}) list.insert(face, distance);
    EXPECT_TRUE(list.count == 3 && list.entries[0].face == &b && list.entries[1].face == &c && list.entries[2].face == &a);
    for (int i = 0; i < 70; ++i) list.insert(&a, 10 + i);  // the 3 first and the 61 nearest of these stay
    EXPECT_TRUE(list.count == 64 && list.entries[63].distance == 10 + 60);
    list.insert(&b, 0.5);
    list.insert(&c, 1000);  // beyond the 64th place: not inserted
    EXPECT_TRUE(list.count == 64 && list.entries[0].distance == 0.5 && list.entries[63].distance == 10 + 59);
}

TEST_F(ModelTest, CabinetFacesArePlacedAroundTheirSource) {
    // A one-band omnidirectional loudspeaker whose cabinet is a rear panel 0.3 behind the acoustic centre and
    // two monopermeable panels of either winding 0.2 in front. Aimed along +y (a quarter turn about z takes
    // (x, y) to (-y, x)), or 45 degrees up or down in the x-z plane, the rear panel ends 0.3 behind the source.
    writeFile("box.spk", readFile(TOLVENO_TEST_DATA "/model/golden/cabinet.spk"));
    load(" Source 1 2 3 1 5 3 0 box.spk\n", model);
    ASSERT_EQ(model.count(), 3u);
    const Face* panel = model.faceAt(0);  // the obstructing one, sorted first
    for (const Coord& p : panel->vertices)
        EXPECT_TRUE(std::abs(p.y - 1.7) < 1e-12 && std::abs(std::abs(p.x - 1) - 0.15) < 1e-12 && std::abs(std::abs(p.z - 3) - 0.2) < 1e-12);
    // A copy of the panel (flags, material, a number of its own) whose derived fields describe the placed panel.
    EXPECT_TRUE(panel->flags == 1 && panel->material == 4 && panel->number == 1 && panel->owner == nullptr);
    EXPECT_TRUE(std::abs(panel->plane.signedDistance(Coord(1, 1.7, 3))) < 1e-12 && panel->contains(Coord(1.1, 1.7, 3.1)));
    // Both windings of a monopermeable panel end with the source on the front side.
    for (const Face* mono : {model.faceAt(1), model.faceAt(2)})
        EXPECT_TRUE(mono->plane.signedDistance(Coord(1, 2, 3)) > 0.1 && std::abs(mono->plane.signedDistance(mono->vertices[0])) < 1e-9);
    const double back = 0.3 / std::sqrt(2.0);
    for (double up : {1.0, -1.0}) {
        Model placed;
        load(" Source 1 2 3 2 2 " + std::to_string(3 + up) + " 0 box.spk\n", placed);
        EXPECT_TRUE(nearlyEqual(placed.faceAt(0)->centroid, Coord(1 - back, 2, 3 - up * back))) << up;
    }
}
