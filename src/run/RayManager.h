#pragma once
#include <cstdint>
#include <fstream>
#include <memory>

#include "model/Model.h"
#include "run/ExitStatus.h"
#include "tracing/TraceStatistics.h"
#include "ui/RunMonitor.h"

class OtherProcesses;
class PyramidGenerator;
class OrderedCommits;
class PyramidLog;
struct PyramidBatch;
struct PyramidSeed;

/// The tracing manager: prepares a run (log, status box, threads, model,
/// materials), runs it source by source and writes the results.
class RayManager {
public:
    /// Opens the log, fixes the thread count, shows the status box and loads the model.
    /// Afterwards ready tells whether the run may start.
    RayManager();
    /// Closes the status box and writes the stop line of the log.
    virtual ~RayManager() = default;
    RayManager(const RayManager&) = delete;
    RayManager& operator=(const RayManager&) = delete;

    /// Traces every source and writes the results when due; answers true.
    bool run();
    /// Traces one pyramid and its clones into log (called from the worker threads).
    void tracePyramid(Pyramid& p, PyramidLog& log);
    /// Traces the pyramids of batch from source, each into its log of logs (as many as the batch's seeds).
    void traceBatch(const PyramidBatch& batch, const PlacedSource& source, PyramidLog* logs);
    /// Shows the progress of commits at every eighth pyramid committed (shown: the count last shown); when the user
    /// asks to stop, sets stop under that lock.
    void showProgress(OrderedCommits& commits, std::uint32_t& shown, bool& stop);
    /// Writes the results of source i (or of all sources so far) with the statistics of the run.
    void writeResults(unsigned sourceIndex, double meanFreePath, double standardDeviation, double meanHistory,
                      std::uint32_t cancelledAfter = 0);

    Model model;
    bool ready = false;
    /// How the run ended, for the program's exit status.
    ExitStatus status = ExitStatus::ok;
    RunMonitor monitor;
    TraceStatistics statistics;
    std::unique_ptr<std::ofstream> escapedRays;
    /// The other processes the pyramids are spread over (not owned); null: this process traces them all.
    OtherProcesses* otherProcesses = nullptr;

private:
    bool traceSource(unsigned index, std::uint32_t pyramids);
    bool traceInOrder(PyramidGenerator& generator, const PlacedSource& source, std::uint32_t& done);
    bool traceInParallel(PyramidGenerator& generator, const PlacedSource& source, std::uint32_t pyramids,
                         std::uint32_t& done);
    void saveResults(unsigned index, std::uint32_t pyramids, std::uint32_t done, bool cancelled);
    void warnIfAllEscaped(const PlacedSource& source, std::uint32_t pyramids, std::uint32_t done);
    void warnAboutInput();
    bool refused(ExitStatus why);
    bool outputsWritable(std::uint32_t pyramids);
};

/// The worker thread count in force for a requested count on a machine of processors:
/// the request when 1 <= request < processors, else all processors.
std::uint16_t threadCount(std::uint16_t requested, int processors);
