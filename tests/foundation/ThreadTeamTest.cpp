#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "foundation/ThreadTeam.h"

// Every index once, on threads numbered within the team, in chunks taken in increasing order; alone when told so;
// for every size the team is made, down and up again (the workers of a smaller team must be gone, a larger one's
// all answering).
TEST(ThreadTeamTest, ParallelForVisitsEveryIndexOnceOnTheTeamsThreads) {
    const struct {
        unsigned threads;
        std::size_t count, chunk;
        bool parallel;
    } rows[] = {
        {1, 10, 4, true}, {2, 1000, 4, true}, {3, 1001, 7, true}, {2, 3, 4, true},
        {3, 0, 1, true},  {2, 500, 1, false}, {4, 64, 1, true},   {1, 5, 1, true},
    };
    for (const auto& row : rows) {
        threadTeam().resize(row.threads);
        ASSERT_EQ(threadTeam().size(), row.threads);
        std::vector<std::atomic<int>> visits(row.count);
        std::mutex lock;
        std::set<unsigned> teams;
        std::set<std::thread::id> ids;
        // Per thread, the last index it saw: a thread's chunks come in increasing order.
        std::vector<long long> last(row.threads, -1);
        bool ordered = true;
        parallelFor(row.count, row.chunk, [&](std::size_t i, unsigned thread) {
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
        if (!row.parallel || row.count <= row.chunk) {
            EXPECT_TRUE(teams.empty() || (teams == std::set<unsigned>{0} && ids.count(std::this_thread::get_id())))
                << "the caller alone";
        }
    }
    threadTeam().resize(1);
}

// A job runs once on each thread, the caller's as thread 0, and run returns only when every thread's call has: the
// sums each thread left are all there, job after job.
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
}
