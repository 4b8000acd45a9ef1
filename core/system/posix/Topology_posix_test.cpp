// Tests of processor topology on Linux: CPU lists and made-up sysfs trees against an independent
// reading, and the real query against the process's affinity.
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/system/Topology.h"
#include "core/system/internal/LinuxCpus.h"

namespace Quorvin {
namespace {

using SystemPrivate::AddLinuxCores;
using SystemPrivate::MaxLinuxCpu;
using SystemPrivate::ParseCpuList;
using Ranges = std::vector<std::pair<uint32_t, uint32_t>>;
using CpuSet = std::set<uint32_t>;

// A folder of its own, removed with everything in it: in memory (/dev/shm) where the system has such
// a folder, since the trees hold thousands of small files, else in the temporary folder.
class TempFolder {
public:
    TempFolder() {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "quorvin-topology-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Writes a made-up CPU tree: per CPU its two sibling lists and its capacity, each optional.
class CpuTree {
public:
    explicit CpuTree(const std::filesystem::path& root) : root_(root) {}
    CpuTree& Cpu(uint32_t cpu, const char* coreCpus, const char* threadSiblings = nullptr,
                 const char* capacity = nullptr) {
        const std::filesystem::path folder = root_ / ("cpu" + std::to_string(cpu));
        std::filesystem::create_directories(folder / "topology");
        if (coreCpus != nullptr) Write(folder / "topology" / "core_cpus_list", coreCpus);
        if (threadSiblings != nullptr) Write(folder / "topology" / "thread_siblings_list", threadSiblings);
        if (capacity != nullptr) Write(folder / "cpu_capacity", capacity);
        return *this;
    }
    std::string Root() const { return root_.string(); }

private:
    static void Write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::filesystem::path root_;
};

struct Core {
    uint8_t efficiencyClass;
    CpuSet cpus;
    bool operator==(const Core&) const = default;
};

void PrintTo(const Core& core, std::ostream* out) {
    *out << "class " << int{core.efficiencyClass} << " {";
    for (uint32_t cpu : core.cpus) *out << " " << cpu;
    *out << " }";
}

// The cores a topology holds, read back from its groups by class: a core spanning groups appears
// once per group there, so entries of one core are joined by the order they were added in.
std::vector<Core> CoresOf(const ProcessorTopology& topology) {
    std::vector<Core> cores;
    for (const auto& [efficiencyClass, byGroup] : topology.groupsByClass) {
        for (const auto& [number, group] : byGroup) {
            for (uint64_t mask : group.coreMasks) {
                CpuSet cpus;
                for (unsigned bit = 0; bit < 64; ++bit)
                    if ((mask >> bit & 1) != 0) cpus.insert(number * 64u + bit);
                cores.push_back({efficiencyClass, cpus});
            }
        }
    }
    return cores;
}

// Sorted by lowest CPU, for comparing with the expected cores whatever the filing order.
std::vector<Core> Sorted(std::vector<Core> cores) {
    std::sort(cores.begin(), cores.end(), [](const Core& a, const Core& b) {
        return *a.cpus.begin() != *b.cpus.begin() ? *a.cpus.begin() < *b.cpus.begin()
                                                  : a.cpus.size() < b.cpus.size();
    });
    return cores;
}

TEST(LinuxCpus, CpuListsParseExactlyAndRefuseEverythingElse) {
    Ranges ranges;
    EXPECT_TRUE(ParseCpuList("0-3,8,10-11\n", ranges));
    EXPECT_EQ(ranges, (Ranges{{0, 3}, {8, 8}, {10, 11}}));
    EXPECT_TRUE(ParseCpuList("5", ranges));
    EXPECT_EQ(ranges, (Ranges{{5, 5}}));
    EXPECT_TRUE(ParseCpuList("\n", ranges));
    EXPECT_TRUE(ranges.empty());
    EXPECT_TRUE(ParseCpuList("", ranges));
    EXPECT_TRUE(ParseCpuList("4194303", ranges));
    EXPECT_EQ(ranges, (Ranges{{MaxLinuxCpu, MaxLinuxCpu}}));
    EXPECT_TRUE(ParseCpuList("007-7 \n", ranges));
    EXPECT_EQ(ranges, (Ranges{{7, 7}}));

    for (const char* bad : {"0-", "-1", "3-1", ",", "1,", ",1", "1,,2", "1-2-3", "0x1", "1 2", " 1", "1\n2",
                            "4194304", "99999999999999999999", "18446744073709551617",
                            "0-18446744073709551617", "1-4294967296", "a", "1;2"}) {
        ranges = {{1, 1}};
        EXPECT_FALSE(ParseCpuList(bad, ranges)) << bad;
        EXPECT_TRUE(ranges.empty()) << bad;
    }
    // Property: random text over the list's alphabet reads as a separate reading of the format
    // says (split at commas, then at a dash); each text is its own allocation, so the sanitizer
    // build catches a read past its end.
    auto reference = [](std::string text, Ranges& expected) {
        expected.clear();
        text.erase(text.find_last_not_of(" \t\r\n") + 1);
        if (text.empty()) return true;
        auto number = [](std::string digits) -> int64_t {
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
            digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
            return digits.size() > 7 ? -1 : std::stoll(digits);
        };
        for (size_t start = 0;;) {
            const size_t comma = text.find(',', start);
            const std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
            const size_t dash = item.find('-');
            const int64_t low = number(item.substr(0, dash));
            const int64_t high = dash == std::string::npos ? low : number(item.substr(dash + 1));
            if (low < 0 || high < 0 || high > MaxLinuxCpu || high < low) {
                expected.clear();
                return false;
            }
            expected.emplace_back(static_cast<uint32_t>(low), static_cast<uint32_t>(high));
            if (comma == std::string::npos) return true;
            start = comma + 1;
        }
    };
    std::mt19937 random(3);
    const std::string alphabet = "0123456789012345678901234567890123456789--,,, \nx";
    int accepted = 0;
    for (int round = 0; round < 8000; ++round) {
        std::string text(random() % 24, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        if (round % 4 == 0) text = "1" + std::string(random() % 12, '0') + "-4194303\n";
        Ranges expected;
        const bool expectedOk = reference(text, expected);
        const bool ok = ParseCpuList(std::string_view(text.data(), text.size()), ranges);
        ASSERT_EQ(ok, expectedOk) << '"' << text << '"';
        ASSERT_EQ(ranges, expected) << '"' << text << '"';
        accepted += ok ? 1 : 0;
    }
    EXPECT_GT(accepted, 500);  // the generated text reaches both answers

    // Property: any set, written as the kernel writes it (runs as ranges), reads back as that set.
    for (int round = 0; round < 2000; ++round) {
        CpuSet set;
        const uint32_t span = 1 + random() % (round % 2 == 0 ? 200 : MaxLinuxCpu);
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            const uint32_t start = random() % span;
            for (uint32_t cpu = start; cpu <= std::min<uint32_t>(start + random() % 6, MaxLinuxCpu); ++cpu)
                set.insert(cpu);
        }
        std::string text;
        for (auto at = set.begin(); at != set.end();) {
            uint32_t last = *at;
            auto next = std::next(at);
            while (next != set.end() && *next == last + 1) last = *next++;
            text += (text.empty() ? "" : ",") + std::to_string(*at);
            if (last != *at) text += "-" + std::to_string(last);
            at = next;
        }
        text += '\n';
        ASSERT_TRUE(ParseCpuList(text, ranges)) << text;
        CpuSet read;
        for (const auto& [low, high] : ranges) {
            ASSERT_LE(low, high);
            for (uint32_t cpu = low; cpu <= high; ++cpu) read.insert(cpu);
        }
        ASSERT_EQ(read, set) << text;
    }
}

TEST(LinuxCpus, HybridTreeWithSmtAndAPartialAffinity) {
    // Four performance cores with two threads each (CPUs 0-7, capacity 1024), four efficient
    // cores (CPUs 8-11, capacity 441), and a CPU of middle capacity (12, 700).
    TempFolder folder;
    CpuTree tree(folder.Path());
    for (uint32_t core = 0; core < 4; ++core) {
        const std::string list = std::to_string(2 * core) + "-" + std::to_string(2 * core + 1) + "\n";
        tree.Cpu(2 * core, list.c_str(), nullptr, "1024\n")
            .Cpu(2 * core + 1, list.c_str(), nullptr, "1024\n");
    }
    for (uint32_t cpu = 8; cpu < 12; ++cpu)
        tree.Cpu(cpu, (std::to_string(cpu) + "\n").c_str(), nullptr, "441\n");
    tree.Cpu(12, "12\n", nullptr, "700\n");

    // CPUs 3, 9 and 12 are outside the affinity: the core of 2-3 keeps only 2, and 12's capacity
    // still counts, so the fast cores are class 2 whatever the affinity holds.
    const std::vector<uint32_t> allowed = {11, 0, 1, 2, 4, 5, 6, 7, 8, 10, 10, MaxLinuxCpu + 1};
    ProcessorTopology topology;
    AddLinuxCores(topology, tree.Root(), allowed, true);
    ASSERT_TRUE(topology.valid);
    EXPECT_EQ(
        Sorted(CoresOf(topology)),
        (std::vector<Core>{{2, {0, 1}}, {2, {2}}, {2, {4, 5}}, {2, {6, 7}}, {0, {8}}, {0, {10}}, {0, {11}}}));
    ASSERT_EQ(topology.groups.size(), 1u);
    EXPECT_EQ(topology.groups.at(0).affinityMask, 0xDF7u);
    // Cores in ascending order of their lowest CPU.
    EXPECT_EQ(topology.groups.at(0).coreMasks,
              (std::vector<uint64_t>{0x3, 0x4, 0x30, 0xC0, 0x100, 0x400, 0x800}));
    EXPECT_EQ(topology.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{7, 3}));

    ProcessorTopology unclassed;
    AddLinuxCores(unclassed, tree.Root(), allowed, false);
    EXPECT_EQ(unclassed.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{0, 10}));
    EXPECT_EQ(unclassed.groupsByClass.size(), 1u);

    // One allowed CPU without a capacity: no classes at all.
    std::filesystem::remove(folder.Path() / "cpu10" / "cpu_capacity");
    ProcessorTopology incomplete;
    AddLinuxCores(incomplete, tree.Root(), allowed, true);
    EXPECT_EQ(incomplete.CountLogicalProcessors(), (std::pair<uint64_t, uint64_t>{0, 10}));
    // ... unless that CPU is not allowed, and a malformed capacity counts as missing.
    ProcessorTopology without10;
    AddLinuxCores(without10, tree.Root(), {0, 8}, true);
    EXPECT_EQ(Sorted(CoresOf(without10)), (std::vector<Core>{{2, {0}}, {0, {8}}}));
    tree.Cpu(8, "8\n", nullptr, "44x\n");
    ProcessorTopology malformed;
    AddLinuxCores(malformed, tree.Root(), {0, 8}, true);
    EXPECT_EQ(Sorted(CoresOf(malformed)), (std::vector<Core>{{0, {0}}, {0, {8}}}));
}

TEST(LinuxCpus, BadOrMissingFilesLeaveEachCpuInExactlyOneCore) {
    TempFolder folder;
    CpuTree tree(folder.Path());
    tree.Cpu(0, "0-", "0-1\n")      // malformed core list: the thread siblings count
        .Cpu(1, "0-1\n")            // already in CPU 0's core
        .Cpu(2, "3-1\n", "junk\n")  // both malformed: a core of its own
        .Cpu(3, nullptr, "3,5\n")   // older kernel: only thread_siblings_list
        .Cpu(4, "99999999999\n")    // a number beyond every CPU: a core of its own
        .Cpu(5, "6\n")              // already taken by 3, and its list leaves itself out
        .Cpu(6, "6-7,4\n")          // 4 comes before 6 and is taken already
        .Cpu(8, "9\n")              // names only a CPU outside the tree
        .Cpu(64, "63-64\n")         // a core across two groups
        .Cpu(63, "63-64\n");
    // A list longer than any the kernel writes is not read: the thread siblings count instead.
    std::string huge;
    while (huge.size() <= SystemPrivate::MaxCpuFileSize) huge += "10,";
    tree.Cpu(10, (huge + "11\n").c_str(), "10\n");
    // CPUs 7, 9 and 11 have no folder at all.
    const std::vector<uint32_t> allowed = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 63, 64};
    ProcessorTopology topology;
    AddLinuxCores(topology, tree.Root(), allowed, true);
    EXPECT_EQ(Sorted(CoresOf(topology)), (std::vector<Core>{{0, {0, 1}},
                                                            {0, {2}},
                                                            {0, {3, 5}},
                                                            {0, {4}},
                                                            {0, {6, 7}},
                                                            {0, {8, 9}},
                                                            {0, {10}},
                                                            {0, {11}},
                                                            {0, {63}},
                                                            {0, {64}}}));
    ASSERT_EQ(topology.groups.size(), 2u);
    EXPECT_EQ(topology.groups.at(0).coreMasks.back(), uint64_t{1} << 63);
    EXPECT_EQ(topology.groups.at(1).coreMasks, (std::vector<uint64_t>{1}));

    // No tree at all: one plain core per allowed CPU, in its group n / 64, class 0.
    ProcessorTopology plain;
    AddLinuxCores(plain, (folder.Path() / "missing").string(), {130, 0, 1, 64}, true);
    EXPECT_TRUE(plain.valid);
    EXPECT_EQ(Sorted(CoresOf(plain)), (std::vector<Core>{{0, {0}}, {0, {1}}, {0, {64}}, {0, {130}}}));
    EXPECT_EQ(plain.groups.at(2).affinityMask, 0x4u);
    // An empty affinity: valid, with no cores.
    ProcessorTopology none;
    AddLinuxCores(none, tree.Root(), {}, true);
    EXPECT_TRUE(none.valid);
    EXPECT_TRUE(none.groups.empty());
}

TEST(LinuxCpus, RandomTreesAgreeWithAnIndependentReading) {
    // Random machines of up to 200 CPUs: cores of one to four threads, some lists garbled or
    // missing, random capacities and affinities. The reference forms cores its own way: the union
    // of the sibling sets (where readable) of the lowest free CPU.
    std::mt19937 random(5);
    for (int round = 0; round < 50; ++round) {
        TempFolder folder;
        CpuTree tree(folder.Path());
        const uint32_t cpuCount = 1 + random() % 200;
        std::vector<CpuSet> truth(cpuCount);
        for (uint32_t start = 0; start < cpuCount;) {
            const uint32_t threads = std::min<uint32_t>(1 + random() % 4, cpuCount - start);
            for (uint32_t cpu = start; cpu < start + threads; ++cpu)
                for (uint32_t other = start; other < start + threads; ++other) truth[cpu].insert(other);
            start += threads;
        }
        const bool hybrid = random() % 2 == 0;
        std::map<uint32_t, uint64_t> capacity;
        std::vector<bool> readable(cpuCount, false);
        for (uint32_t cpu = 0; cpu < cpuCount; ++cpu) {
            std::string list;
            for (uint32_t other : truth[cpu]) list += (list.empty() ? "" : ",") + std::to_string(other);
            list += "\n";
            const uint64_t value = hybrid ? 256 * (1 + *truth[cpu].begin() % 3) : 1024;
            const std::string capacityText = std::to_string(value) + "\n";
            const auto folderOfCpu = folder.Path() / ("cpu" + std::to_string(cpu));
            const auto mode = random() % 8;
            switch (mode) {
            case 0:  // an older kernel: only the thread siblings
                tree.Cpu(cpu, nullptr, list.c_str(), capacityText.c_str());
                readable[cpu] = true;
                break;
            case 1: tree.Cpu(cpu, "0-\n", "1,,2\n", capacityText.c_str()); break;
            case 2: break;  // no folder at all
            case 3:         // a capacity but no topology folder
                tree.Cpu(cpu, nullptr, nullptr, capacityText.c_str());
                std::filesystem::remove_all(folderOfCpu / "topology");
                break;
            default:
                tree.Cpu(cpu, list.c_str(), nullptr, capacityText.c_str());
                readable[cpu] = true;
                break;
            }
            if (mode != 2) capacity[cpu] = value;
        }
        // Some affinities name CPUs beyond the tree (which have no capacity, so no classes).
        std::vector<uint32_t> allowed;
        const uint32_t beyond = round % 3 == 0 ? 3 : 0;
        for (uint32_t cpu = 0; cpu < cpuCount + beyond; ++cpu)
            if (random() % 4 != 0) allowed.push_back(cpu);

        // The reference reading.
        const CpuSet allowedSet(allowed.begin(), allowed.end());
        std::set<uint64_t> distinct;
        for (const auto& [cpu, value] : capacity) distinct.insert(value);
        const bool classes = std::all_of(allowed.begin(), allowed.end(),
                                         [&](uint32_t cpu) { return capacity.count(cpu) != 0; });
        std::vector<Core> expected;
        CpuSet done;
        for (uint32_t cpu : allowedSet) {
            if (done.count(cpu) != 0) continue;
            Core core{0, {cpu}};
            if (cpu < cpuCount && readable[cpu]) {
                for (uint32_t other : truth[cpu])
                    if (allowedSet.count(other) != 0 && done.count(other) == 0) core.cpus.insert(other);
            }
            done.insert(core.cpus.begin(), core.cpus.end());
            if (classes) {
                uint64_t highest = 0;
                for (uint32_t member : core.cpus) highest = std::max(highest, capacity[member]);
                core.efficiencyClass =
                    static_cast<uint8_t>(std::distance(distinct.begin(), distinct.find(highest)));
            }
            // The topology files a core under each group its CPUs lie in.
            std::map<uint32_t, Core> byGroup;
            for (uint32_t member : core.cpus) {
                byGroup[member / 64].efficiencyClass = core.efficiencyClass;
                byGroup[member / 64].cpus.insert(member);
            }
            for (const auto& [group, part] : byGroup) expected.push_back(part);
        }

        ProcessorTopology topology;
        AddLinuxCores(topology, tree.Root(), allowed, true);
        ASSERT_EQ(Sorted(CoresOf(topology)), Sorted(expected)) << "round " << round;
        uint64_t total = 0;
        for (const CoreGroup& group : topology.GetGroups()) total += group.CountProcessors();
        ASSERT_EQ(total, allowedSet.size());
    }
}

// The cores of the real machine, counted.
uint64_t CountProcessors(const ProcessorTopology& topology) {
    const auto [faster, efficient] = topology.CountLogicalProcessors();
    return faster + efficient;
}

TEST(ProcessorTopology, QueryCountsExactlyTheProcessAffinity) {
    cpu_set_t affinity;
    CPU_ZERO(&affinity);
    ASSERT_EQ(sched_getaffinity(getpid(), sizeof(affinity), &affinity), 0);
    ProcessorTopology topology;
    topology.Query(false);
    ASSERT_TRUE(topology.valid);
    EXPECT_EQ(topology.CountLogicalProcessors().first, 0u);
    EXPECT_EQ(CountProcessors(topology), static_cast<uint64_t>(CPU_COUNT(&affinity)));
    EXPECT_LE(CountProcessors(topology), std::thread::hardware_concurrency());
    for (const auto& [number, group] : topology.groups) {
        for (unsigned bit = 0; bit < 64; ++bit) {
            EXPECT_EQ((group.affinityMask >> bit & 1) != 0, CPU_ISSET(number * 64u + bit, &affinity))
                << "CPU " << number * 64u + bit;
        }
    }
    ProcessorTopology classed;
    classed.Query(true);
    EXPECT_EQ(CountProcessors(classed), CountProcessors(topology));
    EXPECT_EQ(classed.groups.at(0).coreMasks, topology.groups.at(0).coreMasks);
    classed.Query(true);
    EXPECT_EQ(classed.groups.at(0).coreMasks.size(), 2 * topology.groups.at(0).coreMasks.size());

    // A process allowed only its highest CPU sees exactly that one, in a core of its own.
    uint32_t highest = 0;
    for (uint32_t cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &affinity)) highest = cpu;
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(highest, &one);
        if (sched_setaffinity(0, sizeof(one), &one) != 0) _exit(3);
        ProcessorTopology restricted;
        restricted.Query(true);
        const bool exact = restricted.valid && restricted.groups.size() == 1 &&
                           restricted.groups.begin()->first == highest / 64 &&
                           restricted.groups.begin()->second.coreMasks ==
                               std::vector<uint64_t>{uint64_t{1} << (highest % 64)};
        _exit(exact ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: the affinity could not be set; 4: the query saw other CPUs";
}

}  // namespace
}  // namespace Quorvin
