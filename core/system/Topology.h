// The machine's physical processor cores, per processor group and per efficiency class.
//
// ProcessorTopology asks the system once for its processor-core records and keeps, for every
// processor group, the affinity mask of each core and their union; it also files the same cores by
// efficiency class, so that callers can keep the cores of class 0 (the most efficient) apart from
// the faster ones of a hybrid processor. Results are plain values that callers copy out.
//
// Windows reports its cores and groups itself. Linux has no processor groups: CPU n stands as bit
// n % 64 of group n / 64, and the cores are built from the process's affinity and the kernel's CPU
// description in sysfs (see Query).
//
// Thread-safety: no locking. Query and AddCoreRecords must not overlap any other call on the same
// object; the reading operations may run concurrently with each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace Quorvin {

/// The cores of one processor group.
struct CoreGroup {
    uint16_t group = 0;               ///< processor group number
    uint64_t affinityMask = 0;        ///< union of every mask in coreMasks
    std::vector<uint64_t> coreMasks;  ///< one mask per core, in the order the system reported them

    /// Appends `coreMask` to coreMasks and ORs it into affinityMask.
    void AddCore(uint64_t coreMask);
    /// Number of logical processors in the group: the set bits of affinityMask.
    uint64_t CountProcessors() const noexcept;
    /// The `count` lowest set bits of affinityMask; the whole mask when `count` is 0 or exceeds the
    /// number of set bits.
    uint64_t LowestProcessors(uint16_t count) const noexcept;
};

/// The machine's cores by processor group and by efficiency class.
class ProcessorTopology {
public:
    /// Every core, by ascending group number.
    std::map<uint16_t, CoreGroup> groups;
    /// The same cores by ascending efficiency class, then group number. Without efficiency
    /// classes every core is filed under class 0.
    std::map<uint8_t, std::map<uint16_t, CoreGroup>> groupsByClass;
    /// False until a query (or AddCoreRecords) has completed.
    bool valid = false;

    /// Adds the system's processor cores, filing them by the efficiency class the system reports
    /// when `useEfficiencyClass` is true, else all under class 0. Earlier results are kept: a second
    /// query appends every core again (the unions stay the same). When the system offers no such
    /// query, or it fails, the object is left as it was.
    ///
    /// Windows: every core of the machine, as GetLogicalProcessorInformationEx
    /// (RelationProcessorCore) reports it, in the system's order.
    ///
    /// Linux: only the CPUs in the process's affinity (sched_getaffinity) count; a core is the set
    /// of its allowed CPUs that /sys/devices/system/cpu/cpuN/topology/core_cpus_list names
    /// (thread_siblings_list on older kernels), cores in ascending order of their lowest CPU, each
    /// allowed CPU in exactly one. The efficiency classes rank the distinct values of
    /// cpuN/cpu_capacity over every CPU listed there (so a core's class does not depend on the
    /// affinity), lowest capacity first as class 0, where the kernel reports a capacity for every
    /// allowed CPU; elsewhere every core is class 0. A CPU whose lists are missing or malformed is a
    /// core of its own, so a machine without that description reports each allowed CPU as a plain
    /// core. Fails only when the affinity cannot be read.
    void Query(bool useEfficiencyClass);

    /// Adds the cores of a buffer laid out as the system's processor-core records (what Query does
    /// with the system's answer) and sets valid. Each record opens with its relationship and its
    /// size in bytes (32 bits each, little-endian); a core record holds its efficiency class at byte
    /// 9, its group count at byte 30 and its 16-byte group entries (64-bit mask, 16-bit group) from
    /// byte 32. Nothing outside the buffer or a record is read, whatever the records claim:
    /// - a record of another relationship is skipped;
    /// - only group entries that lie wholly inside both the record and the buffer are used, so a
    ///   group count of 0 adds nothing and a cut record adds only its whole entries;
    /// - a record size below the 8-byte header ends the walk (there is no next record to find), and
    ///   a record that runs past the buffer is the last one read.
    /// Returns true when the buffer held only whole, well-formed records up to its end.
    bool AddCoreRecords(const void* records, size_t length, bool useEfficiencyClass);

    /// Copies of every group, ascending by group number.
    std::vector<CoreGroup> GetGroups() const;
    /// Logical processors: first in cores of a class other than 0, second in cores of class 0.
    std::pair<uint64_t, uint64_t> CountLogicalProcessors() const noexcept;
    /// Copies of the groups of each class: first those of every class other than 0 (lowest class
    /// first, each class's groups ascending; a group number recurs once per class), second those of
    /// class 0.
    std::pair<std::vector<CoreGroup>, std::vector<CoreGroup>> GetGroupsByClass() const;

private:
    void AddCore(uint8_t efficiencyClass, uint16_t group, uint64_t mask);
};

}  // namespace Quorvin
