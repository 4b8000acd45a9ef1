// Tests of BloomFilter: the sizing arithmetic, key hashing and probe positions against the
// reference values and an independent position formula, membership, and the filter blob under
// round trips and hostile input.
#include "core/data/BloomFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <span>
#include <utility>

#include "core/base/BitMath.h"
#include "core/data/internal/ByteIo.h"

namespace Quorvin {
namespace {

std::string Header(uint32_t bitCount, uint32_t hashCount, uint32_t insertedCount, uint32_t wordCount) {
    std::string blob;
    DataPrivate::Append32(blob, 0xBF640001);
    DataPrivate::Append32(blob, bitCount);
    DataPrivate::Append32(blob, hashCount);
    DataPrivate::Append32(blob, insertedCount);
    DataPrivate::Append32(blob, wordCount);
    return blob;
}

std::set<uint32_t> SetBits(const BloomFilter& filter) {
    std::set<uint32_t> bits;
    const std::vector<uint64_t>& words = filter.GetWords();
    for (size_t w = 0; w < words.size(); ++w) {
        for (uint64_t word = words[w]; word != 0; word &= word - 1) {
            bits.insert(static_cast<uint32_t>(64 * w + std::countr_zero(word)));
        }
    }
    return bits;
}

TEST(BloomFilter, SizesFromCountAndRateExactly) {
    struct Case {
        uint32_t count;
        double rate;
        uint32_t bits;
        uint32_t hashes;
    };
    const Case cases[] = {{1000, 0.01, 9600, 7},
                          {1000, 0.001, 14400, 10},
                          {1000, 0.0, 14400, 10},
                          {1000, 1.0, 1472, 1},
                          {100, 0.05, 640, 4},
                          {10000, 0.01, 95872, 7},
                          {64, 0.5, 128, 1},
                          {3, 0.1, 64, 15},
                          {0, 0.01, 64, 16},
                          {1, 0.5, 64, 16},
                          {1000, -3.0, 14400, 10},
                          {1000, 7.0, 1472, 1},
                          {1000, std::numeric_limits<double>::quiet_NaN(), 14400, 10}};
    BloomFilter filter;
    for (const Case& c : cases) {
        filter.Initialize(c.count, c.rate);
        EXPECT_EQ(filter.GetBitCount(), c.bits) << c.count << " " << c.rate;
        EXPECT_EQ(filter.GetHashCount(), c.hashes) << c.count << " " << c.rate;
        EXPECT_EQ(filter.GetWords().size(), c.bits / 64);
        EXPECT_TRUE(filter.IsValid());
        EXPECT_EQ(filter.GetInsertedCount(), 0u);
    }
    // The hash count is round(m / n · ln 2), clamped to 1 .. 16: checked over many sizes and rates,
    // including those where the rounding decides (a factor off by a little rounds them otherwise).
    int decidedByRounding = 0;
    for (uint32_t count = 1; count <= 3000; count += 7) {
        for (const double rate : {0.3, 0.1, 0.05, 0.01, 0.002, 0.0001}) {
            filter.Initialize(count, rate);
            const double exact = static_cast<double>(filter.GetBitCount()) / count * std::log(2.0);
            const double expected = std::clamp(std::round(exact), 1.0, 16.0);
            ASSERT_EQ(filter.GetHashCount(), expected) << count << " " << rate;
            decidedByRounding += std::round(exact) != std::round(exact * 1.01) ||
                                 std::round(exact) != std::round(exact * 0.99);
        }
    }
    EXPECT_GT(decidedByRounding, 20);
    filter.Initialize(1000, 0.01);
    EXPECT_EQ(filter.GetMemoryUsage(), 1240u);
    EXPECT_EQ(filter.Serialize().size(), 1220u);
    // Past the 32-bit bit count the largest filter is made, not a wrapped-around tiny one.
    filter.Initialize(0xFFFFFFFF, 0.001);
    EXPECT_EQ(filter.GetBitCount(), BloomFilter::MaxBitCount);
    EXPECT_EQ(filter.GetHashCount(), 1u);
    EXPECT_EQ(filter.GetWords().size(), BloomFilter::MaxBitCount / 64);
    filter.Clear();
}

TEST(BloomFilter, HashesAndProbesMatchReferenceValues) {
    uint64_t h1 = 1;
    uint64_t h2 = 1;
    BloomFilter::ComputeHashPair(0, h1, h2);
    EXPECT_EQ(h1, 0u);
    EXPECT_EQ(h2, 0u);
    BloomFilter::ComputeHashPair(1, h1, h2);
    EXPECT_EQ(h1, 0xb456bcfc34c2cb2cULL);
    EXPECT_EQ(h2, 0x65da2885ce1b9135ULL);
    BloomFilter::ComputeHashPair(2, h1, h2);
    EXPECT_EQ(h1, 0x3abf2a20650683e7ULL);
    EXPECT_EQ(h2, 0xcbb4510cd94591a5ULL);

    BloomFilter filter;
    filter.Initialize(1000, 0.01);
    filter.Insert(1);
    EXPECT_EQ(SetBits(filter), (std::set<uint32_t>{5804, 3681, 7574, 1867, 9344, 3637, 1514}));
    filter.Initialize(1000, 0.01);
    filter.Insert(2);
    EXPECT_EQ(SetBits(filter), (std::set<uint32_t>{9447, 3468, 3505, 7126, 1147, 4768, 8389}));
    filter.Initialize(1000, 0.01);
    filter.Insert(0);
    EXPECT_EQ(SetBits(filter), (std::set<uint32_t>{0}));

    filter.Initialize(1, 0.5);
    filter.Insert(1);
    ASSERT_EQ(filter.GetWords().size(), 1u);
    EXPECT_EQ(filter.GetWords()[0], 0x40281502a0540a81ULL);
    const unsigned char expected[] = {0x01, 0x00, 0x64, 0xBF, 0x40, 0x00, 0x00, 0x00, 0x10, 0x00,
                                      0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                      0x81, 0x0A, 0x54, 0xA0, 0x02, 0x15, 0x28, 0x40};
    EXPECT_EQ(filter.Serialize(), std::string(reinterpret_cast<const char*>(expected), sizeof expected));
    EXPECT_TRUE(filter.MayContain(1));
    EXPECT_FALSE(filter.MayContain(2));
}

// The probe positions against the defining formula, including the 64-bit wrap of the sum, for bit
// counts that are not multiples of 64 (only a loaded blob has those) and sums that wrap.
TEST(BloomFilter, ProbesExactlyTheDefinedPositionsForAnyBitCount) {
    std::mt19937_64 random(7);
    for (const uint32_t bitCount : {64u, 65u, 100u, 6399u, 9600u, 65535u, 1000003u}) {
        const uint32_t wordCount = (bitCount + 63) / 64;
        const std::string blob =
            Header(bitCount, 16, 0, wordCount) + std::string(8 * size_t{wordCount}, '\0');
        BloomFilter filter;
        for (int trial = 0; trial < 300; ++trial) {
            ASSERT_TRUE(filter.Deserialize(blob.data(), blob.size()));
            const uint64_t key = trial < 3 ? trial : random();
            uint64_t h1;
            uint64_t h2;
            BloomFilter::ComputeHashPair(key, h1, h2);
            std::set<uint32_t> expected;
            for (uint64_t i = 0; i < 16; ++i) {
                expected.insert(static_cast<uint32_t>((i * h2 + h1) % bitCount));
            }
            filter.Insert(key);
            ASSERT_EQ(SetBits(filter), expected) << bitCount << " " << key;
            EXPECT_TRUE(filter.MayContain(key));
        }
    }
}

// The batched operations are the single-key ones in groups: the same words and count after a
// batched Insert, the same answers from a batched MayContain, for every span length around the
// group size and across the query's chunks, odd bit counts, hash counts on both sides of the
// query's first pass, results spans shorter or longer than the keys, and on an invalid filter.
// The first half of the keys is inserted, so the longest span has a chunk of present keys, which
// sends the next one through the single pass, and then chunks of absent keys again.
TEST(BloomFilter, BatchedOperationsEqualTheSingleKeyOnes) {
    std::mt19937_64 random(11);
    for (const uint32_t bitCount : {64u, 65u, 6399u, 1000003u}) {
        for (const uint32_t hashCount : {1u, 2u, 7u, 16u}) {
            const uint32_t wordCount = (bitCount + 63) / 64;
            const std::string blob =
                Header(bitCount, hashCount, 0, wordCount) + std::string(8 * size_t{wordCount}, '\0');
            for (const size_t length : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{17},
                                        size_t{300}, size_t{1100}, size_t{3100}}) {
                std::vector<uint64_t> keys(length);
                for (uint64_t& key : keys) key = random();
                BloomFilter single;
                BloomFilter batched;
                ASSERT_TRUE(single.Deserialize(blob.data(), blob.size()));
                ASSERT_TRUE(batched.Deserialize(blob.data(), blob.size()));
                const size_t inserted = length / 2;
                for (size_t i = 0; i < inserted; ++i) single.Insert(keys[i]);
                batched.Insert(std::span<const uint64_t>(keys).first(inserted));
                ASSERT_EQ(batched.GetWords(), single.GetWords())
                    << bitCount << " " << hashCount << " " << length;
                ASSERT_EQ(batched.GetInsertedCount(), single.GetInsertedCount());

                for (const size_t resultCount : {length, length / 3, length + 5}) {
                    std::unique_ptr<bool[]> results(new bool[resultCount + 1]);
                    std::fill_n(results.get(), resultCount + 1, true);
                    ASSERT_EQ(batched.MayContain(keys, std::span<bool>(results.get(), resultCount)),
                              std::min(length, resultCount));
                    for (size_t i = 0; i < std::min(length, resultCount); ++i)
                        ASSERT_EQ(results[i], single.MayContain(keys[i])) << i;
                    for (size_t i = std::min(length, resultCount); i <= resultCount; ++i)
                        ASSERT_TRUE(results[i]) << "written past the answered keys at " << i;
                }
            }
        }
    }
    BloomFilter invalid;
    const uint64_t keys[3] = {1, 2, 3};
    bool results[3] = {true, true, true};
    invalid.Insert(keys);
    EXPECT_EQ(invalid.GetInsertedCount(), 0u);
    EXPECT_EQ(invalid.MayContain(keys, results), 3u);
    EXPECT_FALSE(results[0] || results[1] || results[2]);
}

// The probes reduce by multiplication; it must agree with % for every divisor and numerator,
// above all next to multiples of the divisor and at the top of the 64-bit range.
TEST(BloomFilter, FixedDivisorReducesExactlyLikeTheRemainderOperator) {
    std::mt19937_64 random(11);
    std::vector<uint32_t> divisors = {1,  2,    3,          7,          63,         64,
                                      65, 6399, 0x7FFFFFFF, 0x80000000, 0xFFFFFFC0, 0xFFFFFFFF};
    for (int i = 0; i < 200; ++i) {
        divisors.push_back(static_cast<uint32_t>(random() >> (32 + i % 32)) | 1);
    }
    for (const uint32_t d : divisors) {
        const FixedDivisor divisor(d);
        std::vector<uint64_t> numerators = {0, 1, d - 1ull, d, d + 1ull, UINT64_MAX, UINT64_MAX - d};
        for (int i = 0; i < 500; ++i) {
            const uint64_t multiple = (random() >> (i % 64)) / d * d;
            numerators.push_back(multiple);
            numerators.push_back(multiple - 1);
            numerators.push_back(random());
        }
        for (const uint64_t a : numerators) {
            ASSERT_EQ(divisor.Remainder(a), a % d) << a << " mod " << d;
        }
    }
}

TEST(BloomFilter, HasNoFalseNegativesAndMeetsItsEstimate) {
    BloomFilter filter;
    EXPECT_FALSE(filter.IsValid());
    EXPECT_FALSE(filter.MayContain(0));
    filter.Insert(5);
    EXPECT_EQ(filter.GetInsertedCount(), 0u);
    EXPECT_EQ(filter.GetMemoryUsage(), 40u);

    std::mt19937_64 random(11);
    std::unordered_set<uint64_t> keys;
    while (keys.size() < 20000) {
        keys.insert(random());
    }
    ASSERT_TRUE(filter.Build(keys, 0.01));
    EXPECT_EQ(filter.GetBitCount(), 191744u);
    EXPECT_EQ(filter.GetInsertedCount(), 20000u);
    for (const uint64_t key : keys) {
        ASSERT_TRUE(filter.MayContain(key));
    }
    int falsePositives = 0;
    const int probes = 200000;
    for (int i = 0; i < probes; ++i) {
        const uint64_t key = random();
        falsePositives += !keys.count(key) && filter.MayContain(key);
    }
    const double estimate = filter.EstimateFalsePositiveRate();
    EXPECT_NEAR(estimate, 0.01, 0.001);
    EXPECT_NEAR(static_cast<double>(falsePositives) / probes, estimate, 0.003);

    const std::vector<uint64_t> before = filter.GetWords();
    filter.Insert(*keys.begin());
    EXPECT_EQ(filter.GetInsertedCount(), 20001u);
    EXPECT_EQ(filter.GetWords(), before);

    // k n beyond 32 bits: 16 hashes over 2^28 keys must not wrap the product to 0 (and the estimate
    // with it).
    const std::string crowded = Header(64, 16, 0x10000000, 1) + std::string(8, '\0');
    ASSERT_TRUE(filter.Deserialize(crowded.data(), crowded.size()));
    EXPECT_DOUBLE_EQ(filter.EstimateFalsePositiveRate(), 1.0);

    filter.Clear();
    EXPECT_FALSE(filter.IsValid());
    EXPECT_FALSE(filter.MayContain(*keys.begin()));
    EXPECT_EQ(filter.EstimateFalsePositiveRate(), 0.0);
    EXPECT_EQ(filter.GetMemoryUsage(), 40u);
    filter.Initialize(100, 0.01);
    EXPECT_FALSE(filter.MayContain(*keys.begin()));
    EXPECT_EQ(filter.EstimateFalsePositiveRate(), 0.0);
}

TEST(BloomFilter, RoundTripsThroughItsBlob) {
    std::mt19937_64 random(3);
    BloomFilter filter;
    filter.Initialize(5000, 0.02);
    for (int i = 0; i < 5000; ++i) {
        filter.Insert(random());
    }
    const std::string blob = filter.Serialize();
    ASSERT_EQ(blob.size(), 20 + 8 * filter.GetWords().size());
    BloomFilter loaded;
    ASSERT_TRUE(loaded.Deserialize(blob.data(), blob.size()));
    EXPECT_EQ(loaded.Serialize(), blob);
    EXPECT_EQ(loaded.GetInsertedCount(), 5000u);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t key = random();
        ASSERT_EQ(loaded.MayContain(key), filter.MayContain(key));
    }
    // A move takes the words and leaves a cleared filter that queries and inserts safely.
    BloomFilter moved(std::move(loaded));
    EXPECT_EQ(moved.Serialize(), blob);
    EXPECT_FALSE(loaded.IsValid());
    EXPECT_FALSE(loaded.MayContain(1));
    loaded.Insert(1);
    EXPECT_EQ(loaded.GetInsertedCount(), 0u);
    loaded = std::move(moved);
    EXPECT_EQ(loaded.Serialize(), blob);
    EXPECT_FALSE(moved.MayContain(1));
    const std::string padded = blob + "trailing bytes";
    BloomFilter copy;
    ASSERT_TRUE(copy.Deserialize(padded.data(), padded.size()));
    EXPECT_EQ(copy.Serialize(), blob);

    filter.Clear();
    EXPECT_EQ(filter.Serialize(), Header(0, 0, 0, 0));
    // An empty blob loads and leaves an invalid filter.
    const std::string empty = Header(640, 3, 9, 0);
    ASSERT_TRUE(copy.Deserialize(empty.data(), empty.size()));
    EXPECT_FALSE(copy.IsValid());
    EXPECT_FALSE(copy.MayContain(1));
    copy.Insert(1);
    EXPECT_EQ(copy.GetInsertedCount(), 9u);
    // A hash count of 0 with words: every key may be there.
    const std::string zeroHashes = Header(64, 0, 0, 1) + std::string(8, '\0');
    ASSERT_TRUE(copy.Deserialize(zeroHashes.data(), zeroHashes.size()));
    EXPECT_TRUE(copy.MayContain(12345));
}

TEST(BloomFilter, RefusesTruncatedCorruptedAndHostileBlobsAndStaysUsable) {
    BloomFilter original;
    original.Initialize(300, 0.05);
    for (uint64_t key = 0; key < 300; ++key) {
        original.Insert(key * 7919);
    }
    const std::string blob = original.Serialize();
    BloomFilter filter = original;
    for (size_t length = 0; length < blob.size(); ++length) {
        ASSERT_FALSE(filter.Deserialize(blob.data(), length)) << length;
        ASSERT_EQ(filter.Serialize(), blob) << length;
    }
    std::string wrongMagic = blob;
    wrongMagic[3] = 0;
    EXPECT_FALSE(filter.Deserialize(wrongMagic.data(), wrongMagic.size()));
    const std::string hostile[] = {
        Header(64, 7, 0, 0xFFFFFFFF),                          // more words announced than present
        Header(65, 7, 0, 1) + std::string(8, '\xFF'),          // bits beyond the last word
        Header(0xFFFFFFFF, 7, 0, 1) + std::string(8, '\xFF'),  // likewise, far beyond
        Header(0, 7, 0, 1) + std::string(8, '\xFF'),           // positions modulo 0
        Header(64, 17, 0, 1) + std::string(8, '\xFF'),         // more probes than any sizing makes
        Header(64, 0xFFFFFFFF, 0, 1) + std::string(8, '\xFF'),
    };
    for (const std::string& bad : hostile) {
        EXPECT_FALSE(filter.Deserialize(bad.data(), bad.size()));
        EXPECT_EQ(filter.Serialize(), blob);
    }
    // Random bytes behind consistent headers load, and every operation stays in bounds.
    std::mt19937_64 random(5);
    for (int trial = 0; trial < 200; ++trial) {
        const uint32_t wordCount = 1 + random() % 40;
        const uint32_t bitCount = 1 + random() % (64 * wordCount);
        std::string junk = Header(bitCount, random() % 17, static_cast<uint32_t>(random()), wordCount);
        for (uint32_t i = 0; i < 8 * wordCount + random() % 9; ++i) {
            junk.push_back(static_cast<char>(random()));
        }
        ASSERT_TRUE(filter.Deserialize(junk.data(), junk.size()));
        for (int i = 0; i < 50; ++i) {
            const uint64_t key = random();
            filter.Insert(key);
            ASSERT_TRUE(filter.MayContain(key));
        }
        EXPECT_EQ(filter.Serialize().compare(0, 12, junk, 0, 12), 0);
        EXPECT_GE(filter.EstimateFalsePositiveRate(), 0.0);
    }
}

}  // namespace
}  // namespace Quorvin
