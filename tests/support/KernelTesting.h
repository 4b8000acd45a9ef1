// A test program's guard for a kernel family: a kernel forced through the family's test hook that
// this build or machine lacks skips every test of the program with the reason, so that a run never
// passes on a kernel it did not test; an unknown kernel name fails the run.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/base/KernelFamily.h"

namespace Quorvin::Testing {

template <class Kernel>
class ForcedKernelCheck : public testing::Environment {
public:
    /// `label` names the family in the line that reports the kernel in use ("UTF", "noise").
    ForcedKernelCheck(const char* label, KernelFamily<Kernel>& family) : label(label), family(family) {}

    void SetUp() override {
        const KernelRequest& request = family.Request();
        if (!request.known) {
            GTEST_FAIL() << request.problem;
        }
        if (!request.problem.empty()) {
            GTEST_SKIP() << request.problem << ": skipped";
        }
        std::printf("%s kernel: %s\n", label.c_str(), family.Active().name);
    }

private:
    std::string label;
    KernelFamily<Kernel>& family;
};

/// Registers the check for `family` with GoogleTest; call once per test program, at namespace
/// scope: `[[maybe_unused]] const auto* check = AddForcedKernelCheck("UTF", UtfKernels);`.
template <class Kernel>
const testing::Environment* AddForcedKernelCheck(const char* label, KernelFamily<Kernel>& family) {
    return testing::AddGlobalTestEnvironment(new ForcedKernelCheck<Kernel>(label, family));
}

}  // namespace Quorvin::Testing
