#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "foundation/ThreadTeam.h"

// The team of the process back to one thread when a test ends, whatever it asserted.
struct OneThreadAfter {
    ~OneThreadAfter() { threadTeam().resize(1); }
};

// Every index once, on threads numbered within the team, in chunks taken in increasing order; a worker takes part
// when the loop is spread and none when it is not (thread 0 waits at its first index for one to come); for every size
// the team is made, down and up again.
TEST(ThreadTeamTest, ParallelForVisitsEveryIndexOnceOnTheTeamsThreads) {
    const OneThreadAfter reset;
    const struct {
        unsigned threads;
        std::size_t count, chunk;
        bool parallel;
    } rows[] = {
        {1, 10, 4, true}, {2, 1000, 4, true}, {3, 1001, 7, true}, {2, 3, 4, true},
        {3, 0, 1, true},  {2, 500, 1, false}, {4, 64, 1, true},   {1, 5, 1, true}, {2, 9, 0, true},
    };
    for (const auto& row : rows) {
        threadTeam().resize(row.threads);
        ASSERT_EQ(threadTeam().size(), row.threads);
        const bool spread = row.parallel && row.threads > 1 && row.count > std::max<std::size_t>(row.chunk, 1);
        std::vector<std::atomic<int>> visits(row.count);
        std::mutex lock;
        std::set<unsigned> teams;
        std::set<std::thread::id> ids;
        // Per thread, the last index it saw: a thread's chunks come in increasing order.
        std::vector<long long> last(row.threads, -1);
        bool ordered = true;
        std::atomic<bool> workerSeen{false}, waited{false};
        // Long enough for a worker to wake: up to 10 s where one must take part, 50 ms where none may.
        const int patience = spread ? 10000 : row.threads > 1 ? 50 : 0;
        parallelFor(row.count, row.chunk, [&](std::size_t i, unsigned thread) {
            if (thread != 0) workerSeen = true;
            if (thread == 0 && !waited.exchange(true))
                for (int k = 0; k < patience && !workerSeen; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++visits[i];
            std::lock_guard<std::mutex> hold(lock);
            teams.insert(thread);
            ids.insert(std::this_thread::get_id());
            if (thread < last.size()) {
                ordered = ordered && static_cast<long long>(i) > last[thread];
                last[thread] = static_cast<long long>(i);
            }
        }, row.parallel);
        for (std::size_t i = 0; i < row.count; ++i) EXPECT_EQ(visits[i], 1) << row.threads << " threads, index " << i;
        EXPECT_TRUE(ordered) << row.threads << " threads";
        for (unsigned t : teams) EXPECT_LT(t, row.threads);
        EXPECT_EQ(ids.size(), teams.size()) << "one number a thread";
        if (spread) {
            // A worker took part (on a busy machine the workers may take every chunk before the caller takes one).
            EXPECT_TRUE(teams.upper_bound(0) != teams.end())
                << row.threads << " threads, " << row.count << " indices: the workers took part";
        } else {
            EXPECT_TRUE(teams.empty() || (teams == std::set<unsigned>{0} && ids.count(std::this_thread::get_id())))
                << "the caller alone";
        }
    }
}

// A job runs once on each thread, the caller's as thread 0, and run returns only when every thread's call has: the
// sums each thread left are all there, job after job. A loop started inside a job runs on that job's thread.
TEST(ThreadTeamTest, RunCallsEachThreadOnceAndWaitsForAll) {
    ThreadTeam team;
    team.resize(3);
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int> calls(3, 0);
    for (int job = 1; job <= 50; ++job) {
        std::atomic<unsigned> callers{0}, onCaller{0};
        team.run([&](unsigned thread) {
            if (thread > 0) std::this_thread::yield();
            ++calls[thread];
            ++callers;
            if (std::this_thread::get_id() == caller) onCaller += thread + 1;
        });
        ASSERT_EQ(callers, 3u) << "job " << job;
        EXPECT_EQ(onCaller, 1u) << "thread 0, and only it, on the caller";
        EXPECT_EQ(calls, std::vector<int>(3, job));
    }
    const OneThreadAfter reset;
    threadTeam().resize(2);
    std::atomic<int> inner{0}, elsewhere{0};
    threadTeam().run([&](unsigned) {
        const std::thread::id self = std::this_thread::get_id();
        parallelFor(100, 1, [&](std::size_t, unsigned) {
            ++inner;
            elsewhere += std::this_thread::get_id() != self;
        });
    });
    EXPECT_EQ(inner, 200);
    EXPECT_EQ(elsewhere, 0);
}

// A call that throws, on the caller's thread or on a worker, makes run throw once every thread is done with the job
// (the others' parts refer to the caller's frame); the team then runs the next job as before.
TEST(ThreadTeamTest, AnExceptionOfAJobIsThrownByRunAfterEveryThreadIsDone) {
    ThreadTeam team;
    team.resize(3);
    for (unsigned thrower = 0; thrower < 3; ++thrower) {
        std::atomic<int> finished{0};
        try {
            team.run([&](unsigned thread) {
                if (thread == thrower) throw std::runtime_error("part " + std::to_string(thread));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ++finished;
            });
            ADD_FAILURE() << "no exception from thread " << thrower;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "part " + std::to_string(thrower));
            EXPECT_EQ(finished, 2) << "run threw before the other threads were done";
        }
        std::atomic<int> calls{0};
        team.run([&](unsigned) { ++calls; });
        EXPECT_EQ(calls, 3);
    }
}
