#include "model/Model.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <numbers>
#include <strings.h>

#include "acoustics/MicrophoneList.h"
#include "model/EntityList.h"
#include "model/Receiver.h"
#include "model/Source.h"
#include "model/Wall.h"
#include "run/RunParameters.h"
#include "ui/Messages.h"

void Model::load(std::istream& in) {
    showStatus("Loading model...");
    microphones().destroyAll();
    EntityList::lineNumber = 2;
    std::string word;
    readWord(in, word, 79);
    EntityList entities;
    if (strcasecmp(word.c_str(), "EntityList") == 0)
        entities.read(in);
    else
        reportWarning("'%s' instead of '%s' in line %u", word.c_str(), "EntityList", EntityList::lineNumber);
    // A reader that stopped before the list's End left the rest of the file
    // out of the model: the user is told where, and what came in before it.
    const unsigned stoppedAt = in.fail() ? EntityList::fileLine(in) : 0;
    faceCounter = 0;
    while (Entity* entity = entities.takeFirst()) add(entity);
    if (in.fail())
        reportWarning("The model file was read no further than line %u: %u receivers and %u sources were read",
                      stoppedAt, static_cast<unsigned>(microphones().receiverCount()),
                      static_cast<unsigned>(sources.size()));
    showStatus("Initializing %ld sources...", static_cast<long>(microphones().receiverCount()));
    setDirectDelays();
    sort();
}

// Until the run reaches a source, each receiver's direct sound is taken from
// the nearest source.
void Model::setDirectDelays() {
    MicrophoneList& list = microphones();
    for (int i = static_cast<int>(list.receiverCount()); i >= 1; --i) {
        Microphone* microphone = list.at(i);
        if (!microphone) continue;
        double nearest = 1e12;
        for (const PlacedSource& source : sources)
            nearest = std::min(nearest, distance(microphone->axis.origin, source.axis.origin));
        microphone->response.setDirectDelay(nearest / parameters.SoundSpeed);
    }
}

void Model::add(Entity* entity) {
    // The index describes the entries as they were when it was built.
    index_.clear();
    switch (entity->typeCode()) {
        case EntityType::receiver: {
            const auto* receiver = static_cast<Receiver*>(entity);
            microphones().addReceiver(Line(receiver->position, receiver->aimPoint));
            delete entity;
            return;
        }
        case EntityType::source: {
            // A placed source can always be made: a loudspeaker that cannot be
            // read falls back to an omnidirectional one, so there is no failure
            // to handle here.
            const auto* source = static_cast<Source*>(entity);
            sources.emplace_back(source->position, source->aimPoint, source->speakerFile.str(), source->roll);
            delete entity;
            if (sources.back().speaker->geometry.count > 0) placeCabinet(PlacedSource(sources.back()));
            return;
        }
        case EntityType::face:
        case EntityType::wall:
            break;
        default:
            delete entity;
            return;
    }
    Face* face = faceOf(entity);
    if (!face) {
        delete entity;
        return;
    }
    face->number = ++faceCounter;
    if (entity->typeCode() == EntityType::wall) {
        auto* wall = static_cast<Wall*>(entity);
        if (wall->count != 1) {
            addFace(wall);
            return;
        }
        // A wall without openings is only its face.
        face->owner = nullptr;
        wall->remove(face, false);
        delete wall;
        addFace(face);
        return;
    }
    const double nz = face->plane.normal().z;
    if (face->vertexCount == 3 && (nz == 0 || nz == 1 || nz == -1)) {
        for (std::uint32_t k = count(); k-- > 0;) {
            if (merge(*face, k)) {
                delete face;
                return;
            }
        }
    }
    addFace(face);
}

void Model::addFace(Entity* entry) {
    const Face* face = faceOf(entry);
    if (!face || face->isTransparent()) {
        delete entry;
        return;
    }
    if (face->flags & FaceFlag::obstructing) ++obstructingCount;
    FaceList::add(entry);
}

// Two coplanar triangles of the same material and flags that share an edge
// become one quadrilateral: fewer entries for every search of the tracer.
bool Model::merge(Face& a, std::uint32_t index) {
    const Face* b = faceAt(index);
    if (!b || b->vertexCount != 3 || a.material != b->material || a.flags != b->flags) return false;
    if (std::fabs(dot(a.plane.normal(), b->plane.normal())) != 1.0) return false;
    if (std::fabs(a.plane.signedDistance(b->centroid)) >= 1e-6) return false;
    int i = 0, j = 0;
    if (!a.findSharedEdge(*b, i, j)) return false;
    Coord quad[4];
    int n = 0;
    for (int k = 0; k < 3; ++k) {
        quad[n++] = a.vertices[k];
        if (k == i) quad[n++] = b->vertices[(j + 2) % 3];
    }
    auto* merged = new Face(quad[0], quad[1], quad[2], quad[3], b->material);
    if (merged->vertexCount != 4 || !merged->isValid()) {
        delete merged;
        return false;
    }
    reportWarning("Merging triangles %lu & %lu", static_cast<unsigned long>(a.number),
                  static_cast<unsigned long>(b->number));
    merged->flags = b->flags;
    merged->number = b->number;
    replace(index, merged);
    return true;
}

// The cabinet faces are given in the loudspeaker's frame (main axis +X):
// rolled about X, tilted about Y by the elevation and turned about Z by the
// azimuth of the main axis, then moved to the source.
//
// The placed faces get every derived field (plane, box, edges, area)
// recomputed from their moved vertices: the fields computed in the
// loudspeaker's frame would describe a face somewhere else. A monopermeable
// cabinet face is then turned so that the source lies on its front side.
void Model::placeCabinet(const PlacedSource& source) {
    const Versor& d = source.axis.direction();
    double elevation = 0, azimuth = 0;
    if (!nearlyEqual(d, X_AXIS)) {
        elevation = std::atan2(-d.z, std::sqrt(std::max(0.0, 1 - d.z * d.z)));
        azimuth = std::atan2(d.y, d.x);
    }
    const double roll = source.roll * std::numbers::pi / 180;
    const Coord& origin = source.axis.origin;
    for (Entity* e = source.speaker->geometry.first; e; e = e->next) {
        const Face* face = faceOf(e);
        if (!face || (e->typeCode() != EntityType::face && e->typeCode() != EntityType::wall)) continue;
        auto* copy = new Face(*face);
        if (!copy->isValid()) {
            delete copy;
            continue;
        }
        for (Coord& p : copy->vertices) {
            if (roll != 0) p = rotate(p, X_AXIS, roll);
            if (elevation != 0) p = rotate(p, Y_AXIS, elevation);
            if (azimuth != 0) p = rotate(p, Z_AXIS, azimuth);
            p = p + origin;
        }
        copy->owner = nullptr;
        copy->computePlane();
        if ((copy->flags & FaceFlag::monopermeable) && copy->plane.signedDistance(origin) < 0) {
            const std::size_t n = copy->vertices.size();
            const Coord& p0 = copy->vertices[0];
            const Coord& p1 = copy->vertices[n / 3];
            const Coord& p2 = copy->vertices[2 * n / 3];
            const Versor normal(cross(p1 - p2, p0 - p2));
            copy->plane = Plane(normal, -dot(normal, p2));
        }
        add(copy);
    }
}

void Model::sort() {
    showStatus("Sorting %ld entities...", static_cast<long>(count()));
    // The keys read once per entry, not from the faces at every comparison: std::sort makes the same moves for the
    // same answers whatever it sorts, so the order (of equal keys too) is the one the faces' own sort gives.
    struct Keyed {
        bool obstructing;
        double area;
        Entity* entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(count());
    for (Entity* entry : items_) {
        const Face* face = faceOf(entry);
        keyed.push_back({(face->flags & FaceFlag::obstructing) != 0, face->area, entry});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.obstructing != b.obstructing) return a.obstructing;
        return a.area > b.area;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) items_[i] = keyed[i].entry;
    indexEntries();
#ifndef TOLVENO_LINEAR_SCAN
    // Below a few dozen entries a scan of them all is quicker than any index
    // (measured: 12 faces, 8 % slower with it).
    if (count() >= 32) buildIndex();
#endif
}

std::uint32_t Model::monopermeableCount() const {
    std::uint32_t n = 0;
    for (std::uint32_t i = 0; i < count(); ++i) n += (faceAt(i)->flags & FaceFlag::monopermeable) ? 1 : 0;
    return n;
}
