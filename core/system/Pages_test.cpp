// Tests of pages from the operating system: allocations and releases on every system, and the
// out-of-memory codes (what only Windows shows, such as region states and error codes:
// windows/Pages_windows_test.cpp).
#include "core/system/Pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "tests/support/EnsureTesting.h"

namespace Quorvin {
namespace {

TEST(Pages, OutOfMemoryCodesAreExactlyTheFour) {
    int count = 0;
    for (uint32_t code = 0; code < 20000; ++code) count += IsOutOfMemoryError(code) ? 1 : 0;
    EXPECT_EQ(count, 4);
    EXPECT_TRUE(IsOutOfMemoryError(8));
    EXPECT_TRUE(IsOutOfMemoryError(635));
    EXPECT_TRUE(IsOutOfMemoryError(1454));
    EXPECT_TRUE(IsOutOfMemoryError(1455));
    EXPECT_FALSE(IsOutOfMemoryError(1453));
    EXPECT_FALSE(IsOutOfMemoryError(1456));
    EXPECT_FALSE(IsOutOfMemoryError(0x10000 + 8));
}

// Only whole allocations of AllocatePages are released: a range that starts inside one, or runs on
// into memory that is not such an allocation, releases nothing and leaves the memory usable.
TEST(Pages, ReleasesOnlyWholeAllocationsOfItsOwn) {
    constexpr uint64_t Page = 4096;  // the smallest page either system uses
    auto* page = static_cast<char*>(AllocatePages(1));
    ASSERT_NE(page, nullptr);
    std::memset(page, 0xA5, Page);  // committed, readable and writable: no fault
    EXPECT_EQ(page[Page - 1], static_cast<char>(0xA5));
    EXPECT_EQ(ReleasePages(page + 16, 1), -1);
    EXPECT_EQ(ReleasePages(page + Page / 2, Page), -1);
    // Far more than the allocation: the range runs into memory that is not one of ours.
    EXPECT_EQ(ReleasePages(page, uint64_t{1} << 40), -1);
    page[17] = 3;
    EXPECT_EQ(page[17], 3);
    EXPECT_EQ(ReleasePages(page, 1), 0);
    EXPECT_EQ(ReleasePages(page, 1), -1);  // already gone
    EXPECT_EQ(ReleasePages(nullptr, 1), -1);

    // Memory that AllocatePages did not hand out is never released.
    std::vector<char> heap(3 * Page);
    EXPECT_EQ(ReleasePages(heap.data(), 1), -1);
    heap.back() = 1;

    // Several allocations: each releases once, by its own start, whatever the order.
    char* blocks[8];
    for (char*& block : blocks) {
        block = static_cast<char*>(AllocatePages(3 * Page));
        ASSERT_NE(block, nullptr);
        block[3 * Page - 1] = 7;
    }
    // Two allocations that happen to lie back to back are released by one call over both (the
    // system places them so more often than not; where it did not, each goes on its own).
    auto* low = static_cast<char*>(AllocatePages(16 * Page));
    auto* high = static_cast<char*>(AllocatePages(16 * Page));
    ASSERT_TRUE(low != nullptr && high != nullptr);
    if (high < low) std::swap(low, high);
    if (low + 16 * Page == high) {
        EXPECT_EQ(ReleasePages(low, 16 * Page + 1), 0);
        EXPECT_EQ(ReleasePages(high, 1), -1);
    } else {
        EXPECT_EQ(ReleasePages(low, 1), 0);
        EXPECT_EQ(ReleasePages(high, 1), 0);
    }
    for (int i : {3, 0, 7, 1, 6, 2, 5, 4}) {
        EXPECT_EQ(ReleasePages(blocks[i], 3 * Page), 0) << i;
        EXPECT_EQ(ReleasePages(blocks[i], 3 * Page), -1) << i;
    }
}

TEST(PagesDeathTest, ZeroSizeFailsTheCheck) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QUORVIN_EXPECT_ENSURE_FAILURE(AllocatePages(0), "addr");
}

}  // namespace
}  // namespace Quorvin
