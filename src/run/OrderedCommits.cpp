#include "run/OrderedCommits.h"

#include <utility>

void OrderedCommits::offer(std::uint32_t k, PyramidLog& log) {
    const std::lock_guard<std::mutex> guard(lock_);
    if (k != next_) {
        // Out of turn: the log waits, the thread goes on with an empty one.
        PyramidLog& kept = waiting_[k];
        std::swap(kept, log);
        if (!spare_.empty()) {
            std::swap(log, spare_.back());
            spare_.pop_back();
        }
        return;
    }
    log.commit(statistics_);
    for (++next_; !waiting_.empty() && waiting_.begin()->first == next_; ++next_) {
        waiting_.begin()->second.commit(statistics_);
        spare_.push_back(std::move(waiting_.begin()->second));
        waiting_.erase(waiting_.begin());
    }
}

void OrderedCommits::progress(std::uint32_t& committed, std::uint32_t& escaped, std::uint32_t& edges) {
    const std::lock_guard<std::mutex> guard(lock_);
    committed = next_;
    escaped = statistics_.escapedCount;
    edges = statistics_.edgeHitCount;
}
