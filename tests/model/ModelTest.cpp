#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "acoustics/MicrophoneList.h"
#include "acoustics/SpeakerInfo.h"
#include "model/Model.h"
#include "model/Wall.h"
#include "support/UiFixture.h"

class ModelTest : public UiFixture {
protected:
    void load(const std::string& body) {
        std::istringstream in("EntityList\n" + body + "End\n");
        model.load(in);
    }

    /// The entry whose face carries a number.
    const Face* numbered(std::uint32_t number) const {
        for (std::uint32_t i = 0; i < model.count(); ++i)
            if (model.faceAt(i)->number == number) return model.faceAt(i);
        return nullptr;
    }

    Model model;
};

// A 10 x 10 floor at z = 0 split along its diagonal, and the square walls used below.
const char* const floorTriangles =
    " Face 0 1 3 0 0 0 10 0 0 10 10 0\n"
    " Face 0 1 3 0 0 0 10 10 0 0 10 0\n";

TEST_F(ModelTest, AnotherHeaderWordGivesAnEmptyModel) {
    std::istringstream in("Entities\n Face 1 1 3 0 0 0 1 0 0 0 1 0\nEnd\n");
    model.load(in);
    EXPECT_EQ(model.count(), 0u);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: 'Entities' instead of 'EntityList' in line 2"});
}

TEST_F(ModelTest, CoplanarTrianglesMergeIntoAQuadrilateral) {
    load(floorTriangles);
    ASSERT_EQ(model.count(), 1u);
    const Face* quad = model.faceAt(0);
    EXPECT_EQ(quad->vertexCount, 4);
    EXPECT_EQ(quad->number, 1u);  // the earlier triangle's number
    // A's vertices with B's third vertex after the shared edge's start: (0,0,0) (10,0,0) (10,10,0) (0,10,0).
    EXPECT_TRUE(nearlyEqual(quad->vertices[3], Coord(0, 10, 0)));
    EXPECT_TRUE(quad->isBoxRectangle);
    EXPECT_DOUBLE_EQ(quad->area, 100);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Warning: Merging triangles 2 & 1"});
}

TEST_F(ModelTest, TrianglesThatDoNotMerge) {
    load(" Face 0 1 3 0 0 0 10 0 0 10 10 0\n Face 0 2 3 0 0 0 10 10 0 0 10 0\n"   // other material
         " Face 0 1 3 0 0 5 10 0 6 10 10 6\n Face 0 1 3 0 0 5 10 10 6 0 10 5\n"   // a sloping roof
         " Face 1 1 3 20 0 0 30 0 0 30 10 0\n Face 0 1 3 20 0 0 30 10 0 20 10 0\n"  // other flags
         " Face 0 1 3 40 0 0 50 0 0 50 10 0\n Face 0 1 3 40 0 1 50 10 1 40 10 1\n");  // parallel planes
    EXPECT_EQ(model.count(), 8u);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ModelTest, WallsWithoutOpeningsBecomeFaces) {
    load(" Wall\n  Face 1 1 4 0 0 0 0 5 0 0 5 3 0 0 3\n End\n"
         " Wall\n  Face 1 1 4 5 0 0 5 5 0 5 5 3 5 0 3\n  Door 8 1 4 5 1 0 5 2 0 5 2 2 5 1 2\n End\n");
    ASSERT_EQ(model.count(), 2u);
    const Face* plain = numbered(1);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->owner, nullptr);
    int walls = 0;
    for (std::uint32_t i = 0; i < model.count(); ++i) walls += model.at(i)->typeCode() == EntityType::wall;
    EXPECT_EQ(walls, 1);
}

TEST_F(ModelTest, TransparentFacesAreNumberedButLeftOut) {
    load(" Face 4 1 3 0 0 0 1 0 0 0 1 0\n Face 8 1 3 0 0 1 1 0 1 0 1 1\n Face 1 1 4 0 0 2 1 0 2 1 1 2 0 1 2\n"
         " EntityList\n  Face 1 1 3 0 0 3 1 0 3 0 1 3\n End\n Hole 0 1 3 0 0 4 1 0 4 0 1 4\n");
    ASSERT_EQ(model.count(), 1u);
    EXPECT_EQ(model.faceAt(0)->number, 3u);
}

TEST_F(ModelTest, AlwaysObstructingCountsEveryPlainFace) {
    parameters.AlwaysObstructing = true;
    load(" Face 0 1 4 0 0 0 1 0 0 1 1 0 0 1 0\n Face 2 1 4 0 0 1 1 0 1 1 1 1 0 1 1\n"
         " Face 3 1 4 0 0 2 1 0 2 1 1 2 0 1 2\n");
    EXPECT_EQ(model.obstructingCount, 2u);  // the flags-0 face became obstructing; flags 2 stays as it is
    EXPECT_EQ(model.monopermeableCount(), 2u);
}

TEST_F(ModelTest, SortPutsObstructingFacesFirstThenLargerOnes) {
    load(" Face 0 1 4 0 0 0 10 0 0 10 10 0 0 10 0\n"      // 100 m², not obstructing
         " Face 1 1 4 0 0 1 1 0 1 1 1 1 0 1 1\n"          // 1 m², obstructing
         " Face 0 1 4 0 0 2 2 0 2 2 2 2 0 2 2\n"          // 4 m²
         " Face 1 1 4 0 0 3 3 0 3 3 3 3 0 3 3\n");        // 9 m², obstructing
    ASSERT_EQ(model.count(), 4u);
    EXPECT_EQ(model.obstructingCount, 2u);
    const std::uint32_t order[] = {4, 2, 1, 3};
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(model.faceAt(i)->number, order[i]) << "entry " << i;
}

TEST_F(ModelTest, FindObstructions) {
    // Two obstructing panels at x = 2 and x = 4 and a non-obstructing one at x = 6, all 10 x 10 around y, z = 0.
    load(" Face 1 1 4 2 -5 -5 2 5 -5 2 5 5 2 -5 5\n Face 1 1 4 4 -5 -5 4 5 -5 4 5 5 4 -5 5\n"
         " Face 0 1 4 6 -5 -5 6 5 -5 6 5 5 6 -5 5\n");
    const Coord a(0, 0, 0), b(5, 0, 0), c(10, 0, 0);
    ObstructionList list;
    EXPECT_EQ(model.findObstructions(a, a, true, list, nullptr, nullptr), 0);
    EXPECT_EQ(model.findObstructions(b, a, false, list, nullptr, nullptr), 2);
    // Examined from `to` toward `from`: distances are measured from `to` = a.
    EXPECT_EQ(list.entries[0].face->plane.signedDistance(Coord(2, 0, 0)), 0);
    EXPECT_DOUBLE_EQ(list.entries[0].distance, 2);
    EXPECT_DOUBLE_EQ(list.entries[1].distance, 4);

    list.clear();
    EXPECT_EQ(model.findObstructions(b, a, true, list, nullptr, nullptr), 2);  // stops at the second
    list.clear();
    EXPECT_EQ(model.findObstructions(c, Coord(5, 0, 0), true, list, nullptr, nullptr), -1);
    list.clear();
    EXPECT_EQ(model.findObstructions(c, Coord(5, 0, 0), false, list, nullptr, nullptr), 0);
    list.clear();
    model.findObstructions(b, a, false, list, nullptr, nullptr);
    Face* nearer = list.entries[0].face;
    list.clear();
    EXPECT_EQ(model.findObstructions(b, a, false, list, nearer, nullptr), 1);
    EXPECT_DOUBLE_EQ(list.entries[0].distance, 4);
}

TEST_F(ModelTest, ASegmentStartingOnAFaceIsBlockedByIt) {
    load(" Face 1 1 4 2 -5 -5 2 5 -5 2 5 5 2 -5 5\n");
    ObstructionList list;
    EXPECT_EQ(model.findObstructions(Coord(0, 0, 0), Coord(2, 0, 0), false, list, nullptr, nullptr), 1);
    EXPECT_LT(list.entries[0].distance, 1e-6);
    list.clear();
    EXPECT_EQ(model.findObstructions(Coord(0, 9, 0), Coord(2, 9, 0), false, list, nullptr, nullptr), 0)
        << "beside the face";
}

TEST_F(ModelTest, AMonopermeableFaceSharingAnEdgeWithTheLegsOwnDoesNotBlock) {
    // Two obstructing monopermeable panels folded along the edge x = 2, z from -5 to 5 (a cabinet's
    // corner), and a plain panel beside them; the segment crosses the second at x = 3.
    load(" Face 3 1 4 2 0 -5 2 0 5 0 -2 5 0 -2 -5\n Face 3 1 4 2 0 -5 4 -2 -5 4 -2 5 2 0 5\n"
         " Face 1 1 4 9 -9 -5 9 -9 5 8 -9 5 8 -9 -5\n");
    const Face* own = numbered(1);
    const Face* other = numbered(3);
    const Coord from(3, -3, 0), to(3, 1, 0);
    const struct {
        const Face* excludeB;
        int count;
    } cases[] = {{own, 0}, {nullptr, 1}, {other, 1}};
    for (const auto& c : cases) {
        ObstructionList list;
        EXPECT_EQ(model.findObstructions(from, to, false, list, nullptr, c.excludeB), c.count)
            << (c.excludeB ? c.excludeB->number : 0);
    }
}

TEST_F(ModelTest, AnOpenDoorLetsTheSegmentThrough) {
    load(" Wall\n  Face 1 1 4 5 -5 -5 5 5 -5 5 5 5 5 -5 5\n  Door 8 1 4 5 -1 -1 5 1 -1 5 1 1 5 -1 1\n End\n");
    ObstructionList list;
    EXPECT_EQ(model.findObstructions(Coord(0, 0, 0), Coord(10, 0, 0), false, list, nullptr, nullptr), 0);
    EXPECT_EQ(model.findObstructions(Coord(0, 3, 0), Coord(10, 3, 0), false, list, nullptr, nullptr), 1);
}

TEST_F(ModelTest, ReceiversGetTheDelayOfTheNearestSource) {
    parameters.setTemperature(20);
    load(" Receiver 0 0 0 1 0 0\n Source 3 4 0 4 4 0 0 none.spk\n Source 0 0 10 1 0 10 0 none.spk\n"
         " Receiver 0 0 1 1 0 1\n");
    ASSERT_EQ(microphones().receiverCount(), 2u);
    EXPECT_DOUBLE_EQ(microphones().at(1)->response.directDelay, 5 / parameters.SoundSpeed);
    EXPECT_DOUBLE_EQ(microphones().at(2)->response.directDelay, std::sqrt(26.0) / parameters.SoundSpeed);
    EXPECT_EQ(model.sources.size(), 2u);
}

TEST_F(ModelTest, AReceiverWithoutSources) {
    load(" Receiver 0 0 0 1 0 0\n");
    ASSERT_EQ(microphones().receiverCount(), 1u);
    EXPECT_DOUBLE_EQ(microphones().at(1)->response.directDelay, 1e12 / parameters.SoundSpeed);
}

TEST_F(ModelTest, LoadingAgainReplacesTheReceivers) {
    load(" Receiver 0 0 0 1 0 0\n Receiver 1 0 0 2 0 0\n");
    Model second;
    std::istringstream in("EntityList\n Receiver 5 5 5 6 5 5\nEnd\n");
    second.load(in);
    ASSERT_EQ(microphones().receiverCount(), 1u);
    EXPECT_EQ(microphones().at(1)->axis.origin.x, 5);
}

TEST(ObstructionListTest, InsertsBeforeEqualDistancesAndKeeps64) {
    ObstructionList list;
    Face a, b, c;
    list.insert(&a, 2);
    list.insert(&b, 1);
    list.insert(&c, 2);
    ASSERT_EQ(list.count, 3u);
    EXPECT_EQ(list.entries[0].face, &b);
    EXPECT_EQ(list.entries[1].face, &c);  // before the equal distance already there
    EXPECT_EQ(list.entries[2].face, &a);
    for (int i = 0; i < 70; ++i) list.insert(&a, 10 + i);
    EXPECT_EQ(list.count, 64u);
    EXPECT_EQ(list.entries[63].distance, 10 + 60);  // the 3 first and the 61 nearest of the rest
    list.insert(&b, 0.5);
    EXPECT_EQ(list.count, 64u);
    EXPECT_EQ(list.entries[0].distance, 0.5);
    EXPECT_EQ(list.entries[63].distance, 10 + 59);  // the farthest fell off
    list.insert(&c, 1000);
    EXPECT_EQ(list.entries[63].distance, 10 + 59);  // beyond the 64th place: not inserted
}

namespace {
// A one-band loudspeaker file radiating equally everywhere, with a cabinet.
std::string speakerWithCabinet(const std::string& cabinet) {
    std::string text = "a\nb\nc\nd\nBands, 1\nBand, 6\nfree\nPower, Lw, 100\nx\ny\nz\n";
    for (int row = 0; row < 18; ++row) {
        text += "Plane, " + std::to_string(row);
        for (int column = 0; column < 36; ++column) text += ",1";
        text += "\n";
    }
    return text + "EntityList\n" + cabinet + "End\n";
}
}  // namespace

TEST_F(ModelTest, CabinetFacesArePlacedAroundTheirSource) {
    // The rear panel of the cabinet, 0.3 behind the acoustic centre; the source faces +y.
    writeFile("box.spk", speakerWithCabinet(" Face 1 1 4 -0.3 -0.15 -0.2 -0.3 -0.15 0.2 -0.3 0.15 0.2 -0.3 0.15 -0.2\n"));
    load(" Source 1 2 3 1 5 3 0 box.spk\n Receiver 0 0 0 1 0 0\n");
    ASSERT_EQ(model.count(), 1u);
    const Face* panel = model.faceAt(0);
    // A quarter turn about z takes (x, y) to (-y, x): the panel's (-0.3, +-0.15) become (+-0.15, -0.3).
    for (const Coord& p : panel->vertices) {
        EXPECT_NEAR(p.y, 2 - 0.3, 1e-12);
        EXPECT_NEAR(std::fabs(p.x - 1), 0.15, 1e-12);
        EXPECT_NEAR(std::fabs(p.z - 3), 0.2, 1e-12);
    }
    // The derived fields describe the placed panel, not the one in the loudspeaker's frame.
    EXPECT_NEAR(panel->plane.signedDistance(Coord(1, 1.7, 3)), 0, 1e-12);
    EXPECT_NEAR(panel->centroid.y, 1.7, 1e-12);
    EXPECT_TRUE(panel->contains(Coord(1.1, 1.7, 3.1)));
    EXPECT_EQ(panel->number, 1u);
}

TEST_F(ModelTest, ACabinetFollowsItsSourceUpAndDown) {
    // The rear panel 0.3 behind the acoustic centre ends 0.3 behind the source along its axis,
    // whether the source is aimed 45 degrees up or down.
    writeFile("box.spk", speakerWithCabinet(" Face 1 1 4 -0.3 -0.15 -0.2 -0.3 -0.15 0.2 -0.3 0.15 0.2 -0.3 0.15 -0.2\n"));
    for (double up : {1.0, -1.0}) {
        Model placed;
        std::istringstream in("EntityList\n Source 1 2 3 2 2 " + std::to_string(3 + up) + " 0 box.spk\nEnd\n");
        placed.load(in);
        ASSERT_EQ(placed.count(), 1u);
        const Coord& c = placed.faceAt(0)->centroid;
        const double back = 0.3 / std::sqrt(2.0);
        EXPECT_NEAR(c.x, 1 - back, 1e-12) << up;
        EXPECT_NEAR(c.y, 2, 1e-12) << up;
        EXPECT_NEAR(c.z, 3 - up * back, 1e-12) << up;
    }
}

TEST_F(ModelTest, MonopermeableCabinetFacesFaceTheirSource) {
    // Both windings of a monopermeable panel end with the source on the front side.
    writeFile("mono.spk", speakerWithCabinet(" Face 2 1 3 0.2 -1 -1 0.2 1 -1 0.2 0 1\n Face 2 1 3 0.2 -1 -1 0.2 0 1 0.2 1 -1\n"));
    load(" Source 0 0 0 0 0 5 30 mono.spk\n Receiver 5 5 5 1 0 0\n");
    ASSERT_EQ(model.count(), 2u);
    for (std::uint32_t i = 0; i < 2; ++i) {
        const Face* panel = model.faceAt(i);
        EXPECT_GT(panel->plane.signedDistance(Coord(0, 0, 0)), 0.1) << "panel " << i;
        EXPECT_NEAR(panel->plane.signedDistance(panel->vertices[0]), 0, 1e-9);
    }
}
