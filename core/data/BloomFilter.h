// BloomFilter: a set-membership filter over 64-bit keys that answers "possibly present" or
// "certainly absent", sized from an expected key count and a wanted false-positive rate, with a
// self-describing stored form (the filter blob).
//
// Keys are plain 64-bit integers; hash other objects to 64 bits first. Each key sets or tests k
// bits of an m-bit vector at positions (h1 + i * h2) mod m for i = 0 .. k - 1, where h1 and h2 come
// from ComputeHashPair. Sizing, positions and the blob are fixed: filters built or stored anywhere
// give the same bits.
//
// Filter blob, little-endian without gaps: magic 0xBF640001, bitCount, hashCount, insertedCount,
// word count W (32 bits each), then the W 64-bit words. Serialize writes 20 + 8 W bytes.
//
// A filter starts cleared (no words: every query answers false) until Initialize, Build or a
// Deserialize of a non-empty blob. It owns its word array; copies are deep, and a filter moved
// from is left cleared.
//
// Thread-safety: none internal. Const members may run in parallel on a filter nobody modifies;
// Initialize, Build, Insert, Clear and Deserialize need exclusive access.
// Failure: Deserialize returns false on a blob it does not accept and then leaves the filter as it
// was. Allocation failure propagates as std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/base/BitMath.h"
#include "core/data/Hash.h"

namespace Quorvin {

/// A Bloom filter over 64-bit keys with its blob; see the top of this file.
class BloomFilter {
public:
    /// A cleared filter.
    BloomFilter() = default;
    /// A deep copy.
    BloomFilter(const BloomFilter&) = default;
    /// A deep copy.
    BloomFilter& operator=(const BloomFilter&) = default;
    /// Takes the words of `other` and leaves it cleared.
    BloomFilter(BloomFilter&& other) noexcept;
    /// Takes the words of `other` and leaves it cleared (unless it is this filter).
    BloomFilter& operator=(BloomFilter&& other) noexcept;

    /// Largest bit count a filter can have (the bit count is a 32-bit field kept a multiple of 64).
    static constexpr uint32_t MaxBitCount = 0xFFFFFFC0;

    /// Sizes the filter for `expectedCount` keys (0 is taken as 1) at false-positive rate `rate`
    /// (0 or below, or not a number, is taken as 0.001; 1 or above as 0.5) and sets every bit to 0
    /// and the inserted count to 0. bitCount = 64 * ceil(-n ln p / (ln 2)^2 / 64), at least 64 and at
    /// most MaxBitCount; hashCount = round(bitCount / n * 0.693147180559945) clamped to 1 .. 16.
    void Initialize(uint32_t expectedCount, double rate);

    /// Initialize for the set's size (at most 2^32 - 1 is used), then Insert of every key in the
    /// set's iteration order. Returns true.
    bool Build(const std::unordered_set<uint64_t>& keys, double rate);

    /// The key's two hash values: h1 is the MurmurHash3 64-bit finaliser of the key, h2 a second
    /// mix of it. Needs no filter.
    static void ComputeHashPair(uint64_t key, uint64_t& h1, uint64_t& h2) { BloomHashPair(key, h1, h2); }

    /// Sets the key's bits and counts it (a key inserted twice counts twice). Does nothing at all on
    /// an invalid filter.
    void Insert(uint64_t key) {
        uint64_t* const bits = words.data();
        const auto set = [bits](uint64_t position) {
            bits[position >> 6] |= uint64_t{1} << (position & 63);
            return true;
        };
        if (reduction == Reduction::Divide) {
            ForEachPosition<Reduction::Divide>(key, positionDivisor, hashCount, set);
        } else if (reduction == Reduction::Multiply) {
            ForEachPosition<Reduction::Multiply>(key, positionDivisor, hashCount, set);
        }
        // Counted on every path (by 0 without words), so that a loop of inserts may keep the count
        // in a register rather than add to memory per key.
        insertedCount += reduction != Reduction::None ? 1 : 0;
    }

    /// True when every bit of the key is set (a false positive is possible); false on an invalid
    /// filter.
    bool MayContain(uint64_t key) const {
        // Inline, as Insert: a query loop is the filter's hot path, and the compiler overlaps one
        // key's probes with the next key's hashing only when it sees both.
        const uint64_t* const bits = words.data();
        const auto test = [bits](uint64_t position) { return (bits[position >> 6] >> (position & 63)) & 1; };
        bool all = false;  // stays false without words
        if (reduction == Reduction::Divide) {
            all = ForEachPosition<Reduction::Divide>(key, positionDivisor, hashCount, test);
        } else if (reduction == Reduction::Multiply) {
            all = ForEachPosition<Reduction::Multiply>(key, positionDivisor, hashCount, test);
        }
        return all;
    }

    /// Inserts every key of `keys`: the same bits and the same count as Insert of each in turn, but
    /// the positions of a group of keys are computed and their memory requested before any bit is
    /// set, so that the cache misses of many keys overlap. Does nothing at all on an invalid filter.
    void Insert(std::span<const uint64_t> keys);

    /// MayContain of each of the first min(keys.size(), results.size()) keys into the result of
    /// the same index; returns how many keys were answered. Keys are taken a chunk at a time: the
    /// first bits of each key are tested first, with their memory requested ahead, and the other
    /// bits only for the keys whose first bits are set, so that most absent keys cost two probes;
    /// after a chunk of mostly present keys, the next chunk tests all bits in one pass. Results
    /// past the answered count are left as they were; an invalid filter answers false for each
    /// key.
    size_t MayContain(std::span<const uint64_t> keys, std::span<bool> results) const;

    /// Keys inserted since the filter was last sized, cleared or loaded (modulo 2^32).
    uint32_t GetInsertedCount() const { return insertedCount; }

    /// Number of bits the positions address (m).
    uint32_t GetBitCount() const { return bitCount; }

    /// Number of bits set or tested per key (k).
    uint32_t GetHashCount() const { return hashCount; }

    /// The bit vector: bit b is bit b mod 64 of word b / 64.
    const std::vector<uint64_t>& GetWords() const { return words; }

    /// 8 bytes per word plus 40.
    uint64_t GetMemoryUsage() const { return 8 * static_cast<uint64_t>(words.size()) + 40; }

    /// Estimated false-positive probability for the current fill, (1 - e^(-k n / m))^k with n the
    /// inserted count; 0.0 while nothing is inserted or the bit count is 0.
    double EstimateFalsePositiveRate() const;

    /// True while the filter has words.
    bool IsValid() const { return !words.empty(); }

    /// Returns to the cleared state: no words, all counts 0 (the word storage may be kept).
    void Clear();

    /// The filter blob.
    std::string Serialize() const;

    /// Replaces the filter with the one stored in the `size` bytes at `data`; bytes after the
    /// announced words are ignored. Returns false, leaving the filter unchanged, when the input is
    /// shorter than 20 bytes, has another magic, holds fewer words than it announces, or describes
    /// a filter no writer makes and queries could not use safely: a bit count above 64 W, a bit
    /// count of 0 with words, or a hash count above 16. A blob with W = 0 loads as an invalid
    /// filter; a hash count of 0 with words loads as a filter that contains every key.
    bool Deserialize(const void* data, size_t size);

private:
    // How a key's positions are reduced modulo m, or None while the filter has no words: one byte
    // that a single-key call tests once, where a check for words and a choice of reduction would
    // cost two tests per key. Where the hardware divides quickly (HasFastDivider) a division is
    // the shortest reduction; elsewhere multiplication by a reciprocal (FixedDivisor) is, by far.
    // Both give the same positions.
    enum class Reduction : uint8_t { None, Divide, Multiply };

    // The reduction for a filter with these words, on this processor.
    static Reduction ReductionFor(const std::vector<uint64_t>& words);

    // Calls probe(position) for the k positions (h1 + i * h2) mod 2^64 mod m, i = 0 upward, until it
    // returns false. Each position is reduced on its own, so the reductions and the word accesses
    // overlap. Once the words outgrow the nearer caches every probe waits on memory, and then the
    // instructions per probe decide how many probes the processor keeps in flight. The divisor is a
    // local copy (a store to the words could otherwise alias it and force a reload) and a probe
    // passes the bare position. Needs m > 0.
    template <Reduction By, class Probe>
    static bool ForEachPosition(uint64_t key, FixedDivisor m, uint32_t k, Probe&& probe) {
        uint64_t h1;
        uint64_t h2;
        ComputeHashPair(key, h1, h2);
        if constexpr (By == Reduction::Divide) {
            const uint64_t divisor = m.Divisor();
            for (uint32_t i = 0; i < k; ++i) {
                if (!probe((h1 + i * h2) % divisor)) return false;
            }
        } else {
            for (uint32_t i = 0; i < k; ++i) {
                if (!probe(m.Remainder(h1 + i * h2))) return false;
            }
        }
        return true;
    }

    std::vector<uint64_t> words;
    uint32_t bitCount = 0;
    uint32_t hashCount = 0;
    uint32_t insertedCount = 0;
    FixedDivisor positionDivisor;           // always FixedDivisor(bitCount)
    Reduction reduction = Reduction::None;  // None exactly while `words` is empty
};

}  // namespace Quorvin
