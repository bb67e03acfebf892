#include "tracing/section/SectionDrawing.h"

#include <atomic>
#include <cmath>
#include <fstream>
#include <ostream>

#include "results/ResultsFile.h"
#include "tracing/section/PathNode.h"

namespace {
// The drawing numbers taken so far in this run. Worker threads take their
// number with one atomic increment, so that no two drawings share a file and
// no lock is held while writing (the tracer's own locks can never nest with it).
std::atomic<unsigned> taken{0};

void line(std::ostream& out, const char* layer, const X2DPoint& a, const X2DPoint& b) {
    out << "0\nLINE\n8\n" << layer << "\n10\n" << a.x << "\n20\n" << a.y << "\n11\n" << b.x << "\n21\n" << b.y << '\n';
}

const char* nodeLayer(const X2DEntity& node) {
    const auto* pathNode = dynamic_cast<const PathNode*>(&node);
    if (pathNode && pathNode->isSource()) return "SORGENTI";
    if (pathNode && pathNode->isReceiver()) return "SENSORI";
    return "PUNTI";
}
}  // namespace

void SectionDrawing::write(std::ostream& out) const {
    out << "0\nSECTION\n2\nENTITIES\n";
    for (std::size_t i = 0; i < obstacles_.count(); ++i) {
        const X2DSegment& s = obstacles_.segment(i);
        line(out, std::fabs(s.a.x - s.b.x) <= 1e-6 ? "MURI" : "GROUND", s.a, s.b);
    }
    for (std::size_t i = 0; i < nodes_.count(); ++i) {
        const auto* node = dynamic_cast<const X2DPoint*>(&nodes_.at(i));
        if (!node) continue;
        out << "0\nCIRCLE\n8\n"
            << nodeLayer(*node) << "\n10\n"
            << node->x << "\n20\n"
            << node->y << "\n40\n"
            << nodeRadius << '\n';
    }
    for (std::size_t i = 1; i < path_.count(); ++i) line(out, "RAGGI", path_.point(i - 1), path_.point(i));
    out << "0\nENDSEC\n0\nEOF\n";
}

bool SectionDrawing::save() const {
    // A number is taken even when the file then cannot be created, so that a
    // run never tries more than maxFiles files.
    const unsigned number = taken.fetch_add(1, std::memory_order_relaxed) + 1;
    if (number > maxFiles) {
        // Keeps the counter from wrapping around after billions of calls.
        taken.store(maxFiles, std::memory_order_relaxed);
        return false;
    }
    std::ofstream file(fileName(number), std::ios::out | std::ios::trunc);
    if (!file) return false;
    write(file);
    file.flush();
    return static_cast<bool>(file);
}

std::string SectionDrawing::fileName(unsigned number) {
    // withExtension drops the extension by the same rule as every other file
    // name of the run and always appends ".dxf", which is then cut off again
    // to place the number before it.
    const std::string name = withExtension(resultsFileName(0), "dxf");
    return name.substr(0, name.size() - 4) + "$" + std::to_string(number) + ".dxf";
}

bool SectionDrawing::available() { return taken.load(std::memory_order_relaxed) < maxFiles; }

void SectionDrawing::resetCount() { taken.store(0, std::memory_order_relaxed); }

void SectionDrawing::stop() { taken.store(maxFiles, std::memory_order_relaxed); }
