// Fuzz target for the perfect-hash blob reader: loads the input, then looks keys up with and without
// rank directories, one by one and batched, and round-trips what loaded; small inputs also serve as key lists
// to build from. Besides the sanitizers' own checks it aborts when a result breaks the documented contract.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
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
        Require(level.rankLines.empty() && level.seeds.size() == level.seedCount);
    }
    uint64_t keys[48];
    uint64_t withoutDirectory[48];
    for (uint64_t i = 0; i < 48; ++i) {
        keys[i] = FuzzKey(i, size);
        withoutDirectory[i] = hash.Lookup(keys[i]);
        Require(withoutDirectory[i] == PerfectHash::NotFound || withoutDirectory[i] < hash.GetKeyCount());
    }
    // The batched lookup answers exactly as the single one, with and without directories, for a
    // span length taken from the input, and writes nothing past the keys it answers.
    const size_t batch = size % 49;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) hash.BuildRankIndex();
        uint64_t batched[49];
        batched[batch] = 12345;
        Require(hash.Lookup(std::span<const uint64_t>(keys, batch),
                            std::span<uint64_t>(batched, batch + 1)) == batch);
        Require(batched[batch] == 12345);
        for (size_t i = 0; i < batch; ++i) Require(batched[i] == withoutDirectory[i]);
    }
    for (uint64_t i = 0; i < 48; ++i) {
        Require(hash.Lookup(keys[i]) == withoutDirectory[i]);
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
