// Fuzz target for the filter blob reader: loads the input, then inserts and queries keys on whatever
// loaded, one at a time and in spans, and sizes a filter from input-chosen counts and rates. Besides
// the sanitizers' own checks it aborts when a result breaks the documented contract.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/data/BloomFilter.h"
#include "tests/support/FuzzSupport.h"

using Quorvin::BloomFilter;
using Quorvin::Testing::FuzzKey;
using Quorvin::Testing::Require;

namespace {

// The batched calls on a copy of `blob`'s filter against the single-key calls on another: `keyCount`
// keys, of which the first `insertedCount` are inserted (so that chunks of present keys take the
// one-pass query), queried into `resultCount` results. Both copies must hold the same bits and
// count, each answered key the single-key answer, and results past the answered ones their old
// values.
void CheckBatchedCalls(const std::string& blob, size_t keyCount, size_t insertedCount, size_t resultCount) {
    BloomFilter single;
    BloomFilter batched;
    Require(single.Deserialize(blob.data(), blob.size()) && batched.Deserialize(blob.data(), blob.size()));
    std::vector<uint64_t> keys(keyCount);
    for (size_t i = 0; i < keyCount; ++i) keys[i] = FuzzKey(i, keyCount);
    insertedCount = std::min(insertedCount, keyCount);
    for (size_t i = 0; i < insertedCount; ++i) single.Insert(keys[i]);
    batched.Insert(std::span<const uint64_t>(keys.data(), insertedCount));
    Require(batched.Serialize() == single.Serialize());
    Require(batched.GetInsertedCount() == single.GetInsertedCount());

    // One spare result past the span, to see that nothing is written there.
    std::unique_ptr<bool[]> results(new bool[resultCount + 1]);
    for (size_t i = 0; i <= resultCount; ++i) results[i] = (i & 1) != 0;
    const size_t answered = std::min(keyCount, resultCount);
    Require(batched.MayContain(keys, std::span<bool>(results.get(), resultCount)) == answered);
    for (size_t i = 0; i <= resultCount; ++i) {
        Require(results[i] == (i < answered ? single.MayContain(keys[i]) : (i & 1) != 0));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BloomFilter filter;
    filter.Initialize(10, 0.1);
    filter.Insert(99);
    const std::string before = filter.Serialize();
    if (!filter.Deserialize(data, size)) {
        Require(filter.Serialize() == before);
    } else {
        const std::string loaded = filter.Serialize();
        Require(loaded.size() >= 20 && std::memcmp(loaded.data(), data, 20) == 0);
        BloomFilter again;
        Require(again.Deserialize(loaded.data(), loaded.size()) && again.Serialize() == loaded);
        for (uint64_t i = 0; i < 64; ++i) {
            const uint64_t key = FuzzKey(i, size);
            const bool wasThere = filter.MayContain(key);
            filter.Insert(key);
            Require(filter.MayContain(key) == filter.IsValid());
            Require(!wasThere || filter.IsValid());
        }
        Require(filter.EstimateFalsePositiveRate() >= 0.0 && filter.EstimateFalsePositiveRate() <= 1.0);

        // Span lengths from the last bytes (a blob that loads has at least 20): up to past two query
        // chunks of 1,024 keys.
        const size_t keyCount = (data[size - 1] | size_t{data[size - 2]} << 8) % 2600;
        const size_t insertedCount = keyCount * (data[size - 3] & 3) / 3;
        const size_t resultCount = data[size - 4] & 1 ? keyCount : (data[size - 5] * 11) % 2600;
        CheckBatchedCalls(loaded, keyCount, insertedCount, resultCount);
    }

    if (size >= 5) {
        const uint32_t count =
            (uint32_t{data[1]} | uint32_t{data[2]} << 8 | uint32_t{data[3]} << 16) % 200000;
        const double rate =
            data[4] == 0xFF ? std::numeric_limits<double>::quiet_NaN() : data[4] / 128.0 - 0.25;
        BloomFilter sized;
        sized.Initialize(count, rate);
        Require(sized.GetBitCount() >= 64 && sized.GetBitCount() % 64 == 0);
        Require(sized.GetHashCount() >= 1 && sized.GetHashCount() <= 16);
        Require(sized.GetWords().size() == sized.GetBitCount() / 64);
        for (uint64_t i = 0; i < 16; ++i) {
            Require(!sized.MayContain(FuzzKey(i, count)));
        }
        for (uint64_t i = 0; i < 16; ++i) {
            sized.Insert(FuzzKey(i, count));
            Require(sized.MayContain(FuzzKey(i, count)));
        }
    }
    return 0;
}
