#pragma once
#include <cstdint>

/// A pseudo-random generator that yields the sequence of the classic C library rand():
/// values 0 to 32767 from a 32-bit linear congruential state, seeded with 1 until reseeded.
///
/// A plain value type with no locking: each tracing thread owns one (threadRandom()).
class RandomGenerator {
public:
    /// The largest value next() returns (RAND_MAX of the classic generator).
    static constexpr int maxValue = 32767;

    /// A generator in the state srand(seed) leaves; seed 1 is rand()'s state before any srand.
    explicit constexpr RandomGenerator(unsigned seed = 1) : state_(seed) {}

    /// The next value, 0 to 32767.
    constexpr int next() {
        // The multiplier and increment of the classic rand(); the state wraps modulo 2^32
        // (unsigned arithmetic), and the value is bits 16 to 30 of the new state.
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

private:
    std::uint32_t state_;
};

/// The generator of the calling thread.
///
/// Seeding: every thread's generator starts at seed 1 (rand()'s state before
/// any srand) when the thread first uses it, and nothing reseeds it
/// afterwards. A process traces one run, so a run on one thread draws the
/// same sequence every time and is repeatable. With several threads each
/// thread repeats its own sequence, but which pyramids a thread traces
/// varies from run to run, so the randomised reflections do too. Code that
/// needs a known sequence (a test) assigns threadRandom() = RandomGenerator(seed)
/// on the thread concerned.
inline RandomGenerator& threadRandom() {
    // An inline function's thread_local is one object per thread for the whole program.
    thread_local RandomGenerator generator;
    return generator;
}
