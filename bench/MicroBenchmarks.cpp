// Micro-benchmarks of the tracer's hot operations: the hit search of a leg,
// the point-in-face and point-in-pyramid tests, the obstruction search between
// a receiver and a leg start, and the recording of an arrival.
//
// The models are rectangular rooms of 20 x 15 x 8 m cut into square tiles, as
// bench/make_model.py writes them, optionally turned about two axes so that no
// tile is aligned with the axes (the point-in-face test then takes the area
// path instead of the box alone). Every input is drawn from a fixed seed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "acoustics/Microphone.h"
#include "acoustics/MicrophoneList.h"
#include "model/Face.h"
#include "model/Model.h"
#include "model/ObstructionList.h"
#include "run/RunParameters.h"
#include "tracing/Pyramid.h"
#include "ui/RecordingWindowSystem.h"
#include "ui/WindowSystem.h"

namespace {

constexpr double roomX = 20, roomY = 15, roomZ = 8;

/// The process state every benchmark needs: a recording window system (no box reaches the
/// terminal) and plain run parameters (0.3 s of 1 ms classes at 340 m/s, no diffusion).
void prepareProcess() {
    static RecordingWindowSystem recording;
    static bool done = false;
    if (done) return;
    done = true;
    installWindowSystem(&recording);
    parameters = RunParameters{};
    parameters.SoundSpeed = 340;
    parameters.Time = 0.3;
    parameters.Precision = 0.001;
    parameters.History = -1;
    parameters.CloneLevel = -1;
    parameters.RandomizeAfter = -1;
    parameters.HitLevel = -1;
    parameters.Humidity = 50;
    parameters.computeAirAbsorption();
}

/// A point of the room turned by `turn` radians about z and then about x, around the room's centre.
Coord turned(const Coord& p, double turn) {
    const double cx = roomX / 2, cy = roomY / 2, cz = roomZ / 2;
    const double x = p.x - cx, y = p.y - cy, z = p.z - cz;
    const double c = std::cos(turn), s = std::sin(turn);
    const double x1 = c * x - s * y, y1 = s * x + c * y;
    const double y2 = c * y1 - s * z, z2 = s * y1 + c * z;
    return Coord(x1 + cx, y2 + cy, z2 + cz);
}

/// The model text of the tiled room: as close to `faces` tiles as a regular grid per surface allows.
std::string roomText(int faces, double turn) {
    struct Surface {
        Coord origin;
        Vector u;
        double ul;
        Vector v;
        double vl;
    };
    const Surface surfaces[] = {
        {Coord(0, 0, 0), Vector(0, 1, 0), roomY, Vector(1, 0, 0), roomX},
        {Coord(0, 0, roomZ), Vector(1, 0, 0), roomX, Vector(0, 1, 0), roomY},
        {Coord(0, 0, 0), Vector(1, 0, 0), roomX, Vector(0, 0, 1), roomZ},
        {Coord(0, roomY, 0), Vector(0, 0, 1), roomZ, Vector(1, 0, 0), roomX},
        {Coord(0, 0, 0), Vector(0, 0, 1), roomZ, Vector(0, 1, 0), roomY},
        {Coord(roomX, 0, 0), Vector(0, 1, 0), roomY, Vector(0, 0, 1), roomZ},
    };
    // The tile size whose total count is nearest the target, searched as bench/make_model.py does
    // (Python's round() rounds halves to even, as nearbyint does), so that both make the same rooms.
    double area = 0;
    for (const Surface& s : surfaces) area += s.ul * s.vl;
    const double size0 = std::sqrt(area / faces);
    auto tiles = [](double length, double size) {
        return std::max(1, static_cast<int>(std::nearbyint(length / size)));
    };
    double size = size0;
    int bestCount = -1;
    for (int k = -300; k <= 300; ++k) {
        const double candidate = size0 * (1 + k / 1000.0);
        int count = 0;
        for (const Surface& s : surfaces) count += tiles(s.ul, candidate) * tiles(s.vl, candidate);
        if (bestCount < 0 || std::abs(count - faces) < std::abs(bestCount - faces)) {
            bestCount = count;
            size = candidate;
        }
    }
    std::ostringstream out;
    out << std::setprecision(12) << "EntityList\n";
    for (const Surface& s : surfaces) {
        const int nu = tiles(s.ul, size);
        const int nv = tiles(s.vl, size);
        for (int i = 0; i < nu; ++i)
            for (int j = 0; j < nv; ++j) {
                out << " Face 1 1 4";
                const int corners[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
                for (const auto& c : corners) {
                    const double a = s.ul * c[0] / nu, b = s.vl * c[1] / nv;
                    const Coord p = turned(Coord(s.origin.x + a * s.u.x + b * s.v.x, s.origin.y + a * s.u.y + b * s.v.y,
                                                 s.origin.z + a * s.u.z + b * s.v.z),
                                           turn);
                    out << "  " << p.x << ' ' << p.y << ' ' << p.z;
                }
                out << '\n';
            }
    }
    out << "End\n";
    return out.str();
}

/// A loaded room model, kept for the whole process (Model holds the faces; receivers are process-wide).
const Model& room(int faces, bool tilted) {
    prepareProcess();
    static std::vector<std::pair<std::pair<int, bool>, std::unique_ptr<Model>>> cache;
    for (const auto& [key, model] : cache)
        if (key.first == faces && key.second == tilted) return *model;
    auto model = std::make_unique<Model>();
    std::istringstream in(roomText(faces, tilted ? 0.3 : 0.0));
    model->load(in);
    cache.emplace_back(std::make_pair(faces, tilted), std::move(model));
    return *cache.back().second;
}

/// A pyramid from apex around direction, its edges halfAngle off the direction (as the tracer tests build them).
Pyramid aimed(const Coord& apex, const Vector& direction, double halfAngle) {
    const Versor u(direction);
    const Vector helper = std::fabs(u.x) < 0.9 ? Vector(1, 0, 0) : Vector(0, 1, 0);
    const Versor e1(cross(u, helper));
    const Versor e2(cross(u, e1));
    const double r = std::tan(halfAngle);
    const double s = std::sqrt(3.0) / 2;
    PyramidSeed seed;
    seed.apex = apex;
    seed.section.set(u + r * e1, u + r * (-0.5 * e1 + s * e2), u + r * (-0.5 * e1 - s * e2));
    BandEnergies energy{};
    energy.fill(1000.0f);
    return Pyramid(seed, energy);
}

/// Unit directions spread over the sphere, from a fixed seed.
std::vector<Versor> directions(std::size_t n, std::uint32_t seed = 1) {
    std::mt19937 random(seed);
    std::normal_distribution<double> normal;
    std::vector<Versor> result;
    while (result.size() < n) {
        const Vector v(normal(random), normal(random), normal(random));
        if (v.squaredModulus() > 1e-6) result.emplace_back(v);
    }
    return result;
}

/// Points inside the (untilted) room, 0.5 m off every surface.
std::vector<Coord> pointsInRoom(std::size_t n, double turn, std::uint32_t seed = 2) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> x(0.5, roomX - 0.5), y(0.5, roomY - 0.5), z(0.5, roomZ - 0.5);
    std::vector<Coord> result;
    for (std::size_t i = 0; i < n; ++i) result.push_back(turned(Coord(x(random), y(random), z(random)), turn));
    return result;
}

// ------------------------------------------------------------ Model::findHit

/// One hit search of a central ray from a point in the room, per face count; range(1) 1: the room turned.
void BM_FindHit(benchmark::State& state) {
    const int faces = static_cast<int>(state.range(0));
    const bool tilted = state.range(1) != 0;
    const Model& model = room(faces, tilted);
    const double turn = tilted ? 0.3 : 0.0;
    const std::vector<Versor> rays = directions(1024);
    const std::vector<Coord> starts = pointsInRoom(1024, turn);
    Pyramid p = aimed(starts[0], rays[0], 0.05);
    std::size_t k = 0;
    std::int64_t hits = 0;
    for (auto _ : state) {
        p.ray = Line(starts[k & 1023], rays[k & 1023]);
        p.monopermeablePassed = false;
        Coord hit;
        double distance = 1e12;
        Face* met[4] = {};
        Face* monopermeable = nullptr;
        hits += model.findHit(p, hit, distance, met, monopermeable);
        benchmark::DoNotOptimize(hit);
        ++k;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["faces"] = static_cast<double>(model.count());
    state.counters["ns/face"] = benchmark::Counter(static_cast<double>(state.iterations()) * model.count(),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["met/call"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
    state.counters["index B/face"] = static_cast<double>(model.indexBytes()) / static_cast<double>(model.count());
}
BENCHMARK(BM_FindHit)->ArgsProduct({{100, 1000, 10000}, {0, 1}})->ArgNames({"faces", "tilted"});


// ------------------------------------------------------------ Face::contains

/// Faces of three kinds: 0 an axis-aligned rectangle (decided by its box), 1 a convex quadrilateral not
/// aligned with the axes (the area test), 2 a concave L-shaped hexagon (the crossing test).
std::unique_ptr<Face> makeFace(int kind) {
    prepareProcess();
    auto made = std::make_unique<Face>();
    Face& face = *made;
    if (kind == 0) {
        const Coord v[4] = {Coord(0, 0, 0), Coord(2, 0, 0), Coord(2, 0, 1.5), Coord(0, 0, 1.5)};
        face.setVertices(v, 4);
    } else if (kind == 1) {
        Coord v[4] = {Coord(0, 0, 0), Coord(2, 0, 0), Coord(2.3, 0, 1.5), Coord(0.2, 0, 1.4)};
        for (Coord& c : v) c = turned(c, 0.3);
        face.setVertices(v, 4);
    } else {
        Coord v[6] = {Coord(0, 0, 0), Coord(2, 0, 0), Coord(2, 0, 0.5), Coord(0.5, 0, 0.5), Coord(0.5, 0, 1.5),
                      Coord(0, 0, 1.5)};
        for (Coord& c : v) c = turned(c, 0.3);
        face.setVertices(v, 6);
    }
    return made;
}

/// Points of the face's plane in and around its box (about half of them inside).
std::vector<Coord> pointsOnFace(const Face& face, std::size_t n) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> unit(-0.15, 1.15);
    std::vector<Coord> result;
    const Coord& a = face.vertices[0];
    const Vector u = face.vertices[1] - a;
    const Vector v = face.vertices[face.vertices.size() - 1] - a;
    for (std::size_t i = 0; i < n; ++i) {
        const double s = unit(random), t = unit(random);
        result.push_back(a + s * u + t * v);
    }
    return result;
}

void BM_FaceContains(benchmark::State& state) {
    const std::unique_ptr<Face> made = makeFace(static_cast<int>(state.range(0)));
    const Face& face = *made;
    const std::vector<Coord> points = pointsOnFace(face, 1024);
    std::size_t k = 0;
    std::int64_t inside = 0;
    for (auto _ : state) {
        inside += face.contains(points[k & 1023]);
        ++k;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["inside%"] = 100.0 * static_cast<double>(inside) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FaceContains)->Arg(0)->Arg(1)->Arg(2)->ArgName("kind");

// ------------------------------------------------------------ Pyramid::contains

/// Point-in-pyramid for pyramids of the sizes of Level 6, 8 and 10 (half angles 0.2, 0.1, 0.05 rad):
/// half the points anywhere in the room around the apex (nearly all outside, as most receivers of a leg
/// are), half within a quarter of the half angle of the axis (inside: the full test).
void BM_PyramidContains(benchmark::State& state) {
    prepareProcess();
    const double halfAngle = static_cast<double>(state.range(0)) / 1000.0;
    const Coord apex(5, 7.5, 1.5);
    const Versor axis(1, 0.2, -0.1);
    const Pyramid p = aimed(apex, axis, halfAngle);
    std::vector<Coord> points = pointsInRoom(1024, 0.0, 4);
    std::mt19937 random(9);
    std::uniform_real_distribution<double> along(1, 14), across(-1, 1);
    const Versor e1(cross(axis, Vector(0, 0, 1)));
    const Versor e2(cross(axis, e1));
    for (std::size_t i = 1; i < points.size(); i += 2) {
        const double r = along(random), w = r * std::tan(halfAngle / 4);
        points[i] = apex + r * axis + (w * across(random)) * e1 + (w * across(random)) * e2;
    }
    std::size_t k = 0;
    std::int64_t inside = 0;
    for (auto _ : state) {
        inside += p.contains(points[k & 1023]);
        ++k;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["inside%"] = 100.0 * static_cast<double>(inside) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PyramidContains)->Arg(200)->Arg(100)->Arg(50)->ArgName("mrad");

// ------------------------------------------------------------ Model::findObstructions

/// The obstruction search of one receiver as a leg serves it: the segment from a receiver in the room to a
/// leg start on a wall, over the obstructing faces (all faces of the room), per face count.
void BM_FindObstructions(benchmark::State& state) {
    const int faces = static_cast<int>(state.range(0));
    const Model& model = room(faces, false);
    const std::vector<Coord> receivers = pointsInRoom(64, 0.0, 5);
    // Leg starts: points on the surfaces (found as the hits of rays from the room's centre).
    std::vector<Coord> starts;
    std::vector<const Face*> startFaces;
    for (const Versor& d : directions(256, 6)) {
        Pyramid p = aimed(Coord(10, 7.5, 4), d, 0.05);
        Coord hit;
        double distance = 1e12;
        Face* met[4] = {};
        Face* monopermeable = nullptr;
        if (model.findHit(p, hit, distance, met, monopermeable) == 1) {
            starts.push_back(hit);
            startFaces.push_back(met[0]);
        }
    }
    std::size_t k = 0;
    std::int64_t blocked = 0;
    ObstructionList list;
    for (auto _ : state) {
        const std::size_t j = k % starts.size();
        list.clear();
        blocked += model.findObstructions(receivers[k & 63], starts[j], false, list, startFaces[j], nullptr) != 0;
        ++k;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["faces"] = static_cast<double>(model.obstructingCount);
    state.counters["ns/face"] = benchmark::Counter(static_cast<double>(state.iterations()) * model.obstructingCount,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["blocked%"] = 100.0 * static_cast<double>(blocked) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FindObstructions)->Arg(100)->Arg(1000)->Arg(10000)->ArgName("faces");

// ------------------------------------------------------------ Microphone::addArrival

/// Recording reflected arrivals (order 1 and up) at times over the 0.3 s response, with directions from
/// everywhere (about a quarter within 80 ms of the direct wave, which also adds to the lateral sums),
/// as the commits of the pyramids' logs do, one thread at a time.
void BM_AddArrival(benchmark::State& state) {
    prepareProcess();
    // One microphone for every run, made after the parameters are set.
    static Microphone* const microphone = [] {
        auto* made = new Microphone;
        made->axis = Line(Coord(10, 7.5, 1.2), Versor(1, 0.5, 0));
        made->response.setDirectDelay(0.02);
        return made;
    }();
    const std::vector<Versor> arrivals = directions(1024, 7 + static_cast<std::uint32_t>(state.thread_index()));
    std::vector<double> times(1024);
    std::mt19937 random(8 + static_cast<std::uint32_t>(state.thread_index()));
    std::uniform_real_distribution<double> time(0.02, 0.32);
    for (double& t : times) t = time(random);
    BandEnergies energy{};
    energy.fill(0.5f);
    std::size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(microphone->addArrival(energy, 1 + (k & 7), arrivals[k & 1023], times[k & 1023]));
        ++k;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddArrival);

}  // namespace

BENCHMARK_MAIN();
