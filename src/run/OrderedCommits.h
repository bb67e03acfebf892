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
    explicit OrderedCommits(TraceStatistics& statistics)
        : statistics_(statistics), escaped_(statistics.escapedCount), edges_(statistics.edgeHitCount) {}

    /// Takes the log of pyramid k (numbered from 0 as handed out) and commits every log whose turn has come, unless
    /// another thread is committing them already. log comes back empty, ready for the next pyramid.
    void offer(std::uint32_t k, PyramidLog& log);
    /// The pyramids committed so far and the statistics' escape and edge-hit counts, read together.
    void progress(std::uint32_t& committed, std::uint32_t& escaped, std::uint32_t& edges);

private:
    using Waiting = std::map<std::uint32_t, PyramidLog>;

    Waiting::iterator place(std::uint32_t k);

    std::mutex lock_;
    TraceStatistics& statistics_;
    std::uint32_t next_ = 0;
    bool committing_ = false;
    // The counts after the last commit, for progress: the statistics themselves change outside the lock.
    std::uint32_t escaped_ = 0, edges_ = 0;
    Waiting waiting_;
    // Emptied logs in their map nodes, so that a log waits for its turn without allocating.
    std::vector<Waiting::node_type> spare_;
};
