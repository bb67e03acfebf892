#pragma once
#include <cstdint>
#include <string>

#include "mpi/MpiChannel.h"
#include "run/OtherProcesses.h"
#include "run/PyramidBatch.h"
#include "tracing/PyramidLog.h"

class OrderedCommits;

/// Process 0 of an MPI run: traces pyramids on its own threads as a run in one process does and hands batches of
/// them to the other processes (MpiWorker), whose logs it commits with its own in the generator's order, so that the
/// results are those of one process bit for bit. It alone keeps the monitor and writes files.
class MpiCoordinator : public OtherProcesses {
public:
    /// The coordinator of a run of processes processes in all (itself included).
    explicit MpiCoordinator(int processes) : processes_(processes) {}

    bool traceSource(RayManager& manager, PyramidGenerator& generator, const PlacedSource& source, unsigned index,
                     std::uint32_t pyramids, std::uint32_t& done) override;
    /// Tells the other processes that no source follows.
    void finish();

    /// The source number that tells the other processes the run is over.
    static constexpr int runOver = -1;

private:
    void handOut(int to, PyramidGenerator& generator, std::uint32_t pyramids);
    void serve(OrderedCommits& commits, PyramidGenerator& generator, std::uint32_t pyramids, int waitMs);

    int processes_;
    MpiChannel channel_;
    // The pyramids handed out so far (to this process's threads and the others); guarded by the generator lock.
    std::uint32_t handedOut_ = 0;
    // Set by a cancel: nothing more is handed out; guarded by the generator lock.
    bool stop_ = false;
    // Batches handed to other processes whose logs have not come back; first thread only.
    std::uint32_t outstanding_ = 0;
    PyramidBatch batch_;
    std::string bytes_;
    PyramidLog received_;
};
