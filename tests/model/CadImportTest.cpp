// The CAD importer: files in the styles exporters write, made here, imported from strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <tuple>

#include "model/CadImport.h"
#include "model/CadMesh.h"
#include "model/EntityList.h"
#include "model/DxfExtras.h"
#include "model/Face.h"
#include "model/MeshOrientation.h"
#include "model/MeshRepair.h"
#include "model/PolygonMerger.h"
#include "support/CadBox.h"
#include "support/UiFixture.h"

namespace {
// The faces of a model text, read by the model file's own reader.
std::unique_ptr<EntityList> readModel(const std::string& text) {
    std::istringstream in(text);
    std::string header;
    readWord(in, header, 79);
    auto list = std::make_unique<EntityList>();
    list->read(in);
    return list;
}

// Whether (x, y) lies inside the xy outline of polygon (crossing number).
bool insideXy(const CadMesh& mesh, const CadPolygon& polygon, double x, double y) {
    bool inside = false;
    const std::vector<std::uint32_t>& c = polygon.corners;
    for (std::size_t i = 0, j = c.size() - 1; i < c.size(); j = i++) {
        const Coord &a = mesh.vertices[c[i]], &b = mesh.vertices[c[j]];
        if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y)) inside = !inside;
    }
    return inside;
}

// The message of a refused import, or "imported".
std::string refusal(const std::string& bytes, const std::string& name, const ImportOptions& options = {}) {
    try {
        importCad(bytes, name, options);
        return "imported";
    } catch (const CadError& error) {
        return error.what();
    }
}

std::vector<const Face*> facesOf(const EntityList& list) {
    std::vector<const Face*> faces;
    for (const Entity* e = list.first; e; e = e->next)
        if (e->typeCode() == EntityType::face) faces.push_back(static_cast<const Face*>(e));
    return faces;
}
}  // namespace

class CadImportTest : public UiFixture {};

// The box as OBJ triangles; in millimetres as DXF 3DFACEs (a triangle writes its third corner twice) with the floor
// as a polyface mesh and the ceiling missing; in centimetres as an ASCII STL of triangles drawn with y up.
TEST_F(CadImportTest, ObjDxfAndStlBoxesBecomeRectanglesFacingTheRoomWithTheirLayersUnitsAndPoints) {
    const auto face = [](const char* layer, std::vector<Coord> corners) {
        std::ostringstream out;
        out << "0\n3DFACE\n8\n" << layer << "\n";
        if (corners.size() == 3) corners.push_back(corners[2]);
        for (int i = 0; i < 4; ++i)
            out << 10 + i << '\n' << corners[i].x << '\n' << 20 + i << '\n' << corners[i].y << '\n' << 30 + i << '\n'
                << corners[i].z << '\n';
        return out.str();
    };
    std::string dxf = "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
    dxf += face("Brick", {{0, 0, 0}, {6000, 0, 0}, {6000, 0, 3000}, {0, 0, 3000}}) +
           face("Brick", {{0, 5000, 0}, {6000, 5000, 0}, {6000, 5000, 3000}}) +
           face("Brick", {{0, 5000, 0}, {6000, 5000, 3000}, {0, 5000, 3000}}) +
           face("Glass", {{0, 0, 0}, {0, 5000, 0}, {0, 5000, 3000}, {0, 0, 3000}}) +
           face("Glass", {{6000, 0, 0}, {6000, 5000, 0}, {6000, 5000, 3000}, {6000, 0, 3000}});
    dxf += "0\nPOLYLINE\n8\nFloor\n66\n1\n70\n64\n71\n4\n72\n1\n";
    for (const char* xy : {"0\n20\n0", "6000\n20\n0", "6000\n20\n5000", "0\n20\n5000"})
        dxf += std::string("0\nVERTEX\n8\nFloor\n10\n") + xy + "\n30\n0\n70\n192\n";
    dxf += "0\nVERTEX\n8\nFloor\n10\n0\n20\n0\n30\n0\n70\n128\n71\n1\n72\n2\n73\n3\n74\n4\n0\nSEQEND\n";
    dxf += "0\nPOINT\n8\nReceivers\n10\n1500\n20\n2000\n30\n1200\n0\nPOINT\n8\nNotes\n10\n0\n20\n0\n30\n0\n";
    std::ostringstream stl;
    stl << "solid hall\n";
    for (const auto& f : boxFaces)
        for (int half = 0; half < 2; ++half) {
            stl << "facet normal 0 0 0\nouter loop\n";
            for (int c : {f[0], f[1 + half], f[2 + half]}) {
                const double* v = boxCorners[c - 1];
                stl << "vertex " << 100 * v[0] << ' ' << 100 * v[2] << ' ' << -100 * v[1] << "\n";
            }
            stl << "endloop\nendfacet\n";
        }
    stl << "endsolid hall\n";
    const std::string sameFaces = "Dropped: 0 degenerate, 0 duplicate\nSplit into triangles (not planar or over 64 "
                                  "corners): 0\nTurned for a consistent orientation: ";
    const struct {
        std::string name, text, report, model, materials;
        double scale;
        std::size_t faces;
        double area;
        unsigned floor, walls;  // the material of the floor and of the other faces (0: not checked)
        bool placed;            // the extent, the facing and the materials of the faces checked
    } cases[] = {
        {"box.obj", boxObj(true),
         "Imported box.obj (no unit declared: taken as metres)\nFaces in: 12, faces out: 6\n" + sameFaces +
             "12\nOpen edges: 0\nMaterials: 2\n  1 Carpet\n  2 Concrete\nSources: 1, receivers: 1\n",
         "\n Source 2 2.5 1.5 3 2.5 1.5 0 omni.spk\n Receiver 4.5 3 1.2 5.5 3 1.2\nEnd\n", "\n2 Concrete, ", 0, 6,
         2 * (30 + 18 + 15), 1, 2, true},
        {"box.dxf", dxf + "0\nENDSEC\n0\nEOF\n",
         "Imported box.dxf (unit declared by the file: 0.001 m)\nFaces in: 6, faces out: 5\n" + sameFaces +
             "2\nOpen edges: 4 (pyramids leave the room through gaps: check the model)\nMaterials: 3\n  1 Brick\n"
             "  2 Glass\n  3 Floor\nSources: 0, receivers: 1\nPoints on other layers or groups, left out: 1\n"
             "Add the missing Source and Receiver records to the model file "
             "(or draw points on layers or in groups named Source... and Receiver...)\n",
 " Receiver 1.5 2 1.2 2.5 2 1.2\n", "\n3 Floor, ", 0, 5, 30 + 18 + 15 + 18 + 15, 3, 0, true},
        {"hall.STL", stl.str(), "Imported hall.STL (scaled by 0.01, y up)\nFaces in: 12, faces out: 6\n" + sameFaces +
             "12\nOpen edges: 0\nMaterials: 1\n  1 hall\nSources: 0, receivers: 0\nAdd the missing Source and "
             "Receiver records to the model file (or draw points on layers or in groups named Source... and "
             "Receiver...)\n", "", "\n1 hall, ", 0.01, 6, 2 * (30 + 18 + 15), 1, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImportOptions options;
        if (c.scale) options.scale = c.scale, options.yUp = true;
        const ImportResult result = importCad(c.text, c.name, options);
        EXPECT_EQ(result.report, c.report);
        EXPECT_NE(result.model.find(c.model), std::string::npos) << result.model;
        EXPECT_NE(result.materials.find(c.materials), std::string::npos) << result.materials;
        const auto model = readModel(result.model);
        Coord low, high;
        model->extent(low, high);
        EXPECT_TRUE(!c.placed || (nearlyEqual(low, Coord(0, 0, 0)) && nearlyEqual(high, Coord(6, 5, 3))));
        const std::vector<const Face*> faces = facesOf(*model);
        EXPECT_EQ(faces.size(), c.faces);
        double area = 0;
        for (const Face* face : faces) {
            EXPECT_EQ(face->vertexCount, 4);
            EXPECT_EQ(face->flags, 1u);
            EXPECT_LE(face->boxMax.x, 6.01);  // in metres
            area += face->area;
            if (!c.placed) continue;
            // The normal points to the room's centre.
            EXPECT_GT(face->plane.signedDistance(Coord(3, 2.5, 1.5)), 1.4);
            const unsigned material = face->boxMax.z < 0.01 ? c.floor : c.walls;
            EXPECT_TRUE(!material || face->material == material) << face->material;
        }
        EXPECT_NEAR(area, c.area, 1e-9);
    }
    // The material file: a row per material with the default values; its reader takes every line as meant (the
    // header defines nothing).
    const ImportResult result = importCad(boxObj(true), "box.obj", {});
    EXPECT_EQ(result.materials.substr(result.materials.find("\n1 ")),
              "\n1 Carpet, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1, 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9 "
              "999.9 999.9, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n2 Concrete, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 "
              "0.1, 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n");
    std::istringstream materialText(result.materials);
    const MaterialLibrary library(materialText);
    EXPECT_FALSE(library.isDefined(0));
    EXPECT_TRUE(library.isDefined(2) && !library.isDefined(3));
}

TEST_F(CadImportTest, DegenerateDuplicateAndNonPlanarFacesAreCountedAndRepaired) {
    const std::string obj =
        "v 0 0 0\nv 4 0 0\nv 4 4 0\nv 0 4 0\nv 2 0 0\nv 4 4 1\n"
        "f 1 2 3 4\n"          // the floor
        "f 4 3 2 1\n"          // the floor again, the other way round
        "f 1 5 2\n"            // three corners on a line
        "f 1 1 2\n"            // two corners only
        "f 1 2 6 4\n";         // a quadrilateral bent 1 m out of its plane
    const ImportResult result = importCad(obj, "bent.obj", {});
    EXPECT_EQ(result.report.substr(0, result.report.find("Open")),
              "Imported bent.obj (no unit declared: taken as metres)\nFaces in: 5, faces out: 3\n"
              "Dropped: 2 degenerate, 1 duplicate\nSplit into triangles (not planar or over 64 corners): 1\n"
              "Turned for a consistent orientation: 2\n");
    const auto model = readModel(result.model);
    for (const Face* face : facesOf(*model)) EXPECT_EQ(face->vertexCount, face->area > 10 ? 4 : 3);
}

TEST_F(CadImportTest, BrokenFilesAreRefusedWithTheFileAndTheProblem) {
    const struct { std::string name, bytes, message; } rows[] = {
        {"empty.obj", "", "empty.obj: the file is empty"},
        {"noise.obj", std::string("v 0 0 0\n\x01\x00\xff", 11), "noise.obj: binary data where text was expected (a zero byte at offset 9)"},
        {"missing.obj", "v 0 0 0\nv 1 0 0\nf 1 2 9\n", "missing.obj: OBJ: vertex index out of range"},
        {"lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n", "lines.obj: the file holds no faces"},
        {"flat.obj", "v 0 0 0\nv 1 0 0\nv 2 0 0\nf 1 2 3\n", "flat.obj: no face of the file has an area"},
        {"nan.obj", "v 0 0 0\nv 1 nan 0\nv 0 1 0\nf 1 2 3\n", "nan.obj: a coordinate is not a finite number"},
        {"far.dxf", "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1e999\n0\n3DFACE\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n0\n22\n1\n32\n0\n13\n0\n23\n1\n33\n0\n0\nENDSEC\n0\nEOF\n",
         "far.dxf: a coordinate is not a finite number"},
        {"noise.stl", std::string(300, '\x07'), "noise.stl: Failed to determine STL storage representation for $$$___magic___$$$.stl."},
        {"bad.dxf", "0\nSECTION\n2\nENTITIES\n0\n3DFACE\n8\nX\n10\nabc\n", "bad.dxf: Cannot parse string \"abc\" as a real number: does not start with digit or decimal point followed by digit."},
        {"room.txt", "v 0 0 0\n", "room.txt: '.txt' is not a format the importer reads"},
    };
    for (const auto& [name, bytes, message] : rows) EXPECT_EQ(refusal(bytes, name), message);
}

TEST_F(CadImportTest, AMappingFileGivesRowsAndLibraryNumbersByNamePattern) {
    ImportOptions options;
    options.mappingName = "hall.map";
    options.mappingText = "# choices of the last import\ncarp* = 0.02 0.02 0.05 0.1 0.2 0.4 0.5 0.6 0.6 0.6\n"
                          "Concrete = 4\nBrick* = 4\n";
    options.libraryText = "4 Painted block, 0.1 0.1 0.1 0.05 0.06 0.07 0.09 0.08 0.08 0.08, 0, 0.3\n";
    const ImportResult result = importCad(boxObj(false), "box.obj", options);
    EXPECT_EQ(result.materials.substr(result.materials.find("\n1 ")),
              "\n1 Carpet, 0.02 0.02 0.05 0.1 0.2 0.4 0.5 0.6 0.6 0.6, 999.9 999.9 999.9 999.9 999.9 999.9 999.9 "
              "999.9 999.9 999.9, 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n4 Concrete, 0.1 0.1 0.1 0.05 0.06 0.07 "
              "0.09 0.08 0.08 0.08, 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9 999.9, 0.3 0.1 0.1 0.1 0.1 "
              "0.1 0.1 0.1 0.1 0.1\n");
    EXPECT_NE(result.report.find("Materials: 2\n  1 Carpet\n  4 Concrete\n"
                                 "Mapping rule that matched no material: hall.map line 4 (Brick*)\nSources"),
              std::string::npos) << result.report;
    const struct { std::string mapping, message; } errors[] = {
        {"Carpet = 0.1 0.2\n", "hall.map line 1: expected 'name = material number (0 to 1023)' or 'name = ten absorption coefficients'"},
        {"\n = 4\n", "hall.map line 2: expected 'name = material number (0 to 1023)' or 'name = ten absorption coefficients'"},
        {"Carpet = 1024\n", "hall.map line 1: expected 'name = material number (0 to 1023)' or 'name = ten absorption coefficients'"},
        {"#\nCarpet = 5\n", "hall.map line 2: material 5 is not in the material library"},
    };
    for (const auto& [mapping, message] : errors) {
        options.mappingText = mapping;
        EXPECT_EQ(refusal(boxObj(false), "box.obj", options), message) << mapping;
    }
}

// A room with a column in it: the room faces its inside, the column the room, however each was drawn.
TEST_F(CadImportTest, TheRoomFacesItsInsideAndAColumnInItFacesTheRoom) {
    const auto addBox = [](CadMesh& mesh, const Coord& low, const Coord& high, bool outward) {
        const auto base = static_cast<std::uint32_t>(mesh.vertices.size());
        for (int k = 0; k < 8; ++k)
            mesh.vertices.emplace_back(k & 1 ? high.x : low.x, k & 2 ? high.y : low.y, k & 4 ? high.z : low.z);
        // Corner bits x = 1, y = 2, z = 4; each quadrilateral runs outward by the right-hand rule.
        const std::uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        for (const auto& q : quads) {
            CadPolygon& polygon = mesh.polygons.emplace_back();
            for (int k = 0; k < 4; ++k) polygon.corners.push_back(base + q[outward ? k : 3 - k]);
        }
    };
    const struct { bool roomOutward, columnOutward; std::uint32_t turned; } rows[] = {
        {true, true, 6}, {false, false, 6}, {false, true, 0}, {true, false, 12}};
    for (const auto& [roomOutward, columnOutward, turned] : rows) {
        CadMesh mesh;
        addBox(mesh, Coord(0, 0, 0), Coord(10, 8, 4), roomOutward);
        addBox(mesh, Coord(4, 3, 0.5), Coord(5, 4, 3.5), columnOutward);
        const OrientationCounts counts = orientMesh(mesh);
        EXPECT_EQ(counts.turned, turned);
        EXPECT_EQ(counts.openEdges, 0u);
        for (std::size_t p = 0; p < mesh.polygons.size(); ++p) {
            const Coord centre = p < 6 ? Coord(5, 4, 2) : Coord(4.5, 3.5, 2);
            const Coord& corner = mesh.vertices[mesh.polygons[p].corners[0]];
            // Negative: the normal points to the box's centre.
            EXPECT_EQ(dot(mesh.areaVector(mesh.polygons[p]), corner - centre) < 0, p < 6) << p;
        }
    }
}

// The faces merged from a mesh's triangles: each has no corner twice and at most 64 corners, keeps the triangles'
// orientation (+z) and all add up to area; there are fewest to most of them.
::testing::AssertionResult mergesExactly(const CadMesh& mesh, double area, std::size_t fewest, std::size_t most) {
    const std::vector<CadPolygon> merged = PolygonMerger(mesh).merge();
    double sum = 0;
    for (const CadPolygon& polygon : merged) {
        std::vector<std::uint32_t> sorted = polygon.corners;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end() || sorted.size() > 64)
            return ::testing::AssertionFailure() << "a face of " << sorted.size() << " corners, one met twice or more";
        sum += mesh.areaVector(polygon).z / 2;
    }
    if (std::fabs(sum - area) > 1e-9 || merged.size() < fewest || merged.size() > most)
        return ::testing::AssertionFailure() << merged.size() << " faces of area " << sum;
    return ::testing::AssertionSuccess();
}

// Seeded property test: a floor of random size cut into a grid of triangles, with a square hole in it, merges into
// two to four simple faces (a floor with a hole needs two) that cover it exactly. A disc of 100 triangles merges
// into faces of at most 64 corners, more than its outline has; a ring of squares, into faces of one loop each.
TEST_F(CadImportTest, MergedFloorsAreSimpleAndCoverTheFloorExactly) {
    std::mt19937 random(19);
    for (int round = 0; round < 20; ++round) {
        const int nx = 3 + static_cast<int>(random() % 8), ny = 3 + static_cast<int>(random() % 8);
        const int holeX = 1 + static_cast<int>(random() % (nx - 2)), holeY = 1 + static_cast<int>(random() % (ny - 2));
        CadMesh mesh;
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) mesh.vertices.emplace_back(i * 0.7, j * 0.3, 0);
        const auto at = [nx](int i, int j) { return static_cast<std::uint32_t>(j * (nx + 1) + i); };
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                if (i == holeX && j == holeY) continue;
                mesh.polygons.push_back({{at(i, j), at(i + 1, j), at(i + 1, j + 1)}, 0});
                mesh.polygons.push_back({{at(i, j), at(i + 1, j + 1), at(i, j + 1)}, 0});
            }
        EXPECT_TRUE(mergesExactly(mesh, (nx * ny - 1) * 0.21, 2, 4)) << "round " << round;
    }
    CadMesh disc;
    disc.vertices.emplace_back(0, 0, 0);
    for (int i = 0; i < 100; ++i) disc.vertices.emplace_back(std::cos(i * M_PI / 50), std::sin(i * M_PI / 50), 0);
    for (std::uint32_t i = 0; i < 100; ++i) disc.polygons.push_back({{0, 1 + i, 1 + (i + 1) % 100}, 0});
    EXPECT_TRUE(mergesExactly(disc, 50 * std::sin(M_PI / 50), 2, 100));
    // A ring of unit squares around a square hole, grown from its top middle square: the bottom middle one comes
    // last and closes the ring along two edges at once, with no corner met twice; the outline would be two loops.
    CadMesh ring;
    for (int j = 0; j <= 3; ++j)
        for (int i = 0; i <= 3; ++i) ring.vertices.emplace_back(i, j, 0);
    const auto corner = [](int i, int j) { return static_cast<std::uint32_t>(j * 4 + i); };
    for (const auto& [i, j] : {std::pair{1, 2}, {0, 2}, {2, 2}, {0, 1}, {2, 1}, {0, 0}, {2, 0}, {1, 0}})
        ring.polygons.push_back({{corner(i, j), corner(i + 1, j), corner(i + 1, j + 1), corner(i, j + 1)}, 0});
    EXPECT_TRUE(mergesExactly(ring, 8, 2, 4));
    // The two triangles of a square merge only when they are of one material.
    CadMesh square;
    square.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (const auto& [second, merged] : {std::pair{0u, std::size_t{1}}, {1u, std::size_t{2}}}) {
        square.polygons = {{{0, 1, 2}, 0}, {{0, 2, 3}, second}};
        EXPECT_TRUE(mergesExactly(square, 1, merged, merged)) << second;
    }
}

TEST_F(CadImportTest, DxfUnitCodesGiveTheirMetres) {
    const struct { int code; double metres; } rows[] = {{0, 0},     {1, 0.0254}, {2, 0.3048}, {3, 0},
                                                        {4, 0.001}, {5, 0.01},   {6, 1},      {14, 0.1}};
    for (const auto& [code, metres] : rows) {
        CadMesh mesh;
        // The linear units' code 70 before it belongs to another variable.
        readDxfExtras("0\nSECTION\n2\nHEADER\n9\n$LUNITS\n70\n4\n9\n$INSUNITS\n70\n" + std::to_string(code) +
                          "\n0\nENDSEC\n",
                      mesh);
        EXPECT_EQ(mesh.declaredUnit, metres) << code;
    }
}

// A crown whose corners 1, 3 and 5 lie on one line (the tracer's plane through them would have no normal) stays one
// face the tracer can use; a site plan in metres a kilometre from its origin keeps a tenth of a millimetre.
TEST_F(CadImportTest, AConcaveOutlineStaysAFaceTheTracerCanUseAndFarCoordinatesKeepATenthOfAMillimetre) {
    const ImportResult crown = importCad("v 0 0 0\nv 1 -1 0\nv 2 0 0\nv 3 -1 0\nv 4 0 0\nv 2 3 0\nf 1 2 3 4 5 6\n",
                                         "crown.obj", {});
    const ImportResult far = importCad("v 1234.56789 -987.65432 12.34567\nv 1236.56789 -987.65432 12.34567\n"
                                       "v 1234.56789 -985.65432 12.34567\nf 1 2 3\n", "site.obj", {});
    const auto crownModel = readModel(crown.model), farModel = readModel(far.model);
    ASSERT_EQ(facesOf(*crownModel).size(), 1u) << crown.model;
    ASSERT_EQ(facesOf(*farModel).size(), 1u) << far.model;
    EXPECT_NEAR(std::fabs(facesOf(*crownModel)[0]->plane.normal().z), 1, 1e-12) << crown.model;
    double nearest = 1e300;
    for (const Coord& p : facesOf(*farModel)[0]->vertices)
        nearest = std::min(nearest, distance(p, Coord(1234.56789, -987.65432, 12.34567)));
    EXPECT_LT(nearest, 1e-4) << far.model;
}

// Outlines a fan from the first corner splits wrongly: the triangles of the
// repair must keep the orientation, add up to the outline's area and, seen
// from above, cover every point of it once and no point outside it.
TEST_F(CadImportTest, SplitOutlinesAreCoveredExactlyOnceByTheirTriangles) {
    CadMesh lifted;  // an L whose inner corner is lifted 1 cm, drawn from a corner that cannot see the whole L
    lifted.vertices = {{4, 0, 0}, {4, 1, 0}, {1, 1, 0.01}, {1, 3, 0}, {0, 3, 0}, {0, 0, 0}};
    CadMesh star;  // a flat star of 40 points: 80 corners
    for (int i = 0; i < 80; ++i)
        star.vertices.emplace_back((i % 2 ? 0.5 : 2) * std::cos(i * M_PI / 40), (i % 2 ? 0.5 : 2) * std::sin(i * M_PI / 40), 0);
    std::mt19937 random(7);
    for (CadMesh* mesh : {&lifted, &star}) {
        CadPolygon outline;
        for (std::uint32_t i = 0; i < mesh->vertices.size(); ++i) outline.corners.push_back(i);
        const double area = mesh->areaVector(outline).z / 2;
        mesh->polygons = {outline};
        EXPECT_EQ(repairMesh(*mesh).split, 1u);
        EXPECT_EQ(mesh->polygons.size(), outline.corners.size() - 2);
        double sum = 0;
        for (const CadPolygon& triangle : mesh->polygons) {
            EXPECT_GT(mesh->areaVector(triangle).z, 0);
            sum += mesh->areaVector(triangle).z / 2;
        }
        EXPECT_NEAR(sum, area, 1e-9);
        std::uniform_real_distribution<double> coordinate(-2, 4);
        for (int sample = 0; sample < 2000; ++sample) {
            const double x = coordinate(random), y = coordinate(random);
            int covering = 0;
            for (const CadPolygon& triangle : mesh->polygons) covering += insideXy(*mesh, triangle, x, y);
            ASSERT_EQ(covering, insideXy(*mesh, outline, x, y) ? 1 : 0) << x << ' ' << y;
        }
    }
    // A flat outline is split only beyond 64 corners: 64 stay one face, 65 become 63 triangles.
    for (const auto& [corners, split, polygons] : {std::tuple{64, 0u, std::size_t{1}}, {65, 1u, std::size_t{63}}}) {
        CadMesh mesh;
        CadPolygon& outline = mesh.polygons.emplace_back();
        for (int i = 0; i < corners; ++i) {
            mesh.vertices.emplace_back(std::cos(i * 2 * M_PI / corners), std::sin(i * 2 * M_PI / corners), 0);
            outline.corners.push_back(static_cast<std::uint32_t>(i));
        }
        EXPECT_EQ(repairMesh(mesh).split, split) << corners;
        EXPECT_EQ(mesh.polygons.size(), polygons) << corners;
    }
}

TEST_F(CadImportTest, VerticesWithinAMicrometreAreJoinedAcrossCellBoundaries) {
    // Cells are a micrometre wide, centred on whole micrometres: 0.3 and 0.7 lie on either side of a boundary.
    const struct { Coord a, b; std::size_t vertices; } rows[] = {
        {{0.1e-6, 0, 0}, {0.4e-6, 0, 0}, 3},                    // in one cell
        {{0.3e-6, 0, 0}, {0.7e-6, 0, 0}, 3},                    // either side of a boundary in x
        {{0, 0.3e-6, 0.3e-6}, {0, 0.7e-6, 0.7e-6}, 3},          // of an edge of cells
        {{0.3e-6, 0.3e-6, 0.3e-6}, {0.7e-6, 0.7e-6, 0.7e-6}, 3},  // of a corner of cells
        {{-0.3e-6, 0, 0}, {1.2e-6, 0, 0}, 4},                   // 1.5 µm apart
    };
    for (const auto& [a, b, vertices] : rows) {
        CadMesh mesh;
        mesh.vertices = {a, b, {1, 0, 0}, {0, 1, 0}};
        mesh.polygons = {{{0, 2, 3}, 0}, {{1, 3, 2}, 0}};
        repairMesh(mesh);
        EXPECT_EQ(mesh.vertices.size(), vertices) << b.x;
    }
}
