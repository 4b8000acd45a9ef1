// PerfectHash: the levelled build, rank lookups and the blob; PerfectHashMap on top of it.
#include "core/data/PerfectHash.h"

#include <cstring>

#include "core/base/Compiler.h"
#include "core/data/internal/BuildSeeds.h"
#include "core/data/internal/ByteIo.h"
#include "core/data/internal/LookupKernel.h"
#include "core/data/internal/RankLines.h"

namespace Quorvin {

using namespace DataPrivate;

namespace {

constexpr uint32_t HashMagic = 0xBBBBBBBB;
constexpr uint32_t HashVersion = 1;
constexpr size_t HashHeaderSize = 20;
constexpr size_t LevelHeaderSize = 12;
constexpr uint32_t MapMagic = 0x12345678;
constexpr uint32_t MapVersion = 2;
constexpr size_t MapHeaderSize = 17;
constexpr int AttemptsPerLevel = 50;
constexpr uint32_t MaxGamma = 6;
// A level of this many bytes has 2^32 bits, which its 32-bit bit count cannot express.
constexpr uint64_t MaxLevelBytes = (uint64_t{1} << 29) - 1;

// Bytes 8 j .. 8 j + 7 of a bitmap as one little-endian word, zero past the end.
inline uint64_t LoadBitmapWord(const uint8_t* bytes, size_t size, size_t j) {
    const size_t start = 8 * j;
    if (start + 8 <= size) {
        return DataPrivate::Load64(bytes + start);
    }
    uint64_t word = 0;
    for (size_t i = start; i < size; ++i) {
        word |= uint64_t{bytes[i]} << (8 * (i - start));
    }
    return word;
}

// Scratch space of one Build: for every bitmap position a "hit" and a "hit again" bit, kept side by
// side so that one cache line serves both. A position is usable when it was hit exactly once, which
// is all a saturating per-position counter would be asked.
class PlacementCounter {
public:
    // Marks the keys' positions for `seed` in an m-bit map and records each key's position. Returns
    // the bitmap of positions hit exactly once, as 64-bit words, and whether it has any bit set.
    bool Place(std::span<const uint64_t> keys, uint64_t seed, uint32_t m) {
        const size_t wordCount = (size_t{m} + 63) / 64;
        marks.assign(2 * wordCount, 0);
        positions.resize(keys.size());
        uint32_t* const out = positions.data();
        const FixedDivisor divisor(m);
        for (size_t i = 0; i < keys.size(); ++i) {
            out[i] = static_cast<uint32_t>(divisor.Remainder(HashWithSeed(keys[i], seed)));
        }
        uint64_t* const pairs = marks.data();
        for (size_t i = 0; i < keys.size(); ++i) {
            const uint32_t p = out[i];
            const uint64_t bit = uint64_t{1} << (p & 63);
            uint64_t* pair = pairs + 2 * size_t{p >> 6};
            pair[1] |= pair[0] & bit;
            pair[0] |= bit;
        }
        single.resize(wordCount);
        uint64_t any = 0;
        for (size_t w = 0; w < wordCount; ++w) {
            single[w] = pairs[2 * w] & ~pairs[2 * w + 1];
            any |= single[w];
        }
        return any != 0;
    }

    bool IsSingle(size_t keyIndex) const {
        const uint32_t p = positions[keyIndex];
        return (single[p >> 6] >> (p & 63) & 1) != 0;
    }

    // The bitmap as the level stores it: `byteCount` bytes, least significant bit first.
    std::vector<uint8_t> Bitmap(size_t byteCount, uint32_t& setBits) const {
        std::vector<uint8_t> bytes(byteCount);
        setBits = 0;
        for (size_t i = 0; i < byteCount; ++i) {
            bytes[i] = static_cast<uint8_t>(single[i / 8] >> (8 * (i % 8)));
        }
        for (const uint64_t word : single) {
            setBits += CountBits(word);
        }
        return bytes;
    }

private:
    std::vector<uint64_t> marks;
    std::vector<uint32_t> positions;
    std::vector<uint64_t> single;
};

}  // namespace

bool PerfectHash::Build(std::span<const uint64_t> keys) {
    const uint64_t n = keys.size();
    keyCount = static_cast<uint32_t>(n);
    visited.clear();
    levels.clear();
    levelDivisors.clear();
    if (n == 0) {
        return true;
    }
    DataPrivate::BuildSeeds seeds(n);
    PlacementCounter counter;
    std::vector<uint64_t> current;
    std::vector<uint64_t> next;
    std::span<const uint64_t> list = keys;
    while (!list.empty()) {
        if (levels.size() >= MaxLevels) {
            levels.clear();
            return false;
        }
        uint64_t wanted = uint64_t{gamma} * list.size();
        wanted = wanted < 64 ? 64 : wanted;
        if (wanted > MaxLevelBits) {
            levels.clear();
            return false;
        }
        const size_t byteCount = static_cast<size_t>((wanted + 7) / 8);
        const uint32_t m = static_cast<uint32_t>(8 * byteCount);

        uint64_t seed = 0;
        bool placed = false;
        for (int attempt = 0; attempt < AttemptsPerLevel && !placed; ++attempt) {
            seed = seeds.Next(attempt);
            placed = counter.Place(list, seed, m);
        }
        if (!placed) {
            if (gamma >= MaxGamma) {
                levels.clear();
                return false;
            }
            // Denser keys than this gamma can separate: start over with sparser bitmaps.
            ++gamma;
            levels.clear();
            seeds.Restart(gamma);
            list = keys;
            continue;
        }

        PerfectHashLevel level;
        level.seeds.assign(1, seed);
        level.seedCount = 1;
        level.bits = counter.Bitmap(byteCount, level.keyCount);
        next.clear();
        next.reserve(list.size() - level.keyCount);
        for (size_t i = 0; i < list.size(); ++i) {
            if (!counter.IsSingle(i)) {
                next.push_back(list[i]);
            }
        }
        levels.push_back(std::move(level));
        current.swap(next);
        list = current;
    }

    uint32_t placedKeys = 0;
    for (const PerfectHashLevel& level : levels) {
        placedKeys += level.keyCount;
    }
    if (placedKeys != keyCount) {
        levels.clear();
        return false;
    }
    levelDivisors = DivisorsFor(levels);
    BuildRankIndex();
    return true;
}

std::vector<FixedDivisor> PerfectHash::DivisorsFor(const std::vector<PerfectHashLevel>& levels) {
    std::vector<FixedDivisor> divisors;
    divisors.reserve(levels.size());
    for (const PerfectHashLevel& level : levels) {
        // Deserialize refuses levels of 2^29 bytes or more, so the bit count neither wraps nor is 0
        // (an empty bitmap gives divisor 0, which Lookup never uses).
        divisors.emplace_back(static_cast<uint32_t>(8 * level.bits.size()));
    }
    return divisors;
}

PerfectHash::PerfectHash(const PerfectHash& other)
    : levels(other.levels), levelDivisors(other.levelDivisors), keyCount(other.keyCount), gamma(other.gamma) {
    ViewLevels();
}

PerfectHash& PerfectHash::operator=(const PerfectHash& other) {
    // Copied whole first: should an allocation fail, this hash stays as it was, its views with it.
    if (this != &other) {
        *this = PerfectHash(other);
    }
    return *this;
}

void PerfectHash::ViewLevels() {
    // Emptied first, so that should the allocation below fail, no view outlives the lines it
    // points into: lookups then count from each level's start.
    visited.clear();
    std::vector<DataPrivate::LevelView> views;
    views.reserve(levels.size());
    uint64_t offset = 0;
    for (size_t i = 0; i < levelDivisors.size(); ++i) {
        const PerfectHashLevel& level = levels[i];
        // A level without a seed or bitmap is passed over and counts no keys.
        if (level.seeds.empty() || level.bits.empty()) continue;
        if (level.rankLines.empty()) return;
        views.push_back(DataPrivate::LevelView{level.rankLines.data(), level.seeds[0], levelDivisors[i],
                                               level.keyCount, offset});
        offset += level.keyCount;
    }
    visited = std::move(views);
}

uint64_t PerfectHash::Lookup(uint64_t key) const {
    if (!visited.empty()) {
        return DataPrivate::LookupKernels.InUse()->lookupKey(visited.data(), visited.size(), key);
    }
    return LookupCountingFromLevelStart(key);
}

// Kept out of Lookup, whose path through the kernel then saves no registers: single lookups are
// short enough for that to show.
QUORVIN_NOINLINE uint64_t PerfectHash::LookupCountingFromLevelStart(uint64_t key) const {
    // Also taken without levels to visit, where every answer is NotFound.
    uint64_t offset = 0;
    for (size_t i = 0; i < levelDivisors.size(); ++i) {
        const PerfectHashLevel& level = levels[i];
        const size_t byteCount = level.bits.size();
        if (level.seeds.empty() || byteCount == 0) continue;
        const uint32_t p = Position(i, key);
        const uint8_t* const bytes = level.bits.data();
        if ((bytes[p >> 3] >> (p & 7) & 1) == 0) {
            offset += level.keyCount;
            continue;
        }
        const size_t word = p >> 6;
        uint64_t rank = CountBits(LoadBitmapWord(bytes, byteCount, word) & ((uint64_t{1} << (p & 63)) - 1));
        for (size_t j = 0; j < word; ++j) {
            rank += CountBits(DataPrivate::Load64(bytes + 8 * j));
        }
        return rank < level.keyCount ? offset + rank : NotFound;
    }
    return NotFound;
}

namespace {

// The batched lookup works through its keys a chunk at a time.
constexpr size_t LookupChunk = 1024;

}  // namespace

size_t PerfectHash::Lookup(std::span<const uint64_t> keys, std::span<uint64_t> indices) const {
    const size_t answered = keys.size() < indices.size() ? keys.size() : indices.size();
    // Without rank lines a level's rank is counted from its start, which is no place for batching;
    // without levels to visit every answer is NotFound.
    if (visited.empty()) {
        for (size_t j = 0; j < answered; ++j) indices[j] = Lookup(keys[j]);
        return answered;
    }
    // A level at a time: the keys the first level leaves (about 40 % at gamma 2) take the next one,
    // and so on.
    const auto resolveLevel = DataPrivate::LookupKernels.Active().resolveLevel;
    uint32_t left[2][LookupChunk];
    for (size_t start = 0; start < answered; start += LookupChunk) {
        const size_t chunk = answered - start < LookupChunk ? answered - start : LookupChunk;
        const uint64_t* chunkKeys = keys.data() + start;
        uint64_t* chunkAnswers = indices.data() + start;
        const uint32_t* list = nullptr;
        size_t count = chunk;
        for (size_t v = 0; v < visited.size() && count > 0; ++v) {
            uint32_t* next = left[v % 2];
            count = resolveLevel(visited[v], chunkKeys, list, count, chunkAnswers, next);
            list = next;
        }
    }
    return answered;
}

void PerfectHash::BuildRankIndex() {
    visited.clear();  // the lines it points into are replaced
    for (PerfectHashLevel& level : levels) {
        const size_t byteCount = level.bits.size();
        const size_t wordCount = (byteCount + 7) / 8;
        level.rankLines.assign((wordCount + LineWords - 1) / LineWords, PerfectHashRankLine{});
        uint64_t total = 0;
        for (size_t j = 0; j < wordCount; ++j) {
            PerfectHashRankLine& line = level.rankLines[j / LineWords];
            const size_t word = j % LineWords;
            if (word == 0) line.rankBefore = total;
            if (word != 0) line.wordRanks |= (total - line.rankBefore) << (9 * (word - 1));
            line.words[word] = LoadBitmapWord(level.bits.data(), byteCount, j);
            total += CountBits(line.words[word]);
        }
    }
    ViewLevels();
}

uint64_t PerfectHash::GetMemoryUsage() const {
    uint64_t bytes = 32;
    for (const PerfectHashLevel& level : levels) {
        bytes += 8 * static_cast<uint64_t>(level.seeds.size()) + level.bits.size() +
                 sizeof(PerfectHashRankLine) * static_cast<uint64_t>(level.rankLines.size());
    }
    return bytes;
}

void PerfectHash::Clear() {
    visited.clear();
    levels.clear();
    levelDivisors.clear();
    keyCount = 0;
    gamma = 2;
}

std::string PerfectHash::Serialize() const {
    std::string blob;
    DataPrivate::Append32(blob, HashMagic);
    DataPrivate::Append32(blob, HashVersion);
    DataPrivate::Append32(blob, keyCount);
    DataPrivate::Append32(blob, gamma);
    DataPrivate::Append32(blob, static_cast<uint32_t>(levels.size()));
    for (const PerfectHashLevel& level : levels) {
        DataPrivate::Append32(blob, static_cast<uint32_t>(level.seeds.size()));
        DataPrivate::Append32(blob, level.keyCount);
        DataPrivate::Append32(blob, static_cast<uint32_t>(level.bits.size()));
        for (const uint64_t seed : level.seeds) {
            DataPrivate::Append64(blob, seed);
        }
        blob.append(reinterpret_cast<const char*>(level.bits.data()), level.bits.size());
    }
    return blob;
}

bool PerfectHash::Deserialize(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size < HashHeaderSize || DataPrivate::Load32(bytes) != HashMagic ||
        DataPrivate::Load32(bytes + 4) != HashVersion) {
        return false;
    }
    const uint32_t levelCount = DataPrivate::Load32(bytes + 16);
    if (levelCount > MaxLevels) {
        return false;
    }
    const uint32_t announcedKeys = DataPrivate::Load32(bytes + 8);
    std::vector<PerfectHashLevel> loaded(levelCount);
    size_t offset = HashHeaderSize;
    uint64_t placedKeys = 0;
    for (PerfectHashLevel& level : loaded) {
        const size_t remaining = size - offset;
        if (remaining < LevelHeaderSize) {
            return false;
        }
        const uint32_t seedCount = DataPrivate::Load32(bytes + offset);
        const uint32_t byteCount = DataPrivate::Load32(bytes + offset + 8);
        // In 64 bits, so that no announced count can wrap the sum; nothing is allocated before the
        // bytes are known to be there.
        const uint64_t recordSize = LevelHeaderSize + 8 * uint64_t{seedCount} + byteCount;
        if (recordSize > remaining || byteCount > MaxLevelBytes) {
            return false;
        }
        level.seedCount = seedCount;
        level.keyCount = DataPrivate::Load32(bytes + offset + 4);
        placedKeys += level.keyCount;
        level.seeds.resize(seedCount);
        for (uint32_t i = 0; i < seedCount; ++i) {
            level.seeds[i] = DataPrivate::Load64(bytes + offset + LevelHeaderSize + 8 * size_t{i});
        }
        const unsigned char* bitmap = bytes + offset + LevelHeaderSize + 8 * size_t{seedCount};
        level.bits.assign(bitmap, bitmap + byteCount);
        offset += static_cast<size_t>(recordSize);
    }
    // Lookup answers a level's rank plus the key counts of the levels before it, so levels that
    // place exactly keyCount keys between them keep every answer below keyCount. A hash without
    // levels (never built, or a failed Build) answers NotFound whatever its count says.
    if (levelCount != 0 && placedKeys != announcedKeys) {
        return false;
    }
    std::vector<FixedDivisor> divisors = DivisorsFor(loaded);
    levels = std::move(loaded);
    levelDivisors = std::move(divisors);
    keyCount = announcedKeys;
    gamma = DataPrivate::Load32(bytes + 12);
    ViewLevels();
    return true;
}

bool PerfectHashMap::Build(const std::unordered_map<uint64_t, uint32_t>& source) {
    values.clear();
    std::vector<uint64_t> keys;
    keys.reserve(source.size());
    for (const auto& entry : source) {
        keys.push_back(entry.first);
    }
    built = hash.Build(keys);
    if (!built) {
        return false;
    }
    values.assign(source.size(), 0);
    for (const auto& [key, value] : source) {
        const uint64_t index = hash.Lookup(key);
        if (index >= values.size()) {
            built = false;
            values.clear();
            return false;
        }
        values[static_cast<size_t>(index)] = value;
    }
    return true;
}

size_t PerfectHashMap::Find(std::span<const uint64_t> keys, std::span<uint32_t> valuesOut,
                            std::span<bool> found) const {
    size_t answered = keys.size() < valuesOut.size() ? keys.size() : valuesOut.size();
    answered = answered < found.size() ? answered : found.size();
    // Keys are looked up a chunk at a time, then the chunk's values are requested together before
    // any is read.
    constexpr size_t Chunk = 256;
    for (size_t start = 0; start < answered; start += Chunk) {
        const size_t count = answered - start < Chunk ? answered - start : Chunk;
        uint64_t indices[Chunk];
        if (built) {
            hash.Lookup(keys.subspan(start, count), std::span<uint64_t>(indices, count));
            for (size_t j = 0; j < count; ++j) {
                if (indices[j] < values.size()) QUORVIN_PREFETCH_READ(values.data() + indices[j]);
            }
        }
        for (size_t j = 0; j < count; ++j) {
            found[start + j] = built && indices[j] < values.size();
            if (found[start + j]) valuesOut[start + j] = values[static_cast<size_t>(indices[j])];
        }
    }
    return answered;
}

bool PerfectHashMap::Find(uint64_t key, uint32_t& value) const {
    if (!built) {
        return false;
    }
    const uint64_t index = hash.Lookup(key);
    if (index >= values.size()) {
        return false;
    }
    value = values[static_cast<size_t>(index)];
    return true;
}

void PerfectHashMap::Clear() {
    hash.Clear();
    values.clear();
    built = false;
}

std::string PerfectHashMap::Serialize() const {
    const std::string hashBlob = hash.Serialize();
    std::string blob;
    blob.reserve(MapHeaderSize + hashBlob.size() + 4 * values.size());
    DataPrivate::Append32(blob, MapMagic);
    DataPrivate::Append32(blob, MapVersion);
    blob.push_back(built ? 1 : 0);
    DataPrivate::Append32(blob, static_cast<uint32_t>(values.size()));
    DataPrivate::Append32(blob, static_cast<uint32_t>(hashBlob.size()));
    blob += hashBlob;
    for (const uint32_t value : values) {
        DataPrivate::Append32(blob, value);
    }
    return blob;
}

bool PerfectHashMap::Deserialize(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size < MapHeaderSize || DataPrivate::Load32(bytes) != MapMagic ||
        DataPrivate::Load32(bytes + 4) != MapVersion) {
        return false;
    }
    const uint32_t valueCount = DataPrivate::Load32(bytes + 9);
    const uint32_t hashSize = DataPrivate::Load32(bytes + 13);
    if (size - MapHeaderSize < hashSize) {
        return false;
    }
    PerfectHash loadedHash;
    if (!loadedHash.Deserialize(bytes + MapHeaderSize, hashSize)) {
        return false;
    }
    const size_t valuesOffset = MapHeaderSize + hashSize;
    if ((size - valuesOffset) / 4 < valueCount) {
        return false;
    }
    loadedHash.BuildRankIndex();
    std::vector<uint32_t> loadedValues(valueCount);
    for (uint32_t i = 0; i < valueCount; ++i) {
        loadedValues[i] = DataPrivate::Load32(bytes + valuesOffset + 4 * size_t{i});
    }
    hash = std::move(loadedHash);
    values = std::move(loadedValues);
    built = bytes[8] != 0;
    return true;
}

}  // namespace Quorvin
