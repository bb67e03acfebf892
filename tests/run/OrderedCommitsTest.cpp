#include "run/OrderedCommits.h"

#include <atomic>
#include <chrono>
#include <ostream>
#include <streambuf>
#include <thread>

#include "support/UiFixture.h"

using OrderedCommitsTest = UiFixture;

namespace {
// A stream that holds the thread writing to it at its first character until released: a commit paused in the middle.
class HeldStream : public std::streambuf {
public:
    std::atomic<bool> entered{false}, released{false};

protected:
    int overflow(int c) override {
        entered = true;
        while (!released) std::this_thread::yield();
        return c;
    }
};
}  // namespace

// A log offered while another thread commits is left to that thread, which must look for the next turn again before
// it stops: otherwise the log waits for an offer that may never come (the run's last logs are lost).
TEST_F(OrderedCommitsTest, ALogOfferedDuringACommitIsCommittedByTheCommitter) {
    HeldStream held;
    std::ostream escapedRays(&held);
    TraceStatistics statistics;
    statistics.escapedRays = &escapedRays;
    OrderedCommits commits(statistics, 2);
    std::thread first([&] {
        PyramidLog log;
        log.escaped(Line());
        commits.offer(0, &log, 1, 0);
    });
    // The first log's commit is under way (a commit that never writes would fail here, not hang).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!held.entered && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_TRUE(held.entered);
    PyramidLog second;
    second.escaped(Line());
    commits.offer(1, &second, 1, 1);
    held.released = true;
    first.join();
    std::uint32_t committed = 0, escaped = 0, edges = 0;
    commits.progress(committed, escaped, edges);
    EXPECT_EQ(committed, 2u);
    EXPECT_EQ(escaped, 2u);
}
