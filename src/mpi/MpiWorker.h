#pragma once
#include <string>
#include <vector>

#include "model/Model.h"
#include "mpi/MpiChannel.h"
#include "run/PyramidBatch.h"
#include "tracing/PyramidLog.h"
#include "tracing/TraceStatistics.h"

/// A process of an MPI run other than process 0: traces the batches of pyramids MpiCoordinator hands it, on its
/// threads, and sends their logs back. It shows nothing and writes no file.
class MpiWorker {
public:
    /// Fixes the thread count and loads the model and materials the parameters name, as RayManager does;
    /// afterwards ready tells whether the model could be read.
    MpiWorker();
    MpiWorker(const MpiWorker&) = delete;
    MpiWorker& operator=(const MpiWorker&) = delete;

    /// Traces every source process 0 names, until it says the run is over.
    void serve();

    /// The model, as process 0 loads it.
    Model model;
    /// Whether the model file could be read.
    bool ready = false;

private:
    void traceSource(unsigned index);
    void trace(const PyramidBatch& batch, const PlacedSource& source);

    TraceStatistics statistics_;
    MpiChannel channel_;
    // One log per thread and one packed log per pyramid of a batch, kept from batch to batch.
    std::vector<PyramidLog> logs_;
    std::vector<std::string> packed_;
    std::string bytes_;
};
