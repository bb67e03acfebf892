// The spatial index must answer every search exactly as the scan of every entry does:
// the same faces, in the same order, at the same distances, for rays and segments
// through tile corners and edges, coplanar tiles, openings and monopermeable faces.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <sstream>

#include "model/EmbreeIndex.h"
#include "model/Model.h"
#include "support/TracingFixture.h"
#include "tracing/EnergyModel.h"

namespace {
constexpr double roomX = 10, roomY = 8, roomZ = 4;

// Where the room stands: turned about its centre so that no face is aligned with the axes, and moved away from
// the origin (as a site plan in national grid coordinates is, where a float's step is half a metre).
struct Placement {
    double turn;
    Vector offset;
};

Coord turned(const Coord& p, const Placement& place) {
    const Coord c(roomX / 2, roomY / 2, roomZ / 2);
    const Vector turnedAboutCentre = rotate(rotate(p - c, Z_AXIS, place.turn), X_AXIS, place.turn / 3) + c;
    return Coord((place.turn == 0 ? Vector(p) : turnedAboutCentre) + place.offset);
}

struct ModelText {
    std::ostringstream out;
    Placement place;
    void face(int flags, std::initializer_list<Coord> corners, const char* kind = " Face ", int material = 1) {
        out << kind << flags << ' ' << material << ' ' << corners.size();
        for (const Coord& c : corners) {
            const Coord p = turned(c, place);
            out << ' ' << p.x << ' ' << p.y << ' ' << p.z;
        }
        out << '\n';
    }
    // A horizontal plane at z cut into tiles of size, with flags.
    void tiles(double z, double size, int flags) {
        for (double x = 0; x < roomX; x += size)
            for (double y = 0; y < roomY; y += size)
                face(flags, {{x, y, z}, {x + size, y, z}, {x + size, y + size, z}, {x, y + size, z}}, " Face ",
                     static_cast<int>(x + y) % 2 + 1);
    }
};

// A 10 x 8 x 4 m room: a floor of 1 m tiles (one of them doubled), a plain ceiling of 2 m tiles, a back
// wall of 1 m tiles, a front wall with a hole and a door, two plain side walls, a monopermeable cabinet
// and random obstructing and plain triangles inside.
std::string roomText(const Placement& place) {
    ModelText m{std::ostringstream{}, place};
    m.out.precision(17);
    m.out << "EntityList\n";
    m.tiles(0, 1, 1);
    m.face(1, {{3, 3, 0}, {4, 3, 0}, {4, 4, 0}, {3, 4, 0}});
    m.tiles(roomZ, 2, 0);
    for (double x = 0; x < roomX; x += 1)
        for (double z = 0; z < roomZ; z += 1) m.face(1, {{x, roomY, z}, {x, roomY, z + 1}, {x + 1, roomY, z + 1}, {x + 1, roomY, z}}, " Face ", 2);
    m.out << " Wall\n";
    m.face(1, {{0, 0, 0}, {roomX, 0, 0}, {roomX, 0, roomZ}, {0, 0, roomZ}}, "  Face ");
    m.face(4, {{2, 0, 1}, {4, 0, 1}, {4, 0, 2}, {2, 0, 2}}, "  Hole ", 4);
    m.face(1, {{6, 0, 0}, {7, 0, 0}, {7, 0, 2}, {6, 0, 2}}, "  Door ", 5);
    m.out << " End\n";
    m.face(0, {{0, 0, 0}, {0, 0, roomZ}, {0, roomY, roomZ}, {0, roomY, 0}});
    m.face(0, {{roomX, 0, 0}, {roomX, roomY, 0}, {roomX, roomY, roomZ}, {roomX, 0, roomZ}});
    // The cabinet: a 0.4 m cube of monopermeable obstructing faces around (7, 5, 1.5).
    const double a = 6.8, b = 7.2, c = 4.8, d = 5.2, e = 1.3, f = 1.7;
    m.face(3, {{a, c, e}, {a, d, e}, {b, d, e}, {b, c, e}});
    m.face(3, {{a, c, f}, {b, c, f}, {b, d, f}, {a, d, f}});
    m.face(3, {{a, c, e}, {b, c, e}, {b, c, f}, {a, c, f}});
    m.face(3, {{a, d, e}, {a, d, f}, {b, d, f}, {b, d, e}});
    m.face(3, {{a, c, e}, {a, c, f}, {a, d, f}, {a, d, e}});
    m.face(3, {{b, c, e}, {b, d, e}, {b, d, f}, {b, c, f}});
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(1, 9), y(1, 7), z(0.5, 3.5), s(-0.8, 0.8);
    for (int k = 0; k < 40; ++k) {
        const Coord p(x(random), y(random), z(random));
        m.face(k % 3 == 0 ? 0 : 1, {p, Coord(p.x + s(random), p.y + s(random), p.z + s(random)),
                                    Coord(p.x + s(random), p.y + s(random), p.z + s(random))}, " Face ", k % 2 + 1);
    }
    m.out << "End\n";
    return m.out.str();
}

struct HitAnswer {
    int n;
    std::vector<const Face*> faces;
    double distance;
    std::array<double, 3> point;
    const Face* monopermeable;
    bool passed;
    bool operator==(const HitAnswer&) const = default;
};

struct ObstructionAnswer {
    int k;
    std::vector<std::pair<const Face*, double>> entries;
    bool operator==(const ObstructionAnswer&) const = default;
};

struct Query {
    Coord from, to;
    double limit;
    bool flag;  // findHit: the pyramid has passed its monopermeable face; findObstructions: all faces
    const Face* excludeA;
    const Face* excludeB;
};

HitAnswer hitAnswer(const Model& model, const Query& q) {
    PyramidSeed seed;
    seed.apex = q.from;
    Pyramid p(seed, BandEnergies{});
    p.ray = Line(q.from, q.to);
    p.monopermeablePassed = q.flag;
    Face *faces[4] = {}, *monopermeable = nullptr;
    Coord point;
    double distance = q.limit;
    const int n = model.findHit(p, point, distance, faces, monopermeable);
    return {n, {faces, faces + n}, distance, {point.x, point.y, point.z}, monopermeable, p.monopermeablePassed};
}

ObstructionAnswer obstructionAnswer(const Model& model, const Query& q, bool toOpaque = false) {
    ObstructionList list;
    ObstructionAnswer a{toOpaque ? model.findObstructionsToOpaque(q.from, q.to, list, q.excludeA, q.excludeB)
                                 : model.findObstructions(q.from, q.to, q.flag, list, q.excludeA, q.excludeB), {}};
    for (std::uint32_t i = 0; i < list.count; ++i) a.entries.emplace_back(list.entries[i].face, list.entries[i].distance);
    return a;
}

// Rays and segments: between random points, and from random points toward tile corners and edge
// midpoints (where up to four tiles are met at one distance) and toward points on the cabinet.
std::vector<Query> queries(const Model& model, const Placement& place) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> x(0.2, 9.8), y(0.2, 7.8), z(0.2, 3.8), unit(0, 1);
    std::uniform_int_distribution<int> column(0, 10), row(0, 8), entry(0, static_cast<int>(model.count()) - 1);
    std::vector<const Face*> cabinet;
    for (std::uint32_t i = 0; i < model.count(); ++i)
        if (model.faceAt(i)->flags & FaceFlag::monopermeable) cabinet.push_back(model.faceAt(i));
    std::vector<Query> result;
    for (int k = 0; k < 6000; ++k) {
        Coord from = turned(Coord(x(random), y(random), z(random)), place);
        Coord to = turned(Coord(x(random), y(random), z(random)), place);
        if (k % 3 == 1) to = turned(Coord(column(random) + (k % 2 ? 0.5 : 0.0), row(random), k % 4 ? 0.0 : roomZ), place);
        if (k % 5 == 2) to = turned(Coord(6.8 + 0.4 * unit(random), k % 2 ? 4.8 : 5.2, 1.3 + 0.4 * unit(random)), place);
        // From far outside, as from a distant source: toward the room and its tile corners.
        if (k % 13 == 6) from = turned(Coord(-400 + unit(random), 300, 60), place);
        const Face* start = k % 7 == 3 ? model.faceAt(static_cast<std::uint32_t>(entry(random))) : nullptr;
        if (start) to = start->centroid;  // a segment that starts on a face, excluded or not
        result.push_back({from, to, k % 11 == 0 ? 3.0 : 1e12, k % 2 == 0, k % 4 == 3 ? start : nullptr,
                          k % 5 == 2 ? cabinet[k % cabinet.size()] : nullptr});
    }
    return result;
}
}  // namespace

// What an arrival keeps through the faces of a list, nearest first, as a leg's receiver applies them.
BandEnergies through(const ObstructionAnswer& a) {
    BandEnergies energy;
    energy.fill(1.0f);
    for (const auto& [face, distance] : a.entries) applyObstruction(energy, face->material);
    return energy;
}

// Materials: 1 transmits nothing, 2 is a 10 dB panel.
class IndexedSearchTest : public TracingFixture {};

TEST_F(IndexedSearchTest, EverySearchAnswersAsTheScanOfEveryEntry) {
    const double crackTolerance = parameters.CrackTolerance;
    for (const Placement& place : {Placement{0, {}}, Placement{0.3, {}}, Placement{0.3, {5e5, 5.4e6, 120}}}) {
        // Far out, the faces' boxes as tight as the faces: only the index's own widening covers its rounding.
        parameters.CrackTolerance = place.offset.x == 0 ? crackTolerance : 1e-6;
        Model model;
        std::istringstream in(roomText(place));
        model.load(in);
        ASSERT_EQ(model.count(), 190u);
        model.buildIndex();  // also in a build for the linear scan
        ASSERT_GT(model.indexBytes(), 0u);
        const std::vector<Query> all = queries(model, place);
        std::vector<HitAnswer> hits;
        std::vector<ObstructionAnswer> obstructions, toOpaque;
        std::vector<std::vector<std::uint32_t>> near, inBox;
        std::vector<std::vector<const Face*>> along;
        // Around points in the room and on tile corners: radii from within one tile to across several.
        auto nearAnswer = [&](std::size_t k) {
            std::vector<std::uint32_t> entries;
            model.facesNear(k % 2 ? all[k].to : all[k].from, std::array{0.05, 0.5, 2.0}[k % 3], entries);
            return entries;
        };
        // The box of a segment: from a sliver to most of the room.
        auto boxOf = [&](std::size_t k) {
            const Coord &a = all[k].from, &b = all[k].to;
            return std::pair{Coord(std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)),
                             Coord(std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z))};
        };
        auto boxAnswer = [&](std::size_t k) {
            std::vector<std::uint32_t> entries;
            model.facesInBox(boxOf(k).first, boxOf(k).second, entries);
            return entries;
        };
        // The same by every face's own box.
        auto byBoxes = [&](std::size_t k) {
            const auto [lo, hi] = boxOf(k);
            std::vector<std::uint32_t> entries;
            for (std::uint32_t i = 0; i < model.count(); ++i) {
                const Face& f = *model.faceAt(i);
                if (f.boxMin.x <= hi.x && f.boxMax.x >= lo.x && f.boxMin.y <= hi.y && f.boxMax.y >= lo.y &&
                    f.boxMin.z <= hi.z && f.boxMax.z >= lo.z)
                    entries.push_back(i);
            }
            return entries;
        };
        // Along an edge of a face (where the tiles' neighbours meet it too), or a segment through the room.
        auto alongAnswer = [&](std::size_t k) {
            const Face* face = model.faceAt(static_cast<std::uint32_t>(k % model.count()));
            const bool edge = k % 3 != 0;
            const Coord a = edge ? face->vertices[0] : all[k].from, b = edge ? face->vertices[1] : all[k].to;
            std::vector<const Face*> found(8);
            found.resize(static_cast<std::size_t>(model.findFacesAlong(a, b, found.data(), 8)));
            return found;
        };
        for (std::size_t k = 0; k < all.size(); ++k) {
            hits.push_back(hitAnswer(model, all[k]));
            along.push_back(alongAnswer(k));
            obstructions.push_back(obstructionAnswer(model, all[k]));
            toOpaque.push_back(obstructionAnswer(model, all[k], true));
            near.push_back(nearAnswer(k));
            inBox.push_back(boxAnswer(k));
        }
        // Every number given, one beyond and 0 (the openings' faces are no entries: none).
        std::vector<const Face*> numbered;
        for (std::uint32_t n = 0; n <= model.faceCounter + 1; ++n) numbered.push_back(model.faceNumbered(n));
        model.dropIndex();
        int found = 0;
        for (std::uint32_t n = 0; n <= model.faceCounter + 1; ++n) {
            ASSERT_EQ(numbered[n], model.faceNumbered(n)) << "face numbered " << n;
            found += numbered[n] != nullptr;
        }
        EXPECT_EQ(found, static_cast<int>(model.count()));
        int ties = 0, passed = 0, blocked = 0, shortened = 0, cut = 0, some = 0, meeting = 0;
        for (std::size_t k = 0; k < all.size(); ++k) {
            const HitAnswer scan = hitAnswer(model, all[k]);
            ASSERT_EQ(hits[k], scan) << "ray " << k << " of the room placed " << place.turn << ", " << place.offset.x;
            const ObstructionAnswer scanned = obstructionAnswer(model, all[k]);
            ASSERT_EQ(obstructions[k], scanned) << "segment " << k << " of the room placed " << place.turn << ", " << place.offset.x;
            ASSERT_EQ(near[k], nearAnswer(k)) << "faces near point " << k << " of the room placed " << place.turn << ", " << place.offset.x;
            ASSERT_TRUE(inBox[k] == boxAnswer(k) && inBox[k] == byBoxes(k)) << "faces in box " << k << " of the room placed " << place.turn << ", " << place.offset.x;
            cut += !near[k].empty();
            some += !inBox[k].empty() && inBox[k].size() < model.count();
            ASSERT_EQ(along[k], alongAnswer(k)) << "faces along " << k << " of the room placed " << place.turn << ", " << place.offset.x;
            meeting += along[k].size() > 1;
            ties += scan.n > 1;
            passed += scan.passed;
            blocked += scanned.k != 0;
            // Ended at an opaque face: the same sound passes as through the whole list.
            const ObstructionAnswer full = obstructionAnswer(model, {all[k].from, all[k].to, 1e12, false, all[k].excludeA, all[k].excludeB});
            ASSERT_TRUE((toOpaque[k].k == 0) == (full.k == 0) && through(toOpaque[k]) == through(full)) << "segment " << k;
            shortened += toOpaque[k].k < full.k;
        }
        // The queries reach the cases that depend on order: ties, monopermeable faces, early answers.
        EXPECT_TRUE(ties > 100 && passed > 100 && blocked > 1000 && shortened > 40 && cut > 2000 && some > 2000 && meeting > 1000)
            << ties << ' ' << passed << ' ' << blocked << ' ' << shortened << ' ' << cut << ' ' << some << ' ' << meeting;
    }
}

// A face's trace can outlast a long chain of ties: Y, met 0.4 µm before the first of 300 parallel squares
// 0.9 µm apart, joins the hit; each nearer, smaller square then stands for the one before it (coplanar
// within the window), so Y stays the second face met although it lies 0.27 mm beyond the nearest square.
TEST_F(IndexedSearchTest, AChainOfTiesLongerThanTheReachIsFollowedToItsEnd) {
    ModelText m{std::ostringstream{}, {0, {}}};
    m.out.precision(17);
    m.out << "EntityList\n";
    auto square = [&](double x, double h) { m.face(1, {{x, -h, -h}, {x, h, -h}, {x, h, h}, {x, -h, h}}); };
    const int squares = 300;
    square(5 + squares * 0.9e-6, 3);
    // Y: x = y + y' / 1000000, nearly parallel to the squares, so that its box begins beyond the reach too.
    const double y = 5 + squares * 0.9e-6 - 0.4e-6 - 1e-8, d = 2.5e-6;
    m.face(1, {{y - d, -2.5, -2.5}, {y + d, 2.5, -2.5}, {y + d, 2.5, 2.5}, {y - d, -2.5, 2.5}});
    for (int k = squares - 1; k >= 0; --k) square(5 + k * 0.9e-6, 2 - 0.005 * (squares - k));
    m.out << "End\n";
    parameters.CrackTolerance = 1e-6;  // boxes as tight as the faces, so that the index can leave Y out
    Model model;
    std::istringstream in(m.out.str());
    model.load(in);
    model.buildIndex();  // also in a build for the linear scan
    const Query q{{0, 0.01, 0.02}, {1, 0.01, 0.02}, 1e12, false, nullptr, nullptr};
    const HitAnswer indexed = hitAnswer(model, q);
    model.dropIndex();
    const HitAnswer scan = hitAnswer(model, q);
    EXPECT_EQ(indexed, scan);
    EXPECT_TRUE(scan.n == 2 && scan.faces[0]->number == 302 && scan.faces[1]->number == 2 && std::fabs(scan.distance - 5) < 1e-9);
}

// A face is along an edge when its plane passes within the crack tolerance c of both ends, even where the edge's
// midpoint lies beyond the face's box widened by c: a square tilted in the plane z = x, an edge 0.9 c off it.
TEST_F(IndexedSearchTest, AFaceIsAlongAnEdgeBeyondItsBoxWithinTheCrackTolerance) {
    const double c = 0.01, s = 0.9 * c / std::sqrt(2.0);
    parameters.CrackTolerance = c;
    Model model;
    std::istringstream in("EntityList\n Face 1 1 4 0 0 0 1 0 1 1 1 1 0 1 0\nEnd\n");
    model.load(in);
    // The point of the plane 0.9 c beyond the top edge (x = z = 1), moved 0.9 c off the plane, upward.
    const Coord middle(1 + 0.9 * c - s, 0.5, 1 + 0.9 * c + s);
    const Face* found[2] = {};
    EXPECT_EQ(model.findFacesAlong(middle - Vector(0, 0.1, 0), middle + Vector(0, 0.1, 0), found, 2), 1);
    EXPECT_GT(middle.z, model.faceAt(0)->boxMax.z);
}

// Far from the origin the index still proposes only the boxes near a ray: a floor of 10,000 one-metre tiles in
// national grid coordinates, a ray straight down onto the middle of one tile from a metre above it.
TEST(EmbreeIndexTest, FarFromTheOriginARayMeetsOnlyTheBoxesNearIt) {
    const Vector offset(5e5, 5.4e6, 120);
    std::vector<BoxTree::Box> tiles;
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j)
            tiles.push_back({Coord(offset + Vector(i, j, -0.001)), Coord(offset + Vector(i + 1, j + 1, 0.001))});
    EmbreeIndex index;
    index.build(tiles);
    std::vector<std::uint32_t> met;
    index.visit(Line(Coord(offset + Vector(50.5, 50.5, 1)), Coord(offset + Vector(50.5, 50.5, 0))), 2,
                [&](std::uint32_t entry) {
                    met.push_back(entry);
                    return 2.0;
                });
    EXPECT_EQ(met, std::vector<std::uint32_t>{5050});
}

