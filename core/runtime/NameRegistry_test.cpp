// Tests of the name registry: dense first-come identifiers from many threads, and the comparison
// rule for names.
#include "core/runtime/NameRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/EnsureTesting.h"

namespace Quorvin {
namespace {

// Registered characters must outlive the registry, so every test name stays here for good.
NameKey Keep(std::string text, uint32_t hash) {
    static std::deque<std::string> store;
    const std::string& kept = store.emplace_back(std::move(text));
    return NameKey{kept.data(), static_cast<uint32_t>(kept.size()), hash};
}

TEST(NameRegistry, GivesDenseFirstComeIdentifiersToNamesAskedForByManyThreads) {
    constexpr int Threads = 8;
    constexpr int Names = 2000;
    const size_t base = NameRegistry::Count();

    // Each thread asks for 750 names, overlapping its neighbours', in its own order and with its own
    // copy of the characters. One name in eight shares a single hash: a long run of colliding slots.
    std::vector<std::vector<int>> names(Threads);
    std::vector<std::vector<NameKey>> keys(Threads);
    for (int t = 0; t < Threads; ++t) {
        for (int i = 0; i < 750; ++i) names[t].push_back((t * 250 + i) % Names);
        std::shuffle(names[t].begin(), names[t].end(), std::mt19937(t));
        for (int n : names[t])
            keys[t].push_back(Keep("registry name " + std::to_string(n), n % 8 ? n * 2654435761u : 7));
    }
    std::vector<std::vector<uint32_t>> ids(Threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            for (const NameKey& key : keys[t]) ids[t].push_back(NameRegistry::GetId(key));
        });
    }
    for (std::thread& worker : workers) worker.join();

    // One identifier per name whoever asked, the identifiers exactly base..base+n-1, and a name
    // asked for again keeps its first identifier.
    std::vector<int64_t> idOfName(Names, -1);
    for (int t = 0; t < Threads; ++t) {
        for (size_t i = 0; i < keys[t].size(); ++i) {
            int64_t& id = idOfName[names[t][i]];
            if (id == -1) id = ids[t][i];
            EXPECT_EQ(id, ids[t][i]) << "name " << names[t][i];
        }
    }
    std::sort(idOfName.begin(), idOfName.end());
    for (int n = 0; n < Names; ++n) ASSERT_EQ(idOfName[n], static_cast<int64_t>(base + n));
    EXPECT_EQ(NameRegistry::Count(), base + Names);
    for (size_t i = 0; i < keys[0].size(); i += 7) EXPECT_EQ(NameRegistry::GetId(keys[0][i]), ids[0][i]);
}

TEST(NameRegistry, NumbersNewNamesInCallOrderAndComparesUpToTheFirstNul) {
    const size_t base = NameRegistry::Count();
    const NameKey beta = Keep("beta", 1);
    EXPECT_EQ(NameRegistry::GetId(Keep("alpha", 1)), base);
    EXPECT_EQ(NameRegistry::GetId(beta), base + 1);
    EXPECT_EQ(NameRegistry::GetId(Keep("gamma", 2)), base + 2);
    EXPECT_EQ(NameRegistry::GetId(Keep("beta", 1)), base + 1);

    // Same length and hash: characters after a NUL in both do not count; before it they do, and so
    // does the length. The empty name is a name like any other, with or without characters.
    const uint32_t nul = NameRegistry::GetId(Keep(std::string("ab\0x", 4), 9));
    EXPECT_EQ(NameRegistry::GetId(Keep(std::string("ab\0y", 4), 9)), nul);
    const uint32_t x = NameRegistry::GetId(Keep("abcx", 9));
    EXPECT_NE(x, nul);
    EXPECT_NE(NameRegistry::GetId(Keep("abcy", 9)), x);
    EXPECT_NE(NameRegistry::GetId(Keep("abc", 9)), x);
    const uint32_t empty = NameRegistry::GetId(NameKey{nullptr, 0, 5});
    EXPECT_EQ(NameRegistry::GetId(NameKey{"", 0, 5}), empty);
    EXPECT_EQ(NameRegistry::Count(), base + 8);

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QUORVIN_EXPECT_ENSURE_FAILURE(NameRegistry::GetId(NameKey{nullptr, 3, 5}),
                                  "key.data != nullptr .. key.length == 0");
}

}  // namespace
}  // namespace Quorvin
