// Tests of the set-once instance slot and the start-up containers.
#include "core/platform/GlobalInstance.h"

#include <gtest/gtest.h>

#include "core/diagnostics/EnsureTesting.h"

#include "core/diagnostics/Ensure.h"
#include "core/platform/NameRegistry.h"


namespace Quorvin {
namespace {

using Testing::DiedOfAccessViolation;

void PrintCondition(const char*, const char* condition, const char*, int32_t) {
    std::fprintf(stderr, "[failed: %s]\n", condition);
    std::fflush(stderr);
}

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

    EXPECT_EXIT(
        {
            EnsurePrivate::SetFatalHandler(&PrintCondition);
            InstallDefaultGlobalInstance();
            static int object;
            SetGlobalInstance(&object);
        },
        DiedOfAccessViolation, R"(\[failed: ptr == nullptr\])");

    EXPECT_EXIT(
        {
            EnsurePrivate::SetFatalHandler(&PrintCondition);
            static int first;
            static int second;
            SetGlobalInstance(&first);
            SetGlobalInstance(&second);
        },
        DiedOfAccessViolation, R"(\[failed: ptr == nullptr\])");

    EXPECT_EXIT(
        {
            EnsurePrivate::SetFatalHandler(&PrintCondition);
            static int first;
            SetGlobalInstance(&first);
            InstallDefaultGlobalInstance();
        },
        DiedOfAccessViolation, R"(\[failed: ptr == nullptr\])");
}

TEST(GlobalInstance, DefaultInstanceSitsOnItsOwnCacheLine) {
    EXPECT_EQ(alignof(DefaultGlobalInstance), 64u);
    EXPECT_EQ(sizeof(DefaultGlobalInstance), 64u);
}

TEST(StartupState, NameRegistryStartsEmpty) { EXPECT_EQ(NameRegistry::Count(), 0u); }

}  // namespace
}  // namespace Quorvin
