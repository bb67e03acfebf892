#pragma once
#include <cstdint>
#include <fstream>
#include <memory>

#include "model/Model.h"
#include "ui/RunMonitor.h"

/// The tracing manager: prepares a run (log, status box, threads, model) and holds its statistics.
class RayManager {
public:
    /// Opens the log, fixes the thread count, shows the status box and opens the model.
    /// Afterwards ready tells whether the run may start.
    RayManager();
    /// Closes the status box and writes the stop line of the log.
    virtual ~RayManager() = default;
    RayManager(const RayManager&) = delete;
    RayManager& operator=(const RayManager&) = delete;

    Model model;
    bool ready = false;
    RunMonitor monitor;
    double pathSum = 0;
    double pathSquareSum = 0;
    double reflectionCount = 0;
    std::uint32_t escapedCount = 0;
    std::uint32_t edgeHitCount = 0;
    std::unique_ptr<std::ofstream> escapedRays;
};

/// The worker thread count in force for a requested count on a machine of processors:
/// the request when 1 <= request < processors, else all processors.
std::uint16_t threadCount(std::uint16_t requested, int processors);
