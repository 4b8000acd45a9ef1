// The alignment check of Frustum construction, as a death test. This file is built without the
// alignment sanitizer: it places a Frustum off its boundary on purpose, to reach the check.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <new>

#include "core/diagnostics/Ensure.h"
#include "core/diagnostics/EnsureTesting.h"
#include "core/geometry/Frustum.h"

namespace Quorvin {
namespace {

constexpr std::array<float, 16> Identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void PrintCondition(const char*, const char* condition, const char*, int32_t) {
    std::fprintf(stderr, "[failed: %s]\n", condition);
    std::fflush(stderr);
}

TEST(FrustumDeathTest, ConstructionOffA16ByteBoundaryFailsTheCheck) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    alignas(16) static unsigned char storage[sizeof(Frustum) + 16];
    // Constructing at the boundary is fine, in both forms.
    new (storage) Frustum(Identity);
    new (storage) Frustum();
    for (int offset : {4, 8}) {
        EXPECT_EXIT(
            {
                EnsurePrivate::SetFatalHandler(&PrintCondition);
                new (storage + offset) Frustum(Identity);
            },
            Testing::DiedOfAccessViolation, R"(\[failed: IS_ALIGNED\(size_t\(this\), 16\)\])");
    }
    EXPECT_EXIT(
        {
            EnsurePrivate::SetFatalHandler(&PrintCondition);
            new (storage + 12) Frustum();
        },
        Testing::DiedOfAccessViolation, R"(\[failed: IS_ALIGNED\(size_t\(this\), 16\)\])");
}

}  // namespace
}  // namespace Quorvin
