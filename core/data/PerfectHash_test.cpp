// Tests of PerfectHash and PerfectHashMap: the reference builds, the one-to-one property over many
// key sets and orders, loaded hashes against built ones, and both readers under hostile input.
#include "core/data/PerfectHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <span>
#include <unordered_map>
#include <unordered_set>

#include "core/data/internal/BuildSeeds.h"
#include "core/data/internal/ByteIo.h"
#include "core/data/internal/LookupKernel.h"
#include "tests/support/KernelTesting.h"

namespace Quorvin {
namespace {

[[maybe_unused]] const testing::Environment* const forcedKernelCheck =
    Testing::AddForcedKernelCheck("lookup", DataPrivate::LookupKernels);

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (const int b : bytes) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

std::vector<uint64_t> DistinctKeys(size_t n, std::mt19937_64& random) {
    std::vector<uint64_t> keys;
    std::unordered_set<uint64_t> seen;
    while (keys.size() < n) {
        // Small and clustered keys as well as spread ones.
        const uint64_t key = keys.size() % 3 == 0 ? random() % (4 * n + 8) : random();
        if (seen.insert(key).second) {
            keys.push_back(key);
        }
    }
    return keys;
}

// Checks that `hash` maps `keys` one-to-one onto 0 .. n - 1.
void ExpectMinimalPerfect(const PerfectHash& hash, const std::vector<uint64_t>& keys) {
    std::vector<bool> taken(keys.size(), false);
    for (const uint64_t key : keys) {
        const uint64_t index = hash.Lookup(key);
        ASSERT_LT(index, keys.size()) << key;
        ASSERT_FALSE(taken[index]) << key;
        taken[index] = true;
    }
}

TEST(PerfectHash, BuildsTheReferenceLevels) {
    EXPECT_EQ(std::mt19937_64(12348)(), 0xa5f2efcb82a28e3dULL);

    const std::string expectedBlob =
        Bytes({0xBB, 0xBB, 0xBB, 0xBB, 1,    0,    0,    0,    3, 0,    0,    0, 2, 0, 0, 0,
               1,    0,    0,    0,    1,    0,    0,    0,    3, 0,    0,    0, 8, 0, 0, 0,
               0x3D, 0x8E, 0xA2, 0x82, 0xCB, 0xEF, 0xF2, 0xA5, 0, 0x21, 0x40, 0, 0, 0, 0, 0});
    std::vector<uint64_t> keys = {1, 2, 3};
    do {
        PerfectHash hash;
        ASSERT_TRUE(hash.Build(keys));
        ASSERT_EQ(hash.GetLevels().size(), 1u);
        const PerfectHashLevel& level = hash.GetLevels()[0];
        EXPECT_EQ(level.seeds, std::vector<uint64_t>{0xa5f2efcb82a28e3dULL});
        EXPECT_EQ(level.bits, (std::vector<uint8_t>{0, 0x21, 0x40, 0, 0, 0, 0, 0}));
        EXPECT_EQ(level.keyCount, 3u);
        ASSERT_EQ(level.rankLines.size(), 1u);  // the whole 64-bit bitmap, nothing before it
        EXPECT_EQ(level.rankLines[0].words[0], 0x4021'00u);
        EXPECT_EQ(level.rankLines[0].rankBefore, 0u);
        EXPECT_EQ(level.rankLines[0].wordRanks, 0u);  // the rest of the line is empty
        EXPECT_EQ(hash.Lookup(1), 0u);
        EXPECT_EQ(hash.Lookup(2), 2u);
        EXPECT_EQ(hash.Lookup(3), 1u);
        EXPECT_EQ(hash.Serialize(), expectedBlob);
        EXPECT_EQ(hash.GetMemoryUsage(), 32u + 8 + 8 + 64);
    } while (std::next_permutation(keys.begin(), keys.end()));

    PerfectHashMap map;
    EXPECT_EQ(map.Serialize(),
              Bytes({0x78, 0x56, 0x34, 0x12, 2, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0, 0xBB, 0xBB,
                     0xBB, 0xBB, 1,    0,    0, 0, 0, 0, 0, 0, 2, 0, 0, 0,  0, 0, 0, 0}));
    ASSERT_TRUE(map.Build({{1, 10}, {2, 20}, {3, 30}}));
    EXPECT_EQ(map.GetValues(), (std::vector<uint32_t>{10, 30, 20}));
    EXPECT_EQ(map.Serialize(), Bytes({0x78, 0x56, 0x34, 0x12, 2, 0, 0, 0, 1, 3, 0, 0, 0, 0x30, 0, 0, 0}) +
                                   expectedBlob + Bytes({0x0A, 0, 0, 0, 0x1E, 0, 0, 0, 0x14, 0, 0, 0}));
    EXPECT_EQ(map.GetMemoryUsage(), (32u + 8 + 8 + 64) + 12 + 64);  // the hash with one rank line, values

    std::vector<uint64_t> hundred(100);
    std::iota(hundred.begin(), hundred.end(), 1);
    PerfectHash hash;
    ASSERT_TRUE(hash.Build(hundred));
    ASSERT_EQ(hash.GetLevels().size(), 3u);
    const uint64_t seeds[] = {0xccda3070cf1203d4ULL, 0x440e406a18034dddULL, 0x1660dc752bc73c2cULL};
    const size_t sizes[] = {25, 11, 8};
    const uint32_t counts[] = {58, 34, 8};
    for (size_t i = 0; i < 3; ++i) {
        const PerfectHashLevel& level = hash.GetLevels()[i];
        EXPECT_EQ(level.seeds, std::vector<uint64_t>{seeds[i]});
        EXPECT_EQ(level.seedCount, 1u);
        EXPECT_EQ(level.bits.size(), sizes[i]);
        EXPECT_EQ(level.keyCount, counts[i]);
    }
    EXPECT_EQ(hash.GetGamma(), 2u);
    EXPECT_EQ(hash.GetKeyCount(), 100u);
    ExpectMinimalPerfect(hash, hundred);
}

TEST(PerfectHash, HandlesEmptySingleAndRepeatedKeyLists) {
    PerfectHash hash;
    ASSERT_TRUE(hash.Build(std::vector<uint64_t>{}));
    EXPECT_TRUE(hash.GetLevels().empty());
    EXPECT_EQ(hash.Lookup(0), PerfectHash::NotFound);
    EXPECT_EQ(hash.GetMemoryUsage(), 32u);

    ASSERT_TRUE(hash.Build(std::vector<uint64_t>{42}));
    ASSERT_EQ(hash.GetLevels().size(), 1u);
    const PerfectHashLevel& level = hash.GetLevels()[0];
    ASSERT_EQ(level.bits.size(), 8u);
    const uint64_t position = HashWithSeed(42, level.seeds[0]) % 64;
    EXPECT_EQ(DataPrivate::Load64(level.bits.data()), uint64_t{1} << position);
    EXPECT_EQ(hash.Lookup(42), 0u);

    // A repeat is never placed, so the build starts over at every gamma up to 6 before it gives up.
    EXPECT_FALSE(hash.Build(std::vector<uint64_t>{5, 9, 5}));
    EXPECT_TRUE(hash.GetLevels().empty());
    EXPECT_EQ(hash.GetKeyCount(), 3u);
    EXPECT_EQ(hash.GetGamma(), 6u);
    EXPECT_EQ(hash.Lookup(9), PerfectHash::NotFound);
    hash.Clear();
    EXPECT_EQ(hash.GetKeyCount(), 0u);
    EXPECT_EQ(hash.GetGamma(), 2u);

    PerfectHashMap map;
    uint32_t value = 7;
    EXPECT_FALSE(map.Find(1, value));
    ASSERT_TRUE(map.Build({}));
    EXPECT_TRUE(map.IsBuilt());
    EXPECT_EQ(map.GetValueCount(), 0u);
    EXPECT_FALSE(map.Find(1, value));
    EXPECT_EQ(value, 7u);
    map.Clear();
    EXPECT_FALSE(map.IsBuilt());
}

// Distinct keys practically never force a build to start over (two keys left in a 64-bit level
// collide in 50 attempts with probability 2^-300), so the restart's seeding is pinned here: the
// Mersenne Twister seeded with gamma * 1000 + 12345 + n, one draw per attempt plus attempt times
// the stride.
TEST(PerfectHash, BuildSeedsFollowTheGeneratorAndRestartAtTheRaisedGamma) {
    constexpr uint64_t Stride = 0x9E3779B97F4A7C15ULL;
    DataPrivate::BuildSeeds seeds(3);
    EXPECT_EQ(seeds.Next(0), 0xa5f2efcb82a28e3dULL);
    std::mt19937_64 first(12348);
    first();
    EXPECT_EQ(seeds.Next(1), first() + Stride);
    for (const uint32_t gamma : {3u, 6u}) {
        seeds.Restart(gamma);
        std::mt19937_64 reference(gamma == 3 ? 15348 : 18348);
        for (int attempt = 0; attempt < 50; ++attempt) {
            ASSERT_EQ(seeds.Next(attempt), reference() + attempt * Stride) << gamma << " " << attempt;
        }
    }
}

// For key sets of many sizes: one-to-one onto 0 .. n - 1, the same levels for any key order, and a
// loaded hash that answers every key, in the set or not, as the built one, with and without rank
// directories.
TEST(PerfectHash, MapsEveryKeySetOneToOneWhateverTheOrder) {
    std::mt19937_64 random(2024);
    std::vector<size_t> sizes;
    for (size_t n = 0; n <= 300; ++n) {
        sizes.push_back(n);
    }
    for (size_t n : {511u, 1000u, 4097u, 33333u, 100000u}) {
        sizes.push_back(n);
    }
    for (const size_t n : sizes) {
        std::vector<uint64_t> keys = DistinctKeys(n, random);
        PerfectHash hash;
        ASSERT_TRUE(hash.Build(keys)) << n;
        EXPECT_EQ(hash.GetKeyCount(), n);
        ExpectMinimalPerfect(hash, keys);
        const std::string blob = hash.Serialize();

        std::shuffle(keys.begin(), keys.end(), random);
        PerfectHash shuffled;
        ASSERT_TRUE(shuffled.Build(keys));
        ASSERT_EQ(shuffled.Serialize(), blob) << n;

        PerfectHash loaded;
        ASSERT_TRUE(loaded.Deserialize(blob));
        EXPECT_EQ(loaded.Serialize(), blob);
        const size_t probes = std::min<size_t>(n, 2000);
        for (size_t i = 0; i < probes; ++i) {
            ASSERT_EQ(loaded.Lookup(keys[i]), hash.Lookup(keys[i]));
            const uint64_t other = random();
            const uint64_t index = hash.Lookup(other);
            ASSERT_TRUE(index == PerfectHash::NotFound || index < n);
            ASSERT_EQ(loaded.Lookup(other), index);
        }
        loaded.BuildRankIndex();
        EXPECT_EQ(loaded.GetMemoryUsage(), hash.GetMemoryUsage());
        for (size_t i = 0; i < probes; ++i) {
            ASSERT_EQ(loaded.Lookup(keys[i]), hash.Lookup(keys[i]));
        }
    }
}

TEST(PerfectHash, MapRoundTripsValuesThroughItsBlob) {
    std::mt19937_64 random(99);
    std::unordered_map<uint64_t, uint32_t> source;
    while (source.size() < 5000) {
        source.emplace(random(), static_cast<uint32_t>(random()));
    }
    PerfectHashMap map;
    ASSERT_TRUE(map.Build(source));
    EXPECT_EQ(map.GetValueCount(), 5000u);
    for (const auto& [key, expected] : source) {
        uint32_t value = 0;
        ASSERT_TRUE(map.Find(key, value));
        ASSERT_EQ(value, expected);
    }
    const std::string blob = map.Serialize();
    EXPECT_EQ(blob.size(), 17 + map.GetHash().Serialize().size() + 4 * 5000);
    PerfectHashMap loaded;
    ASSERT_TRUE(loaded.Deserialize(blob.data(), blob.size()));
    EXPECT_TRUE(loaded.IsBuilt());
    EXPECT_EQ(loaded.Serialize(), blob);
    EXPECT_EQ(loaded.GetMemoryUsage(), map.GetMemoryUsage());
    for (int i = 0; i < 20000; ++i) {
        const uint64_t key = i % 2 == 0 ? std::next(source.begin(), i % 5000)->first : random();
        uint32_t a = 1;
        uint32_t b = 2;
        const bool found = map.Find(key, a);
        ASSERT_EQ(loaded.Find(key, b), found);
        if (found) {
            ASSERT_EQ(a, b);
        }
    }
    // The built flag comes from the blob; an unbuilt map finds nothing.
    std::string unbuilt = blob;
    unbuilt[8] = 0;
    ASSERT_TRUE(loaded.Deserialize(unbuilt.data(), unbuilt.size()));
    uint32_t value = 0;
    EXPECT_FALSE(loaded.IsBuilt());
    EXPECT_FALSE(loaded.Find(source.begin()->first, value));
}

// The batched queries answer exactly as the single ones: for the build set and for other keys,
// with and without rank lines, in spans shorter and longer than a chunk of the batched lookup, and
// never past the shortest span they are given.
TEST(PerfectHash, BatchedQueriesEqualTheSingleOnes) {
    std::mt19937_64 random(5);
    for (const size_t n : {size_t{0}, size_t{1}, size_t{37}, size_t{5000}}) {
        const std::vector<uint64_t> members = DistinctKeys(n, random);
        std::unordered_map<uint64_t, uint32_t> source;
        for (const uint64_t key : members) source[key] = static_cast<uint32_t>(random());
        PerfectHashMap map;
        ASSERT_TRUE(map.Build(source));
        std::vector<uint64_t> keys = members;
        for (size_t i = 0; i < n + 40; ++i) keys.push_back(random());
        std::shuffle(keys.begin(), keys.end(), random);

        PerfectHash withoutDirectories;
        ASSERT_TRUE(withoutDirectories.Deserialize(map.GetHash().Serialize()));
        for (const PerfectHash* hash :
             {&map.GetHash(), static_cast<const PerfectHash*>(&withoutDirectories)}) {
            for (const size_t length : {keys.size(), size_t{15}, size_t{16}, size_t{17}}) {
                const size_t answered = std::min(length, keys.size());
                std::vector<uint64_t> indices(answered + 1, 7);
                ASSERT_EQ(hash->Lookup(std::span<const uint64_t>(keys).first(answered),
                                       std::span<uint64_t>(indices).first(
                                           length < keys.size() ? answered : answered + 1)),
                          answered);
                for (size_t i = 0; i < answered; ++i)
                    ASSERT_EQ(indices[i], hash->Lookup(keys[i])) << n << " " << i;
                EXPECT_EQ(indices[answered], 7u);
            }
        }

        std::vector<uint32_t> values(keys.size(), 0xDEADBEEF);
        std::unique_ptr<bool[]> found(new bool[keys.size() + 1]);
        found[keys.size() - 1] = false;
        // `found` is one shorter than the keys: the last key is not answered.
        ASSERT_EQ(map.Find(keys, values, std::span<bool>(found.get(), keys.size() - 1)), keys.size() - 1);
        for (size_t i = 0; i + 1 < keys.size(); ++i) {
            uint32_t value = 0xDEADBEEF;
            ASSERT_EQ(found[i], map.Find(keys[i], value));
            ASSERT_EQ(values[i], value);
        }
        EXPECT_EQ(values.back(), 0xDEADBEEFu);
    }
    PerfectHashMap unbuilt;
    const uint64_t keys[2] = {1, 2};
    uint32_t values[2] = {5, 5};
    bool found[2] = {true, true};
    EXPECT_EQ(unbuilt.Find(keys, values, found), 2u);
    EXPECT_FALSE(found[0] || found[1]);
    EXPECT_EQ(values[0], 5u);
}

// The rank-line lookup answers as the count from each level's start, also for levels whose key
// counts disagree with their bitmaps (a first level that marks more keys than it says it places
// answers NotFound for the excess, and never passes such a key on), and in copies and moves that
// outlive the hash they were made from.
TEST(PerfectHash, LookupsWithRankLinesAnswerAsTheCountFromTheLevelStart) {
    std::mt19937_64 random(31);
    const std::vector<uint64_t> members = DistinctKeys(3000, random);
    PerfectHash built;
    ASSERT_TRUE(built.Build(members));
    ASSERT_GE(built.GetLevels().size(), 3u);
    std::vector<uint64_t> keys = members;
    for (size_t i = 0; i < 3000; ++i) keys.push_back(random());
    const PerfectHashLevel& first = built.GetLevels()[0];
    const size_t secondKeyCount = 20 + 12 + 8 * first.seeds.size() + first.bits.size() + 4;
    for (const uint32_t shift : {0u, 1u, 700u}) {
        std::string blob = built.Serialize();
        const auto add = [&blob](size_t at, int64_t change) {
            uint32_t count = 0;
            std::memcpy(&count, blob.data() + at, 4);
            count = static_cast<uint32_t>(count + change);
            std::memcpy(blob.data() + at, &count, 4);
        };
        add(24, -int64_t{shift});
        add(secondKeyCount, shift);
        PerfectHash counted;
        ASSERT_TRUE(counted.Deserialize(blob));
        auto lined = std::make_unique<PerfectHash>(counted);
        lined->BuildRankIndex();
        PerfectHash copied(*lined);
        PerfectHash assigned;
        ASSERT_TRUE(assigned.Build(std::vector<uint64_t>{1, 2, 3}));
        assigned = *lined;
        lined.reset();
        PerfectHash moved(std::move(copied));
        size_t notFound = 0;
        for (const uint64_t key : keys) {
            const uint64_t expected = counted.Lookup(key);
            ASSERT_EQ(moved.Lookup(key), expected) << shift << " " << key;
            ASSERT_EQ(assigned.Lookup(key), expected) << shift << " " << key;
            notFound += expected == PerfectHash::NotFound ? 1 : 0;
        }
        if (shift == 700) {
            EXPECT_GT(notFound, 600u);
        }
        EXPECT_EQ(copied.Lookup(members[0]), PerfectHash::NotFound);  // moved from: no levels
    }
}

// Every lookup kernel this machine runs resolves a level exactly as the portable one: the same
// answers and the same keys left, for keys of the build set and others, with and without a list;
// and it answers single keys as the portable one does.
TEST(PerfectHash, EveryLookupKernelResolvesALevelAsThePortableOne) {
    using namespace DataPrivate;
    std::mt19937_64 random(9);
    const std::vector<uint64_t> members = DistinctKeys(3000, random);
    PerfectHash hash;
    ASSERT_TRUE(hash.Build(members));
    std::vector<uint64_t> keys = members;
    for (size_t i = 0; i < 1000; ++i) keys.push_back(random());
    std::shuffle(keys.begin(), keys.end(), random);
    const PerfectHashLevel& level = hash.GetLevels()[1];
    const LevelView view{level.rankLines.data(), level.seeds[0],
                         FixedDivisor(static_cast<uint32_t>(8 * level.bits.size())), level.keyCount, 12345};
    std::vector<uint32_t> list(keys.size() / 2);
    for (uint32_t& index : list) index = static_cast<uint32_t>(random() % keys.size());
    const auto resolve = [&](const LookupKernel& kernel, bool listed) {
        std::vector<uint64_t> answers(keys.size(), 7);
        std::vector<uint32_t> left(keys.size(), 0);
        const size_t count = listed ? list.size() : keys.size();
        left.resize(kernel.resolveLevel(view, keys.data(), listed ? list.data() : nullptr, count,
                                        answers.data(), left.data()));
        return std::make_pair(answers, left);
    };
    const LookupKernel& portable = *FindLookupKernel(KernelId::Portable);
    for (const KernelId id : {KernelId::Portable, KernelId::Avx2}) {
        const LookupKernel* kernel = FindLookupKernel(id);
        if (kernel == nullptr) continue;
        for (const bool listed : {false, true}) {
            EXPECT_EQ(resolve(*kernel, listed), resolve(portable, listed)) << kernel->name << " " << listed;
        }
    }
    // The single-key lookup likewise, over the first one, two, three and all levels.
    std::vector<LevelView> views;
    uint64_t offset = 0;
    for (const PerfectHashLevel& each : hash.GetLevels()) {
        views.push_back(LevelView{each.rankLines.data(), each.seeds[0],
                                  FixedDivisor(static_cast<uint32_t>(8 * each.bits.size())), each.keyCount,
                                  offset});
        offset += each.keyCount;
    }
    for (const KernelId id : {KernelId::Portable, KernelId::Avx2}) {
        const LookupKernel* kernel = FindLookupKernel(id);
        if (kernel == nullptr) continue;
        for (const size_t count : {size_t{1}, size_t{2}, size_t{3}, views.size()}) {
            for (const uint64_t key : keys) {
                ASSERT_EQ(kernel->lookupKey(views.data(), count, key),
                          portable.lookupKey(views.data(), count, key))
                    << kernel->name << " " << count << " " << key;
            }
        }
    }
    // Once a lookup has run, calls go straight to the chosen kernel.
    EXPECT_EQ(hash.Lookup(members[0]), portable.lookupKey(views.data(), views.size(), members[0]));
    EXPECT_EQ(LookupKernels.InUse(), &LookupKernels.Active());
    // Some keys are placed, and every answer lies in the level's range above its offset.
    const auto [answers, left] = resolve(portable, false);
    EXPECT_LT(left.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        if (answers[i] != PerfectHash::NotFound) {
            EXPECT_LT(answers[i] - 12345, uint64_t{level.keyCount});
        }
    }
}

// Every proper prefix, wrong magics and versions, and huge counts fail and change nothing; random
// mutations that do load leave objects whose every operation stays in bounds.
TEST(PerfectHash, ReadersRefuseTruncatedCorruptedAndHostileBlobs) {
    std::mt19937_64 random(17);
    const std::vector<uint64_t> keys = DistinctKeys(600, random);
    PerfectHash original;
    ASSERT_TRUE(original.Build(keys));
    const std::string blob = original.Serialize();
    std::unordered_map<uint64_t, uint32_t> source;
    for (const uint64_t key : keys) {
        source.emplace(key, static_cast<uint32_t>(key));
    }
    PerfectHashMap originalMap;
    ASSERT_TRUE(originalMap.Build(source));
    const std::string mapBlob = originalMap.Serialize();

    PerfectHash hash = original;
    PerfectHashMap map = originalMap;
    for (size_t length = 0; length < blob.size(); ++length) {
        ASSERT_FALSE(hash.Deserialize(blob.data(), length)) << length;
    }
    for (size_t length = 0; length < mapBlob.size(); ++length) {
        ASSERT_FALSE(map.Deserialize(mapBlob.data(), length)) << length;
    }
    auto patched = [](std::string bytes, size_t offset, uint32_t value) {
        std::string field;
        DataPrivate::Append32(field, value);
        return bytes.replace(offset, 4, field);
    };
    const std::string badHashes[] = {
        patched(blob, 0, 0xBBBBBBBA),  patched(blob, 4, 2),           patched(blob, 16, 0xFFFFFFFF),
        patched(blob, 16, 31),         patched(blob, 20, 0xFFFFFFFF), patched(blob, 28, 0xFFFFFFFF),
        patched(blob, 28, 0x20000000),
    };
    for (const std::string& bad : badHashes) {
        EXPECT_FALSE(hash.Deserialize(bad));
    }
    const std::string badMaps[] = {
        patched(mapBlob, 0, 0x12345679),       patched(mapBlob, 4, 1),   patched(mapBlob, 9, 0xFFFFFFFF),
        patched(mapBlob, 13, 0xFFFFFFFF),      patched(mapBlob, 13, 19), patched(mapBlob, 9, 601),
        patched(mapBlob, 17 + 16, 0xFFFFFFFF),
    };
    for (const std::string& bad : badMaps) {
        EXPECT_FALSE(map.Deserialize(bad.data(), bad.size()));
    }
    EXPECT_EQ(hash.Serialize(), blob);
    EXPECT_EQ(map.Serialize(), mapBlob);

    // Levels that place more keys than the header counts would answer past GetKeyCount(): one key,
    // one level claiming 64 with every bit set.
    std::string overclaiming = Bytes({0xBB, 0xBB, 0xBB, 0xBB, 1, 0, 0, 0, 1,    0, 0, 0, 2, 0, 0, 0,
                                      1,    0,    0,    0,    1, 0, 0, 0, 0x40, 0, 0, 0, 8, 0, 0, 0});
    overclaiming += std::string(8, '\0') + std::string(8, '\xFF');
    EXPECT_FALSE(hash.Deserialize(overclaiming));
    EXPECT_FALSE(hash.Deserialize(patched(blob, 8, original.GetKeyCount() + 1)));
    EXPECT_FALSE(hash.Deserialize(patched(blob, 8, original.GetKeyCount() - 1)));
    EXPECT_EQ(hash.Serialize(), blob);
    // What a failed build writes (a key count and no levels) still loads, and finds nothing.
    PerfectHash unplaced;
    ASSERT_FALSE(unplaced.Build(std::vector<uint64_t>{4, 4}));
    ASSERT_TRUE(hash.Deserialize(unplaced.Serialize()));
    EXPECT_EQ(hash.GetKeyCount(), 2u);
    EXPECT_EQ(hash.Lookup(4), PerfectHash::NotFound);

    // Mutated blobs: whatever loads answers within its own counts.
    for (int trial = 0; trial < 3000; ++trial) {
        const bool ofMap = trial % 2 != 0;
        std::string bytes = ofMap ? mapBlob : blob;
        for (int edits = 1 + random() % 4; edits > 0; --edits) {
            const size_t at = random() % bytes.size();
            switch (random() % 3) {
            case 0: bytes[at] = static_cast<char>(random()); break;
            case 1: bytes.resize(at); break;
            default: bytes.insert(at, 1 + random() % 8, static_cast<char>(random())); break;
            }
            if (bytes.empty()) {
                break;
            }
        }
        if (ofMap) {
            if (!map.Deserialize(bytes.data(), bytes.size())) {
                continue;
            }
            for (int i = 0; i < 20; ++i) {
                const uint64_t key = i < 10 ? keys[random() % keys.size()] : random();
                const uint64_t index = map.GetHash().Lookup(key);
                ASSERT_TRUE(index == PerfectHash::NotFound || index < map.GetHash().GetKeyCount());
                uint32_t value = 0;
                map.Find(key, value);
            }
            const std::string reserialized = map.Serialize();
            PerfectHashMap again;
            ASSERT_TRUE(again.Deserialize(reserialized.data(), reserialized.size()));
        } else {
            if (!hash.Deserialize(bytes)) {
                continue;
            }
            for (int rank = 0; rank < 2; ++rank) {
                for (int i = 0; i < 20; ++i) {
                    const uint64_t index = hash.Lookup(i < 10 ? keys[random() % keys.size()] : random());
                    ASSERT_TRUE(index == PerfectHash::NotFound || index < hash.GetKeyCount());
                }
                hash.BuildRankIndex();
            }
            PerfectHash again;
            ASSERT_TRUE(again.Deserialize(hash.Serialize()));
        }
    }
}

}  // namespace
}  // namespace Quorvin
