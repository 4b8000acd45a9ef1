// Tests of the name registry: dense first-come identifiers from many threads, and the comparison
// rule for names.
#include "core/platform/NameRegistry.h"

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

uint32_t Fnv1a(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}

// Registered characters must outlive the registry, so every test name is kept here for good.
std::deque<std::string>& NameStore() {
    static std::deque<std::string> store;
    return store;
}

NameKey KeyOf(const std::string& text, uint32_t hash) {
    return NameKey{text.data(), static_cast<uint32_t>(text.size()), hash};
}

TEST(NameRegistry, GivesDenseFirstComeIdentifiersToNamesAskedForByManyThreads) {
    constexpr int Threads = 8;
    constexpr int Names = 2000;
    constexpr int NamesPerThread = 750;
    const size_t base = NameRegistry::Count();

    // Every thread brings its own copy of each name, so equal names meet with different pointers.
    // One name in eight shares a single hash, which makes a long run of colliding slots.
    std::vector<std::vector<NameKey>> keys(Threads);
    for (int t = 0; t < Threads; ++t) {
        std::vector<int> picks;
        for (int i = 0; i < NamesPerThread; ++i) picks.push_back((t * 250 + i) % Names);
        std::shuffle(picks.begin(), picks.end(), std::mt19937(t));
        for (int n : picks) {
            const std::string& name = NameStore().emplace_back("registry name " + std::to_string(n));
            keys[t].push_back(KeyOf(name, n % 8 == 0 ? 0x5EED : Fnv1a(name)));
        }
    }
    std::vector<std::vector<uint32_t>> ids(Threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            for (const NameKey& key : keys[t]) ids[t].push_back(NameRegistry::GetId(key));
        });
    }
    for (std::thread& worker : workers) worker.join();

    // Each name has one identifier whoever asked, and the identifiers are exactly base..base+n-1.
    std::vector<int64_t> idOfName(Names, -1);
    for (int t = 0; t < Threads; ++t) {
        for (size_t i = 0; i < keys[t].size(); ++i) {
            const int name = std::stoi(std::string(keys[t][i].data + 14, keys[t][i].length - 14));
            if (idOfName[name] == -1) idOfName[name] = ids[t][i];
            EXPECT_EQ(idOfName[name], ids[t][i]) << "name " << name;
        }
    }
    std::vector<int64_t> sorted = idOfName;
    std::sort(sorted.begin(), sorted.end());
    for (int n = 0; n < Names; ++n) ASSERT_EQ(sorted[n], static_cast<int64_t>(base + n));
    EXPECT_EQ(NameRegistry::Count(), base + Names);
    // Asked again, every name keeps its first identifier.
    for (size_t i = 0; i < keys[0].size(); i += 7) EXPECT_EQ(NameRegistry::GetId(keys[0][i]), ids[0][i]);
}

TEST(NameRegistry, NumbersNewNamesInCallOrderAndComparesUpToTheFirstNul) {
    const size_t base = NameRegistry::Count();
    const std::string& alpha = NameStore().emplace_back("alpha");
    const std::string& beta = NameStore().emplace_back("beta");
    const std::string& gamma = NameStore().emplace_back("gamma");
    EXPECT_EQ(NameRegistry::GetId(KeyOf(alpha, 1)), base);
    EXPECT_EQ(NameRegistry::GetId(KeyOf(beta, 1)), base + 1);
    EXPECT_EQ(NameRegistry::GetId(KeyOf(gamma, 2)), base + 2);
    EXPECT_EQ(NameRegistry::GetId(KeyOf(beta, 1)), base + 1);
    EXPECT_EQ(NameRegistry::Count(), base + 3);

    // Same length and hash: characters after a NUL present in both do not count; before it they do,
    // and so does the length.
    const std::string& nulX = NameStore().emplace_back(std::string("ab\0x", 4));
    const std::string& nulY = NameStore().emplace_back(std::string("ab\0y", 4));
    const std::string& plainX = NameStore().emplace_back("abcx");
    const std::string& plainY = NameStore().emplace_back("abcy");
    const std::string& shorter = NameStore().emplace_back("abc");
    const uint32_t nul = NameRegistry::GetId(KeyOf(nulX, 9));
    EXPECT_EQ(NameRegistry::GetId(KeyOf(nulY, 9)), nul);
    const uint32_t x = NameRegistry::GetId(KeyOf(plainX, 9));
    const uint32_t y = NameRegistry::GetId(KeyOf(plainY, 9));
    const uint32_t prefix = NameRegistry::GetId(KeyOf(shorter, 9));
    EXPECT_NE(x, nul);
    EXPECT_NE(y, x);
    EXPECT_NE(prefix, x);
    // The empty name is a name like any other, with or without characters behind it.
    const uint32_t empty = NameRegistry::GetId(NameKey{nullptr, 0, 5});
    EXPECT_EQ(NameRegistry::GetId(NameKey{"", 0, 5}), empty);
    EXPECT_EQ(NameRegistry::Count(), base + 8);

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QUORVIN_EXPECT_ENSURE_FAILURE(NameRegistry::GetId(NameKey{nullptr, 3, 5}),
                                  "key.data != nullptr .. key.length == 0");
}

}  // namespace
}  // namespace Quorvin
