// Tests of the set-once instance slot and the start-up containers.
#include "core/runtime/GlobalInstance.h"

#include <gtest/gtest.h>

#include "core/runtime/NameRegistry.h"
#include "tests/support/EnsureTesting.h"

namespace Quorvin {
namespace {

TEST(GlobalInstanceDeathTest, InstallsOnceAndFailsTheCheckOnASecondInstallation) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Each statement runs in a fresh child, so the slot starts out empty there.
    EXPECT_EXIT(
        {
            if (GetGlobalInstance() != nullptr) std::exit(10);
            InstallDefaultGlobalInstance();
            auto* installed = static_cast<DefaultGlobalInstance*>(GetGlobalInstance());
            if (installed == nullptr || installed->installed != 1 || installed->reserved != 0) std::exit(11);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");

    EXPECT_EXIT(
        {
            static int object;
            if (SetGlobalInstance(&object) != &object || GetGlobalInstance() != &object) std::exit(12);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");

    static int first;
    static int second;
    QUORVIN_EXPECT_ENSURE_FAILURE(
        {
            InstallDefaultGlobalInstance();
            SetGlobalInstance(&first);
        },
        "ptr == nullptr");
    QUORVIN_EXPECT_ENSURE_FAILURE(
        {
            SetGlobalInstance(&first);
            SetGlobalInstance(&second);
        },
        "ptr == nullptr");
    QUORVIN_EXPECT_ENSURE_FAILURE(
        {
            SetGlobalInstance(&first);
            InstallDefaultGlobalInstance();
        },
        "ptr == nullptr");
}
TEST(GlobalInstance, DefaultInstanceSitsOnItsOwnCacheLine) {
    EXPECT_EQ(alignof(DefaultGlobalInstance), 64u);
    EXPECT_EQ(sizeof(DefaultGlobalInstance), 64u);
}

TEST(StartupState, NameRegistryStartsEmpty) { EXPECT_EQ(NameRegistry::Count(), 0u); }

}  // namespace
}  // namespace Quorvin
