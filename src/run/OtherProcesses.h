#pragma once
#include <cstdint>

class PyramidGenerator;
class RayManager;
struct PlacedSource;

/// The other processes a run's pyramids are spread over (an MPI run); a run in one process has none.
///
/// The process that runs the RayManager keeps the monitor, the commits and every file; the others only trace.
class OtherProcesses {
public:
    virtual ~OtherProcesses() = default;
    /// Traces the pyramids of source index from generator (pyramids in all) over this process's threads and the
    /// other processes, committing them into manager in the generator's order; done is set to the pyramids
    /// committed. Answers true when the run was cancelled.
    virtual bool traceSource(RayManager& manager, PyramidGenerator& generator, const PlacedSource& source,
                             unsigned index, std::uint32_t pyramids, std::uint32_t& done) = 0;
};
