#include "run/OrderedCommits.h"

#include <utility>

// The place of pyramid k's log among the waiting ones, in a spare node when there is one.
OrderedCommits::Waiting::iterator OrderedCommits::place(std::uint32_t k) {
    if (spare_.empty()) return waiting_.emplace(k, PyramidLog()).first;
    Waiting::node_type node = std::move(spare_.back());
    spare_.pop_back();
    node.key() = k;
    return waiting_.insert(std::move(node)).position;
}

// One thread commits at a time, outside the lock: a thread that finds another committing leaves its log to it and
// traces on. (Committing under the lock kept the other thread waiting for the whole commit, which with tens of
// receivers is a tenth of the work.) The committer looks for the next turn under the lock after each commit, so a
// log left to it is never forgotten.
void OrderedCommits::offer(std::uint32_t k, PyramidLog& log) {
    std::unique_lock<std::mutex> guard(lock_);
    std::swap(place(k)->second, log);
    if (committing_) return;
    committing_ = true;
    while (!waiting_.empty() && waiting_.begin()->first == next_) {
        Waiting::node_type turn = waiting_.extract(waiting_.begin());
        guard.unlock();
        turn.mapped().commit(statistics_);
        guard.lock();
        ++next_;
        escaped_ = statistics_.escapedCount;
        edges_ = statistics_.edgeHitCount;
        spare_.push_back(std::move(turn));
    }
    committing_ = false;
}

void OrderedCommits::progress(std::uint32_t& committed, std::uint32_t& escaped, std::uint32_t& edges) {
    const std::lock_guard<std::mutex> guard(lock_);
    committed = next_;
    escaped = escaped_;
    edges = edges_;
}
