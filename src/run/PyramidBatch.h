#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tracing/PyramidSeed.h"

class PyramidGenerator;

/// Consecutive pyramids of one source handed out together, to a thread of this process or to another process: the
/// number of the first (counted from 0 in the generator's order) and their seeds, with the byte form in which they
/// travel to another process.
struct PyramidBatch {
    /// The number of the first pyramid, counted from 0 in the generator's order.
    std::uint32_t first = 0;
    /// The seeds of pyramids first, first + 1, ...; none: nothing more of this source for the receiver.
    std::vector<PyramidSeed> seeds;

    /// Takes the next seeds of generator, numbered on from handedOut (advanced past them), under the lock the takers
    /// share: size(pyramids - handedOut, takers) of them but no more than most, fewer when the generator runs out;
    /// false, none taken, when none is left or stop is set.
    bool take(PyramidGenerator& generator, const bool& stop, std::uint32_t& handedOut, std::uint32_t pyramids,
              int takers, std::uint32_t most);
    /// The byte form of the batch, into out (replaced).
    void pack(std::string& out) const;
    /// The batch from its byte form; false, the batch left empty, when in is malformed.
    bool unpack(std::string_view in);

    /// Starts the byte form of the logs of count pyramids from number first, to which each log is then appended by
    /// PyramidLog::pack in pyramid order (out replaced).
    static void startLogs(std::uint32_t first, std::uint32_t count, std::string& out);
    /// Reads the start written by startLogs off in; false when in is too short for one.
    static bool readLogsStart(std::string_view& in, std::uint32_t& first, std::uint32_t& count);

    /// How many of remaining pyramids to hand out next to one of processes: a quarter of an even share, at most
    /// maxSize, at least 1 while any remain, so that batches shrink toward the end and no process is left with a
    /// long batch while the others have finished.
    static std::uint32_t size(std::uint32_t remaining, int processes);
    /// The largest batch handed to another process: enough to keep its threads busy between two messages, few enough
    /// to bound the memory of the logs that wait for their turn.
    static constexpr std::uint32_t maxSize = 256;
    /// The largest batch a thread takes: the lock and the commit paid once a batch (once a pyramid they were a
    /// tenth of the work on two threads), while a cancel still stops each thread within 16 pyramids.
    static constexpr std::uint32_t maxThreadSize = 16;
    /// The lock the takers share: over the generator, the count handed out and the stop flag.
    static inline std::mutex handingOut;
};
