#include "mpi/MpiWorker.h"

#include <deque>

#include "foundation/InputFiles.h"
#include "foundation/ThreadTeam.h"
#include "mpi/MpiCoordinator.h"
#include "model/MaterialLibrary.h"
#include "results/HitsFile.h"
#include "run/RayManager.h"
#include "run/RunParameters.h"
#include "run/SourcePreparation.h"
#include "tracing/Pyramid.h"
#include "tracing/PyramidTracer.h"
#include "tracing/section/SectionDrawing.h"
#include "ui/Messages.h"

MpiWorker::MpiWorker() {
    threadTeam().resize(threadCount(parameters.OpenMP, availableProcessors()));
    // Process 0 alone writes files: no drawing of a diffraction section here.
    SectionDrawing::stop();
    // The model as process 0 read it: the file's copy it sent.
    std::unique_ptr<std::istream> file = InputFiles::open(parameters.modelFile.str());
    if (!file) return;
    model.load(*file);
    if (!materialsLoaded()) materials();
    ready = true;
}

void MpiWorker::serve() {
    for (;;) {
        int command = 0;
        MPI_Bcast(&command, 1, MPI_INT, 0, MPI_COMM_WORLD);
        if (command == MpiCoordinator::runOver || command < 0 || static_cast<std::size_t>(command) >= model.sources.size())
            return;
        traceSource(static_cast<unsigned>(command));
    }
}

// Process 0 sends two batches at first and answers each batch's logs with
// one more, an empty batch once nothing is left: so this process knows how
// many messages are still to come, and the source is over for it when they
// have all come and every batch is traced.
void MpiWorker::traceSource(unsigned index) {
    prepareSource(model, statistics_, index);
    // The hits-file records travel with the logs; process 0 writes them.
    if (parameters.HitLevel >= 0) HitsFile::formatFor(index);
    const PlacedSource& source = model.sources[index];
    std::deque<PyramidBatch> batches;
    unsigned expected = 2, received = 0;
    for (;;) {
        // Every batch already here is taken; one is waited for only when there is nothing to trace.
        while (received < expected && channel_.receive(batchTag, bytes_, batches.empty() ? -1 : 0) >= 0) {
            ++received;
            PyramidBatch batch;
            if (!batch.unpack(bytes_)) fatalError("Process 0 of the run sent a batch that cannot be read");
            if (!batch.seeds.empty()) batches.push_back(std::move(batch));
        }
        if (batches.empty()) break;
        trace(batches.front(), source);
        batches.pop_front();
        ++expected;
    }
    channel_.flush();
    HitsFile::close();
}

// The pyramids of batch over the threads, one at a time, each into its
// thread's log, packed in its place of the batch: the logs go back in pyramid order.
void MpiWorker::trace(const PyramidBatch& batch, const PlacedSource& source) {
    const int count = static_cast<int>(batch.seeds.size());
    if (packed_.size() < batch.seeds.size()) packed_.resize(batch.seeds.size());
    logs_.resize(threadTeam().size());
    ReceiverSpheres* spheres = parameters.correctsLateDecay() ? &statistics_.spheres : nullptr;
    parallelFor(batch.seeds.size(), 1, [&](std::size_t i, unsigned thread) {
        PyramidLog& log = logs_[thread];
        const PyramidSeed& seed = batch.seeds[i];
        Pyramid p(seed, source.radiatedEnergy(seed.section.axis));
        PyramidTracer(model, log, spheres).trace(p);
        std::string& packed = packed_[i];
        packed.clear();
        log.pack(packed);
        log.clear();
    });
    std::string logs;
    PyramidBatch::startLogs(batch.first, static_cast<std::uint32_t>(count), logs);
    for (int i = 0; i < count; ++i) logs += packed_[static_cast<std::size_t>(i)];
    channel_.send(0, logsTag, std::move(logs));
}
