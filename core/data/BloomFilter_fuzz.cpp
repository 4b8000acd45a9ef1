// Fuzz target for the filter blob reader: loads the input, then inserts and queries keys on whatever
// loaded, and sizes a filter from input-chosen counts and rates. Besides the sanitizers' own checks
// it aborts when a result breaks the documented contract.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "core/data/BloomFilter.h"
#include "tests/support/FuzzSupport.h"

using Quorvin::BloomFilter;
using Quorvin::Testing::FuzzKey;
using Quorvin::Testing::Require;

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
