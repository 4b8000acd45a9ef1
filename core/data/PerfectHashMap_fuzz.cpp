// Fuzz target for the map blob reader: loads the input, then finds keys one by one and batched, and
// round-trips what loaded. Besides the sanitizers' own checks it aborts when a result breaks the documented
// contract.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/data/PerfectHash.h"
#include "tests/support/FuzzSupport.h"

using Quorvin::PerfectHash;
using Quorvin::PerfectHashMap;
using Quorvin::Testing::FuzzKey;
using Quorvin::Testing::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PerfectHashMap map;
    Require(map.Build({{7, 70}, {8, 80}}));
    const std::string before = map.Serialize();
    if (!map.Deserialize(data, size)) {
        Require(map.Serialize() == before);
        return 0;
    }
    const PerfectHash& hash = map.GetHash();
    // The batched Find over a span length taken from the input, against the single Find below.
    uint64_t keys[48];
    for (uint64_t i = 0; i < 48; ++i) keys[i] = FuzzKey(i, size);
    const size_t batch = size % 49;
    uint32_t batchedValues[48];
    bool batchedFound[49];
    batchedFound[batch] = true;
    for (uint32_t& value : batchedValues) value = 0xDEADBEEF;
    Require(map.Find(std::span<const uint64_t>(keys, batch), std::span<uint32_t>(batchedValues, 48),
                     std::span<bool>(batchedFound, batch + 1)) == batch);
    Require(batchedFound[batch]);
    for (uint64_t i = 0; i < 48; ++i) {
        const uint64_t key = keys[i];
        uint32_t value = 0xDEADBEEF;
        const bool found = map.Find(key, value);
        if (i < batch) Require(batchedFound[i] == found && batchedValues[i] == value);
        const uint64_t index = hash.Lookup(key);
        Require(index == PerfectHash::NotFound || index < hash.GetKeyCount());
        Require(found == (map.IsBuilt() && index < map.GetValueCount()));
        Require(!found || value == map.GetValues()[index]);
    }
    const std::string blob = map.Serialize();
    PerfectHashMap again;
    Require(again.Deserialize(blob.data(), blob.size()) && again.Serialize() == blob);
    Require(again.GetMemoryUsage() == map.GetMemoryUsage());
    return 0;
}
