// The alignment check of Frustum construction, as a death test. This file is built without the
// alignment sanitizer: it places a Frustum off its boundary on purpose, to reach the check.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <new>

#include "core/geometry/Frustum.h"
#include "tests/support/EnsureTesting.h"

namespace Quorvin {
namespace {

constexpr std::array<float, 16> Identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

TEST(FrustumDeathTest, ConstructionOffA16ByteBoundaryFailsTheCheck) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    alignas(16) static unsigned char storage[sizeof(Frustum) + 16];
    // Constructing at the boundary is fine, in both forms.
    new (storage) Frustum(Identity);
    new (storage) Frustum();
    for (int offset : {4, 8}) {
        QUORVIN_EXPECT_ENSURE_FAILURE(new (storage + offset) Frustum(Identity),
                                      R"(IS_ALIGNED\(size_t\(this\), 16\))");
    }
    QUORVIN_EXPECT_ENSURE_FAILURE(new (storage + 12) Frustum(), R"(IS_ALIGNED\(size_t\(this\), 16\))");
}

}  // namespace
}  // namespace Quorvin
