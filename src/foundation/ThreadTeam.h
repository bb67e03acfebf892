#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

/// The threads of a run: the calling thread and size() - 1 workers, which sleep between jobs.
///
/// Workers that spun while waiting for the next parallel loop (as the OpenMP
/// runtime's do, by default for a few milliseconds after each) took the core
/// that the serial parts of the run (loading, the index, writing) ran on: the
/// hall's Level-0 run took 0.029 s on two threads with spinning waits, and one
/// thread's 0.018 s with sleeping ones.
class ThreadTeam {
public:
    ThreadTeam() = default;
    ThreadTeam(const ThreadTeam&) = delete;
    ThreadTeam& operator=(const ThreadTeam&) = delete;
    ~ThreadTeam();

    /// Makes the team threads strong, the caller included (at least 1); not while a job runs.
    void resize(unsigned threads);
    /// The threads of the team, the caller included.
    unsigned size() const { return static_cast<unsigned>(workers_.size()) + 1; }
    /// Calls work(t) once on each thread t of the team (0 is the caller) and returns when every call has returned;
    /// then throws the first exception a call threw, if any. Inside a job, the calls are made one after the other
    /// on the calling thread.
    void run(const std::function<void(unsigned)>& work);

private:
    // The loop of worker thread: waits for a job after job done, runs it, and so on until the team stops.
    void serve(unsigned thread, std::uint64_t done);
    void stopWorkers();

    std::vector<std::thread> workers_;
    std::mutex lock_;
    std::condition_variable started_, finished_;
    const std::function<void(unsigned)>* work_ = nullptr;
    std::uint64_t job_ = 0;
    unsigned busy_ = 0;
    // The first exception a worker's call of the current job threw.
    std::exception_ptr failure_;
    bool quitting_ = false;
};

/// The team of this process, sized by the run (1 until then).
ThreadTeam& threadTeam();

/// The processors this process may run on (its affinity mask), at least 1.
int availableProcessors();

/// Calls body(i, t) once for each i in [0, count) on the threads t of the team, which take chunk consecutive values
/// of i at a time (at least 1), in increasing order; on the calling thread alone (t = 0) when parallel is false or
/// when called inside a job.
void parallelFor(std::size_t count, std::size_t chunk, const std::function<void(std::size_t, unsigned)>& body,
                 bool parallel = true);
