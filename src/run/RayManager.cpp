#include "run/RayManager.h"

#include <omp.h>

#include "run/RunParameters.h"
#include "ui/Messages.h"

std::uint16_t threadCount(std::uint16_t requested, int processors) {
    if (requested >= 1 && requested < processors) return requested;
    return static_cast<std::uint16_t>(processors);
}

RayManager::RayManager() {
    const std::uint16_t threads = threadCount(parameters.OpenMP, omp_get_num_procs());
    omp_set_num_threads(threads);
    // The count in force is stored back, so that the status box and the results file show it.
    parameters.OpenMP = threads;
    monitor.createStatusBox();
    ready = !pumpMessages();
    std::ifstream model(parameters.modelFile.str());
    if (model) ready = ready && loadModel(model) > 0;
}

// The reader of the room model comes with the model classes; until it is
// there, no model yields a receiver and so no run starts.
std::uint32_t RayManager::loadModel(std::istream&) { return 0; }
