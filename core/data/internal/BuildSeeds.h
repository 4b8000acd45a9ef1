// The seeds a perfect-hash build tries, in order: one Mersenne Twister draw per attempt, from a
// generator seeded by the key count and seeded again whenever the build starts over at a higher
// gamma. Private to the data subsystem and its tests.
#pragma once

#include <cstdint>
#include <random>

namespace Quorvin::DataPrivate {

class BuildSeeds {
public:
    explicit BuildSeeds(uint64_t keyCount) : keyCount(keyCount), generator(keyCount + 12345) {}

    /// Starts the sequence afresh for a build that begins again at `gamma`.
    void Restart(uint32_t gamma) { generator.seed(uint64_t{gamma} * 1000 + 12345 + keyCount); }

    /// The seed of a level's attempt `attempt` (0 for the first): the next draw plus attempt times
    /// the golden-ratio stride, so that a generator stuck on a bad stretch still spreads its seeds.
    uint64_t Next(int attempt) {
        return generator() + static_cast<uint64_t>(attempt) * 0x9E3779B97F4A7C15ULL;
    }

private:
    uint64_t keyCount;
    std::mt19937_64 generator;
};

}  // namespace Quorvin::DataPrivate
