#pragma once
#include <iosfwd>
#include <string>

#include "tracing/section/X2DArray.h"

/// The drawing of one section, for inspection: the obstacle segments, the
/// candidate nodes and the path found, as a DXF entity section in section
/// coordinates.
///
/// Layers: "MURI" for an obstacle whose ends have the same x (a wall),
/// "GROUND" for any other obstacle, "SORGENTI", "SENSORI" and "PUNTI" for the
/// source node, the receiver node and the other nodes, "RAGGI" for the legs
/// of the path. The drawing refers to the arrays it is given and does not own them.
class SectionDrawing {
public:
    /// The most drawing files a run writes.
    static constexpr unsigned maxFiles = 9;
    /// The radius of the circles that mark the nodes, in metres.
    static constexpr double nodeRadius = 0.1;

    /// A drawing of obstacles, nodes (PathNodes; other points count as plain nodes) and path (a polyline).
    SectionDrawing(const X2DSegmentsArray& obstacles, const X2DArray& nodes, const X2DPolygon& path)
        : obstacles_(obstacles), nodes_(nodes), path_(path) {}

    /// Writes the entity section, from "SECTION" to "EOF".
    void write(std::ostream& out) const;
    /// Writes the drawing to the run's next numbered file; false past maxFiles or when it cannot be created.
    bool save() const;

    /// The name of drawing file number: the results file name without its extension, "$" and number, ".dxf".
    static std::string fileName(unsigned number);
    /// Whether a drawing file may still be written in this run.
    static bool available();
    /// Lets the next drawing be number 1 again (a new run; not while tracing).
    static void resetCount();
    /// Writes no more drawings in this process: one that traces for another, which alone writes files.
    static void stop();

private:
    const X2DSegmentsArray& obstacles_;
    const X2DArray& nodes_;
    const X2DPolygon& path_;
};
