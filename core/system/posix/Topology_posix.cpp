// Processor topology on Linux: the process's affinity and the kernel's CPU description in sysfs,
// turned into the same core records that Windows hands out, so that one walk files both.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "core/system/Topology.h"
#include "core/system/internal/LinuxCpus.h"

namespace Quorvin::SystemPrivate {
namespace {

using CpuRanges = std::vector<std::pair<uint32_t, uint32_t>>;

constexpr char SystemCpuRoot[] = "/sys/devices/system/cpu";

// The core record layout that ProcessorTopology::AddCoreRecords reads (documented in Topology.h).
constexpr size_t RecordHeaderSize = 32;
constexpr size_t GroupEntrySize = 16;
constexpr size_t EfficiencyClassOffset = 9;
constexpr size_t GroupCountOffset = 30;
constexpr size_t GroupNumberOffset = 8;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsWhite(char c) { return c == '\n' || c == ' ' || c == '\t' || c == '\r'; }

// Reads a decimal number of at most `limit` at `at`, moving past it; false without digits or above
// the limit (checked before each step, so nothing overflows).
bool ReadNumber(std::string_view text, size_t& at, uint64_t limit, uint64_t& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && IsDigit(text[at])) {
        const auto digit = static_cast<uint64_t>(text[at] - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
        ++at;
    }
    return at > start;
}

// The whole of a small file, or false when it cannot be opened or read or is longer than
// MaxCpuFileSize (sysfs reports a page-sized file's real length only by reading it).
bool ReadSmallFile(const std::string& path, std::string& content) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    content.resize(256);
    size_t length = 0;
    bool ok = true;
    for (;;) {
        if (length == content.size()) {
            if (length > MaxCpuFileSize) break;
            content.resize(std::min(2 * length, MaxCpuFileSize + 1));
        }
        const ssize_t got = read(file, content.data() + length, content.size() - length);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ok = false;
        if (got <= 0) break;
        length += static_cast<size_t>(got);
    }
    close(file);
    if (!ok || length > MaxCpuFileSize) return false;
    content.resize(length);
    return true;
}

std::string CpuFolder(const std::string& root, uint32_t cpu) { return root + "/cpu" + std::to_string(cpu); }

// The CPUs that share a core with `cpu` as the tree lists them; false when neither list is
// readable and well-formed.
bool ReadSiblings(const std::string& root, uint32_t cpu, CpuRanges& ranges) {
    const std::string topology = CpuFolder(root, cpu) + "/topology/";
    std::string text;
    for (const char* name : {"core_cpus_list", "thread_siblings_list"}) {
        if (ReadSmallFile(topology + name, text) && ParseCpuList(text, ranges)) return true;
    }
    return false;
}

bool ReadCapacity(const std::string& root, uint32_t cpu, uint64_t& capacity) {
    std::string text;
    if (!ReadSmallFile(CpuFolder(root, cpu) + "/cpu_capacity", text)) return false;
    size_t at = 0;
    if (!ReadNumber(text, at, UINT64_MAX, capacity)) return false;
    while (at < text.size() && IsWhite(text[at])) ++at;
    return at == text.size();
}

// The capacity of every CPU folder of the tree ("cpu" and a number) whose capacity is readable.
std::map<uint32_t, uint64_t> ReadCapacities(const std::string& root) {
    std::map<uint32_t, uint64_t> capacities;
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(root.c_str()), &closedir);
    if (!folder) return capacities;
    while (const dirent* entry = readdir(folder.get())) {
        const std::string_view name(entry->d_name);
        if (name.size() < 4 || name.substr(0, 3) != "cpu") continue;
        size_t at = 3;
        uint64_t cpu = 0;
        if (!ReadNumber(name, at, MaxLinuxCpu, cpu) || at != name.size()) continue;
        uint64_t capacity = 0;
        if (ReadCapacity(root, static_cast<uint32_t>(cpu), capacity))
            capacities[static_cast<uint32_t>(cpu)] = capacity;
    }
    return capacities;
}

template <typename T>
void Put(std::vector<unsigned char>& bytes, size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof(value));
}

// Appends one core record: its class and one group entry per group its CPUs lie in.
void AppendCoreRecord(std::vector<unsigned char>& records, uint8_t efficiencyClass,
                      const std::map<uint16_t, uint64_t>& masks) {
    const size_t start = records.size();
    const size_t size = RecordHeaderSize + GroupEntrySize * masks.size();
    records.resize(start + size, 0);
    Put(records, start, uint32_t{0});  // RelationProcessorCore
    Put(records, start + 4, static_cast<uint32_t>(size));
    records[start + EfficiencyClassOffset] = efficiencyClass;
    Put(records, start + GroupCountOffset, static_cast<uint16_t>(masks.size()));
    size_t entry = start + RecordHeaderSize;
    for (const auto& [group, mask] : masks) {
        Put(records, entry, mask);
        Put(records, entry + GroupNumberOffset, group);
        entry += GroupEntrySize;
    }
}

// The process's affinity (its main thread's), in a CPU set grown until the kernel's fits.
bool ReadProcessAffinity(std::vector<uint32_t>& cpus) {
    for (size_t count = 1024; count <= size_t{MaxLinuxCpu} + 1; count *= 2) {
        std::unique_ptr<cpu_set_t, void (*)(cpu_set_t*)> set(CPU_ALLOC(count),
                                                             [](cpu_set_t* s) { CPU_FREE(s); });
        if (!set) return false;
        const size_t size = CPU_ALLOC_SIZE(count);
        if (sched_getaffinity(getpid(), size, set.get()) == 0) {
            for (size_t cpu = 0; cpu < count; ++cpu)
                if (CPU_ISSET_S(cpu, size, set.get())) cpus.push_back(static_cast<uint32_t>(cpu));
            return true;
        }
        if (errno != EINVAL) return false;  // EINVAL: the kernel's set is larger than this one
    }
    return false;
}

}  // namespace

bool ParseCpuList(std::string_view text, CpuRanges& ranges) {
    ranges.clear();
    size_t end = text.size();
    while (end > 0 && IsWhite(text[end - 1])) --end;
    text = text.substr(0, end);
    size_t at = 0;
    while (at < text.size()) {
        uint64_t first = 0;
        uint64_t last = 0;
        if (!ReadNumber(text, at, MaxLinuxCpu, first)) break;
        last = first;
        if (at < text.size() && text[at] == '-') {
            ++at;
            if (!ReadNumber(text, at, MaxLinuxCpu, last) || last < first) break;
        }
        ranges.emplace_back(static_cast<uint32_t>(first), static_cast<uint32_t>(last));
        if (at == text.size()) return true;
        if (text[at] != ',' || ++at == text.size()) break;  // a comma, and an item after it
    }
    const bool empty = text.empty();
    if (!empty) ranges.clear();
    return empty;
}

void AddLinuxCores(ProcessorTopology& topology, const std::string& root, std::vector<uint32_t> allowedCpus,
                   bool useEfficiencyClass) {
    std::sort(allowedCpus.begin(), allowedCpus.end());
    allowedCpus.erase(std::unique(allowedCpus.begin(), allowedCpus.end()), allowedCpus.end());
    allowedCpus.erase(std::upper_bound(allowedCpus.begin(), allowedCpus.end(), MaxLinuxCpu),
                      allowedCpus.end());

    // Capacities rank into classes only when every allowed CPU has one; the ranks come from every
    // CPU of the tree, so that a core's class does not depend on which others the affinity holds.
    std::map<uint32_t, uint64_t> capacities;
    std::vector<uint64_t> distinct;
    if (useEfficiencyClass) {
        capacities = ReadCapacities(root);
        const bool complete = std::all_of(allowedCpus.begin(), allowedCpus.end(),
                                          [&](uint32_t cpu) { return capacities.count(cpu) != 0; });
        if (complete) {
            for (const auto& [cpu, capacity] : capacities) distinct.push_back(capacity);
            std::sort(distinct.begin(), distinct.end());
            distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        }
    }

    std::vector<unsigned char> records;
    std::vector<bool> taken(allowedCpus.size(), false);
    CpuRanges siblings;
    for (size_t first = 0; first < allowedCpus.size(); ++first) {
        if (taken[first]) continue;
        std::vector<uint32_t> core{allowedCpus[first]};
        taken[first] = true;
        if (ReadSiblings(root, allowedCpus[first], siblings)) {
            for (const auto& [low, high] : siblings) {
                auto at = std::lower_bound(allowedCpus.begin(), allowedCpus.end(), low);
                for (; at != allowedCpus.end() && *at <= high; ++at) {
                    const auto index = static_cast<size_t>(at - allowedCpus.begin());
                    if (taken[index]) continue;
                    taken[index] = true;
                    core.push_back(*at);
                }
            }
        }
        std::map<uint16_t, uint64_t> masks;
        uint64_t highest = 0;
        for (uint32_t cpu : core) {
            masks[static_cast<uint16_t>(cpu / 64)] |= uint64_t{1} << (cpu % 64);
            if (!distinct.empty()) highest = std::max(highest, capacities.at(cpu));
        }
        uint8_t efficiencyClass = 0;
        if (!distinct.empty()) {
            const auto rank = std::lower_bound(distinct.begin(), distinct.end(), highest) - distinct.begin();
            efficiencyClass = static_cast<uint8_t>(std::min<ptrdiff_t>(rank, 255));
        }
        AppendCoreRecord(records, efficiencyClass, masks);
    }
    topology.AddCoreRecords(records.data(), records.size(), useEfficiencyClass);
}

}  // namespace Quorvin::SystemPrivate

namespace Quorvin {

void ProcessorTopology::Query(bool useEfficiencyClass) {
    std::vector<uint32_t> allowed;
    if (!SystemPrivate::ReadProcessAffinity(allowed)) return;
    SystemPrivate::AddLinuxCores(*this, SystemPrivate::SystemCpuRoot, std::move(allowed), useEfficiencyClass);
}

}  // namespace Quorvin
