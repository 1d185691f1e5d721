#pragma once

// The pseudo-random numbers of the tools that write demo rows: splitmix64,
// the same numbers on every platform and compiler for the same seed.

#include <cstdint>

namespace tools {

class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 <= value < bound
    std::int64_t below(std::int64_t bound) { return bound <= 0 ? 0 : std::int64_t(next() % std::uint64_t(bound)); }
    std::int64_t between(std::int64_t low, std::int64_t high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

} // namespace tools
