#include "tracing/LateCorrection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "run/RunParameters.h"
#include "tracing/Pyramid.h"
#include "tracing/TraceStatistics.h"
#include "ui/Messages.h"

namespace {
// The distance from point along direction u to the first face met; 1e12 when none is met.
double freeDistance(const Model& model, const Coord& point, const Versor& u) {
    const Versor e1(cross(u, std::fabs(u.x) < 0.9 ? Vector(1, 0, 0) : Vector(0, 1, 0))), e2(cross(u, e1));
    PyramidSeed seed;
    seed.apex = point;
    seed.section.set(u + 0.01 * e1, u + 0.01 * (e2 - e1), u - 0.01 * e2);
    Pyramid ray(seed, BandEnergies{});
    ray.ray = Line(point, u);
    Coord hit;
    double d = 1e12;
    Face* faces[4] = {};
    Face* passed = nullptr;
    return model.findHit(ray, hit, d, faces, passed) > 0 ? d : 1e12;
}

// The volume of the sphere of radius r around centre that the room holds: a
// wall nearer than r cuts it. The sphere is cut into cones along 26 directions
// (the cube's faces, edges and corners, evenly weighted), each reaching to the
// first face or to r.
double volumeInside(const Model& model, const Coord& centre, double r) {
    double sum = 0;
    int count = 0;
    for (int x = -1; x <= 1; ++x)
        for (int y = -1; y <= 1; ++y)
            for (int z = -1; z <= 1; ++z) {
                if (x == 0 && y == 0 && z == 0) continue;
                const double reach = std::min(r, freeDistance(model, centre, Versor(x, y, z)));
                sum += reach * reach * reach;
                ++count;
            }
    return 4 * std::numbers::pi / 3 * sum / count;
}

// The sphere's fluence of class k (classes of dt seconds), interpolated between bin centres.
double sphereClass(const std::vector<std::array<double, bandCount>>& bins, double t, double dt, int band) {
    const double x = std::max(0.0, t / ReceiverSpheres::binWidth - 0.5);
    const auto j = std::min(static_cast<std::size_t>(x), bins.size() - 1);
    const std::size_t next = std::min(j + 1, bins.size() - 1);
    const double along = std::min(1.0, x - static_cast<double>(j));
    return (bins[j][band] + along * (bins[next][band] - bins[j][band])) * dt / ReceiverSpheres::binWidth;
}

// From 80 ms after its earliest direct sound, blended in over the next 80 ms,
// the response becomes the sphere's fluence; the early response (C80, the
// lateral fractions) is untouched.
void correct(ImpulseResponse& response, const std::vector<std::array<double, bandCount>>& bins) {
    const double dt = response.precision();
    const double direct = response.earliestDirectDelay < 1e11 ? response.earliestDirectDelay : 0;
    const double start = direct + 0.08, ramp = 0.08;
    for (std::uint32_t k = 0; k < response.classCount; ++k) {
        const double t = (k + 0.5) * dt;
        if (t < start) continue;
        const double weight = std::min(1.0, (t - start) / ramp);
        for (int b = 0; b < bandCount; ++b) {
            const double traced = response.row(k)[b];
            response.row(k)[b] = static_cast<float>(traced + weight * (sphereClass(bins, t, dt, b) - traced));
        }
    }
}
}  // namespace

namespace LateCorrection {
void prepare(const Model& model, const MicrophoneList& list, TraceStatistics& statistics) {
    ReceiverSpheres& spheres = statistics.spheres;
    spheres.centres.clear();
    spheres.volumes.clear();
    for (unsigned i = 1; i <= list.receiverCount(); ++i) {
        const Microphone* m = list.at(static_cast<int>(i));
        const Coord centre = m ? m->axis.origin : Coord(1e300, 1e300, 1e300);
        spheres.centres.push_back(centre);
        spheres.volumes.push_back(m ? volumeInside(model, centre, ReceiverSpheres::radius) : 0);
    }
    spheres.clear();
}

bool apply(const TraceStatistics& statistics, MicrophoneList& list, double escapedShare) {
    if (escapedShare > 0.01) {
        reportWarning("LateCorrection: the model is open (%.1f %% of the pyramids escaped): the late decay is left as traced",
                      100 * escapedShare);
        return false;
    }
    const ReceiverSpheres& spheres = statistics.spheres;
    for (unsigned i = 1; i <= list.receiverCount() && i <= spheres.bins.size(); ++i)
        if (Microphone* m = list.at(static_cast<int>(i))) correct(m->response, spheres.bins[i - 1]);
    return true;
}
}  // namespace LateCorrection
