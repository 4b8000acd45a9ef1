// Tests of the global allocation operators.
#include <gtest/gtest.h>
#include <mimalloc.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

TEST(Allocation, ServesAndReleasesBlocks) {
    std::vector<std::string> many;
    for (int i = 0; i < 1000; ++i) many.emplace_back(std::string(static_cast<size_t>(i), 'k'));
    EXPECT_EQ(many[999].size(), 999u);
    auto* array = new int[64]();
    array[63] = 7;
    EXPECT_EQ(array[63], 7);
    // The blocks come from mimalloc, not from the C run time's heap (which keeps serving malloc).
    EXPECT_TRUE(mi_is_in_heap_region(array));
    EXPECT_TRUE(mi_is_in_heap_region(many[999].data()));
    void* fromRunTime = std::malloc(64);
    EXPECT_FALSE(mi_is_in_heap_region(fromRunTime));
    std::free(fromRunTime);
    delete[] array;
}

TEST(Allocation, FailureThrowsBadAllocationAndNullDeleteIsIgnored) {
    volatile size_t huge = SIZE_MAX / 2;
    try {
        void* block = ::operator new(huge);
        ::operator delete(block);
        FAIL() << "an impossible allocation succeeded";
    } catch (const std::bad_alloc& error) {
        EXPECT_STREQ(error.what(), "bad allocation");
    }
    EXPECT_THROW(static_cast<void>(::operator new[](huge)), std::bad_alloc);

    ::operator delete(nullptr);
    ::operator delete[](nullptr);
#if defined(__cpp_sized_deallocation)  // clang leaves sized deallocation off unless asked
    ::operator delete(nullptr, sizeof(int));
#endif
    int* none = nullptr;
    delete none;
}

}  // namespace
