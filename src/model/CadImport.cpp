#include "model/CadImport.h"

#include <cstring>
#include <filesystem>
#include <sstream>
#include <strings.h>

#include "model/CadReader.h"
#include "model/MaterialMapping.h"
#include "model/MeshOrientation.h"
#include "model/MeshRepair.h"
#include "model/PolygonMerger.h"

namespace {
// Every face is obstructing: a receiver behind a partition, a balcony or a
// column of an imported room must not hear through it.
constexpr int faceFlags = 1;

bool startsWith(const std::string& name, const char* prefix) {
    return strncasecmp(name.c_str(), prefix, std::strlen(prefix)) == 0;
}

void writePoint(std::ostream& out, const Coord& p) { out << p.x << ' ' << p.y << ' ' << p.z; }

// Sources and receivers from points on layers or in groups named after them;
// answers the counts of both and the points that were neither.
std::string writePoints(std::ostream& out, const CadMesh& mesh, unsigned& sources, unsigned& receivers) {
    unsigned others = 0;
    for (const CadPoint& point : mesh.points) {
        // The aim only sets the loudspeaker's axis and the receiver's front: +x for both.
        const Coord aim = point.position + Vector(1, 0, 0);
        if (startsWith(point.name, "source")) {
            out << " Source ";
            writePoint(out, point.position);
            out << ' ';
            writePoint(out, aim);
            out << " 0 omni.spk\n";
            ++sources;
        } else if (startsWith(point.name, "receiver")) {
            out << " Receiver ";
            writePoint(out, point.position);
            out << ' ';
            writePoint(out, aim);
            out << "\n";
            ++receivers;
        } else {
            ++others;
        }
    }
    return others ? "Points on other layers or groups, left out: " + std::to_string(others) + "\n" : "";
}

// The names the kept polygons use, and each polygon's index into them.
std::vector<std::string> usedMaterials(CadMesh& mesh) {
    std::vector<std::string> names;
    std::vector<int> renumbered(mesh.materials.size(), -1);
    for (CadPolygon& polygon : mesh.polygons) {
        int& index = renumbered[polygon.material];
        if (index < 0) {
            index = static_cast<int>(names.size());
            names.push_back(mesh.materials[polygon.material]);
        }
        polygon.material = static_cast<std::uint32_t>(index);
    }
    return names;
}

std::string format(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

double unitOf(const CadMesh& mesh, const ImportOptions& options, std::string& said) {
    if (options.scale > 0) {
        said = "scaled by " + format(options.scale);
        return options.scale;
    }
    if (mesh.declaredUnit > 0) {
        said = "unit declared by the file: " + format(mesh.declaredUnit) + " m";
        return mesh.declaredUnit;
    }
    said = "no unit declared: taken as metres";
    return 1;
}
}  // namespace

ImportResult importCad(const std::string& bytes, const std::string& fileName, const ImportOptions& options) {
    MaterialMapping mapping;
    if (!options.mappingName.empty()) mapping = MaterialMapping(options.mappingText, options.mappingName);
    if (!options.libraryText.empty()) mapping.setLibrary(options.libraryText);
    CadMesh mesh = readCad(bytes, fileName);
    const std::size_t facesIn = mesh.polygons.size();
    std::string unit;
    mesh.transform(unitOf(mesh, options, unit), options.yUp);
    const RepairCounts repair = repairMesh(mesh);
    if (mesh.polygons.empty()) throw CadError(fileName + ": no face of the file has an area");
    const OrientationCounts orientation = orientMesh(mesh);
    mesh.polygons = PolygonMerger(mesh).merge();
    const std::vector<std::string> names = usedMaterials(mesh);
    if (names.size() >= MaterialLibrary::materialCount) throw CadError(fileName + ": more than 1023 materials");
    const std::vector<std::uint16_t> numbers = mapping.assign(names);

    std::ostringstream model, report;
    // Enough digits that a tenth of a millimetre survives in a coordinate of kilometres.
    model.precision(10);
    model << "EntityList\n Text Imported from " << std::filesystem::path(fileName).filename().string()
          << " by tolveno-import\n";
    for (const CadPolygon& polygon : mesh.polygons) {
        model << " Face " << faceFlags << ' ' << numbers[polygon.material] << ' ' << polygon.corners.size();
        for (std::uint32_t corner : polygon.corners) {
            model << "  ";
            writePoint(model, mesh.vertices[corner]);
        }
        model << '\n';
    }
    unsigned sources = 0, receivers = 0;
    const std::string otherPoints = writePoints(model, mesh, sources, receivers);
    model << "End\n";

    report << "Imported " << fileName << " (" << unit << (options.yUp ? ", y up" : "") << ")\n"
           << "Faces in: " << facesIn << ", faces out: " << mesh.polygons.size() << "\n"
           << "Dropped: " << repair.degenerate << " degenerate, " << repair.duplicates << " duplicate\n"
           << "Split into triangles (not planar or over 64 corners): " << repair.split << "\n"
           << "Turned for a consistent orientation: " << orientation.turned << "\n"
           << "Open edges: " << orientation.openEdges
           << (orientation.openEdges ? " (pyramids leave the room through gaps: check the model)\n" : "\n")
           << "Materials: " << names.size() << "\n";
    for (std::size_t i = 0; i < names.size(); ++i) report << "  " << numbers[i] << ' ' << names[i] << "\n";
    // A rule that no longer matches is a choice a re-import would silently lose.
    for (const std::string& rule : mapping.unusedRules()) report << "Mapping rule that matched no material: " << rule << "\n";
    report << "Sources: " << sources << ", receivers: " << receivers << "\n" << otherPoints;
    if (sources == 0 || receivers == 0)
        report << "Add the missing Source and Receiver records to the model file "
                  "(or draw points on layers or in groups named Source... and Receiver...)\n";
    return {model.str(), mapping.materialFile(std::filesystem::path(fileName).filename().string()), report.str()};
}
