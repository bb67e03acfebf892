#include "run/RayManager.h"

#include <omp.h>

#include "acoustics/MicrophoneList.h"
#include "model/MaterialLibrary.h"
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
    std::ifstream file(parameters.modelFile.str(), std::ios::binary);
    if (!file) return;
    model.load(file);
    // A model without receivers has nothing to compute: the program ends quietly.
    ready = ready && microphones().receiverCount() > 0;
    if (!materialsLoaded()) materials();
}
