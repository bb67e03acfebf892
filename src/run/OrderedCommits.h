#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "tracing/PyramidLog.h"
#include "tracing/TraceStatistics.h"

/// Commits the logs of pyramids traced on several threads in the order the
/// pyramids were handed out, whatever the order they finish in.
class OrderedCommits {
public:
    /// Commits into statistics (and the microphones and files the logs name).
    explicit OrderedCommits(TraceStatistics& statistics) : statistics_(statistics) {}

    /// Takes the log of pyramid k (numbered from 0 as handed out): committed now with every waiting log that follows
    /// it when k's turn has come, else kept for its turn. log comes back empty, ready for the next pyramid.
    void offer(std::uint32_t k, PyramidLog& log);
    /// The pyramids committed so far and the statistics' escape and edge-hit counts, read together.
    void progress(std::uint32_t& committed, std::uint32_t& escaped, std::uint32_t& edges);

private:
    std::mutex lock_;
    TraceStatistics& statistics_;
    std::uint32_t next_ = 0;
    std::map<std::uint32_t, PyramidLog> waiting_;
    // Emptied logs, so that a log kept for its turn is replaced without allocating.
    std::vector<PyramidLog> spare_;
};
