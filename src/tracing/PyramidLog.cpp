#include "tracing/PyramidLog.h"

#include "acoustics/Microphone.h"
#include "results/HitsFile.h"
#include "tracing/Pyramid.h"
#include "tracing/TraceStatistics.h"

void PyramidLog::arrival(Microphone& microphone, const BandEnergies& energy, unsigned order, const Vector& direction,
                         double time) {
    arrivals_.push_back({&microphone, energy, direction, time, order, static_cast<std::uint32_t>(hits_.size())});
}

void PyramidLog::hits(const Pyramid& p, unsigned microphone, const BandEnergies& energy, double time) {
    if (!arrivals_.empty() && HitsFile::format(p, microphone, energy, time, hits_))
        arrivals_.back().hitsEnd = static_cast<std::uint32_t>(hits_.size());
}

void PyramidLog::escaped(const Line& ray) { marks_.push_back({ray, 0}); }

void PyramidLog::edgeHit(std::uint32_t extraFaces, const Coord& legStart) {
    marks_.push_back({Line(legStart, Versor()), extraFaces});
}

void PyramidLog::finished(const Pyramid& p) { paths_.push_back({p.order, p.pathLength, p.pathLengthSquares}); }

void PyramidLog::leg(const ReceiverSpheres& spheres, const Model& model, const Coord& a, const Coord& b,
                     double start, const BandEnergies& energy, double share) {
    spheres.visitChords(model, a, b, [&](std::size_t i, double middle, double length) {
        chords_.push_back({i, start + middle, length, share, energy});
    });
}

void PyramidLog::commit(TraceStatistics& statistics) {
    std::uint32_t recordStart = 0;
    for (const Arrival& a : arrivals_) {
        // A response refuses a second direct wave: its record is not written.
        if (a.microphone->addArrival(a.energy, a.order, a.direction, a.time) && a.hitsEnd > recordStart)
            HitsFile::write(std::string_view(hits_).substr(recordStart, a.hitsEnd - recordStart));
        recordStart = a.hitsEnd;
    }
    for (const Mark& m : marks_) {
        if (m.extraFaces == 0)
            statistics.escaped(m.ray);
        else
            statistics.edgeHit(m.extraFaces, m.ray.origin);
    }
    for (const Path& path : paths_) statistics.finished(path.order, path.length, path.squares);
    for (const Chord& c : chords_) statistics.spheres.add(c.sphere, c.middle, c.length, c.energy, c.share);
    chords_.clear();
    arrivals_.clear();
    hits_.clear();
    marks_.clear();
    paths_.clear();
}

void recordArrival(Pyramid& p, Microphone& target, unsigned microphone, const BandEnergies& energy, unsigned order,
                   double time, bool withHits) {
    const auto keep = [&](PyramidLog& log) {
        log.arrival(target, energy, order, p.ray.direction(), time);
        if (withHits) log.hits(p, microphone, energy, time);
    };
    if (p.log) {
        keep(*p.log);
        return;
    }
    PyramidLog alone;
    keep(alone);
    TraceStatistics unused;
    alone.commit(unused);
}
