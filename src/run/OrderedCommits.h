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
    /// Commits into statistics (and the microphones and files the logs name), for logs offered by threads numbered
    /// 0 to threads - 1.
    explicit OrderedCommits(TraceStatistics& statistics, unsigned threads = 1)
        : statistics_(statistics), escaped_(statistics.escapedCount), edges_(statistics.edgeHitCount), spare_(threads) {}

    /// Takes the logs of pyramids k to k + count - 1 (numbered from 0 as handed out) from thread and commits every
    /// log whose turn has come, unless another thread is committing them already. The logs come back empty, ready
    /// for the next pyramids.
    void offer(std::uint32_t k, PyramidLog* logs, std::uint32_t count, unsigned thread);
    /// offer of one log by thread 0.
    void offer(std::uint32_t k, PyramidLog& log) { offer(k, &log, 1, 0); }
    /// The pyramids committed so far and the statistics' escape and edge-hit counts, read together.
    void progress(std::uint32_t& committed, std::uint32_t& escaped, std::uint32_t& edges);

private:
    struct Entry {
        PyramidLog log;
        unsigned thread;  // whose spare nodes the log's memory goes back to
    };
    using Waiting = std::map<std::uint32_t, Entry>;

    Waiting::iterator place(std::uint32_t k, unsigned thread);

    std::mutex lock_;
    TraceStatistics& statistics_;
    std::uint32_t next_ = 0;
    bool committing_ = false;
    // The counts after the last commit, for progress: the statistics themselves change outside the lock.
    std::uint32_t escaped_ = 0, edges_ = 0;
    Waiting waiting_;
    // Per thread, emptied logs in their map nodes, so that a log waits for its turn without allocating. A thread
    // gets back the memory it filled, which its own cache still holds, not memory the other thread filled last.
    std::vector<std::vector<Waiting::node_type>> spare_;
    // The logs the committer has taken to commit (only the committer touches it).
    std::vector<Waiting::node_type> turns_;
};
