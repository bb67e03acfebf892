#include "model/DxfExtras.h"

#include <cstdlib>
#include <sstream>

namespace {
// Metres per unit of the $INSUNITS codes CAD programs write for buildings;
// 0 (unitless) and the astronomical ones declare nothing useful here.
double metresPerUnit(int code) {
    switch (code) {
        case 1: return 0.0254;
        case 2: return 0.3048;
        case 4: return 0.001;
        case 5: return 0.01;
        case 6: return 1;
        case 14: return 0.1;
        default: return 0;
    }
}

// A DXF file is a sequence of pairs of lines: a group code, then its value.
bool nextPair(std::istream& in, int& code, std::string& value) {
    std::string codeLine;
    if (!std::getline(in, codeLine) || !std::getline(in, value)) return false;
    if (!value.empty() && value.back() == '\r') value.pop_back();
    const std::size_t start = value.find_first_not_of(' ');
    value.erase(0, start == std::string::npos ? value.size() : start);
    code = std::atoi(codeLine.c_str());
    return true;
}
}  // namespace

void readDxfExtras(const std::string& text, CadMesh& mesh) {
    std::istringstream in(text);
    int code = 0;
    std::string value, variable;
    CadPoint* point = nullptr;
    while (nextPair(in, code, value)) {
        if (code == 0) {
            // A new entity ends the point being read.
            point = nullptr;
            if (value == "POINT") point = &mesh.points.emplace_back();
        } else if (code == 9) {
            variable = value;
        } else if (code == 70 && variable == "$INSUNITS") {
            mesh.declaredUnit = metresPerUnit(std::atoi(value.c_str()));
            variable.clear();
        } else if (point) {
            const double number = std::atof(value.c_str());
            if (code == 8) point->name = value;
            if (code == 10) point->position.x = number;
            if (code == 20) point->position.y = number;
            if (code == 30) point->position.z = number;
        }
    }
}
