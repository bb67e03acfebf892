#include "run/SourcePreparation.h"

#include "acoustics/MicrophoneList.h"
#include "foundation/ThreadTeam.h"
#include "model/Model.h"
#include "run/RunParameters.h"
#include "tracing/LateCorrection.h"
#include "tracing/TraceStatistics.h"

void prepareSource(Model& model, TraceStatistics& statistics, unsigned index) {
    statistics.escapedCount = 0;
    statistics.edgeHitCount = 0;
    // Without SaveAll the sums and the receivers keep what the earlier sources left.
    if (index == 0 || parameters.SaveAll) {
        statistics.clearSums();
        microphones().clearAll();
        if (parameters.correctsLateDecay()) LateCorrection::prepare(model, microphones(), statistics);
    }
    // Every receiver gets the delay of this source's direct sound; each
    // iteration touches its own receiver only.
    MicrophoneList& list = microphones();
    const int count = static_cast<int>(list.receiverCount());
    const double speed = parameters.SoundSpeed;
    const Coord origin = model.sources[index].axis.origin;
    parallelFor(static_cast<std::size_t>(count), 64, [&](std::size_t i, unsigned) {
        Microphone* microphone = list.at(static_cast<int>(i) + 1);
        if (microphone) microphone->response.setDirectDelay(distance(origin, microphone->axis.origin) / speed);
    }, count >= static_cast<int>(MicrophoneList::threadsFrom));
    model.indexReceivers();
}
