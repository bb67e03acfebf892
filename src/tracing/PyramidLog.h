#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "acoustics/Bands.h"
#include "geometry/Line.h"

struct Microphone;
struct Pyramid;
struct TraceStatistics;
struct ReceiverSpheres;
class Model;

/// What one pyramid and its clones give the run (arrivals with their hits-file
/// records, escapes, edge hits, finished paths), kept until it is committed.
///
/// Threads trace pyramids in any order but commit their logs in the
/// generator's order, so every sum is formed in the order one thread forms it:
/// the results of any number of threads equal the one-thread results bit for
/// bit, and a second direct wave is refused the same way every time.
class PyramidLog {
public:
    /// Keeps an arrival at microphone, receiver number receiver of the microphone list, for the commit.
    void arrival(Microphone& microphone, unsigned receiver, const BandEnergies& energy, unsigned order,
                 const Vector& direction, double time);
    /// Keeps the hits-file record of p's last arrival (at receiver number microphone), written if the response takes it.
    void hits(const Pyramid& p, unsigned microphone, const BandEnergies& energy, double time);
    /// Keeps an escape along ray.
    void escaped(const Line& ray);
    /// Keeps an edge hit of extraFaces extra faces at a leg start.
    void edgeHit(std::uint32_t extraFaces, const Coord& legStart);
    /// Keeps a finished path (the pyramid's or a clone's).
    void finished(const Pyramid& p);
    /// Keeps, for every receiver's sphere the leg from a to b runs through, its chord's middle (the leg starting
    /// at path length start) and the length of it the receiver sees, the energy the pyramid carries and its
    /// share (solid angle / 4π).
    void leg(const ReceiverSpheres& spheres, const Model& model, const Coord& a, const Coord& b, double start,
             const BandEnergies& energy, double share);
    /// Hands everything kept to the microphones, the hits file and statistics, in the order kept; leaves the log empty.
    /// One thread at a time.
    void commit(TraceStatistics& statistics);
    /// Forgets everything kept (the memory is kept for the next pyramid).
    void clear();
    /// Appends everything kept to out, in a byte form another process of the same run reads back with unpack.
    void pack(std::string& out) const;
    /// Replaces what is kept by the log packed at the start of in (its microphones taken from the process's
    /// microphone list by receiver number) and drops it from in; false, the log left empty, when in is malformed.
    bool unpack(std::string_view& in);

private:
    struct Arrival {
        Microphone* microphone;
        unsigned receiver;
        BandEnergies energy;
        Vector direction;
        double time;
        unsigned order;
        std::uint32_t hitsEnd;  // its record in hits_ runs from the previous arrival's end to here
    };
    struct Mark {
        Line ray;                 // of an escape; of an edge hit, only the origin: the leg start
        std::uint32_t extraFaces;  // 0 for an escape
    };
    struct Path {
        std::int32_t order;
        double length;
        double squares;
    };
    std::vector<Arrival> arrivals_;
    std::string hits_;
    std::vector<Mark> marks_;
    std::vector<Path> paths_;
    struct Chord {
        std::size_t sphere;
        double middle;
        double length;
        double share;
        BandEnergies energy;
    };
    std::vector<Chord> chords_;
};

/// Keeps an arrival of p at receiver number microphone in p's log, with its hits-file record when withHits;
/// a pyramid without a log (traced alone, one leg at a time) delivers it at once.
void recordArrival(Pyramid& p, Microphone& target, unsigned microphone, const BandEnergies& energy, unsigned order,
                   double time, bool withHits);
