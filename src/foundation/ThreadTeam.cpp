#include "foundation/ThreadTeam.h"

#include <algorithm>
#include <atomic>
#include <sched.h>

namespace {
// Whether this thread is running a job of a team: a job started from inside one (a parallel loop, say) runs on
// its thread alone, the team's threads being all taken, as a nested OpenMP region did.
thread_local bool inJob = false;

// Marks the thread as in a job for the life of the object.
struct JobScope {
    JobScope() { inJob = true; }
    ~JobScope() { inJob = false; }
};

// Calls work(thread) as a part of a job; answers what it threw, if anything.
std::exception_ptr runPart(const std::function<void(unsigned)>& work, unsigned thread) {
    const JobScope scope;
    try {
        work(thread);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}
}  // namespace

ThreadTeam::~ThreadTeam() { stopWorkers(); }

void ThreadTeam::stopWorkers() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        quitting_ = true;
    }
    started_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    quitting_ = false;
}

void ThreadTeam::resize(unsigned threads) {
    threads = std::max(threads, 1u);
    if (threads == size()) return;
    stopWorkers();
    // A new worker waits for the job after the last one run.
    for (unsigned t = 1; t < threads; ++t) workers_.emplace_back([this, t, last = job_] { serve(t, last); });
}

void ThreadTeam::run(const std::function<void(unsigned)>& work) {
    if (inJob || workers_.empty()) {
        for (unsigned t = 0; t < size(); ++t) work(t);
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        work_ = &work;
        busy_ = static_cast<unsigned>(workers_.size());
        failure_ = nullptr;
        ++job_;
    }
    started_.notify_all();
    // The workers use what the job refers to until they are done: run waits for them even when thread 0's part
    // throws, and then throws the first exception of the job.
    std::exception_ptr failure = runPart(work, 0);
    std::unique_lock<std::mutex> hold(lock_);
    finished_.wait(hold, [this] { return busy_ == 0; });
    work_ = nullptr;
    if (!failure) failure = failure_;
    failure_ = nullptr;
    hold.unlock();
    if (failure) std::rethrow_exception(failure);
}

void ThreadTeam::serve(unsigned thread, std::uint64_t done) {
    for (;;) {
        const std::function<void(unsigned)>* work;
        {
            std::unique_lock<std::mutex> hold(lock_);
            started_.wait(hold, [&] { return quitting_ || job_ != done; });
            if (quitting_) return;
            done = job_;
            work = work_;
        }
        const std::exception_ptr failure = runPart(*work, thread);
        std::lock_guard<std::mutex> hold(lock_);
        if (failure && !failure_) failure_ = failure;
        if (--busy_ == 0) finished_.notify_one();
    }
}

ThreadTeam& threadTeam() {
    static ThreadTeam team;
    return team;
}

int availableProcessors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(CPU_COUNT(&set), 1);
    return static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
}

void parallelFor(std::size_t count, std::size_t chunk, const std::function<void(std::size_t, unsigned)>& body,
                 bool parallel) {
    chunk = std::max<std::size_t>(chunk, 1);
    if (!parallel || threadTeam().size() == 1 || count <= chunk) {
        for (std::size_t i = 0; i < count; ++i) body(i, 0);
        return;
    }
    std::atomic<std::size_t> next{0};
    threadTeam().run([&](unsigned thread) {
        for (std::size_t first; (first = next.fetch_add(chunk)) < count;)
            for (std::size_t i = first; i < std::min(first + chunk, count); ++i) body(i, thread);
    });
}
