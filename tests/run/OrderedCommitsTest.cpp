#include "run/OrderedCommits.h"

#include <atomic>
#include <chrono>
#include <ostream>
#include <streambuf>
#include <thread>

#include "acoustics/Microphone.h"
#include "support/UiFixture.h"

using OrderedCommitsTest = UiFixture;

// Logs offered a batch at a time by two threads are committed in the pyramids' order however the batches arrive, each
// once, and come back empty for the thread's next batch.
TEST_F(OrderedCommitsTest, BatchesFromTwoThreadsAreCommittedInThePyramidsOrder) {
    Microphone microphone;
    microphone.response.setDirectDelay(0.5);
    TraceStatistics statistics;
    OrderedCommits commits(statistics, 2);
    BandEnergies energy{};
    energy.fill(1);
    // Pyramid k escapes k + 1 times and arrives directly at time 0.01 · (k + 1): the first direct wave committed stays.
    const auto offer = [&](std::uint32_t first, std::uint32_t count, unsigned thread) {
        std::vector<PyramidLog> logs(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            logs[i].arrival(microphone, 1, energy, 0, Vector(1, 0, 0), 0.01 * (first + i + 1));
            for (std::uint32_t e = 0; e <= first + i; ++e) logs[i].escaped(Line());
        }
        commits.offer(first, logs.data(), count, thread);
        for (PyramidLog& log : logs) {
            TraceStatistics none;
            log.commit(none);
            EXPECT_EQ(none.escapedCount, 0u) << "log " << first << " came back with what it held";
        }
    };
    const struct { std::uint32_t first, count; unsigned thread, committed; } rows[] = {
        {3, 2, 1, 0}, {5, 1, 1, 0}, {0, 3, 0, 6}, {8, 2, 0, 6}, {6, 2, 1, 10},
    };
    for (const auto& row : rows) {
        offer(row.first, row.count, row.thread);
        std::uint32_t committed = 0, escaped = 0, edges = 0;
        commits.progress(committed, escaped, edges);
        EXPECT_EQ(committed, row.committed) << "after " << row.first;
        EXPECT_EQ(escaped, row.committed * (row.committed + 1) / 2) << "after " << row.first;
    }
    EXPECT_EQ(microphone.response.directDelay, 0.01);
}

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
