// Tests of pages from the Windows virtual-memory manager: whole pages, releases of one or several
// regions, refused releases that leave memory usable, and the ensure check of a refused allocation.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/system/Pages.h"
#include "core/windows/WindowsApi.h"
#include "tests/support/EnsureTesting.h"

namespace Quorvin {
namespace {

MEMORY_BASIC_INFORMATION Query(const void* address) {
    MEMORY_BASIC_INFORMATION info{};
    EXPECT_NE(VirtualQuery(address, &info, sizeof(info)), 0u);
    return info;
}

bool IsFree(const void* address) { return Query(address).State == MEM_FREE; }

TEST(Pages, OneByteIsAWholePageAndReleasesWithZero) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    auto* page = static_cast<char*>(AllocatePages(1));
    ASSERT_NE(page, nullptr);
    const MEMORY_BASIC_INFORMATION info = Query(page);
    EXPECT_EQ(info.AllocationBase, page);
    EXPECT_EQ(info.RegionSize, system.dwPageSize);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
    std::memset(page, 0xA5, system.dwPageSize);  // committed, readable and writable: no fault
    EXPECT_EQ(page[system.dwPageSize - 1], static_cast<char>(0xA5));

    // An inner address is refused and leaves the region allocated and usable.
    EXPECT_EQ(ReleasePages(page + 16, 1), -1);
    EXPECT_EQ(ReleasePages(page + system.dwPageSize / 2, system.dwPageSize), -1);
    page[17] = 3;
    EXPECT_EQ(Query(page).State, static_cast<DWORD>(MEM_COMMIT));

    EXPECT_EQ(ReleasePages(page, 1), 0);
    EXPECT_TRUE(IsFree(page));
    EXPECT_EQ(ReleasePages(page, 1), -1);  // already gone
}

// Two 64 KiB regions side by side: reserve 128 KiB to find room, give it back, and commit the two
// halves at fixed addresses (the allocator's own choices are adjacent only by luck).
bool AllocateAdjacentPair(char*& first) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        void* room = VirtualAlloc(nullptr, 0x20000, MEM_RESERVE, PAGE_NOACCESS);
        if (room == nullptr) return false;
        VirtualFree(room, 0, MEM_RELEASE);
        auto* low = static_cast<char*>(VirtualAlloc(room, 0x10000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        auto* high = static_cast<char*>(VirtualAlloc(static_cast<char*>(room) + 0x10000, 0x10000,
                                                     MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (low == room && high == low + 0x10000) {
            first = low;
            return true;
        }
        if (low) VirtualFree(low, 0, MEM_RELEASE);
        if (high) VirtualFree(high, 0, MEM_RELEASE);
    }
    return false;
}

TEST(Pages, OneCallReleasesAdjacentRegions) {
    char* first = nullptr;
    ASSERT_TRUE(AllocateAdjacentPair(first));
    ASSERT_EQ(Query(first).AllocationBase, first);
    ASSERT_EQ(Query(first + 0x10000).AllocationBase, first + 0x10000);
    EXPECT_EQ(ReleasePages(first, 131072), 0);
    EXPECT_TRUE(IsFree(first));
    EXPECT_TRUE(IsFree(first + 0x10000));

    // A size that stops inside the second region still releases it whole.
    ASSERT_TRUE(AllocateAdjacentPair(first));
    EXPECT_EQ(ReleasePages(first, 0x10001), 0);
    EXPECT_TRUE(IsFree(first + 0x10000));

    // A range that runs on into free memory releases nothing, not even the region it starts at.
    ASSERT_TRUE(AllocateAdjacentPair(first));
    VirtualFree(first + 0x10000, 0, MEM_RELEASE);
    EXPECT_EQ(ReleasePages(first, 0x30000), -1);
    EXPECT_EQ(Query(first).State, static_cast<DWORD>(MEM_COMMIT));
    first[0x100] = 1;

    // A region whose pages were given different protections is still one allocation.
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(first + 0x4000, 0x1000, PAGE_READONLY, &old));
    EXPECT_EQ(ReleasePages(first, 0x10000), 0);
    EXPECT_TRUE(IsFree(first));
    EXPECT_TRUE(IsFree(first + 0x8000));

    EXPECT_EQ(ReleasePages(nullptr, 1), -1);
}

TEST(PagesDeathTest, RefusedAllocationFailsTheCheckAndKeepsTheErrorCode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QUORVIN_EXPECT_ENSURE_FAILURE(AllocatePages(0), "addr");
    // The error code the system gave (87, invalid parameter) is what crash reporting sees.
    EXPECT_EXIT(
        {
            static void (*const report)(const char*, const char*, const char*, int32_t) =
                [](const char*, const char* condition, const char*, int32_t) {
                    std::fprintf(stderr, "[%s error %lu]\n", condition, GetLastError());
                    std::fflush(stderr);
                };
            Testing::ScopedFatalHandler handler(report);
            AllocatePages(0);
        },
        Testing::DiedOfAccessViolation, "\\[addr error 87\\]");
}

}  // namespace
}  // namespace Quorvin
