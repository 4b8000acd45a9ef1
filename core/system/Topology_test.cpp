// Tests of processor topology: the record walk over synthetic buffers (the real query:
// windows/Topology_windows_test.cpp).
#include "core/system/Topology.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <vector>

namespace Quorvin {
namespace {

struct Group {
    uint16_t number;
    uint64_t mask;
};

// Lays out records the way the system does: 8-byte header, the core's flags and efficiency class,
// the group count at byte 30 and 16-byte group entries from byte 32.
class RecordWriter {
public:
    RecordWriter& Core(uint8_t efficiencyClass, std::vector<Group> entries, int groupCount = -1,
                       uint32_t relationship = 0) {
        const size_t size = 32 + 16 * entries.size();
        const size_t start = bytes.size();
        bytes.resize(start + size, 0);
        unsigned char* record = bytes.data() + start;
        Put(record, relationship);
        Put(record + 4, static_cast<uint32_t>(size));
        record[8] = entries.size() > 1 || std::popcount(entries.empty() ? 0 : entries[0].mask) > 1 ? 1 : 0;
        record[9] = efficiencyClass;
        Put(record + 30, static_cast<uint16_t>(groupCount < 0 ? entries.size() : groupCount));
        for (size_t i = 0; i < entries.size(); ++i) {
            Put(record + 32 + 16 * i, entries[i].mask);
            Put(record + 40 + 16 * i, entries[i].number);
        }
        return *this;
    }
    std::vector<unsigned char> bytes;

private:
    template <typename T>
    static void Put(unsigned char* at, T value) {
        std::memcpy(at, &value, sizeof(value));
    }
};

TEST(CoreGroup, CountsAndPicksTheLowestProcessors) {
    CoreGroup group;
    group.AddCore(0x30);
    group.AddCore(0xC0);
    EXPECT_EQ(group.affinityMask, 0xF0u);
    EXPECT_EQ(group.coreMasks, (std::vector<uint64_t>{0x30, 0xC0}));
    EXPECT_EQ(group.CountProcessors(), 4u);
    EXPECT_EQ(group.LowestProcessors(3), 0x70u);
    EXPECT_EQ(group.LowestProcessors(4), 0xF0u);
    EXPECT_EQ(group.LowestProcessors(8), 0xF0u);
    EXPECT_EQ(group.LowestProcessors(0), 0xF0u);

    CoreGroup full;
    full.AddCore(~uint64_t{0});
    EXPECT_EQ(full.CountProcessors(), 64u);
    EXPECT_EQ(full.LowestProcessors(63), ~uint64_t{0} >> 1);
    EXPECT_EQ(CoreGroup{}.LowestProcessors(1), 0u);

    // Property: the result is a subset of the mask with min(n, count) bits, all below the rest.
    std::mt19937_64 random(7);
    for (int i = 0; i < 2000; ++i) {
        CoreGroup g;
        g.AddCore(random() & random());
        const auto n = static_cast<uint16_t>(random() % 70);
        const uint64_t lowest = g.LowestProcessors(n);
        const uint64_t bits = g.CountProcessors();
        ASSERT_EQ(lowest & ~g.affinityMask, 0u);
        if (n == 0 || n > bits) {
            ASSERT_EQ(lowest, g.affinityMask);
            continue;
        }
        ASSERT_EQ(static_cast<uint64_t>(std::popcount(lowest)), n);
        const uint64_t rest = g.affinityMask & ~lowest;
        if (rest != 0) {
            ASSERT_LE(std::bit_width(lowest), std::countr_zero(rest));
        }
    }
}

TEST(ProcessorTopology, FourCoresWithTwoThreadsEach) {
    RecordWriter records;
    for (int core = 0; core < 4; ++core) records.Core(1, {{0, uint64_t{3} << (2 * core)}});
    ProcessorTopology topology;
    EXPECT_FALSE(topology.valid);
    EXPECT_EQ(topology.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{0, 0}));
    EXPECT_TRUE(topology.GetGroups().empty());

    EXPECT_TRUE(topology.AddCoreRecords(records.bytes.data(), records.bytes.size(), false));
    EXPECT_TRUE(topology.valid);
    const std::vector<CoreGroup> groups = topology.GetGroups();
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].group, 0);
    EXPECT_EQ(groups[0].affinityMask, 0xFFu);
    EXPECT_EQ(groups[0].coreMasks, (std::vector<uint64_t>{0x3, 0xC, 0x30, 0xC0}));
    EXPECT_EQ(topology.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{0, 8}));
    const auto [faster, efficient] = topology.GetGroupsByClass();
    EXPECT_TRUE(faster.empty());
    ASSERT_EQ(efficient.size(), 1u);
    EXPECT_EQ(efficient[0].coreMasks, groups[0].coreMasks);

    // A second walk appends every core again; unions and counts stay.
    EXPECT_TRUE(topology.AddCoreRecords(records.bytes.data(), records.bytes.size(), false));
    const std::vector<CoreGroup> twice = topology.GetGroups();
    ASSERT_EQ(twice.size(), 1u);
    EXPECT_EQ(twice[0].coreMasks, (std::vector<uint64_t>{0x3, 0xC, 0x30, 0xC0, 0x3, 0xC, 0x30, 0xC0}));
    EXPECT_EQ(twice[0].affinityMask, 0xFFu);
    EXPECT_EQ(topology.groupsByClass.at(0).at(0).coreMasks.size(), 8u);
    EXPECT_EQ(topology.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{0, 8}));
}

TEST(ProcessorTopology, HybridMachineSplitsByEfficiencyClass) {
    // Two performance cores (class 1, two threads each) and four efficient cores (class 0).
    RecordWriter records;
    records.Core(1, {{0, 0x3}}).Core(1, {{0, 0xC}});
    for (int core = 0; core < 4; ++core) records.Core(0, {{0, uint64_t{0x10} << core}});

    ProcessorTopology byClass;
    ASSERT_TRUE(byClass.AddCoreRecords(records.bytes.data(), records.bytes.size(), true));
    EXPECT_EQ(byClass.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{4, 4}));
    const auto [faster, efficient] = byClass.GetGroupsByClass();
    ASSERT_EQ(faster.size(), 1u);
    ASSERT_EQ(efficient.size(), 1u);
    EXPECT_EQ(faster[0].affinityMask, 0xFu);
    EXPECT_EQ(efficient[0].affinityMask, 0xF0u);
    EXPECT_EQ(efficient[0].coreMasks, (std::vector<uint64_t>{0x10, 0x20, 0x40, 0x80}));
    ASSERT_EQ(byClass.GetGroups().size(), 1u);
    EXPECT_EQ(byClass.GetGroups()[0].affinityMask, 0xFFu);
    EXPECT_EQ(byClass.GetGroups()[0].coreMasks.size(), 6u);

    ProcessorTopology unclassed;
    ASSERT_TRUE(unclassed.AddCoreRecords(records.bytes.data(), records.bytes.size(), false));
    EXPECT_EQ(unclassed.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{0, 8}));
    EXPECT_EQ(unclassed.groupsByClass.size(), 1u);

    // Several non-zero classes: lowest class first, a group number once per class.
    RecordWriter three;
    three.Core(2, {{0, 0x1}}).Core(1, {{1, 0x2}}).Core(1, {{0, 0x4}}).Core(0, {{0, 0x8}});
    ProcessorTopology many;
    ASSERT_TRUE(many.AddCoreRecords(three.bytes.data(), three.bytes.size(), true));
    const auto [higher, lowest] = many.GetGroupsByClass();
    ASSERT_EQ(higher.size(), 3u);
    EXPECT_EQ(higher[0].group, 0);
    EXPECT_EQ(higher[0].affinityMask, 0x4u);
    EXPECT_EQ(higher[1].group, 1);
    EXPECT_EQ(higher[2].group, 0);
    EXPECT_EQ(higher[2].affinityMask, 0x1u);
    ASSERT_EQ(lowest.size(), 1u);
    EXPECT_EQ(many.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{3, 1}));
}

TEST(ProcessorTopology, MoreThanSixtyFourProcessorsInSeveralGroups) {
    // 3 groups reported out of order, 40 + 64 + 24 processors, cores of two threads.
    RecordWriter records;
    const uint16_t order[] = {2, 0, 1};
    const int threads[] = {40, 64, 24};
    for (uint16_t group : order) {
        const int count = group == 2 ? threads[2] : group == 0 ? threads[0] : threads[1];
        for (int bit = 0; bit < count; bit += 2) records.Core(0, {{group, uint64_t{3} << bit}});
    }
    ProcessorTopology topology;
    ASSERT_TRUE(topology.AddCoreRecords(records.bytes.data(), records.bytes.size(), true));
    const std::vector<CoreGroup> groups = topology.GetGroups();
    ASSERT_EQ(groups.size(), 3u);
    for (uint16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(groups[i].group, i);
        EXPECT_EQ(groups[i].CountProcessors(), static_cast<uint64_t>(threads[i]));
        EXPECT_EQ(groups[i].coreMasks.size(), static_cast<size_t>(threads[i] / 2));
    }
    EXPECT_EQ(groups[1].affinityMask, ~uint64_t{0});
    EXPECT_EQ(topology.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{0, 128}));
    EXPECT_EQ(topology.GetGroupsByClass().second.size(), 3u);

    // A core spanning two groups (several entries in one record) is filed under both.
    RecordWriter spanning;
    spanning.Core(0, {{0, 0x1}, {1, 0x1}});
    ProcessorTopology span;
    ASSERT_TRUE(span.AddCoreRecords(spanning.bytes.data(), spanning.bytes.size(), true));
    EXPECT_EQ(span.GetGroups().size(), 2u);
}

TEST(ProcessorTopology, MalformedRecordsAreNeverReadPastTheirEnd) {
    // Each buffer is copied into an allocation of exactly its length, so the sanitizer build
    // catches any read past the end.
    auto walk = [](const std::vector<unsigned char>& bytes, ProcessorTopology& topology) {
        std::vector<unsigned char> exact(bytes.begin(), bytes.end());
        return topology.AddCoreRecords(exact.empty() ? nullptr : exact.data(), exact.size(), true);
    };

    RecordWriter zeroGroups;
    zeroGroups.Core(0, {{0, 0x1}}).Core(0, {}, 0).Core(0, {{0, 0x4}});
    ProcessorTopology a;
    EXPECT_FALSE(walk(zeroGroups.bytes, a));
    EXPECT_TRUE(a.valid);
    EXPECT_EQ(a.GetGroups().at(0).coreMasks, (std::vector<uint64_t>{0x1, 0x4}));

    // A group count that claims more entries than the record holds: only the whole entries count.
    RecordWriter overclaim;
    overclaim.Core(0, {{0, 0x1}}, 5).Core(0, {{0, 0x2}});
    ProcessorTopology b;
    EXPECT_FALSE(walk(overclaim.bytes, b));
    EXPECT_EQ(b.GetGroups().at(0).coreMasks, (std::vector<uint64_t>{0x1, 0x2}));

    // A record cut by the end of the buffer: its whole entries are used, then the walk ends.
    RecordWriter cut;
    cut.Core(0, {{0, 0x1}}).Core(0, {{0, 0x2}, {1, 0x4}});
    for (size_t drop : {1u, 8u, 15u, 16u, 17u, 30u, 47u}) {
        std::vector<unsigned char> truncated(cut.bytes.begin(), cut.bytes.end() - static_cast<long>(drop));
        ProcessorTopology c;
        EXPECT_FALSE(walk(truncated, c)) << drop;
        size_t cores = 0;
        for (const CoreGroup& g : c.GetGroups()) cores += g.coreMasks.size();
        EXPECT_EQ(cores, drop <= 16 ? 2u : 1u) << drop;
    }

    // A size that overruns the buffer, and one too small to advance by: the walk stops.
    RecordWriter overrun;
    overrun.Core(0, {{0, 0x1}}).Core(0, {{0, 0x2}});
    const uint32_t huge = 0xFFFFFFF0u;
    std::memcpy(overrun.bytes.data() + 4, &huge, 4);
    ProcessorTopology d;
    EXPECT_FALSE(walk(overrun.bytes, d));
    EXPECT_EQ(d.GetGroups().at(0).coreMasks, (std::vector<uint64_t>{0x1}));
    for (uint32_t small : {0u, 4u, 7u}) {
        RecordWriter stuck;
        stuck.Core(0, {{0, 0x1}}).Core(0, {{0, 0x2}});
        std::memcpy(stuck.bytes.data() + 48 + 4, &small, 4);
        ProcessorTopology e;
        EXPECT_FALSE(walk(stuck.bytes, e));
        EXPECT_EQ(e.GetGroups().at(0).coreMasks, (std::vector<uint64_t>{0x1}));
    }

    // Records of other relationships are stepped over; an empty answer is valid with no cores.
    RecordWriter mixed;
    mixed.Core(0, {{0, 0x10}}, -1, 3).Core(0, {{0, 0x1}});
    ProcessorTopology f;
    EXPECT_TRUE(walk(mixed.bytes, f));
    EXPECT_EQ(f.GetGroups().at(0).coreMasks, (std::vector<uint64_t>{0x1}));
    ProcessorTopology g;
    EXPECT_TRUE(walk({}, g));
    EXPECT_TRUE(g.valid);
    EXPECT_TRUE(g.GetGroups().empty());

    // Arbitrary bytes: no crash, no read outside the buffer (checked by the sanitizer build).
    std::mt19937 random(11);
    for (int i = 0; i < 3000; ++i) {
        std::vector<unsigned char> noise(random() % 200);
        for (auto& byte : noise)
            byte = static_cast<unsigned char>(random() % 4 == 0 ? random() : random() % 3);
        ProcessorTopology h;
        walk(noise, h);
        uint64_t cores = 0;
        for (const CoreGroup& group : h.GetGroups()) cores += group.coreMasks.size();
        ASSERT_LE(cores, noise.size() / 16);
    }
}

}  // namespace
}  // namespace Quorvin
