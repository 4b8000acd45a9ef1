// Speed of the data structures and hashes beside the Debian libraries that do the same jobs:
// MD5 against OpenSSL's MD5(), MurmurHash32 against libmurmurhash (with XXH32 for scale),
// PerfectHash against CMPH's BDZ and CHD, and BloomFilter against a plain double-hashing filter of
// the same size written here. Each goal is a ratio between rows of one run; the Bloom filter's rows
// time ours and the plain filter in turn, within the row (tests/support/InTurnTiming.h).
//
// Options besides Google Benchmark's own: --keys=N sets the perfect-hash key count (10,000,000 by
// default, the documented figure; smaller counts make quick runs).
#include <benchmark/benchmark.h>

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include <cmph.h>
#include <murmurhash.h>
#include <xxhash.h>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "core/data/BloomFilter.h"
#include "core/data/Md5.h"
#include "core/data/PerfectHash.h"
#include "core/data/StringUtilities.h"
#include "core/data/internal/RankLines.h"
#include "tests/support/InTurnTiming.h"

namespace Quorvin {
namespace {

size_t PerfectHashKeys = 10000000;

// Distinct keys: an odd multiplier and the finaliser are both bijections of 64-bit integers.
uint64_t KeyOf(uint64_t i) { return HashWithSeed(i * 0x9E3779B97F4A7C15ULL + 1, 0x5DEECE66DULL); }

std::vector<uint64_t> MakeKeys(size_t n, size_t first) {
    std::vector<uint64_t> keys(n);
    for (size_t i = 0; i < n; ++i) {
        keys[i] = KeyOf(first + i);
    }
    return keys;
}

std::vector<uint64_t> Shuffled(std::vector<uint64_t> keys) {
    std::shuffle(keys.begin(), keys.end(), std::mt19937_64(77));
    return keys;
}

const std::vector<unsigned char>& Bytes(size_t size) {
    static std::vector<unsigned char> bytes;
    if (bytes.size() < size + 64) {
        bytes.resize(size + 64);
        std::mt19937 random(3);
        for (unsigned char& b : bytes) {
            b = static_cast<unsigned char>(random());
        }
    }
    return bytes;
}

void PerItem(benchmark::State& state, size_t itemsPerIteration) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * itemsPerIteration));
    // Seconds per item, which the report prints with its SI prefix (for example 35.2ns).
    state.counters["per_op"] =
        benchmark::Counter(static_cast<double>(itemsPerIteration),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// ---- MD5 ----

void Md5Ours(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const unsigned char* data = Bytes(size).data();
    unsigned char digest[16];
    for (auto _ : state) {
        Md5Context context;
        Md5Init(context);
        Md5Update(context, data, static_cast<uint32_t>(size));
        Md5Final(digest, context);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void Md5OpenSsl(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const unsigned char* data = Bytes(size).data();
    unsigned char digest[16];
    for (auto _ : state) {
        MD5(data, size, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

BENCHMARK(Md5Ours)->Arg(64)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(Md5OpenSsl)->Arg(64)->Arg(64 << 10)->Arg(16 << 20);

// ---- 32-bit string hashes ----

void MurmurOurs(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const unsigned char* data = Bytes(size).data();
    for (auto _ : state) {
        // The input is re-read every time, as it would be for a new string.
        benchmark::DoNotOptimize(data);
        benchmark::DoNotOptimize(MurmurHash32(data, size));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// A length known where the call is compiled, as for fixed-size keys: the call unrolls completely.
template <size_t Size>
void MurmurOursFixedLength(benchmark::State& state) {
    const unsigned char* data = Bytes(Size).data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(data);
        benchmark::DoNotOptimize(MurmurHash32(data, Size));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Size));
}

void MurmurLibrary(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const unsigned char* data = Bytes(size).data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(data);
        uint32_t out[1];
        lmmh_x86_32(data, static_cast<unsigned>(size), 0, out);
        benchmark::DoNotOptimize(out[0]);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void Xxh32(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const unsigned char* data = Bytes(size).data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(data);
        benchmark::DoNotOptimize(XXH32(data, size, 0));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// The rows above measure throughput: each hash is independent of the last, so the processor
// overlaps consecutive calls. These measure latency instead: each input address depends on the
// previous hash (through a mask that is zero at run time), so one hash must end before the next
// begins, as when hashes are chained.
volatile uint64_t zeroMask = 0;

struct OurMurmur {
    uint32_t operator()(const unsigned char* data, size_t size) const { return MurmurHash32(data, size); }
};

struct LibraryMurmur {
    uint32_t operator()(const unsigned char* data, size_t size) const {
        uint32_t out[1];
        lmmh_x86_32(data, static_cast<unsigned>(size), 0, out);
        return out[0];
    }
};

template <class Hash>
void MurmurLatency(benchmark::State& state, Hash hash) {
    const size_t size = static_cast<size_t>(state.range(0));
    const unsigned char* data = Bytes(size).data();
    const uint64_t mask = zeroMask;
    uint32_t last = 0;
    for (auto _ : state) {
        last = hash(data + (last & mask), size);
    }
    benchmark::DoNotOptimize(last);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

BENCHMARK(MurmurOurs)->Arg(4)->Arg(16)->Arg(64)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK_TEMPLATE(MurmurOursFixedLength, 4);
BENCHMARK_TEMPLATE(MurmurOursFixedLength, 16);
BENCHMARK_TEMPLATE(MurmurOursFixedLength, 64);
BENCHMARK(MurmurLibrary)->Arg(4)->Arg(16)->Arg(64)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(Xxh32)->Arg(4)->Arg(16)->Arg(64)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK_CAPTURE(MurmurLatency, Ours, OurMurmur{})->Arg(4)->Arg(16)->Arg(64)->Arg(1 << 10);
BENCHMARK_CAPTURE(MurmurLatency, Library, LibraryMurmur{})->Arg(4)->Arg(16)->Arg(64)->Arg(1 << 10);

// ---- Perfect hash ----

const std::vector<uint64_t>& PerfectHashKeySet() {
    static const std::vector<uint64_t> keys = MakeKeys(PerfectHashKeys, 0);
    return keys;
}

const std::vector<uint64_t>& LookupOrder() {
    static const std::vector<uint64_t> order = Shuffled(PerfectHashKeySet());
    return order;
}

const PerfectHash& BuiltHash() {
    static const PerfectHash hash = [] {
        PerfectHash built;
        if (!built.Build(PerfectHashKeySet())) {
            std::abort();
        }
        return built;
    }();
    return hash;
}

void PerfectHashBuild(benchmark::State& state) {
    const std::vector<uint64_t>& keys = PerfectHashKeySet();
    PerfectHash hash;
    for (auto _ : state) {
        if (!hash.Build(keys)) {
            state.SkipWithError("build failed");
        }
    }
    PerItem(state, keys.size());
    state.counters["bits/key"] =
        8.0 * static_cast<double>(hash.GetMemoryUsage()) / static_cast<double>(keys.size());
    state.counters["levels"] = static_cast<double>(hash.GetLevels().size());
}

template <class Lookup>
void LookupLoop(benchmark::State& state, Lookup&& lookup) {
    const std::vector<uint64_t>& order = LookupOrder();
    const size_t batch = std::min<size_t>(order.size(), size_t{1} << 20);
    size_t start = 0;
    uint64_t sum = 0;
    for (auto _ : state) {
        // The batch in at most two runs of the order, so that no index is reduced per key.
        const size_t untilEnd = std::min(batch, order.size() - start);
        for (size_t i = start; i < start + untilEnd; ++i) {
            sum += lookup(order[i]);
        }
        for (size_t i = 0; i < batch - untilEnd; ++i) {
            sum += lookup(order[i]);
        }
        start = (start + batch) % order.size();
    }
    benchmark::DoNotOptimize(sum);
    PerItem(state, batch);
}

void PerfectHashLookup(benchmark::State& state) {
    const PerfectHash& hash = BuiltHash();
    LookupLoop(state, [&hash](uint64_t key) { return hash.Lookup(key); });
    state.counters["bits/key"] = 8.0 * static_cast<double>(hash.GetMemoryUsage()) / hash.GetKeyCount();
    state.counters["stored_bits/key"] =
        8.0 * static_cast<double>(hash.Serialize().size()) / hash.GetKeyCount();
}

// The batched lookup over the same keys in the same order, 4096 at a time.
void PerfectHashLookupBatched(benchmark::State& state) {
    const PerfectHash& hash = BuiltHash();
    const std::vector<uint64_t>& order = LookupOrder();
    const size_t batch = std::min<size_t>(order.size(), size_t{1} << 20);
    constexpr size_t Span = 4096;
    std::vector<uint64_t> indices(Span);
    size_t start = 0;
    uint64_t sum = 0;
    for (auto _ : state) {
        for (size_t done = 0; done < batch;) {
            const size_t from = (start + done) % order.size();
            const size_t count = std::min({Span, batch - done, order.size() - from});
            hash.Lookup(std::span<const uint64_t>(order.data() + from, count),
                        std::span<uint64_t>(indices.data(), count));
            for (size_t i = 0; i < count; ++i) sum += indices[i];
            done += count;
        }
        start = (start + batch) % order.size();
    }
    benchmark::DoNotOptimize(sum);
    PerItem(state, batch);
}

// The floor under a single lookup: keys that are only hashed for the first level and whose bit
// there is read, with the lookup's own steps, and nothing else. Every lookup does at least this,
// and waits for the same lines. The lookups and the floor take the same keys in turn
// (InTurnTiming.h): both read the same hash, the floor a part of the lines that the lookups read.
void PerfectHashLookupInTurnWithLimit(benchmark::State& state) {
    const PerfectHash& hash = BuiltHash();
    const PerfectHashLevel& first = hash.GetLevels().front();
    const DataPrivate::LevelView level{first.rankLines.data(), first.seeds.front(),
                                       FixedDivisor(static_cast<uint32_t>(8 * first.bits.size())),
                                       first.keyCount, 0};
    const std::vector<uint64_t>& order = LookupOrder();
    const size_t batch = std::min<size_t>(order.size(), size_t{1} << 20);
    constexpr size_t Slice = size_t{1} << 16;
    Testing::InTurn inTurn;
    size_t start = 0;
    uint64_t sum = 0;
    for (auto _ : state) {
        const uint64_t* keys = order.data() + start;
        state.SetIterationTime(inTurn.Run(
            batch, Slice,
            [&](size_t from, size_t to) {
                uint64_t found = 0;
                for (size_t i = from; i < to; ++i) found += hash.Lookup(keys[i]);
                sum += found;
            },
            [&](size_t from, size_t to) {
                uint64_t set = 0;
                for (size_t i = from; i < to; ++i) {
                    set += DataPrivate::BitValue(
                        DataPrivate::LineBitAt(level, DataPrivate::PositionAt(level, keys[i])));
                }
                sum += set;
            }));
        // The next batch of the order, so that no iteration finds the lines of the last one.
        start = start + 2 * batch <= order.size() ? start + batch : 0;
    }
    benchmark::DoNotOptimize(sum);
    inTurn.Report(state);
    PerItem(state, batch);
}

class Cmph {
public:
    explicit Cmph(CMPH_ALGO algo) {
        std::vector<uint64_t>& keys = const_cast<std::vector<uint64_t>&>(PerfectHashKeySet());
        source = cmph_io_struct_vector_adapter(keys.data(), sizeof(uint64_t), 0, sizeof(uint64_t),
                                               static_cast<cmph_uint32>(keys.size()));
        cmph_config_t* config = cmph_config_new(source);
        cmph_config_set_algo(config, algo);
        function = cmph_new(config);
        cmph_config_destroy(config);
    }
    ~Cmph() {
        if (function != nullptr) {
            cmph_destroy(function);
        }
        cmph_io_struct_vector_adapter_destroy(source);
    }
    Cmph(const Cmph&) = delete;
    Cmph& operator=(const Cmph&) = delete;

    cmph_t* function = nullptr;

private:
    cmph_io_adapter_t* source = nullptr;
};

void CmphBuild(benchmark::State& state, CMPH_ALGO algo) {
    double bits = 0;
    for (auto _ : state) {
        Cmph built(algo);
        if (built.function == nullptr) {
            state.SkipWithError("build failed");
            break;
        }
        bits = 8.0 * cmph_packed_size(built.function) / static_cast<double>(PerfectHashKeys);
    }
    PerItem(state, PerfectHashKeys);
    state.counters["bits/key"] = bits;
}

void CmphLookup(benchmark::State& state, CMPH_ALGO algo) {
    static Cmph* built[CMPH_COUNT] = {};
    if (built[algo] == nullptr) {
        built[algo] = new Cmph(algo);
    }
    cmph_t* function = built[algo]->function;
    LookupLoop(state, [function](uint64_t key) {
        return cmph_search(function, reinterpret_cast<const char*>(&key), sizeof key);
    });
}

BENCHMARK(PerfectHashBuild)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CmphBuild, Bdz, CMPH_BDZ)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CmphBuild, Chd, CMPH_CHD)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(PerfectHashLookup)->Unit(benchmark::kMillisecond);
BENCHMARK(PerfectHashLookupBatched)->Unit(benchmark::kMillisecond);
BENCHMARK(PerfectHashLookupInTurnWithLimit)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CmphLookup, Bdz, CMPH_BDZ)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CmphLookup, Chd, CMPH_CHD)->Unit(benchmark::kMillisecond);

// ---- Bloom filter ----

// The textbook filter: one division per probe, over the same hash pair and the same sizes.
class PlainBloomFilter {
public:
    PlainBloomFilter(uint32_t bitCount, uint32_t hashCount)
        : words(bitCount / 64), bitCount(bitCount), hashCount(hashCount) {}

    void Insert(uint64_t key) {
        uint64_t h1;
        uint64_t h2;
        BloomFilter::ComputeHashPair(key, h1, h2);
        for (uint64_t i = 0; i < hashCount; ++i) {
            const uint64_t position = (h1 + i * h2) % bitCount;
            words[position / 64] |= uint64_t{1} << (position % 64);
        }
    }

    bool MayContain(uint64_t key) const {
        uint64_t h1;
        uint64_t h2;
        BloomFilter::ComputeHashPair(key, h1, h2);
        for (uint64_t i = 0; i < hashCount; ++i) {
            const uint64_t position = (h1 + i * h2) % bitCount;
            if ((words[position / 64] & uint64_t{1} << (position % 64)) == 0) {
                return false;
            }
        }
        return true;
    }

    const std::vector<uint64_t>& GetWords() const { return words; }
    void Empty() { std::fill(words.begin(), words.end(), 0); }

private:
    std::vector<uint64_t> words;
    uint32_t bitCount;
    uint32_t hashCount;
};

constexpr double BloomRate = 0.01;

// At 10 M keys every probe misses the caches, and what it then costs depends on how the bit array
// is backed: a filter whose array happens to get huge pages (a fresh mapping, recycled heap, the
// system's defaults) walks fewer page tables. So both filters get the same kind of memory before
// timing: each is made the same way (a zeroed array of the same size from the same allocator), and
// then the whole pages inside its array are dropped (they hold only zeros yet), given the same
// huge-page advice and touched again, so that each faults its memory in under the same rules.
void BackAlike(const std::vector<uint64_t>& words) {
#if defined(__linux__)
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(words.data()) + page - 1) & ~(page - 1);
    const uintptr_t end = reinterpret_cast<uintptr_t>(words.data() + words.size()) & ~(page - 1);
    if (end <= begin) {
        return;
    }
    void* const start = reinterpret_cast<void*>(begin);
    madvise(start, end - begin, MADV_DONTNEED);
    madvise(start, end - begin, MADV_HUGEPAGE);
    for (uintptr_t at = begin; at < end; at += page) {
        *reinterpret_cast<volatile uint64_t*>(at) = 0;
    }
#else
    (void)words;
#endif
}

struct BloomSet {
    std::vector<uint64_t> present;
    std::vector<uint64_t> absent;
    BloomFilter filter;
};

const BloomSet& BloomKeys(size_t n) {
    static BloomSet sets[2];
    BloomSet& set = sets[n > 1000000];
    if (set.present.size() != n) {
        set.present = MakeKeys(n, uint64_t{1} << 40);
        set.absent = MakeKeys(n, uint64_t{1} << 41);
        set.filter.Initialize(static_cast<uint32_t>(n), BloomRate);
        for (const uint64_t key : set.present) {
            set.filter.Insert(key);
        }
        set.present = Shuffled(set.present);
    }
    return set;
}

// An empty filter of either kind, sized as the set's, its words backed alike.
template <class Filter>
Filter MakeFilter(const BloomSet& set) {
    Filter filter = [&] {
        if constexpr (std::is_same_v<Filter, BloomFilter>) {
            BloomFilter ours;
            ours.Initialize(static_cast<uint32_t>(set.present.size()), BloomRate);
            return ours;
        } else {
            return Filter(set.filter.GetBitCount(), set.filter.GetHashCount());
        }
    }();
    BackAlike(filter.GetWords());
    return filter;
}

// Our filter and the plain one take the same keys in turn (InTurnTiming.h), a slice at a time.
// Both filters are of one size and take the same caches.
constexpr size_t BloomSlice = size_t{1} << 16;

// Both filters are made and backed once; every iteration empties them (in the same memory,
// untimed) and inserts every key again, so no iteration pays or gains from how its memory was
// faulted in. Batched: ours takes each slice through the batched Insert. (A template parameter, so
// that our single-key loop is compiled as plainly as the plain filter's.)
template <bool Batched>
void BloomInsertInTurn(benchmark::State& state) {
    const BloomSet& set = BloomKeys(static_cast<size_t>(state.range(0)));
    const std::vector<uint64_t>& keys = set.present;
    BloomFilter ours = MakeFilter<BloomFilter>(set);
    PlainBloomFilter plain = MakeFilter<PlainBloomFilter>(set);
    Testing::InTurn inTurn;
    for (auto _ : state) {
        ours.Initialize(static_cast<uint32_t>(keys.size()), BloomRate);  // same memory
        plain.Empty();
        const double seconds = inTurn.Run(
            keys.size(), BloomSlice,
            [&](size_t from, size_t to) {
                if constexpr (Batched) {
                    ours.Insert(std::span<const uint64_t>(keys.data() + from, to - from));
                } else {
                    for (size_t i = from; i < to; ++i) ours.Insert(keys[i]);
                }
            },
            [&](size_t from, size_t to) {
                for (size_t i = from; i < to; ++i) plain.Insert(keys[i]);
            });
        benchmark::DoNotOptimize(ours);
        benchmark::DoNotOptimize(plain);
        state.SetIterationTime(seconds);
    }
    if (ours.GetWords() != plain.GetWords()) {
        state.SkipWithError("the filters set different bits");
    }
    inTurn.Report(state);
    PerItem(state, keys.size());
}

// Batched: ours answers each slice through the batched MayContain.
template <bool Batched>
void BloomQueryInTurn(benchmark::State& state) {
    const BloomSet& set = BloomKeys(static_cast<size_t>(state.range(0)));
    const bool present = state.range(1) != 0;
    const std::vector<uint64_t>& keys = present ? set.present : set.absent;
    // Both filters are made the same way: a fresh zeroed array, backed alike, filled by Insert.
    BloomFilter ours = MakeFilter<BloomFilter>(set);
    PlainBloomFilter plain = MakeFilter<PlainBloomFilter>(set);
    for (const uint64_t key : set.present) {
        ours.Insert(key);
        plain.Insert(key);
    }
    std::unique_ptr<bool[]> results(new bool[keys.size()]);
    size_t oursHits = 0;
    size_t plainHits = 0;
    Testing::InTurn inTurn;
    for (auto _ : state) {
        oursHits = 0;
        plainHits = 0;
        const double seconds = inTurn.Run(
            keys.size(), BloomSlice,
            [&](size_t from, size_t to) {
                // Counted in a local: a count kept in the caller's memory would be stored to in
                // the loop, and a store may alias the filter's fields.
                size_t hits = 0;
                if constexpr (Batched) {
                    ours.MayContain(std::span<const uint64_t>(keys.data() + from, to - from),
                                    std::span<bool>(results.get() + from, to - from));
                    for (size_t i = from; i < to; ++i) hits += results[i];
                } else {
                    for (size_t i = from; i < to; ++i) hits += ours.MayContain(keys[i]);
                }
                oursHits += hits;
            },
            [&](size_t from, size_t to) {
                size_t hits = 0;
                for (size_t i = from; i < to; ++i) hits += plain.MayContain(keys[i]);
                plainHits += hits;
            });
        benchmark::DoNotOptimize(oursHits);
        benchmark::DoNotOptimize(plainHits);
        state.SetIterationTime(seconds);
    }
    if (oursHits != plainHits) {
        state.SkipWithError("the filters answer differently");
    }
    inTurn.Report(state);
    PerItem(state, keys.size());
    if (!present) {
        state.counters["measured_fp"] = static_cast<double>(oursHits) / static_cast<double>(keys.size());
        state.counters["estimated_fp"] = set.filter.EstimateFalsePositiveRate();
    }
}

// The memory's own limit for a query: the same number of loads per key from an array of the same
// size, at positions known in advance and all independent, with nothing else to do.
void BloomMissLimit(benchmark::State& state) {
    const BloomSet& set = BloomKeys(static_cast<size_t>(state.range(0)));
    std::vector<uint64_t> words(set.filter.GetWords().size(), 1);
    BackAlike(words);
    const uint32_t k = set.filter.GetHashCount();
    std::vector<uint32_t> positions(set.present.size() * k);
    std::mt19937_64 random(7);
    for (uint32_t& position : positions) position = static_cast<uint32_t>(random() % words.size());
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const uint32_t position : positions) sum += words[position];
        benchmark::DoNotOptimize(sum);
    }
    PerItem(state, set.present.size());
}

void BloomInsertSingleInTurn(benchmark::State& state) { BloomInsertInTurn<false>(state); }
void BloomInsertBatchedInTurn(benchmark::State& state) { BloomInsertInTurn<true>(state); }
void BloomQuerySingleInTurn(benchmark::State& state) { BloomQueryInTurn<false>(state); }
void BloomQueryBatchedInTurn(benchmark::State& state) { BloomQueryInTurn<true>(state); }

BENCHMARK(BloomInsertSingleInTurn)
    ->Arg(1000000)
    ->Arg(10000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BloomInsertBatchedInTurn)
    ->Arg(1000000)
    ->Arg(10000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BloomQuerySingleInTurn)
    ->ArgsProduct({{1000000, 10000000}, {1, 0}})
    ->ArgNames({"keys", "present"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BloomQueryBatchedInTurn)
    ->ArgsProduct({{1000000, 10000000}, {1, 0}})
    ->ArgNames({"keys", "present"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BloomMissLimit)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);

// The comparators must compute the same functions, or the ratios mean nothing.
bool SameResultsAsComparators() {
    std::mt19937 random(1);
    std::vector<unsigned char> data(300);
    for (unsigned char& b : data) {
        b = static_cast<unsigned char>(random());
    }
    for (size_t length = 0; length < data.size(); ++length) {
        unsigned char ours[16];
        unsigned char theirs[16];
        Md5Context context;
        Md5Init(context);
        Md5Update(context, data.data(), static_cast<uint32_t>(length));
        Md5Final(ours, context);
        MD5(data.data(), length, theirs);
        uint32_t murmur[1];
        lmmh_x86_32(data.data() + 1, static_cast<unsigned>(length - (length > 0)), 0, murmur);
        if (std::memcmp(ours, theirs, 16) != 0 ||
            MurmurHash32(data.data() + 1, length - (length > 0)) != murmur[0]) {
            std::fprintf(stderr, "results differ from the comparator at length %zu\n", length);
            return false;
        }
    }
    return true;
}

}  // namespace
}  // namespace Quorvin

int main(int argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--keys=", 7) == 0) {
            Quorvin::PerfectHashKeys = std::strtoull(argv[i] + 7, nullptr, 10);
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (!Quorvin::SameResultsAsComparators()) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
