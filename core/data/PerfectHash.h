// PerfectHash and PerfectHashMap: compact, read-mostly lookup tables for fixed sets of 64-bit keys.
//
// PerfectHash is a minimal perfect hash function: built from n distinct keys, it maps each of them
// to its own index in 0 .. n - 1. It stores no keys, only a few bits per key in up to 30 levels: at
// each level every remaining key hashes into a bitmap of gamma bits per key, the keys that land
// alone there are placed (their index is the number of placed keys before them), and the rest move
// on to the next level. Building is randomised by a 64-bit Mersenne Twister seeded from the key
// count, so the same keys in any order, from the same starting gamma, always give the same levels.
// PerfectHashMap pairs a PerfectHash with one 32-bit value per key.
//
// Neither class stores keys: looking up a key that was not in the build set may return another
// key's index or value. Callers that need exact membership keep their own check.
//
// Stored forms, little-endian without gaps:
//  - perfect-hash blob: magic 0xBBBBBBBB, version 1, keyCount, gamma, level count L (32 bits each),
//    then per level seedCount S, keyCount and bitmap byte count B (32 bits each), S 64-bit seeds and
//    B bitmap bytes. Rank lines are not stored.
//  - map blob: magic 0x12345678, version 2 (32 bits each), the built flag (one byte), value count V
//    and the perfect-hash blob's length Lp (32 bits each, unaligned), the perfect-hash blob, then V
//    32-bit values.
//
// Loading never trusts the blob: every count is checked against the bytes that are really there
// before anything is allocated, a blob is either loaded whole or not at all (a failed load leaves
// the object exactly as it was), and whatever loads can be queried safely: the levels' key counts
// must add up to the hash's key count, so every answer stays below GetKeyCount(), and a level that
// claims more placed keys than it marks merely answers NotFound for the excess.
//
// Thread-safety: none internal. Const members (Lookup, Find, the getters, Serialize) may run in
// parallel on an object nobody modifies; Build, BuildRankIndex, Clear and Deserialize need exclusive
// access. Builds of different objects may run in parallel.
// Failure: Build and Deserialize return false; nothing throws except std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/base/BitMath.h"
#include "core/data/Hash.h"

namespace Quorvin {

/// One 64-byte line of a level's lookup layout: 384 bits of the level bitmap beside the number of
/// set bits before them, so that a lookup reads a single cache line per level and counts the bits
/// of one word. Line i holds bitmap positions 384 i to 384 i + 383, 64 to a word, least
/// significant bit first.
struct alignas(64) PerfectHashRankLine {
    uint64_t words[6];        ///< the bitmap bits of the line
    uint64_t rankBefore = 0;  ///< set bits of the level before the line's first position
    /// The set bits of the line before each of words 1 to 5: 9 bits each, word w's count at bit
    /// 9 (w - 1).
    uint64_t wordRanks = 0;
};

namespace DataPrivate {

/// A level as lookups read it, built from the levels and their rank lines (not part of the
/// interface).
struct LevelView {
    const PerfectHashRankLine* lines;  ///< the level's rank lines
    uint64_t seed;                     ///< its hash seed
    FixedDivisor divisor;              ///< its bit count
    uint64_t keyCount;                 ///< the keys it places
    uint64_t offset;                   ///< the keys the levels before it place
};

}  // namespace DataPrivate

/// One level of a PerfectHash.
struct PerfectHashLevel {
    /// Hash seeds; lookups use the first only. A level made by Build holds exactly one.
    std::vector<uint64_t> seeds;
    /// The level bitmap, least significant bit first: bit p is bit p mod 8 of byte p / 8. A set bit
    /// marks the position of a key placed at this level.
    std::vector<uint8_t> bits;
    /// The bitmap again, laid out for lookups: every 384 bits with the counts of set bits before
    /// them in one cache line (see PerfectHashRankLine). Empty until BuildRankIndex runs.
    std::vector<PerfectHashRankLine> rankLines;
    /// Number of seeds as stored (1 for levels made by Build).
    uint32_t seedCount = 0;
    /// Number of keys placed at this level.
    uint32_t keyCount = 0;
};

/// A minimal perfect hash over 64-bit keys: n distinct keys map one-to-one onto 0 .. n-1.
class PerfectHash {
public:
    /// What Lookup returns when it finds no level for a key.
    static constexpr uint64_t NotFound = 0xFFFFFFFFFFFFFFFFULL;
    /// Most levels a hash has; Build fails rather than go deeper, Deserialize refuses more.
    static constexpr uint32_t MaxLevels = 30;
    /// Largest level bitmap in bits (the bit count is a 32-bit value that is a multiple of 8).
    static constexpr uint64_t MaxLevelBits = 0xFFFFFFF8;

    /// No levels, gamma 2.
    PerfectHash() = default;
    ///@{
    /// A copy answers as the original and owns everything it reads.
    PerfectHash(const PerfectHash& other);
    PerfectHash& operator=(const PerfectHash& other);
    ///@}
    ///@{
    /// Moving leaves the source without levels.
    PerfectHash(PerfectHash&& other) noexcept = default;
    PerfectHash& operator=(PerfectHash&& other) noexcept = default;
    ///@}
    /// Frees the levels.
    ~PerfectHash() = default;

    /// Builds the levels for `keys` (distinct; their order does not matter) and their rank
    /// lines. keyCount becomes the number of keys (low 32 bits). When 50 seeds in a row place
    /// no key at some level, gamma goes up by one (it stays raised) and the build starts over, up to
    /// gamma 6. Returns false, with no levels, when a key repeats, 30 levels do not place every key,
    /// gamma would pass 6, or a level would need more than MaxLevelBits bits (more than about 2^31
    /// keys at gamma 2). An empty list gives true and no levels.
    bool Build(std::span<const uint64_t> keys);

    /// The index of a key of the build set, 0 .. keyCount - 1. For any other key: NotFound or some
    /// index in that range. With the rank lines built, reads the lines of the first two levels
    /// together, picks the level that answers without a branch on their bits (which no predictor
    /// could learn) and counts bits in its line only; only the keys that neither level places
    /// (about one in six at gamma 2) go on, a level at a time. Where the processor has POPCNT, bits
    /// are counted with it (see core/data/internal/LookupKernel.h). Without rank lines, counts bits
    /// from the start of each level instead (slower, same result).
    uint64_t Lookup(uint64_t key) const;

    /// Lookup of each of the first min(keys.size(), indices.size()) keys into the index of the same
    /// position; returns how many keys were answered (indices past them are left as they were).
    /// The answers are exactly Lookup's, but the keys are resolved a level at a time, a thousand
    /// or so together: each key's line is requested well before it is read, so that the cache
    /// misses of many keys overlap, and no branch waits on a bit of the bitmap. Where the processor
    /// has POPCNT, bits are counted with it (see core/data/internal/LookupKernel.h).
    size_t Lookup(std::span<const uint64_t> keys, std::span<uint64_t> indices) const;

    /// (Re)builds every level's rank lines from its bitmap.
    void BuildRankIndex();

    /// Number of keys the hash was built or loaded for.
    uint32_t GetKeyCount() const { return keyCount; }

    /// Bitmap bits per key of each level: 2 on construction and after Clear; Build may raise it.
    uint32_t GetGamma() const { return gamma; }

    /// The levels, level 0 first.
    const std::vector<PerfectHashLevel>& GetLevels() const { return levels; }

    /// 32 plus, per level, 8 bytes per seed, the bitmap bytes and 64 bytes per rank line.
    uint64_t GetMemoryUsage() const;

    /// Removes all levels; keyCount = 0, gamma = 2.
    void Clear();

    /// The perfect-hash blob.
    std::string Serialize() const;

    /// Replaces the hash with the one stored in `blob` (see the byte view overload).
    bool Deserialize(const std::string& blob) { return Deserialize(blob.data(), blob.size()); }

    /// Replaces the hash with the one stored in the `size` bytes at `data`; bytes after the last
    /// level are ignored. The loaded hash has no rank lines until BuildRankIndex. Returns
    /// false, leaving the hash unchanged, when the input is shorter than 20 bytes, has another
    /// magic or version, announces more than MaxLevels levels, ends inside a level record, has a
    /// level of 2^29 bitmap bytes or more (which no 32-bit bit count can address), or has levels
    /// whose key counts do not add up to its key count. A blob without levels loads whatever its
    /// key count (a failed Build writes one) and answers NotFound to every key.
    bool Deserialize(const void* data, size_t size);

private:
    // The key's bitmap position at level `i`, which has a seed and a bitmap.
    uint32_t Position(size_t i, uint64_t key) const {
        return static_cast<uint32_t>(levelDivisors[i].Remainder(HashWithSeed(key, levels[i].seeds[0])));
    }

    // Lookup without rank lines: each level's bit, and the set bits from the level's start to it.
    uint64_t LookupCountingFromLevelStart(uint64_t key) const;

    // One divisor per level, by the level's bit count.
    static std::vector<FixedDivisor> DivisorsFor(const std::vector<PerfectHashLevel>& levels);

    // Makes `visited` describe the levels as they are now.
    void ViewLevels();

    std::vector<PerfectHashLevel> levels;
    // Entry i reduces hashes modulo level i's bit count, so Lookup needs no division instruction.
    // Either as long as `levels` or, after a Build that did not finish, empty: Lookup walks these.
    std::vector<FixedDivisor> levelDivisors;
    // The levels that lookups visit (those with a seed and a bitmap), in order, pointing into their
    // rank lines; empty when some such level has no rank lines. Rebuilt whenever the levels or their
    // lines change, and for a copy.
    std::vector<DataPrivate::LevelView> visited;
    uint32_t keyCount = 0;
    uint32_t gamma = 2;
};

/// A perfect hash with one 32-bit value per key.
class PerfectHashMap {
public:
    /// Builds the hash over the source's keys and stores each value at its key's index. An empty
    /// source gives a built, empty map. Returns false, leaving an unbuilt map without values, when
    /// the hash cannot be built (see PerfectHash::Build).
    bool Build(const std::unordered_map<uint64_t, uint32_t>& source);

    /// On a built map, stores the value at the key's index in `value` and returns true when that
    /// index exists; the key itself is never compared, so a key outside the build set may find
    /// another key's value. False on an unbuilt map.
    bool Find(uint64_t key, uint32_t& value) const;

    /// Find of each of the first n = min(keys.size(), values.size(), found.size()) keys: `found`
    /// gets Find's answer and `values` the value where it is true (and is left as it was where it
    /// is false); returns n. The hash is queried in batches (PerfectHash's span Lookup) and the
    /// values of a batch are requested together before any is read.
    size_t Find(std::span<const uint64_t> keys, std::span<uint32_t> values, std::span<bool> found) const;

    /// Number of values.
    uint64_t GetValueCount() const { return values.size(); }

    /// The hash's usage plus 4 bytes per value plus 64.
    uint64_t GetMemoryUsage() const {
        return hash.GetMemoryUsage() + 4 * static_cast<uint64_t>(values.size()) + 64;
    }

    /// True once a build or load produced a usable map.
    bool IsBuilt() const { return built; }

    /// Empties the hash (as PerfectHash::Clear) and the values; the map is unbuilt.
    void Clear();

    ///@{
    /// The values, the value of the key with index i at position i. Values may be changed in
    /// place; Find never reads past the end, whatever the size.
    std::vector<uint32_t>& GetValues() { return values; }
    const std::vector<uint32_t>& GetValues() const { return values; }
    ///@}

    /// The perfect hash over the map's keys.
    const PerfectHash& GetHash() const { return hash; }

    /// The map blob.
    std::string Serialize() const;

    /// Replaces the map with the one stored in the `size` bytes at `data` and builds the hash's rank
    /// lines; bytes after the values are ignored. The built flag is taken from the blob.
    /// Returns false, leaving the map unchanged, when the input is shorter than 17 bytes, has another
    /// magic or version, the embedded perfect-hash blob is longer than the rest of the input or is
    /// refused by PerfectHash::Deserialize, or the values are cut short.
    bool Deserialize(const void* data, size_t size);

private:
    PerfectHash hash;
    std::vector<uint32_t> values;
    bool built = false;
};

}  // namespace Quorvin
