#include "tracing/PyramidLog.h"

#include "acoustics/Microphone.h"
#include "acoustics/MicrophoneList.h"
#include "foundation/ByteForm.h"
#include "results/HitsFile.h"
#include "tracing/Pyramid.h"
#include "tracing/TraceStatistics.h"

void PyramidLog::arrival(Microphone& microphone, unsigned receiver, const BandEnergies& energy, unsigned order,
                         const Vector& direction, double time) {
    arrivals_.push_back(
        {&microphone, receiver, energy, direction, time, order, static_cast<std::uint32_t>(hits_.size())});
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
    clear();
}

// Emptied, the capacity kept, so that the next pyramid traced into the log allocates nothing.
void PyramidLog::clear() {
    chords_.clear();
    arrivals_.clear();
    hits_.clear();
    marks_.clear();
    paths_.clear();
}

using ByteForm::get;
using ByteForm::put;

void PyramidLog::pack(std::string& out) const {
    put(out, static_cast<std::uint32_t>(arrivals_.size()));
    put(out, static_cast<std::uint32_t>(hits_.size()));
    put(out, static_cast<std::uint32_t>(marks_.size()));
    put(out, static_cast<std::uint32_t>(paths_.size()));
    put(out, static_cast<std::uint32_t>(chords_.size()));
    for (const Arrival& a : arrivals_) {
        put(out, static_cast<std::uint32_t>(a.receiver));
        put(out, a.energy);
        put(out, a.direction);
        put(out, a.time);
        put(out, static_cast<std::uint32_t>(a.order));
        put(out, a.hitsEnd);
    }
    out += hits_;
    for (const Mark& m : marks_) {
        put(out, static_cast<const Vector&>(m.ray));  // its direction
        put(out, m.ray.origin);
        put(out, m.extraFaces);
    }
    for (const Path& p : paths_) {
        put(out, p.order);
        put(out, p.length);
        put(out, p.squares);
    }
    for (const Chord& c : chords_) {
        put(out, static_cast<std::uint64_t>(c.sphere));
        put(out, c.middle);
        put(out, c.length);
        put(out, c.share);
        put(out, c.energy);
    }
}

bool PyramidLog::unpack(std::string_view& in) {
    clear();
    std::uint32_t arrivals = 0, hits = 0, marks = 0, paths = 0, chords = 0;
    if (!(get(in, arrivals) && get(in, hits) && get(in, marks) && get(in, paths) && get(in, chords))) return false;
    MicrophoneList& list = microphones();
    bool whole = true;
    for (std::uint32_t i = 0; i < arrivals && whole; ++i) {
        Arrival a{};
        std::uint32_t receiver = 0, order = 0;
        whole = get(in, receiver) && get(in, a.energy) && get(in, a.direction) && get(in, a.time) &&
                get(in, order) && get(in, a.hitsEnd) && a.hitsEnd <= hits;
        a.microphone = list.at(static_cast<int>(receiver));
        a.receiver = receiver;
        a.order = order;
        whole = whole && a.microphone;
        arrivals_.push_back(a);
    }
    whole = whole && in.size() >= hits;
    if (whole) {
        hits_.assign(in.substr(0, hits));
        in.remove_prefix(hits);
    }
    for (std::uint32_t i = 0; i < marks && whole; ++i) {
        Vector direction, origin;
        std::uint32_t extraFaces = 0;
        whole = get(in, direction) && get(in, origin) && get(in, extraFaces);
        marks_.push_back({Line(origin, Versor::unnormalised(direction)), extraFaces});
    }
    for (std::uint32_t i = 0; i < paths && whole; ++i) {
        Path p{};
        whole = get(in, p.order) && get(in, p.length) && get(in, p.squares);
        paths_.push_back(p);
    }
    for (std::uint32_t i = 0; i < chords && whole; ++i) {
        Chord c{};
        std::uint64_t sphere = 0;
        whole = get(in, sphere) && get(in, c.middle) && get(in, c.length) && get(in, c.share) && get(in, c.energy);
        c.sphere = static_cast<std::size_t>(sphere);
        chords_.push_back(c);
    }
    if (!whole) clear();
    return whole;
}

void recordArrival(Pyramid& p, Microphone& target, unsigned microphone, const BandEnergies& energy, unsigned order,
                   double time, bool withHits) {
    const auto keep = [&](PyramidLog& log) {
        log.arrival(target, microphone, energy, order, p.ray.direction(), time);
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
