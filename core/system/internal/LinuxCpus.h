// The Linux reading of processor topology, apart from the system's own folders: the CPU lists and
// capacities of a sysfs CPU tree, read from any root folder with any affinity, so that the rules
// can be tried on a made-up tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/system/Topology.h"

namespace Quorvin::SystemPrivate {

/// The highest CPU number that has a processor group: CPU n is bit n % 64 of group n / 64, and
/// group numbers have 16 bits. Larger numbers in the system's lists make the list malformed.
inline constexpr uint32_t MaxLinuxCpu = 64u * 65536u - 1u;

/// The longest CPU list or capacity file read, in bytes; a longer file counts as unreadable.
inline constexpr size_t MaxCpuFileSize = 256 * 1024;

/// Parses a CPU list as the kernel writes it ("0-3,8,10-11", then a line end) into inclusive
/// ranges, in the order written. Items are a number or two numbers joined by '-' (the first not
/// above the second), separated by single commas; trailing white space is allowed, and an empty or
/// all-white list is the empty set. Any other text, a number above MaxLinuxCpu, or a descending
/// range makes the list malformed: the answer is false and `ranges` is left empty. Reads only
/// `text`, with no arithmetic that can overflow.
bool ParseCpuList(std::string_view text, std::vector<std::pair<uint32_t, uint32_t>>& ranges);

/// Adds the cores of the CPUs in `allowedCpus` (any order, repeats and numbers above MaxLinuxCpu
/// ignored) as a sysfs CPU tree at `root` describes them (the system's is /sys/devices/system/cpu),
/// through ProcessorTopology::AddCoreRecords, and so sets topology.valid.
///
/// Cores are formed in ascending CPU order: the lowest allowed CPU not yet in a core starts one, and
/// the CPUs that root/cpuN/topology/core_cpus_list names (thread_siblings_list when that file is
/// missing or malformed) join it when they are allowed and not yet in a core. A CPU whose lists
/// cannot be read is a core of its own, so every allowed CPU lands in exactly one core, whatever
/// the files say. A core's mask in each group holds bit n % 64 of each of its CPUs n with n / 64
/// the group; a core whose CPUs lie in several groups is added to each of them.
///
/// With `useEfficiencyClass`, the distinct capacities that root/cpuN/cpu_capacity gives for the
/// CPUs the tree lists (allowed or not) are numbered in ascending order as efficiency classes 0, 1,
/// ... (255 at most), and a core takes the class of its highest capacity. When an allowed CPU has no
/// readable capacity, or without `useEfficiencyClass`, every core is class 0.
void AddLinuxCores(ProcessorTopology& topology, const std::string& root, std::vector<uint32_t> allowedCpus,
                   bool useEfficiencyClass);

}  // namespace Quorvin::SystemPrivate
