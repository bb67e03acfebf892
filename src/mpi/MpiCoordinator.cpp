#include "mpi/MpiCoordinator.h"

#include "foundation/ThreadTeam.h"
#include "run/OrderedCommits.h"
#include "run/RayManager.h"
#include "tracing/Pyramid.h"
#include "tracing/PyramidGenerator.h"
#include "ui/Messages.h"

namespace {
// How long the first thread waits for a message, once nothing is left to trace here, before it looks at the
// monitor again: a cancel is seen within this time.
constexpr int monitorWaitMs = 50;
}  // namespace

// As RayManager::traceInParallel, with the other processes: every process
// holds two batches at a time, so that it has the next at hand when it sends
// the logs of one; each batch that comes back is answered with the next.
// The first thread serves them between its own batches (up to 16 pyramids:
// the processes are not idle meanwhile, each holds its next batch). A cancel stops the
// handing out; the batches out finish and are committed, so the pyramids
// done are always the first ones.
bool MpiCoordinator::traceSource(RayManager& manager, PyramidGenerator& generator, const PlacedSource& source,
                                 unsigned index, std::uint32_t pyramids, std::uint32_t& done) {
    int command = static_cast<int>(index);
    MPI_Bcast(&command, 1, MPI_INT, 0, MPI_COMM_WORLD);
    handedOut_ = 0;
    stop_ = false;
    outstanding_ = 0;
    const int threads = static_cast<int>(threadTeam().size());
    OrderedCommits commits(manager.statistics, static_cast<unsigned>(threads));
    for (int round = 0; round < 2; ++round)
        for (int to = 1; to < processes_; ++to) handOut(to, generator, pyramids);
    std::uint32_t shown = 0;
    threadTeam().run([&](unsigned thread) {
        const bool first = thread == 0;
        PyramidBatch batch;
        std::vector<PyramidLog> logs(PyramidBatch::maxThreadSize);
        for (;;) {
            const bool taken = batch.take(generator, stop_, handedOut_, pyramids, threads, PyramidBatch::maxThreadSize);
            if (taken) {
                manager.traceBatch(batch, source, logs.data());
                commits.offer(batch.first, logs.data(), static_cast<std::uint32_t>(batch.seeds.size()), thread);
            }
            if (!first) {
                if (taken) continue;
                break;
            }
            // Nothing left here: the first thread waits for the other processes' last logs.
            serve(commits, generator, pyramids, taken ? 0 : monitorWaitMs);
            if (!taken && outstanding_ == 0) break;
            manager.showProgress(commits, shown, stop_);
        }
    });
    channel_.flush();
    done = handedOut_;
    return stop_ || manager.monitor.update(done, manager.statistics.escapedCount, manager.statistics.edgeHitCount);
}

// The next batch for process to (none once the generator is empty or the run
// cancelled, which tells it this source is over for it).
void MpiCoordinator::handOut(int to, PyramidGenerator& generator, std::uint32_t pyramids) {
    if (batch_.take(generator, stop_, handedOut_, pyramids, processes_, PyramidBatch::maxSize)) ++outstanding_;
    batch_.pack(bytes_);
    channel_.send(to, batchTag, bytes_);
}

// Takes the logs that have come back, waiting up to waitMs for the first:
// each process gets its next batch before its logs are committed, so that it
// is not left idle meanwhile.
void MpiCoordinator::serve(OrderedCommits& commits, PyramidGenerator& generator, std::uint32_t pyramids, int waitMs) {
    for (;;) {
        const int from = channel_.receive(logsTag, bytes_, waitMs);
        if (from < 0) return;
        waitMs = 0;
        --outstanding_;
        std::string logs;
        std::swap(logs, bytes_);
        handOut(from, generator, pyramids);
        std::string_view in(logs);
        std::uint32_t first = 0, count = 0;
        bool whole = PyramidBatch::readLogsStart(in, first, count);
        for (std::uint32_t i = 0; i < count && whole; ++i) {
            whole = received_.unpack(in);
            if (whole) commits.offer(first + i, received_);
        }
        if (!whole || !in.empty()) fatalError("Process %d of the run sent logs that cannot be read", from);
    }
}

void MpiCoordinator::finish() {
    int command = runOver;
    MPI_Bcast(&command, 1, MPI_INT, 0, MPI_COMM_WORLD);
}
