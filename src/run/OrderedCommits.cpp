#include "run/OrderedCommits.h"

#include <utility>

// The place of pyramid k's log among the waiting ones, in one of thread's spare nodes when it has one.
OrderedCommits::Waiting::iterator OrderedCommits::place(std::uint32_t k, unsigned thread) {
    std::vector<Waiting::node_type>& spare = spare_.at(thread);
    if (spare.empty()) return waiting_.emplace(k, Entry{PyramidLog(), thread}).first;
    Waiting::node_type node = std::move(spare.back());
    spare.pop_back();
    node.key() = k;
    return waiting_.insert(std::move(node)).position;
}

// One thread commits at a time, outside the lock: a thread that finds another committing leaves its logs to it and
// traces on. (Committing under the lock kept the other thread waiting for the whole commit, which with tens of
// receivers is a tenth of the work.) The committer takes every log whose turn has come at once, and looks for the
// next turn under the lock after committing them, so a log left to it is never forgotten.
void OrderedCommits::offer(std::uint32_t k, PyramidLog* logs, std::uint32_t count, unsigned thread) {
    std::unique_lock<std::mutex> guard(lock_);
    for (std::uint32_t i = 0; i < count; ++i) std::swap(place(k + i, thread)->second.log, logs[i]);
    if (committing_) return;
    committing_ = true;
    for (;;) {
        while (!waiting_.empty() && waiting_.begin()->first == next_ + turns_.size())
            turns_.push_back(waiting_.extract(waiting_.begin()));
        if (turns_.empty()) break;
        guard.unlock();
        for (Waiting::node_type& turn : turns_) turn.mapped().log.commit(statistics_);
        guard.lock();
        next_ += static_cast<std::uint32_t>(turns_.size());
        escaped_ = statistics_.escapedCount;
        edges_ = statistics_.edgeHitCount;
        for (Waiting::node_type& turn : turns_) spare_[turn.mapped().thread].push_back(std::move(turn));
        turns_.clear();
    }
    committing_ = false;
}

void OrderedCommits::progress(std::uint32_t& committed, std::uint32_t& escaped, std::uint32_t& edges) {
    const std::lock_guard<std::mutex> guard(lock_);
    committed = next_;
    escaped = escaped_;
    edges = edges_;
}
