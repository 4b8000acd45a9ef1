// Fuzz target: the processor-core record walk over arbitrary bytes. Beyond the sanitizers' checks
// on every read, the filed cores must stay consistent whatever the records claim.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/system/Topology.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool useEfficiencyClass = (data[0] & 1) != 0;
    Quorvin::ProcessorTopology topology;
    topology.AddCoreRecords(data + 1, size - 1, useEfficiencyClass);
    if (!topology.valid) std::abort();

    uint64_t cores = 0;
    uint64_t processors = 0;
    for (const auto& [number, group] : topology.groups) {
        uint64_t together = 0;
        for (uint64_t mask : group.coreMasks) together |= mask;
        if (group.group != number || together != group.affinityMask) std::abort();
        cores += group.coreMasks.size();
        processors += group.CountProcessors();
    }
    if (cores > (size - 1) / 16) std::abort();  // every core entry takes 16 bytes of some record

    uint64_t filedCores = 0;
    for (const auto& [efficiencyClass, byGroup] : topology.groupsByClass) {
        if (!useEfficiencyClass && efficiencyClass != 0) std::abort();
        for (const auto& [number, group] : byGroup) {
            if (group.group != number || topology.groups.count(number) == 0) std::abort();
            filedCores += group.coreMasks.size();
        }
    }
    if (filedCores != cores) std::abort();
    const auto [faster, efficient] = topology.CountLogicalProcessors();
    if (!useEfficiencyClass && (faster != 0 || efficient != processors)) std::abort();
    return 0;
}
