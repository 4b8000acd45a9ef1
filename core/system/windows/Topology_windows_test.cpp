// Tests of processor topology on Windows: the real query against the system's processor count.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "core/system/Topology.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

TEST(ProcessorTopology, QueryAgreesWithTheSystemProcessorCount) {
    ProcessorTopology topology;
    topology.Query(false);
    ASSERT_TRUE(topology.valid);
    const auto [faster, efficient] = topology.CountLogicalProcessors();
    EXPECT_EQ(faster, 0u);
    EXPECT_EQ(efficient, static_cast<uint64_t>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)));
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    ASSERT_FALSE(topology.groups.empty());
    EXPECT_EQ(topology.groups.at(0).CountProcessors(),
              std::popcount(static_cast<uint64_t>(info.dwActiveProcessorMask)));

    ProcessorTopology classed;
    classed.Query(true);
    ASSERT_TRUE(classed.valid);
    EXPECT_EQ(classed.CountLogicalProcessors().first + classed.CountLogicalProcessors().second, efficient);
    classed.Query(true);
    EXPECT_EQ(classed.groups.at(0).coreMasks.size(), 2 * topology.groups.at(0).coreMasks.size());
}

}  // namespace
}  // namespace Quorvin
