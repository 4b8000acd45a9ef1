// Tests of pages from the operating system: the out-of-memory codes (allocations and releases:
// windows/Pages_windows_test.cpp).
#include "core/system/Pages.h"

#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
}  // namespace Quorvin
