// BloomFilter: sizing, key hashing, probing and the filter blob.
#include "core/data/BloomFilter.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "core/base/Compiler.h"
#include "core/base/ProcessorFeatures.h"
#include "core/data/internal/ByteIo.h"

namespace Quorvin {
namespace {

constexpr uint32_t BlobMagic = 0xBF640001;
constexpr size_t HeaderSize = 20;
constexpr uint32_t MaxHashCount = 16;

// The processor's answer, asked once.
bool DivideInHardware() {
    static const bool fast = HasFastDivider();
    return fast;
}

// Keys whose positions the batched insert computes and requests together. Two groups are in flight
// at a time: the next group's lines are requested before the current group's bits are set, so
// enough requests are outstanding to keep the memory system busy without overrunning the
// processor's miss buffers.
constexpr size_t BatchGroup = 8;

// The k positions of each key of a group, as word indices and bit masks.
struct GroupPositions {
    uint32_t word[BatchGroup][MaxHashCount];
    uint64_t mask[BatchGroup][MaxHashCount];
};

}  // namespace

// A moved-from vector is empty, so the filter it leaves must say so: its queries test `reduction`,
// not the words.
BloomFilter::BloomFilter(BloomFilter&& other) noexcept
    : words(std::move(other.words)),
      bitCount(other.bitCount),
      hashCount(other.hashCount),
      insertedCount(other.insertedCount),
      positionDivisor(other.positionDivisor),
      reduction(other.reduction) {
    other.Clear();
}

BloomFilter& BloomFilter::operator=(BloomFilter&& other) noexcept {
    if (this != &other) {
        words = std::move(other.words);
        bitCount = other.bitCount;
        hashCount = other.hashCount;
        insertedCount = other.insertedCount;
        positionDivisor = other.positionDivisor;
        reduction = other.reduction;
        other.Clear();
    }
    return *this;
}

BloomFilter::Reduction BloomFilter::ReductionFor(const std::vector<uint64_t>& words) {
    if (words.empty()) return Reduction::None;
    return DivideInHardware() ? Reduction::Divide : Reduction::Multiply;
}

void BloomFilter::Initialize(uint32_t expectedCount, double rate) {
    const double n = expectedCount == 0 ? 1.0 : static_cast<double>(expectedCount);
    // Written as a negated comparison so that a NaN rate takes the default as well.
    if (!(rate > 0.0)) {
        rate = 0.001;
    } else if (rate >= 1.0) {
        rate = 0.5;
    }
    // Bits in 64-bit words for the optimal filter; the divisor is (ln 2)^2, the factor 1/64.
    const double x = std::log(rate) * -n / 0.48045301391820094 * 0.015625;
    const double wordCount = std::ceil(x);
    // A request past the 32-bit bit count gets the largest filter there is rather than the
    // wrapped-around, far too small one.
    bitCount = wordCount >= static_cast<double>(MaxBitCount / 64) ? MaxBitCount
                                                                  : static_cast<uint32_t>(wordCount) * 64;
    if (bitCount < 64) {
        bitCount = 64;
    }
    const double hashes = std::round(static_cast<double>(bitCount) / n * 0.693147180559945);
    positionDivisor = FixedDivisor(bitCount);
    hashCount = hashes < 1.0 ? 1 : hashes > MaxHashCount ? MaxHashCount : static_cast<uint32_t>(hashes);
    words.clear();
    words.resize(bitCount / 64, 0);
    reduction = ReductionFor(words);
    insertedCount = 0;
}

bool BloomFilter::Build(const std::unordered_set<uint64_t>& keys, double rate) {
    const size_t size = keys.size();
    Initialize(size > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<uint32_t>(size), rate);
    for (const uint64_t key : keys) {
        Insert(key);
    }
    return true;
}

namespace {

// Computes the positions of the keys from `start` on, at most one group, and requests their lines
// for writing; returns how many keys it took.
size_t PrepareGroup(std::span<const uint64_t> keys, size_t start, const uint64_t* bits, FixedDivisor m,
                    uint32_t k, GroupPositions& group) {
    const size_t count = keys.size() - start < BatchGroup ? keys.size() - start : BatchGroup;
    for (size_t j = 0; j < count; ++j) {
        uint64_t h1;
        uint64_t h2;
        BloomHashPair(keys[start + j], h1, h2);
        for (uint32_t i = 0; i < k; ++i) {
            // By multiplication even where the hardware divides quickly: here nothing waits on one
            // position before the next, so what counts is how many reductions the processor
            // completes per cycle, and a division is slower at that than a multiplication.
            const uint64_t position = m.Remainder(h1 + i * h2);
            group.word[j][i] = static_cast<uint32_t>(position >> 6);
            group.mask[j][i] = uint64_t{1} << (position & 63);
            QUORVIN_PREFETCH_WRITE(bits + (position >> 6));
        }
    }
    return count;
}

}  // namespace

// Both batched operations keep two groups in flight: the next group's lines are requested before
// the current group's bits are set or read.
void BloomFilter::Insert(std::span<const uint64_t> keys) {
    if (words.empty() || keys.empty()) return;
    uint64_t* const bits = words.data();
    const FixedDivisor m = positionDivisor;
    const uint32_t k = hashCount;
    GroupPositions groups[2];
    size_t count = PrepareGroup(keys, 0, bits, m, k, groups[0]);
    for (size_t start = 0; start < keys.size(); start += BatchGroup) {
        const size_t next = start + BatchGroup;
        const size_t nextCount =
            next < keys.size() ? PrepareGroup(keys, next, bits, m, k, groups[(next / BatchGroup) & 1]) : 0;
        const GroupPositions& group = groups[(start / BatchGroup) & 1];
        for (size_t j = 0; j < count; ++j) {
            for (uint32_t i = 0; i < k; ++i) bits[group.word[j][i]] |= group.mask[j][i];
        }
        count = nextCount;
    }
    insertedCount += static_cast<uint32_t>(keys.size());
}

namespace {

// The batched query takes its keys a chunk at a time, mostly in two passes: the first tests each
// key's first bits, the second the other bits of the keys that passed. Most absent keys fail in the
// first pass, so their other lines are never requested; a present key's are, a pass later. When
// most keys of the last chunk were present, the next chunk is tested in one pass, all bits at once:
// for present keys the second pass only delays lines they need anyway (with two passes they took
// about 1.1 times as long as in one, and absent keys 1.6 times as long in one as in two). Either
// way the answers are the same. In each pass a key's lines are requested some keys before its bits
// are read, far enough ahead that some 60 to 110 lines (at 7 bits per key) are on their way at any
// time: with 8 keys ahead in both passes, present keys took 1.1 times as long and absent keys 1.2
// times.
constexpr size_t QueryChunk = 1024;
constexpr uint32_t FirstPassBits = 2;
constexpr size_t FirstPassAhead = 32;
constexpr size_t SecondPassAhead = 16;
constexpr size_t OnePassAhead = 16;

// One pass over the keys at positions list[0 .. count - 1] of the chunk (without a list: the first
// `count`), testing bits `from` to `to` - 1 of each: writes each key's answer and the positions of
// the keys whose bits are all set to `passed`, and returns how many those are. Without branches on
// the bits: whether an absent key's bits happen to be set follows no pattern a predictor could
// learn. A key's lines are requested `Ahead` keys before its bits are read.
template <bool Listed, size_t Ahead>
size_t QueryPass(const uint64_t* bits, FixedDivisor m, const uint64_t (*hashes)[2], const uint32_t* list,
                 size_t count, uint32_t from, uint32_t to, bool* answers, uint32_t* passed) {
    uint32_t ahead[Ahead][MaxHashCount];
    const auto request = [&](size_t item) {
        const uint64_t* h = hashes[Listed ? list[item] : item];
        uint32_t* positions = ahead[item % Ahead];
        for (uint32_t i = from; i < to; ++i) {
            // By multiplication, as in PrepareGroup.
            const uint32_t position = static_cast<uint32_t>(m.Remainder(h[0] + i * h[1]));
            positions[i] = position;
            QUORVIN_PREFETCH_READ(bits + (position >> 6));
        }
    };
    for (size_t item = 0; item < count && item < Ahead; ++item) request(item);
    size_t passedCount = 0;
    for (size_t item = 0; item < count; ++item) {
        const uint32_t* positions = ahead[item % Ahead];
        uint64_t all = 1;
        for (uint32_t i = from; i < to; ++i) all &= bits[positions[i] >> 6] >> (positions[i] & 63);
        if (item + Ahead < count) request(item + Ahead);
        const uint32_t index = Listed ? list[item] : static_cast<uint32_t>(item);
        answers[index] = (all & 1) != 0;
        passed[passedCount] = index;
        passedCount += all & 1;
    }
    return passedCount;
}

}  // namespace

size_t BloomFilter::MayContain(std::span<const uint64_t> keys, std::span<bool> results) const {
    const size_t answered = keys.size() < results.size() ? keys.size() : results.size();
    if (words.empty()) {
        for (size_t j = 0; j < answered; ++j) results[j] = false;
        return answered;
    }
    const uint64_t* const bits = words.data();
    const FixedDivisor m = positionDivisor;
    const uint32_t k = hashCount;
    const uint32_t first = k < FirstPassBits ? k : FirstPassBits;
    uint64_t hashes[QueryChunk][2];
    uint32_t passed[QueryChunk];
    bool mostlyPresent = false;  // in the last chunk
    for (size_t start = 0; start < answered; start += QueryChunk) {
        const size_t count = answered - start < QueryChunk ? answered - start : QueryChunk;
        for (size_t j = 0; j < count; ++j) BloomHashPair(keys[start + j], hashes[j][0], hashes[j][1]);
        bool* const answers = results.data() + start;
        size_t present;
        if (mostlyPresent || k <= first) {
            present = QueryPass<false, OnePassAhead>(bits, m, hashes, nullptr, count, 0, k, answers, passed);
        } else {
            const size_t passing =
                QueryPass<false, FirstPassAhead>(bits, m, hashes, nullptr, count, 0, first, answers, passed);
            // The second pass reads its list from `passed` and writes the keys that pass again over
            // it, never ahead of the place it reads; nobody reads that second list.
            present =
                QueryPass<true, SecondPassAhead>(bits, m, hashes, passed, passing, first, k, answers, passed);
        }
        mostlyPresent = 2 * present > count;
    }
    return answered;
}

double BloomFilter::EstimateFalsePositiveRate() const {
    if (bitCount == 0 || insertedCount == 0) {
        return 0.0;
    }
    // k n in 64 bits: with 16 hashes a 32-bit product would wrap past 268 million keys.
    const double kn = static_cast<double>(uint64_t{hashCount} * insertedCount);
    return std::pow(1.0 - std::exp(-kn / bitCount), static_cast<double>(hashCount));
}

void BloomFilter::Clear() {
    words.clear();
    bitCount = 0;
    positionDivisor = FixedDivisor();
    reduction = Reduction::None;
    hashCount = 0;
    insertedCount = 0;
}

std::string BloomFilter::Serialize() const {
    std::string blob;
    blob.reserve(HeaderSize + 8 * words.size());
    DataPrivate::Append32(blob, BlobMagic);
    DataPrivate::Append32(blob, bitCount);
    DataPrivate::Append32(blob, hashCount);
    DataPrivate::Append32(blob, insertedCount);
    DataPrivate::Append32(blob, static_cast<uint32_t>(words.size()));
    for (const uint64_t word : words) {
        DataPrivate::Append64(blob, word);
    }
    return blob;
}

bool BloomFilter::Deserialize(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size < HeaderSize || DataPrivate::Load32(bytes) != BlobMagic) {
        return false;
    }
    const uint32_t newBitCount = DataPrivate::Load32(bytes + 4);
    const uint32_t newHashCount = DataPrivate::Load32(bytes + 8);
    const uint32_t newInsertedCount = DataPrivate::Load32(bytes + 12);
    const uint32_t wordCount = DataPrivate::Load32(bytes + 16);
    // Checked before anything is allocated: the payload must hold every announced word.
    if ((size - HeaderSize) / 8 < wordCount) {
        return false;
    }
    // Probes must stay inside the words, never reduce modulo 0, and cost at most 16 bit tests.
    if (wordCount != 0 && (newBitCount == 0 || newBitCount / 64 + (newBitCount % 64 != 0) > wordCount ||
                           newHashCount > MaxHashCount)) {
        return false;
    }
    std::vector<uint64_t> loaded(wordCount);
    for (uint32_t i = 0; i < wordCount; ++i) {
        loaded[i] = DataPrivate::Load64(bytes + HeaderSize + 8 * size_t{i});
    }
    words = std::move(loaded);
    bitCount = newBitCount;
    positionDivisor = FixedDivisor(newBitCount);
    reduction = ReductionFor(words);
    hashCount = newHashCount;
    insertedCount = newInsertedCount;
    return true;
}

}  // namespace Quorvin
