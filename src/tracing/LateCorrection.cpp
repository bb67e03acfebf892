#include "tracing/LateCorrection.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "acoustics/MicrophoneList.h"
#include "model/Model.h"
#include "run/RunParameters.h"
#include "tracing/TraceStatistics.h"
#include "ui/LogFile.h"
#include "ui/Messages.h"

namespace {
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
    const double nowhere = std::numeric_limits<double>::quiet_NaN();
    std::vector<Coord> points(list.receiverCount(), Coord(nowhere, nowhere, nowhere));
    for (unsigned i = 1; i <= list.receiverCount(); ++i)
        if (const Microphone* m = list.at(static_cast<int>(i))) points[i - 1] = m->axis.origin;
    statistics.spheres.place(model, points);
    statistics.spheres.clear();
}

bool apply(const TraceStatistics& statistics, MicrophoneList& list, double escapedShare, bool asked) {
    if (escapedShare > 0.01) {
        const std::string text = formatText(
            "LateCorrection: the model is open (%.1f %% of the pyramids escaped): the late decay is left as traced",
            100 * escapedShare);
        if (asked)
            reportWarning("%s", text.c_str());
        else
            LogFile::writeLine("-", text);
        return false;
    }
    const ReceiverSpheres& spheres = statistics.spheres;
    for (unsigned i = 1; i <= list.receiverCount() && i <= spheres.bins.size(); ++i)
        if (Microphone* m = list.at(static_cast<int>(i))) correct(m->response, spheres.bins[i - 1]);
    return true;
}
}  // namespace LateCorrection
