// Fuzz target for the perfect-hash blob reader: loads the input, then looks keys up with and without
// rank directories and round-trips what loaded; small inputs also serve as key lists to build from.
// Besides the sanitizers' own checks it aborts when a result breaks the documented contract.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/data/PerfectHash.h"
#include "tests/support/FuzzSupport.h"

using Quorvin::PerfectHash;
using Quorvin::PerfectHashLevel;
using Quorvin::Testing::FuzzKey;
using Quorvin::Testing::Require;

namespace {

void FuzzReader(const uint8_t* data, size_t size) {
    PerfectHash hash;
    Require(hash.Build(std::vector<uint64_t>{7, 8, 9}));
    const std::string before = hash.Serialize();
    if (!hash.Deserialize(data, size)) {
        Require(hash.Serialize() == before);
        return;
    }
    for (const PerfectHashLevel& level : hash.GetLevels()) {
        Require(level.rankDirectory.empty() && level.seeds.size() == level.seedCount);
    }
    uint64_t withoutDirectory[48];
    for (uint64_t i = 0; i < 48; ++i) {
        withoutDirectory[i] = hash.Lookup(FuzzKey(i, size));
        Require(withoutDirectory[i] == PerfectHash::NotFound || withoutDirectory[i] < hash.GetKeyCount());
    }
    hash.BuildRankIndex();
    for (uint64_t i = 0; i < 48; ++i) {
        Require(hash.Lookup(FuzzKey(i, size)) == withoutDirectory[i]);
    }
    const std::string blob = hash.Serialize();
    PerfectHash again;
    Require(again.Deserialize(blob) && again.Serialize() == blob);
}

// The input as up to 512 keys: a list with a repeat fails, any other maps one-to-one.
void FuzzBuild(const uint8_t* data, size_t size) {
    std::vector<uint64_t> keys(std::min<size_t>(size / 8, 512));
    if (!keys.empty()) {
        std::memcpy(keys.data(), data, 8 * keys.size());
    }
    PerfectHash hash;
    const bool built = hash.Build(keys);
    std::vector<bool> taken(keys.size(), false);
    bool repeated = false;
    for (const uint64_t key : keys) {
        const uint64_t index = hash.Lookup(key);
        if (!built) {
            Require(index == PerfectHash::NotFound);
            continue;
        }
        Require(index < keys.size() && !taken[index]);
        taken[index] = true;
    }
    if (!built) {
        for (size_t i = 0; i < keys.size() && !repeated; ++i) {
            for (size_t j = i + 1; j < keys.size() && !repeated; ++j) {
                repeated = keys[i] == keys[j];
            }
        }
        Require(repeated);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReader(data, size);
    if (size < 4096) {
        FuzzBuild(data, size);
    }
    return 0;
}
