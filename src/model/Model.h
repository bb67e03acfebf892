#pragma once
#include <array>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "acoustics/PlacedSource.h"
#include "model/BoxTree.h"
#include "model/EmbreeIndex.h"
#include "model/FaceList.h"
#include "model/ObstructionList.h"
#include "tracing/Pyramid.h"

/// The room as the tracer sees it: a flat array of reflecting faces and walls,
/// obstructing ones first and larger ones first within each kind, the placed
/// sources, and (process-wide) the microphones of its receivers.
///
/// The face searches stay behind this class's own functions, so that a
/// spatial index can replace the linear scans here alone.
class Model final : public FaceList {
public:
    /// Builds the model from a model file: entities read, faces numbered and merged, sources placed, sorted.
    void load(std::istream& in);
    /// Assembles one entity into the model, taking ownership of it.
    void add(Entity* entity) override;
    /// Obstructing entries first; within each kind the larger area first.
    virtual void sort();
    /// Entries whose face has the monopermeable bit.
    std::uint32_t monopermeableCount() const;
    /// The faces crossed by the segment from `to` toward `from`, nearest first, in list.
    ///
    /// With allFaces the search covers every entry and stops early: -1 as soon
    /// as a non-obstructing face is crossed, the count as soon as it exceeds 1.
    /// Otherwise only the obstructing entries are searched. Answers the count.
    virtual int findObstructions(const Coord& from, const Coord& to, bool allFaces, ObstructionList& list,
                                 const Face* excludeA, const Face* excludeB) const;
    /// As findObstructions over the obstructing entries, except that the search may end at a face that
    /// transmits nothing: what passes the list is then what passes the whole list (nothing), but the
    /// count may be smaller. For the arrivals that no diffraction will look at.
    int findObstructionsToOpaque(const Coord& from, const Coord& to, ObstructionList& list, const Face* excludeA,
                                 const Face* excludeB) const;
    /// The faces that meet along the segment a-b (an edge): their plane passes within the crack tolerance
    /// of both ends and they contain its midpoint. Fills at most capacity of them; answers how many.
    int findFacesAlong(const Coord& a, const Coord& b, const Face** found, int capacity) const;
    /// The entries whose face may come within radius of centre (its bounding box does), in entry order.
    void facesNear(const Coord& centre, double radius, std::vector<std::uint32_t>& entries) const;
    /// The entries whose face's bounding box meets the box lo-hi, in entry order (every entry for an unbounded box).
    void facesInBox(const Coord& lo, const Coord& hi, std::vector<std::uint32_t>& entries) const;
    /// The distance from `from` along u to the first face of entries crossed (through a wall's open openings,
    /// not its closed ones), or length when none is crossed before it.
    double clearDistance(const Coord& from, const Versor& u, double length,
                         const std::vector<std::uint32_t>& entries) const;
    /// The face numbered number, or null.
    const Face* faceNumbered(std::uint32_t number) const;

    /// The nearest faces met by the central ray of p (up to 4 at an edge or a corner); answers how many.
    ///
    /// distance enters as the farthest distance to consider and leaves as the
    /// distance of the hit. A monopermeable face that the ray passes first is
    /// reported in monopermeable (and p marked as having passed one).
    int findHit(Pyramid& p, Coord& hitPoint, double& distance, Face* faces[4], Face*& monopermeable) const;
    /// One leg of p: serves the receivers, then absorbs, scatters and advances p to the face hit.
    /// Answers the number of faces hit (0: p escaped and was not advanced).
    int traceLeg(Pyramid& p, Face*& monopermeable) const;

    /// Builds the spatial index of the entries as they stand (sort() does, unless built for the linear scan).
    void buildIndex();
    /// Drops the index: the searches scan every entry until it is built again.
    void dropIndex();
    /// Prepares the search for the receivers a pyramid may contain, once their list is complete.
    void indexReceivers();
    /// Bytes the spatial index holds.
    std::size_t indexBytes() const { return index_.bytes(); }

    std::vector<PlacedSource> sources;

    /// A face met by a central ray: its entry, what hitBy answered, where.
    struct FaceMet {
        std::uint32_t index;
        Face* face;
        double t;
        Coord point;
    };

private:
    Face* obstruction(std::uint32_t index, const Line& ray, double length, const Face* excludeA,
                      const Face* excludeB, double& t) const;
    void collectHits(const Pyramid& p, double limit, std::vector<FaceMet>& found) const;
    void collectObstructions(const Line& ray, double length, std::uint32_t examined, const Face* excludeA,
                             const Face* excludeB, bool stopAtOpaque, std::vector<FaceMet>& met) const;
    template <class Take>
    void collectNear(const Coord& centre, double radius, std::vector<std::uint32_t>& entries, Take& take) const;
    bool receiversMaybeInside(const Pyramid& p, std::vector<std::uint32_t>& found) const;
    void insideCone(const Coord& apex, const Vector& axis, double cosine2, std::vector<std::uint32_t>& found) const;
    void serve(Pyramid& p, unsigned i, int apexSide, Face* passed, Face* monopermeable) const;

    void addFace(Entity* entry);
    bool merge(Face& triangle, std::uint32_t index);
    void placeCabinet(const PlacedSource& source);
    void setDirectDelays();

    EmbreeIndex index_;
    // Beside the index, the first entry whose face has each number (noEntry for none): faceNumbered without a scan.
    static constexpr std::uint32_t noEntry = 0xffffffff;
    std::vector<std::uint32_t> entryOfNumber_;
    BoxTree receiverIndex_;
    // The receivers' positions when indexReceivers() was called, column by column (x, y, z), so that the test of
    // every receiver against a cone runs on whole vector registers; and whether those outside a pyramid's cone are
    // passed over (not in a build for the linear scan).
    std::array<std::vector<double>, 3> receiverColumns_;
    bool receiversCulled_ = false;
    std::uint32_t receiverCount() const { return static_cast<std::uint32_t>(receiverColumns_[0].size()); }
    Coord receiverAt(std::uint32_t entry) const {
        return Coord(receiverColumns_[0][entry], receiverColumns_[1][entry], receiverColumns_[2][entry]);
    }
};
