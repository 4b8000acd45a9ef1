// Speed of the name registry's look-up of known names, beside a std::unordered_map guarded by a
// std::shared_mutex as the comparator.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/runtime/NameRegistry.h"

namespace Quorvin {
namespace {

constexpr size_t NameCount = 1024;

uint32_t Fnv1a(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}

// Callers' keys for typical identifier-like names, each key with its own copy of the characters as
// callers that build names at run time have (the registry holds the first copy).
struct Names {
    std::vector<std::string> registered;
    std::vector<std::string> asked;
    std::vector<NameKey> keys;

    Names() {
        for (size_t i = 0; i < NameCount; ++i) {
            registered.push_back("Engine/Render/Material_" + std::to_string(i * 7919));
            asked.push_back(registered.back());
        }
        for (size_t i = 0; i < NameCount; ++i) {
            NameRegistry::GetId(Key(registered[i]));
            keys.push_back(Key(asked[i]));
        }
    }
    static NameKey Key(const std::string& name) {
        return NameKey{name.data(), static_cast<uint32_t>(name.size()), Fnv1a(name)};
    }
};

const Names& TestNames() {
    static const Names names;
    return names;
}

void NameRegistryGetIdKnown(benchmark::State& state) {
    const std::vector<NameKey>& keys = TestNames().keys;
    size_t i = state.thread_index() * 97;
    for (auto _ : state) {
        benchmark::DoNotOptimize(NameRegistry::GetId(keys[i++ % NameCount]));
    }
}
BENCHMARK(NameRegistryGetIdKnown)->Threads(1)->Threads(2);

struct KeyHash {
    size_t operator()(const NameKey& key) const noexcept { return key.hash; }
};
struct KeyEqual {
    bool operator()(const NameKey& a, const NameKey& b) const noexcept {
        return a.length == b.length && std::strncmp(a.data, b.data, a.length) == 0;
    }
};

struct GuardedMap {
    std::shared_mutex mutex;
    std::unordered_map<NameKey, uint32_t, KeyHash, KeyEqual> map;

    GuardedMap() {
        const Names& names = TestNames();
        for (size_t i = 0; i < NameCount; ++i)
            map.emplace(Names::Key(names.registered[i]), static_cast<uint32_t>(i));
    }
};

void GuardedUnorderedMapFindKnown(benchmark::State& state) {
    static GuardedMap guarded;
    const std::vector<NameKey>& keys = TestNames().keys;
    size_t i = state.thread_index() * 97;
    for (auto _ : state) {
        std::shared_lock hold(guarded.mutex);
        benchmark::DoNotOptimize(guarded.map.find(keys[i++ % NameCount])->second);
    }
}
BENCHMARK(GuardedUnorderedMapFindKnown)->Threads(1)->Threads(2);

}  // namespace
}  // namespace Quorvin
