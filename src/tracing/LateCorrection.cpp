#include "tracing/LateCorrection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "run/RunParameters.h"
#include "tracing/Pyramid.h"
#include "tracing/TraceStatistics.h"
#include "ui/Messages.h"

namespace {
using BandSums = std::array<double, bandCount>;

// The distance from point along direction u to the first face met; 0 when none is met.
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
    return model.findHit(ray, hit, d, faces, passed) > 0 ? d : 0;
}

// The total area of the faces: with the mean free path 4V/S it gives the volume.
double totalArea(const Model& model) {
    double area = 0;
    for (std::uint32_t i = 0; i < model.count(); ++i) area += model.faceAt(i)->area;
    return area;
}

// The energy a listener's response holds in each bin of the late field.
std::vector<BandSums> binned(const ImpulseResponse& response, std::size_t bins) {
    std::vector<BandSums> sums(bins, BandSums{});
    const double dt = response.precision();
    for (std::uint32_t k = 0; k < response.classCount; ++k) {
        const auto j = static_cast<std::size_t>((k + 0.5) * dt / LateField::binWidth);
        if (j >= bins) break;
        for (int b = 0; b < bandCount; ++b) sums[j][b] += response.row(k)[b];
    }
    return sums;
}

// The factor 1 / η of each bin, η being the share of the room-average fluence
// the probes detected: the mean of the bins' shares over a window of ±25 % of
// the bin's time (at least one bin each side), which smooths the probes'
// sparse late arrivals. A mean of shares, not a share of sums: the fluence
// falls by several decibels across a late window, and a share of sums would
// take its value from the window's early, better detected end. A window where
// the probes heard nothing keeps the factor before it; the factor is kept
// within 1 and 100.
std::vector<BandSums> factors(const std::vector<BandSums>& detected, const std::vector<BandSums>& expected) {
    const std::size_t n = expected.size();
    std::vector<BandSums> result(n, BandSums{});
    for (int b = 0; b < bandCount; ++b) {
        double factor = 1;
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t spread = std::max<std::size_t>(1, j / 4);
            const std::size_t from = j > spread ? j - spread : 0, to = std::min(n - 1, j + spread);
            double shares = 0;
            int counted = 0;
            for (std::size_t i = from; i <= to; ++i) {
                if (!(expected[i][b] > 0)) continue;
                shares += detected[i][b] / expected[i][b];
                ++counted;
            }
            if (shares > 0) factor = std::clamp(counted / shares, 1.0, 100.0);
            result[j][b] = factor;
        }
    }
    return result;
}

// Divides the response from 80 ms after its earliest direct sound by the
// bins' factors, interpolated between bin centres and blended in over the
// next 80 ms, so that the early response (C80, the lateral fractions) is untouched.
void correct(ImpulseResponse& response, const std::vector<BandSums>& factor) {
    const double dt = response.precision();
    const double direct = response.earliestDirectDelay < 1e11 ? response.earliestDirectDelay : 0;
    const double start = direct + 0.08, ramp = 0.08;
    for (std::uint32_t k = 0; k < response.classCount; ++k) {
        const double t = (k + 0.5) * dt;
        if (t < start) continue;
        const double x = std::max(0.0, t / LateField::binWidth - 0.5);
        const auto j = std::min(static_cast<std::size_t>(x), factor.size() - 1);
        const std::size_t next = std::min(j + 1, factor.size() - 1);
        const double weight = std::min(1.0, (t - start) / ramp), along = x - static_cast<double>(j);
        for (int b = 0; b < bandCount; ++b) {
            const double f = factor[j][b] + along * (factor[next][b] - factor[j][b]);
            response.row(k)[b] = static_cast<float>(response.row(k)[b] * (1 + weight * (f - 1)));
        }
    }
}
}  // namespace

namespace LateCorrection {
void placeProbes(const Model& model, const Coord& source) {
    MicrophoneList& list = microphones();
    list.probes.clear();
    std::mt19937 random(20261206);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> fraction(0.2, 0.8);
    Coord point = source;
    // Every third step of the walk becomes a probe, so that neighbours are far apart; a
    // step that meets no face (an open model) starts again from the source.
    for (int step = 1, attempts = 0; static_cast<int>(list.probes.size()) < probeCount && attempts < 100 * probeCount;
         ++attempts) {
        const Versor u(normal(random), normal(random), normal(random));
        const double d = freeDistance(model, point, u);
        if (d <= 0) {
            point = source;
            continue;
        }
        point = point + fraction(random) * d * u;
        if (step++ % 3 != 0) continue;
        Microphone probe;
        probe.axis = Line(point, Versor());
        list.probes.push_back(std::move(probe));
    }
}

bool apply(const Model& model, const TraceStatistics& statistics, MicrophoneList& list, double escapedShare) {
    if (list.probes.empty() || statistics.reflectionCount <= 0 || escapedShare > 0.01) {
        reportWarning("LateCorrection: the model is open (%.1f %% of the pyramids escaped): the late decay is left as traced",
                      100 * escapedShare);
        return false;
    }
    const double volume = statistics.pathSum / statistics.reflectionCount * totalArea(model) / 4;
    const std::size_t bins = statistics.late.bins.size();
    std::vector<BandSums> expected(bins, BandSums{}), detected(bins, BandSums{});
    for (std::size_t j = 0; j < bins; ++j)
        for (int b = 0; b < bandCount; ++b) expected[j][b] = statistics.late.bins[j][b] / volume;
    for (const Microphone& probe : list.probes) {
        const std::vector<BandSums> heard = binned(probe.response, bins);
        for (std::size_t j = 0; j < bins; ++j)
            for (int b = 0; b < bandCount; ++b) detected[j][b] += heard[j][b] / static_cast<double>(list.probes.size());
    }
    const std::vector<BandSums> factor = factors(detected, expected);
    for (unsigned i = 1; i <= list.receiverCount(); ++i)
        if (Microphone* m = list.at(static_cast<int>(i))) correct(m->response, factor);
    return true;
}
}  // namespace LateCorrection
